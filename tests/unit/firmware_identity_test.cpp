// A replugged bench reader with an identity layout reports the strings of the
// firmware it holds: where each image layout keeps them, and what happens when
// the image keeps none or the record points outside it.
#include "emulator/firmware_identity.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "emulator/controller.h"

namespace usbisp {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& image, std::size_t at, const char* text) {
    std::memcpy(image.data() + at, text, std::strlen(text));
}

// Low bytes of 16-bit cells, high bytes zero.
void PutCells(Bytes& image, std::size_t at, const char* text) {
    for (std::size_t i = 0; text[i] != '\0'; ++i)
        image[at + 2 * i] = static_cast<std::uint8_t>(text[i]);
}

// A full-layout image stamped at base 0x40 (P = 0x46), as a programming run
// leaves it: length bytes, space-padded strings, the serial in the third slot.
Bytes FullImage(std::uint8_t type) {
    Bytes image(0x200, 0x00);
    image[0] = type;
    image[1] = 0xFE;
    image[0x46 + 0x1A] = 16;  // (7 + 1) * 2
    Put(image, 0x46 + 0x1C, "Generic                 ");
    image[0x46 + 0x34] = 34;  // (16 + 1) * 2
    Put(image, 0x46 + 0x36, "Demo Card Reader        ");
    image[0x46 + 0x4E] = 26;
    image[0x46 + 0x4F] = 3;
    PutCells(image, 0x46 + 0x50, "57AC28010100");
    Put(image, 0x46 + 0x94, "2.05");
    Put(image, 0x46 + 0x9C, "Maker   ");
    Put(image, 0x46 + 0xA4, "Stamped Reader  ");
    return image;
}

sim::ReaderConfig Keys() {
    sim::ReaderConfig r;
    r.manufacturer = "Old Maker";
    r.product = "USB Card Reader";
    r.serial = "000000000001";
    r.inquiryVendor = "Generic ";
    r.inquiryProduct = "Flash Reader    ";
    r.inquiryRevision = "1.00";
    return r;
}

struct IdentityRow {
    const char* name;
    Bytes image;
    AddressRecord layout;
    bool taken;
    const char* manufacturer;
    const char* product;
    const char* serial;
    const char* vendor;
    const char* inquiryProduct;
    const char* revision;
};

Bytes WithByte(Bytes image, std::size_t at, std::uint8_t value) {
    image[at] = value;
    return image;
}

Bytes SerialOnlyImage() {
    Bytes image(0x100, 0xFF);
    image[0] = 0x12;  // type 2 in its low bits, no 0xFE or 0xFC marker
    image[1] = 0x00;
    // base 0x10 + 2 + 6 * 13 = 0x60: length and type, then the characters.
    image[0x60] = 26;
    image[0x61] = 3;
    for (std::size_t i = 0; i < 12; ++i) image[0x62 + 2 * i + 1] = 0;
    PutCells(image, 0x62, "57AC28010101");
    return image;
}

TEST(FirmwareIdentity, TakenWhereTheLayoutKeepsIt) {
    const AddressRecord base40{0x40, 6, 13};
    const std::vector<IdentityRow> rows = {
        {"type 2: the length bytes count the characters", FullImage(2), base40, true, "Generic",
         "Demo Card Reader", "57AC28010100", "Maker   ", "Stamped Reader  ", "2.05"},
        {"a length byte shorter than the text cuts it", WithByte(FullImage(1), 0x46 + 0x1A, 8),
         base40, true, "Gen", "Demo Card Reader", "57AC28010100", "Maker   ", "Stamped Reader  ",
         "2.05"},
        {"type 5 has no length bytes: up to the blanks", WithByte(FullImage(5), 0x46 + 0x1A, 0),
         base40, true, "Generic", "Demo Card Reader", "57AC28010100", "Maker   ",
         "Stamped Reader  ", "2.05"},
        {"serial-only image: the descriptor's serial alone",
         SerialOnlyImage(),
         {0x10, 6, 13},
         true,
         "Old Maker",
         "USB Card Reader",
         "57AC28010101",
         "Generic ",
         "Flash Reader    ",
         "1.00"},
        {"type 3 carries no identity", FullImage(3), base40, false, "Old Maker", "USB Card Reader",
         "000000000001", "Generic ", "Flash Reader    ", "1.00"},
        {"type 4 with 0xFC carries none", WithByte(FullImage(4), 1, 0xFC), base40, false,
         "Old Maker", "USB Card Reader", "000000000001", "Generic ", "Flash Reader    ", "1.00"},
        // Base 0x146 would end the inquiry product at P + 0xB4 = 0x200, the
        // image's end; one byte further is out.
        {"an inquiry field one byte past the end",
         FullImage(2),
         {0x147, 6, 13},
         false,
         "Old Maker",
         "USB Card Reader",
         "000000000001",
         "Generic ",
         "Flash Reader    ",
         "1.00"},
        {"a negative base",
         FullImage(2),
         {-0x40, 6, 13},
         false,
         "Old Maker",
         "USB Card Reader",
         "000000000001",
         "Generic ",
         "Flash Reader    ",
         "1.00"},
        {"a descriptor past the end",
         SerialOnlyImage(),
         {0x10, 0x7FFFFFFF, 2},
         false,
         "Old Maker",
         "USB Card Reader",
         "000000000001",
         "Generic ",
         "Flash Reader    ",
         "1.00"},
        {"an image without its header", Bytes{0x02}, base40, false, "Old Maker", "USB Card Reader",
         "000000000001", "Generic ", "Flash Reader    ", "1.00"},
    };
    for (const IdentityRow& row : rows) {
        SCOPED_TRACE(row.name);
        sim::ReaderConfig reader = Keys();
        EXPECT_EQ(sim::TakeFirmwareIdentity(row.image, row.layout, reader), row.taken);
        EXPECT_EQ(reader.manufacturer, row.manufacturer);
        EXPECT_EQ(reader.product, row.product);
        EXPECT_EQ(reader.serial, row.serial);
        EXPECT_EQ(reader.inquiryVendor, row.vendor);
        EXPECT_EQ(reader.inquiryProduct, row.inquiryProduct);
        EXPECT_EQ(reader.inquiryRevision, row.revision);
    }
}

sim::ControllerReply Request(sim::ReaderController& controller, sim::Operation op) {
    sim::ControllerRequest request;
    request.op = op;
    return controller.Handle(request);
}

std::string IdentityText(sim::ReaderController& controller, std::size_t at, std::size_t width) {
    const sim::ControllerReply reply = Request(controller, sim::Operation::ReadIdentity);
    EXPECT_TRUE(reply.done());
    if (reply.data.size() < at + width) return "";
    return std::string(reply.data.begin() + static_cast<long>(at),
                       reply.data.begin() + static_cast<long>(at + width));
}

TEST(FirmwareIdentity, FollowsTheFirmwareFromTheReplugOn) {
    for (const bool withLayout : {true, false}) {
        SCOPED_TRACE(withLayout ? "with a layout" : "without one");
        sim::ReaderConfig config = Keys();
        config.letters = "E";
        config.firmware = FullImage(2);
        if (withLayout) config.identityLayout = AddressRecord{0x40, 6, 13};
        sim::ReaderController controller(config, {});

        // Until the replug, the keys.
        EXPECT_EQ(IdentityText(controller, 72, 16), std::string("USB Card Reader\0", 16));
        controller.Replug();
        const std::string product = IdentityText(controller, 72, 16);
        const std::string serialCells = IdentityText(controller, 98, 4);
        const sim::ControllerReply inquiry = Request(controller, sim::Operation::Inquiry);
        ASSERT_TRUE(inquiry.done());
        const std::string vendor(inquiry.data.begin() + 8, inquiry.data.begin() + 16);
        if (withLayout) {
            EXPECT_EQ(product, "Demo Card Reader");
            EXPECT_EQ(serialCells, std::string("5\0"
                                               "7\0",
                                               4));
            EXPECT_EQ(vendor, "Maker   ");
        } else {
            EXPECT_EQ(product, std::string("USB Card Reader\0", 16));
            EXPECT_EQ(serialCells, std::string("0\0"
                                               "0\0",
                                               4));
            EXPECT_EQ(vendor, "Generic ");
        }
        // The run's request counts go on across the replug.
        EXPECT_EQ(controller.RequestCount(sim::Operation::ReadIdentity), 3);
    }
}

}  // namespace
}  // namespace usbisp

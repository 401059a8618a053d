#include "station/reader_session.h"

#include <cstdio>

#include "firmware/banner.h"
#include "firmware/serial_source.h"
#include "platform/crc32.h"
#include "ui/main_dialog.h"

namespace usbisp::station {

namespace {

// The counter lines the programming handler appends after every run; a
// failure that shows no box stands on the line before them.
constexpr const char* kCounterBlock = "\n\nSuccess Number Of ISP: ";
constexpr const char* kSuccessLine = "SUCCESS!";

// The station's allocator in the place of SERIAL.TXT, remembering what it
// gave this reader.
class ReaderSerial : public SerialSource {
  public:
    ReaderSerial(NumberSource& allocator, NumberFor who)
        : allocator_(allocator), who_(std::move(who)) {}

    bool Take(Platform& platform, const OperatorMessages& messages, SerialCounter& counter,
              bool userSerial) override {
        const TakenNumber taken = allocator_.Take(platform, messages, userSerial, who_);
        if (!taken.taken) return false;
        counter = taken.counter;
        if (taken.reserved) number = taken.counter;
        return true;
    }
    void Built(const SerialNumber& serial, bool stamped) override {
        if (number) built = std::string(serial.begin(), serial.end());
        carried = stamped;
    }

    std::optional<SerialCounter> number;
    std::string built;
    bool carried = true;  // the image took the serial number

  private:
    NumberSource& allocator_;
    const NumberFor who_;
};

std::string Trimmed(const char* text, std::size_t size) {
    std::string s(text, strnlen(text, size));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

ReaderIdentity IdentityOf(const DeviceInfo& d) {
    ReaderIdentity id;
    id.vid = static_cast<std::uint16_t>(d.vendorId[0] << 8 | d.vendorId[1]);
    id.pid = static_cast<std::uint16_t>(d.productId[0] << 8 | d.productId[1]);
    id.inquiryVendor = Trimmed(d.inqManufacturer.data(), d.inqManufacturer.size());
    id.inquiryProduct = Trimmed(d.inqProduct.data(), d.inqProduct.size());
    id.inquiryRevision = Trimmed(d.inqRevision.data(), d.inqRevision.size());
    id.hardwareRevision.assign(d.hardwareRevision.begin(), d.hardwareRevision.end());
    id.firmwareRevision.assign(d.firmwareRevision.begin(), d.firmwareRevision.end());
    return id;
}

std::string LastLine(const std::string& text) {
    const auto feed = text.find_last_of('\n');
    return feed == std::string::npos ? text : text.substr(feed + 1);
}

}  // namespace

SessionOutcome RunReaderSession(Platform& platform, NumberSource* allocator,
                                const SessionHooks& hooks) {
    SessionOutcome outcome;
    SessionView view(hooks.events, hooks.progress);
    Core core(platform, view);
    std::optional<ReaderSerial> serial;
    if (allocator) {
        serial.emplace(*allocator, hooks.who);
        core.firmware.serialSource = &*serial;
    }
    MainDialog dialog(core);
    AppState& app = core.app;

    if (hooks.phase) hooks.phase(Phase::Identifying);
    if (!dialog.OnInitDialog()) {
        outcome.step = view.boxes().empty() ? "" : view.boxes().back();
        return outcome;
    }
    if (core.devices.deviceCount == 0) {
        // The status text starts with a line feed, as every line does.
        outcome.step = app.statusText.substr(app.statusText.empty() ? 0 : 1);
        dialog.OnCloseButton();
        return outcome;
    }
    outcome.identity = IdentityOf(core.devices.Selected(app.selectedDevice));
    outcome.image = FieldText(core.updateData.romCodeFile);

    dialog.OnIspEna();
    if (hooks.phase) hooks.phase(allocator ? Phase::Programming : Phase::Verifying);
    const std::size_t boxesBefore = view.boxes().size();
    bool succeeded = false;
    std::string shown;
    if (allocator) {
        const int successes = app.ispSuccessCount;
        dialog.OnWin9xIsp();
        succeeded = app.ispSuccessCount == successes + 1;
        shown = app.statusText.substr(0, app.statusText.rfind(kCounterBlock));
    } else {
        dialog.OnWin9xVer();
        shown = app.statusText;
        succeeded =
            view.boxes().size() == boxesBefore && LastLine(shown).rfind(kSuccessLine, 0) == 0;
    }
    if (serial) {
        outcome.number = serial->number;
        // A number the image did not take was used all the same: it is
        // logged without a serial number the reader does not carry.
        if (serial->carried) outcome.serial = serial->built;
        outcome.stamped = serial->carried;
    }
    if (succeeded) {
        outcome.result = allocator ? ReaderResult::Programmed : ReaderResult::Verified;
        // A user serial from DEVICE.TXT is stamped on every reader alike.
        if (allocator && !outcome.number && core.updateData.strSerialActive)
            outcome.serial = FieldText(core.updateData.strSerial).substr(0, kSerialLength);
    } else {
        outcome.step = view.boxes().size() > boxesBefore ? view.boxes().back() : LastLine(shown);
    }
    // The image as this run read it, once, and sent it: with its stamp, and
    // whatever the file holds by now.
    const FirmwareImage& sent = core.firmware.firmwareImage;
    if (sent.length > 0) outcome.imageCrc = Crc32(sent.bytes.data(), sent.length);
    dialog.OnCloseButton();
    return outcome;
}

}  // namespace usbisp::station

// The reader keys of the bench file: one object of `readers` each.
#include <array>
#include <fstream>

#include "emulator/operations.h"
#include "platform/sim/bench_keys.h"
#include "platform/sim/bench_values.h"

namespace usbisp::sim {

namespace {

// A reader being read, and where its "@FILE" firmware lies.
struct ReaderDraft {
    ReaderConfig config;
    const std::string& baseDir;
};

using Rule = KeyRule<ReaderDraft>;

// A value of bytes: written out in hexadecimal, or "@FILE" for the first
// `limit` bytes of a file relative to the bench file's folder (a file without
// end, a device, is never read whole).
std::vector<std::uint8_t> BytesOrFile(const json& value, const std::string& key,
                                      const std::string& baseDir, std::size_t limit) {
    const std::string text = String(value, key);
    if (text.empty() || text[0] != '@') return HexBytes(text, key);
    const std::string path = (baseDir.empty() ? std::string(".") : baseDir) + "/" + text.substr(1);
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(key, "cannot read \"" + path + "\"");
    std::vector<std::uint8_t> bytes(limit);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::vector<std::uint8_t> Firmware(const json& value, const std::string& key,
                                   const std::string& baseDir) {
    // One byte more than a firmware may hold is enough to refuse it.
    std::vector<std::uint8_t> bytes = BytesOrFile(value, key, baseDir, 65537);
    if (bytes.size() > 65536) Fail(key, "longer than 65536 bytes");
    return bytes;
}

// The firmware's identity layout: its address file, or the file's bytes.
AddressRecord IdentityLayout(const json& value, const std::string& key,
                             const std::string& baseDir) {
    const std::vector<std::uint8_t> bytes = BytesOrFile(value, key, baseDir, kAddressRecordSize);
    AddressRecord record;
    if (!DecodeAddressRecord(bytes.data(), bytes.size(), record))
        Fail(key, "needs 12 bytes (three 32-bit numbers), has " + std::to_string(bytes.size()));
    return record;
}

// A list of request names ("Name" or "Name#n").
std::vector<std::string> RequestNames(const json& value, const std::string& key) {
    if (!value.is_array()) Fail(key, "must be a list of request names");
    std::vector<std::string> names;
    for (const json& name : value) {
        const std::string n = String(name, key);
        CheckRequestName(n, key, false);
        names.push_back(n);
    }
    return names;
}

// An object from "Name#n" to a value of its own.
template <typename Value, typename ReadValue>
std::map<std::string, Value> ByRequest(const json& value, const std::string& key,
                                       ReadValue readValue) {
    if (!value.is_object()) Fail(key, "must be an object");
    std::map<std::string, Value> byRequest;
    for (auto it = value.begin(); it != value.end(); ++it) {
        const std::string path = key + "." + it.key();
        CheckRequestName(it.key(), path, true);
        byRequest[it.key()] = readValue(it.value(), path);
    }
    return byRequest;
}

std::map<std::string, std::vector<std::uint8_t>> Answers(const json& value,
                                                         const std::string& key) {
    if (!value.is_object()) Fail(key, "must be an object");
    std::map<std::string, std::vector<std::uint8_t>> answers;
    for (auto it = value.begin(); it != value.end(); ++it) {
        const std::string path = key + "." + it.key();
        if (!IsAnswerCommand(it.key()))
            Fail(path, "unknown command " + OperationNames(IsAnswerCommand));
        if (!it.value().is_array()) Fail(path, "must be a list of status bytes");
        std::vector<std::uint8_t> list;
        for (const json& b : it.value()) list.push_back(HexByte(b, path));
        answers[it.key()] = list;
    }
    return answers;
}

constexpr std::array<Rule, 3> kInquiryKeys = {{
    {"vendor", [](const json& v, const std::string& k,
                  ReaderDraft& r) { r.config.inquiryVendor = Padded(v, k, 8); }},
    {"product", [](const json& v, const std::string& k,
                   ReaderDraft& r) { r.config.inquiryProduct = Padded(v, k, 16); }},
    {"revision", [](const json& v, const std::string& k,
                    ReaderDraft& r) { r.config.inquiryRevision = Padded(v, k, 4); }},
}};

constexpr std::array<Rule, 2> kMemoryStickKeys = {{
    {"main", [](const json& v, const std::string& k,
                ReaderDraft& r) { r.config.memoryStickMain = Text(v, k, 8); }},
    {"loader", [](const json& v, const std::string& k,
                  ReaderDraft& r) { r.config.memoryStickLoader = Text(v, k, 8); }},
}};

constexpr std::array<Rule, 20> kReaderKeys = {{
    {"letters", [](const json& v, const std::string& k,
                   ReaderDraft& r) { r.config.letters = Letters(v, k, 1, 6); }},
    {"aspi",
     [](const json& v, const std::string& k, ReaderDraft& r) {
         if (!v.is_array() || v.size() != 2 || !v[0].is_number_integer() ||
             !v[1].is_number_integer() || v[0].get<int>() < 0 || v[0].get<int>() > 255 ||
             v[1].get<int>() < 0 || v[1].get<int>() > 255)
             Fail(k, "must be [host adapter, target], each 0 to 255");
         r.config.aspiAdapter = v[0].get<int>();
         r.config.aspiTarget = v[1].get<int>();
     }},
    {"vid",
     [](const json& v, const std::string& k, ReaderDraft& r) { r.config.vid = Hex16(v, k); }},
    {"pid",
     [](const json& v, const std::string& k, ReaderDraft& r) { r.config.pid = Hex16(v, k); }},
    {"manufacturer", [](const json& v, const std::string& k,
                        ReaderDraft& r) { r.config.manufacturer = Text(v, k, 24); }},
    {"product", [](const json& v, const std::string& k,
                   ReaderDraft& r) { r.config.product = Text(v, k, 16); }},
    {"serial",
     [](const json& v, const std::string& k, ReaderDraft& r) { r.config.serial = Text(v, k, 12); }},
    {"inquiry",
     [](const json& v, const std::string& k, ReaderDraft& r) {
         ReadObject<ReaderDraft>(v, k, kInquiryKeys, r);
     },
     [] { return KeyPaths<ReaderDraft>(kInquiryKeys); }},
    {"firmwareRevision", [](const json& v, const std::string& k,
                            ReaderDraft& r) { r.config.firmwareRevision = Revision(v, k, 8); }},
    {"firmwareRevisionOrg",
     [](const json& v, const std::string& k, ReaderDraft& r) {
         r.config.firmwareRevisionOrg = Revision(v, k, 4);
     }},
    {"usb20FirmwareRevision",
     [](const json& v, const std::string& k, ReaderDraft& r) {
         r.config.usb20FirmwareRevision = Revision(v, k, 8);
     }},
    {"hardwareRevision", [](const json& v, const std::string& k,
                            ReaderDraft& r) { r.config.hardwareRevision = Revision(v, k, 3); }},
    {"memoryStick",
     [](const json& v, const std::string& k, ReaderDraft& r) {
         ReadObject<ReaderDraft>(v, k, kMemoryStickKeys, r);
         r.config.memoryStick = true;
     },
     [] { return KeyPaths<ReaderDraft>(kMemoryStickKeys); }},
    {"firmware", [](const json& v, const std::string& k,
                    ReaderDraft& r) { r.config.firmware = Firmware(v, k, r.baseDir); }},
    {"identityLayout",
     [](const json& v, const std::string& k, ReaderDraft& r) {
         r.config.identityLayout = IdentityLayout(v, k, r.baseDir);
     }},
    {"answers",
     [](const json& v, const std::string& k, ReaderDraft& r) { r.config.answers = Answers(v, k); }},
    {"failures", [](const json& v, const std::string& k,
                    ReaderDraft& r) { r.config.failures = RequestNames(v, k); }},
    {"hangs", [](const json& v, const std::string& k,
                 ReaderDraft& r) { r.config.hangs = RequestNames(v, k); }},
    {"scsiStatus",
     [](const json& v, const std::string& k,
        ReaderDraft& r) { r.config.scsiStatus = ByRequest<std::uint8_t>(v, k, HexByte); }},
    {"delays", [](const json& v, const std::string& k,
                  ReaderDraft& r) { r.config.delays = ByRequest<int>(v, k, Milliseconds); }},
}};

}  // namespace

ReaderConfig ReadReader(const json& value, const std::string& path, const std::string& baseDir) {
    ReaderDraft reader{{}, baseDir};
    reader.config.inquiryVendor.assign(8, ' ');
    reader.config.inquiryProduct.assign(16, ' ');
    reader.config.inquiryRevision.assign(4, ' ');
    ReadObject<ReaderDraft>(value, path, kReaderKeys, reader);
    return std::move(reader.config);
}

std::vector<std::string> ReaderKeyPaths() {
    return KeyPaths<ReaderDraft>(kReaderKeys);
}

}  // namespace usbisp::sim

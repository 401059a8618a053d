#include "platform/sim/hardware.h"

#include <memory>

#include "platform/sim/bench.h"
#include "platform/sim/reader.h"
#include "platform/sim/reader_identity.h"
#include "platform/sim/reader_pass_through.h"

namespace usbisp::sim {

namespace {

// The device of an installed maker's driver: it opens; its requests are not
// emulated yet and fail.
class DriverDevice : public SimDevice {
  public:
    IoctlOutcome Ioctl(std::uint32_t, void*, std::uint32_t, void*, std::uint32_t,
                       std::uint32_t*) override {
        return {false, "", "request not emulated"};
    }
};

// A fixed disk that is not a card reader: it answers INQUIRY as a disk and
// refuses everything else, the vendor commands included.
class PlainDisk : public SimDevice {
  public:
    IoctlOutcome Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, std::uint32_t* bytesReturned) override {
        if (bytesReturned) *bytesReturned = 0;
        if (code != kPassThroughCode) return {false, "", "control code not served by a drive"};
        ParsedPassThrough parsed = ParsePassThrough(in, inSize, out, outSize);
        if (!parsed.request) return {false, "", parsed.reason};
        const PassThroughRequest& request = *parsed.request;
        if (!parsed.reason.empty())
            return {false, PassThroughDetails(request, request.scsiStatus), parsed.reason};
        if (request.cdb[0] != 0x12 || !request.isDataIn())
            return {false, PassThroughDetails(request, request.scsiStatus), ""};
        const auto data = BuildInquiryData("ATA", "FIXED DISK", "1.00", false);
        const std::uint32_t moved = CompletePassThrough(
            in, out, request, 0, std::vector<std::uint8_t>(data.begin(), data.end()));
        if (bytesReturned) *bytesReturned = moved;
        return {true, PassThroughDetails(request, 0), ""};
    }
};

}  // namespace

void InstallHardware(Bench& bench) {
    // A maker's driver is reached as "\\.\" + the file's base name.
    for (const std::string& file : bench.config().drivers) {
        const std::string base = file.substr(0, file.find('.'));
        if (!base.empty()) bench.AddDevice("\\\\.\\" + base, std::make_shared<DriverDevice>());
    }
    for (char letter : bench.config().drives)
        bench.AddDevice(std::string("\\\\.\\") + letter + ":", std::make_shared<PlainDisk>());

    ReaderEnvironment environment;
    environment.kernelDriverInstalled = bench.DriverInstalled("TAVDRV.SYS");
    environment.readerCount = bench.config().readers.size();
    for (const ReaderConfig& config : bench.config().readers) {
        auto controller = std::make_shared<ReaderController>(config, environment);
        for (char letter : config.letters)
            bench.AddDevice(std::string("\\\\.\\") + letter + ":",
                            std::make_shared<ReaderUnit>(controller));
        bench.AddReader(controller);
    }
}

}  // namespace usbisp::sim

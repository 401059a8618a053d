#include "station/bench_reader.h"

#include "platform/ascii_case.h"

namespace usbisp::station {

namespace {

constexpr const char* kUnplugged = "the reader was unplugged";

}  // namespace

BenchReader::BenchReader(sim::BenchConfig config, const std::string& directory,
                         TranscriptSink events, bool traceIo, VirtualTime& time,
                         std::shared_ptr<std::atomic<bool>> unplugged)
    : bench_(std::move(config), directory, events, traceIo),
      events_(std::move(events)),
      traceIo_(traceIo),
      time_(time),
      unplugged_(std::move(unplugged)) {}

std::uint32_t BenchReader::ReaderMask() const {
    std::uint32_t mask = 0;
    for (const auto& reader : bench_.config().readers)
        for (char letter : reader.letters) mask |= 1u << (letter - 'A');
    return mask;
}

bool BenchReader::IsReaderDrive(const std::string& path) const {
    if (path.size() != 6 || path.compare(0, 4, "\\\\.\\") != 0 || path[5] != ':') return false;
    const char letter = AsciiUpper(path)[4];
    return letter >= 'A' && letter <= 'Z' && (ReaderMask() >> (letter - 'A') & 1u) != 0;
}

Handle BenchReader::CreateFileA(const char* path, std::uint32_t desiredAccess,
                                std::uint32_t shareMode, std::uint32_t creationDisposition,
                                std::uint32_t flagsAndAttributes) {
    const std::string name = path ? path : "";
    goneOpen_ = Gone() && IsReaderDrive(name);
    if (goneOpen_) {
        if (traceIo_ && events_)
            events_(IoOpenEvent(name, false, desiredAccess, shareMode, flagsAndAttributes));
        return kInvalidHandle;
    }
    const Handle handle =
        bench_.CreateFileA(path, desiredAccess, shareMode, creationDisposition, flagsAndAttributes);
    if (handle != kInvalidHandle) paths_[handle] = name;
    return handle;
}

bool BenchReader::DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                                  std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                                  std::uint32_t* bytesReturned) {
    auto open = paths_.find(device);
    if (Gone() && open != paths_.end() && IsReaderDrive(open->second)) {
        if (bytesReturned) *bytesReturned = 0;
        if (traceIo_ && events_)
            events_(
                IoIoctlEvent(open->second, controlCode, inSize, outSize, false, "", kUnplugged));
        return false;
    }
    return bench_.DeviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize,
                                  bytesReturned);
}

bool BenchReader::CloseHandle(Handle handle) {
    paths_.erase(handle);
    return bench_.CloseHandle(handle);
}

std::uint32_t BenchReader::GetLogicalDrives() {
    const std::uint32_t mask = bench_.GetLogicalDrives();
    return Gone() ? mask & ~ReaderMask() : mask;
}

void BenchReader::Sleep(std::uint32_t milliseconds) {
    // The reader's own machine writes the line and moves its clock; the
    // station's clock lets the other readers run meanwhile.
    bench_.Sleep(milliseconds);
    time_.Sleep(milliseconds);
}

}  // namespace usbisp::station

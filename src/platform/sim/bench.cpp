#include "platform/sim/bench.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <thread>

#include "platform/ascii_case.h"
#include "platform/device_access.h"
#include "platform/printf_text.h"
#include "platform/sim/hardware.h"
#include "platform/transcript_text.h"
#include "platform/win_constants.h"

namespace usbisp::sim {

namespace {

using Clock = std::chrono::system_clock;

// The letter of a drive's path (\\.\X:), upper case; 0 for any other path.
char DriveLetterOf(const std::string& path) {
    const bool drive = path.size() == 6 && path.compare(0, 4, "\\\\.\\") == 0 && path[5] == ':';
    return drive ? static_cast<char>(std::toupper(static_cast<unsigned char>(path[4]))) : '\0';
}

Clock::time_point ToTimePoint(const LocalTime& t) {
    using namespace std::chrono;
    const sys_days day = year{t.year} / month{t.month} / std::chrono::day{t.day};
    return Clock::time_point(day) + hours{t.hour} + minutes{t.minute} + seconds{t.second} +
           milliseconds{t.milliseconds};
}

LocalTime FromTimePoint(Clock::time_point point) {
    using namespace std::chrono;
    const auto day = floor<days>(point);
    const year_month_day ymd{day};
    const hh_mm_ss<milliseconds> time{floor<milliseconds>(point - day)};
    LocalTime t;
    t.year = static_cast<std::uint16_t>(static_cast<int>(ymd.year()));
    t.month = static_cast<std::uint16_t>(static_cast<unsigned>(ymd.month()));
    t.day = static_cast<std::uint16_t>(static_cast<unsigned>(ymd.day()));
    t.dayOfWeek = static_cast<std::uint16_t>(weekday{day}.c_encoding());
    t.hour = static_cast<std::uint16_t>(time.hours().count());
    t.minute = static_cast<std::uint16_t>(time.minutes().count());
    t.second = static_cast<std::uint16_t>(time.seconds().count());
    t.milliseconds = static_cast<std::uint16_t>(time.subseconds().count());
    return t;
}

LocalTime RealLocalTime() {
    const std::time_t now = std::time(nullptr);
    // Benches are made on several threads at once (a station's readers):
    // not the C library's one shared result. Windows' C library keeps that
    // result per thread (and the one of Windows 98 has no localtime_s).
    std::tm tm{};
#ifdef _WIN32
    tm = *std::localtime(&now);
#else
    localtime_r(&now, &tm);
#endif
    LocalTime t;
    t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    t.day = static_cast<std::uint16_t>(tm.tm_mday);
    t.hour = static_cast<std::uint16_t>(tm.tm_hour);
    t.minute = static_cast<std::uint16_t>(tm.tm_min);
    t.second = static_cast<std::uint16_t>(tm.tm_sec);
    return t;
}

}  // namespace

LocalTime LocalTimeAfter(const LocalTime& start, std::uint64_t milliseconds) {
    return FromTimePoint(ToTimePoint(start) + std::chrono::milliseconds(milliseconds));
}

Bench::Bench(BenchConfig config, std::string directory, EventSink sink, bool traceIo)
    : config_(std::move(config)),
      directory_(std::move(directory)),
      sink_(std::move(sink)),
      traceIo_(traceIo),
      start_(ToTimePoint(config_.clock ? *config_.clock : RealLocalTime())),
      realStart_(std::chrono::steady_clock::now()),
      files_(directory_) {
    InstallHardware(*this);
}

Bench::~Bench() = default;

void Bench::Emit(const std::string& line) {
    if (sink_) sink_(line);
}

void Bench::TraceIo(const std::string& line) {
    if (traceIo_) Emit("io " + line);
}

void Bench::AddDevice(const std::string& path, std::shared_ptr<SimDevice> device) {
    devices_[AsciiUpper(path)] = std::move(device);
}

void Bench::AddReader(std::shared_ptr<SimReader> reader) {
    readers_.push_back(std::move(reader));
}

bool Bench::DriverInstalled(const std::string& fileName) const {
    return std::any_of(config_.drivers.begin(), config_.drivers.end(),
                       [&](const std::string& d) { return AsciiUpper(d) == AsciiUpper(fileName); });
}

void Bench::AddLogicalDrive(char letter) {
    if (letter >= 'A' && letter <= 'Z') extraDrives_ |= 1u << (letter - 'A');
}

void Bench::Replug() {
    for (auto& reader : readers_) reader->Replug();
}

std::vector<std::uint8_t> Bench::ReaderFirmware(std::size_t n) const {
    return n < readers_.size() ? readers_[n]->Firmware() : std::vector<std::uint8_t>{};
}

std::shared_ptr<SimDevice> Bench::FindDevice(const std::string& path) const {
    auto it = devices_.find(AsciiUpper(path));
    return it == devices_.end() ? nullptr : it->second;
}

std::uint32_t Bench::GetVersion() {
    return config_.versionWord;
}

Handle Bench::CreateFileA(const char* path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                          std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) {
    const std::string name = path ? path : "";
    auto device = FindDevice(name);
    std::uint32_t error = 0;
    const auto recorded = device ? device->RecordedOpen(desiredAccess, shareMode,
                                                        creationDisposition, flagsAndAttributes)
                                 : std::nullopt;
    const bool remote = RemoteDrive(name);
    if (recorded) {
        error = *recorded;
    } else if (remote) {
        // A network drive's volume is not the program's to open, whoever it is.
        error = win::kErrorAccessDenied;
    } else if (!device || creationDisposition != win::kOpenExisting) {
        error = win::kErrorOpenFileNotFound;
    } else if (DeniedToUser(name, desiredAccess)) {
        error = win::kErrorAccessDenied;
    } else if (SharingConflict(device, shareMode)) {
        error = win::kErrorSharingViolation;
    } else if (!device->Open()) {
        error = win::kErrorGenFailure;
    }
    const bool ok = error == 0;
    if (traceIo_)
        Emit(IoOpenEvent(name, ok, desiredAccess, shareMode, flagsAndAttributes) +
             (error == win::kErrorAccessDenied
                  ? " reason=" + QuoteText(remote ? "access denied: a remote drive"
                                                  : "access denied: not an administrator")
                  : ""));
    if (!ok) {
        lastError_ = error;
        return kInvalidHandle;
    }
    const Handle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = OpenDevice{name, device, desiredAccess, shareMode};
    return handle;
}

bool Bench::RemoteDrive(const std::string& path) const {
    const char letter = DriveLetterOf(path);
    return letter != '\0' && config_.remoteDrives.find(letter) != std::string::npos;
}

bool Bench::DeniedToUser(const std::string& path, std::uint32_t desiredAccess) const {
    return config_.limitedUser && NtFamily() && DriveLetterOf(path) != '\0' &&
           (GrantsRead(desiredAccess) || GrantsWrite(desiredAccess));
}

bool Bench::SharingConflict(const std::shared_ptr<SimDevice>& device,
                            std::uint32_t shareMode) const {
    // Windows 95/98 and ME do not check sharing on the drivers' devices.
    if (!NtFamily()) return false;
    return std::any_of(handles_.begin(), handles_.end(), [&](const auto& entry) {
        return entry.second.device == device && (shareMode == 0 || entry.second.shareMode == 0);
    });
}

bool Bench::DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                            std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                            std::uint32_t* bytesReturned) {
    auto it = handles_.find(device);
    if (it == handles_.end()) {
        if (traceIo_)
            Emit(IoIoctlEvent("", controlCode, inSize, outSize, false, "", "invalid handle"));
        return false;
    }
    // Windows NT refuses a control code the handle's access does not allow
    // before any driver sees it; the 9x family does not check.
    const std::string denial =
        NtFamily() ? AccessDenial(it->second.desiredAccess, controlCode) : "";
    IoctlOutcome outcome = denial.empty()
                               ? it->second.device->Ioctl(controlCode, inBuffer, inSize, outBuffer,
                                                          outSize, bytesReturned)
                               : IoctlOutcome{false, "", denial};
    if (!denial.empty() && bytesReturned) *bytesReturned = 0;
    if (traceIo_)
        Emit(IoIoctlEvent(it->second.path, controlCode, inSize, outSize, outcome.ok,
                          outcome.details, outcome.reason));
    return outcome.ok;
}

bool Bench::CloseHandle(Handle handle) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return false;
    if (traceIo_) Emit(IoCloseEvent(it->second.path));
    it->second.device->Closed();
    handles_.erase(it);
    return true;
}

std::uint32_t Bench::GetLogicalDrives() {
    std::uint32_t mask = config_.recordedDrives | extraDrives_;
    auto mark = [&](char letter) { mask |= 1u << (letter - 'A'); };
    for (char c : config_.drives) mark(c);
    for (char c : config_.remoteDrives) mark(c);
    for (const auto& reader : config_.readers)
        for (char c : reader.letters) mark(c);
    return mask;
}

std::uint32_t Bench::GetDriveTypeA(const char* rootPath) {
    const std::string root = AsciiUpper(rootPath ? rootPath : "");
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\') return win::kDriveNoRootDir;
    const char letter = root[0];
    auto holds = [letter](const std::string& letters) {
        return letters.find(letter) != std::string::npos;
    };
    if (holds(config_.drives)) return win::kDriveFixed;
    if (holds(config_.remoteDrives)) return win::kDriveRemote;
    for (const auto& reader : config_.readers)
        if (holds(reader.letters)) return win::kDriveRemovable;
    return win::kDriveNoRootDir;
}

void Bench::Sleep(std::uint32_t milliseconds) {
    Emit(SleepEvent(milliseconds));
    if (config_.realtime) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    } else {
        slept_ += std::chrono::milliseconds(milliseconds);
    }
    // What falls due while the program waits arrives now.
    if (aspi_) aspi_->DeliverDue();
}

std::uint64_t Bench::ElapsedMs() const {
    if (config_.realtime)
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - realStart_)
                                              .count());
    return static_cast<std::uint64_t>(slept_.count());
}

namespace {

// The module handle of the bench's one library.
constexpr Module kAspiModule = 0x10000000u;

}  // namespace

Module Bench::LoadLibraryA(const char* name) {
    const std::string library = name ? name : "";
    const std::string upper = AsciiUpper(library);
    const bool ok = aspi_ != nullptr && (upper == "WNASPI32" || upper == "WNASPI32.DLL") &&
                    !aspi_->CallFails("LoadLibrary");
    TraceIo("load " + QuoteText(library) + (ok ? " ok" : " fail"));
    if (!ok) return 0;
    ++aspiReferences_;
    return kAspiModule;
}

EntryPoint Bench::GetProcAddress(Module module, const char* name) {
    const std::string entry = name ? name : "";
    EntryPoint found;
    if (module == kAspiModule && aspiReferences_ > 0 && aspi_) found = aspi_->Entry(entry);
    TraceIo("proc " + QuoteText(entry) + (found ? " ok" : " fail"));
    return found;
}

bool Bench::FreeLibrary(Module module) {
    if (module != kAspiModule || aspiReferences_ == 0) return false;
    // Unloading the library under a posted request would leave its
    // completion to run code that is gone: on Windows, a crash.
    const std::size_t posted = aspiReferences_ == 1 && aspi_ ? aspi_->Posted() : 0;
    if (posted > 0) {
        TraceIo("free \"WNASPI32\" fail reason=" +
                QuoteText(Printf("%u request%s still posted", static_cast<unsigned>(posted),
                                 posted == 1 ? " is" : "s are")));
        return false;
    }
    TraceIo("free \"WNASPI32\"");
    --aspiReferences_;
    return true;
}

std::size_t Bench::openHandleCount() const {
    std::size_t references = aspiReferences_;
    if (references > 0 && aspi_ && aspi_->Posted() > 0) --references;
    return handles_.size() + registry_.openKeyCount() + references;
}

long Bench::RegOpenKeyExA(RegKey, const char* subKey, std::uint32_t, RegKey* result) {
    const std::string key = subKey ? subKey : "";
    const long status = registry_.Open(key, result);
    TraceIo("reg open " + QuoteText(key) + (status == win::kErrorSuccess ? " ok" : " fail"));
    return status;
}

long Bench::RegQueryValueExA(RegKey key, const char* valueName, std::uint8_t* data,
                             std::uint32_t* dataSize) {
    const std::string name = valueName ? valueName : "";
    std::string text;
    const long status = registry_.Query(key, name, data, dataSize, text);
    TraceIo("reg query " + QuoteText(name) + (status == win::kErrorSuccess ? " ok " : " fail ") +
            QuoteText(text));
    return status;
}

long Bench::RegCloseKey(RegKey key) {
    TraceIo("reg close");
    return registry_.Close(key);
}

LocalTime Bench::GetLocalTime() {
    auto elapsed = config_.realtime ? std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - realStart_)
                                    : slept_;
    return FromTimePoint(start_ + elapsed);
}

void Bench::WriteStdout(const std::string& text) {
    Emit(StdoutEvent(text));
}

}  // namespace usbisp::sim

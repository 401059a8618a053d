#include "platform/recorder.h"

#include <algorithm>
#include <cstring>

#include "platform/port_driver_output.h"

namespace usbisp::rec {

namespace {

std::vector<std::uint8_t> Copy(const void* data, std::uint32_t size) {
    if (!data || size == 0) return std::vector<std::uint8_t>(size, 0);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

// Room kept below the bound for the end of the file.
constexpr std::size_t kEndRoom = 64;

}  // namespace

std::FILE* Recorder::OpenOutput(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) error = path + ": cannot write the recording";
    return file;
}

Recorder::Recorder(Platform& inner, std::FILE* file, const Recording& header)
    : inner_(inner), file_(file), start_(std::chrono::steady_clock::now()) {
    const std::string text = HeaderText(header);
    written_ = text.size();
    sound_ = std::fwrite(text.data(), 1, text.size(), file_) == text.size();
    EnlistForAspi();
}

Recorder::~Recorder() {
    // A completion that comes after this is handed on unrecorded.
    RetireFromAspi();
    const std::string end = EndText(cut_);
    sound_ = std::fwrite(end.data(), 1, end.size(), file_) == end.size() && sound_;
    std::fclose(file_);
}

Event Recorder::Start(Call call) const {
    Event event;
    event.call = call;
    event.t = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - start_)
                                             .count());
    return event;
}

void Recorder::Write(const Event& event) {
    Locked locked(writeLock_);
    if (cut_) return;
    const std::string line = EventLine(event, events_ == 0);
    // Past its bound the recording ends here, marked as cut: a replay then
    // knows that the calls after it are missing, not refused.
    if (written_ + line.size() + kEndRoom > kMaxRecordingBytes) {
        cut_ = true;
        return;
    }
    written_ += line.size();
    ++events_;
    sound_ = std::fwrite(line.data(), 1, line.size(), file_) == line.size() && sound_;
    // A session that ends badly keeps what came before.
    std::fflush(file_);
}

std::string Recorder::PathOf(Handle handle) const {
    auto it = paths_.find(handle);
    return it == paths_.end() ? std::string() : it->second;
}

std::uint32_t Recorder::GetVersion() {
    Event event = Start(Call::GetVersion);
    event.value = inner_.GetVersion();
    Write(event);
    return event.value;
}

Handle Recorder::CreateFileA(const char* path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                             std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) {
    Event event = Start(Call::CreateFileA);
    const Handle handle =
        inner_.CreateFileA(path, desiredAccess, shareMode, creationDisposition, flagsAndAttributes);
    event.ok = handle != kInvalidHandle;
    if (!event.ok) lastError_ = event.lastError = inner_.GetLastError();
    event.path = path ? path : "";
    event.access = desiredAccess;
    event.share = shareMode;
    event.disposition = creationDisposition;
    event.flags = flagsAndAttributes;
    if (event.ok) paths_[handle] = event.path;
    Write(event);
    return handle;
}

bool Recorder::DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                               std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                               std::uint32_t* bytesReturned) {
    Event event = Start(Call::DeviceIoControl);
    // The input as it went in: the answer may come back in the same buffer.
    event.in = Copy(inBuffer, std::min(inSize, kMaxBufferBytes));
    std::uint32_t returned = 0;
    event.ok = inner_.DeviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize,
                                      &returned);
    if (!event.ok) lastError_ = event.lastError = inner_.GetLastError();
    if (bytesReturned) *bytesReturned = returned;
    event.path = PathOf(device);
    event.code = controlCode;
    event.inSize = static_cast<std::uint32_t>(event.in.size());
    // A port driver may write more than the declared output: all it wrote.
    const std::uint32_t written = PortDriverOutputLength(controlCode, event.in, outSize);
    event.out = Copy(outBuffer, std::min(written, kMaxBufferBytes));
    event.outSize = std::min(outSize, kMaxBufferBytes);
    event.returned = returned;
    Write(event);
    return event.ok;
}

bool Recorder::CloseHandle(Handle handle) {
    Event event = Start(Call::CloseHandle);
    event.ok = inner_.CloseHandle(handle);
    event.path = PathOf(handle);
    paths_.erase(handle);
    Write(event);
    return event.ok;
}

std::uint32_t Recorder::GetLastError() {
    Event event = Start(Call::GetLastError);
    event.value = lastError_;
    Write(event);
    return event.value;
}

std::uint32_t Recorder::GetLogicalDrives() {
    Event event = Start(Call::GetLogicalDrives);
    event.value = inner_.GetLogicalDrives();
    Write(event);
    return event.value;
}

std::uint32_t Recorder::GetDriveTypeA(const char* rootPath) {
    Event event = Start(Call::GetDriveTypeA);
    event.path = rootPath ? rootPath : "";
    event.value = inner_.GetDriveTypeA(rootPath);
    Write(event);
    return event.value;
}

void Recorder::Sleep(std::uint32_t milliseconds) {
    Event event = Start(Call::Sleep);
    // Begun before the wait: a completion during it counts it.
    ++sleepsBegun_;
    inner_.Sleep(milliseconds);
    event.value = milliseconds;
    Write(event);
}

Module Recorder::LoadLibraryA(const char* name) {
    Event event = Start(Call::LoadLibraryA);
    const Module module = inner_.LoadLibraryA(name);
    event.path = name ? name : "";
    event.ok = module != 0;
    Write(event);
    return module;
}

EntryPoint Recorder::GetProcAddress(Module module, const char* name) {
    Event event = Start(Call::GetProcAddress);
    const EntryPoint entry = inner_.GetProcAddress(module, name);
    event.path = name ? name : "";
    event.ok = static_cast<bool>(entry);
    Write(event);
    return WrapAspiEntry(name, entry);
}

bool Recorder::FreeLibrary(Module module) {
    Event event = Start(Call::FreeLibrary);
    event.ok = inner_.FreeLibrary(module);
    Write(event);
    return event.ok;
}

long Recorder::RegOpenKeyExA(RegKey root, const char* subKey, std::uint32_t samDesired,
                             RegKey* result) {
    Event event = Start(Call::RegOpenKeyExA);
    const long status = inner_.RegOpenKeyExA(root, subKey, samDesired, result);
    event.path = subKey ? subKey : "";
    event.value = static_cast<std::uint32_t>(status);
    event.ok = status == 0;
    Write(event);
    return status;
}

long Recorder::RegQueryValueExA(RegKey key, const char* valueName, std::uint8_t* data,
                                std::uint32_t* dataSize) {
    Event event = Start(Call::RegQueryValueExA);
    const std::uint32_t room = dataSize ? *dataSize : 0;
    const long status = inner_.RegQueryValueExA(key, valueName, data, dataSize);
    event.path = valueName ? valueName : "";
    event.value = static_cast<std::uint32_t>(status);
    const std::uint32_t size = dataSize ? std::min({*dataSize, room, kMaxBufferBytes}) : 0;
    event.out = status == 0 && data ? Copy(data, size) : std::vector<std::uint8_t>{};
    event.returned = static_cast<std::uint32_t>(event.out.size());
    Write(event);
    return status;
}

long Recorder::RegCloseKey(RegKey key) {
    Event event = Start(Call::RegCloseKey);
    const long status = inner_.RegCloseKey(key);
    event.value = static_cast<std::uint32_t>(status);
    Write(event);
    return status;
}

LocalTime Recorder::GetLocalTime() {
    Event event = Start(Call::GetLocalTime);
    event.time = inner_.GetLocalTime();
    Write(event);
    return event.time;
}

}  // namespace usbisp::rec

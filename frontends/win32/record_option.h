// "/record FILE" on the command line of the Windows programs: the session's
// calls on the platform written to FILE (platform/recorder.h), the same
// recording the native program makes with --record and the bench replays.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/printf_text.h"
#include "platform/recorder.h"
#include "win32/windows_api.h"

namespace usbisp::win32 {

// The FILE of "/record FILE" ("/record "C:\My Files\rec.json"" quoted),
// empty when the command line has none.
inline std::string RecordOption(const char* commandLine) {
    const std::string line = commandLine ? commandLine : "";
    const std::string option = "/record";
    std::size_t at = 0;
    while ((at = line.find(option, at)) != std::string::npos) {
        const bool starts = at == 0 || line[at - 1] == ' ';
        const std::size_t after = at + option.size();
        if (starts && after < line.size() && line[after] == ' ') break;
        at = after;
    }
    if (at == std::string::npos) return {};
    std::size_t from = line.find_first_not_of(' ', at + option.size());
    if (from == std::string::npos) return {};
    if (line[from] == '"') {
        const std::size_t end = line.find('"', from + 1);
        return line.substr(from + 1, end == std::string::npos ? end : end - from - 1);
    }
    const std::size_t end = line.find(' ', from);
    return line.substr(from, end == std::string::npos ? end : end - from);
}

// A recorder in front of `platform` when the command line asks for one; a
// message box names the file when it cannot be written, and the program
// then runs unrecorded.
inline std::unique_ptr<rec::Recorder> RecorderFor(Platform& platform, const char* commandLine,
                                                  const char* program, const char* title) {
    const std::string path = RecordOption(commandLine);
    if (path.empty()) return nullptr;
    std::string error;
    std::FILE* file = rec::Recorder::OpenOutput(path, error);
    if (!file) {
        ::MessageBoxA(nullptr, error.c_str(), title, MB_OK | MB_ICONSTOP);
        return nullptr;
    }
    const std::uint32_t word = platform.GetVersion();
    rec::Recording header;
    header.program = program;
    header.version = USBISP_VERSION;
    header.platform = Printf("Windows %u.%u build %u%s", word & 0xFFu, (word >> 8) & 0xFFu,
                             (word >> 16) & 0x7FFFu, (word & 0x80000000u) ? " (9x family)" : "");
    return std::make_unique<rec::Recorder>(platform, file, header);
}

}  // namespace usbisp::win32

// --record FILE: the session's calls on its platform written to a recording
// (platform/recorder.h), for every face of the native program.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/drive_map.h"
#include "platform/recorder.h"

namespace usbisp::script {

// What the recording says it was made on.
std::string BenchPlatformWords(const std::string& benchPath, const std::string& windows);
std::string RealPlatformWords();

// A recorder between the core and `inner`, writing to `path`; nothing with
// `error` (naming the file) when the file cannot be written. The drives of a
// --real run are written as the facts found before the first call.
std::unique_ptr<rec::Recorder> StartRecording(Platform& inner, const std::string& path,
                                              const std::string& platformWords,
                                              const std::vector<lnx::LinuxDrive>& drives,
                                              std::string& error);

}  // namespace usbisp::script

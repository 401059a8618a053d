#include "script/session_recording.h"

#include <sys/utsname.h>

namespace usbisp::script {

std::string BenchPlatformWords(const std::string& benchPath, const std::string& windows) {
    return "the bench (" + (benchPath.empty() ? std::string("the demo bench") : benchPath) +
           "), Windows " + windows + " to the program";
}

std::string RealPlatformWords() {
    utsname name{};
    const std::string kernel =
        uname(&name) == 0 ? std::string(name.sysname) + " " + name.release : "Linux";
    return kernel +
           ", real card readers through the SCSI generic driver, Windows XP to the "
           "program";
}

std::unique_ptr<rec::Recorder> StartRecording(Platform& inner, const std::string& path,
                                              const std::string& platformWords,
                                              const std::vector<lnx::LinuxDrive>& drives,
                                              std::string& error) {
    std::FILE* file = rec::Recorder::OpenOutput(path, error);
    if (!file) return nullptr;
    rec::Recording header;
    header.program = "usbisp";
    header.version = USBISP_VERSION;
    header.platform = platformWords;
    for (const lnx::LinuxDrive& drive : drives)
        header.facts.emplace_back(
            std::string("drive ") + drive.letter,
            drive.device + (drive.placeName.empty() ? "" : " at " + drive.placeName));
    return std::make_unique<rec::Recorder>(inner, file, header);
}

}  // namespace usbisp::script

// A recording as a bench: the whole file as the machine (--bench FILE), or a
// reader of a bench file that is one ("recording": "@FILE").
#include "platform/sim/recording_bench.h"

#include <fstream>

#include "platform/sim/bench_keys.h"
#include "platform/sim/bench_values.h"

namespace usbisp::sim {

namespace {

// The first recorded answer of a call.
const rec::Event* First(const rec::Recording& recording, rec::Call call) {
    for (const rec::Event& event : recording.events)
        if (event.call == call) return &event;
    return nullptr;
}

// The bench's name of a recorded version word; the word itself is what
// GetVersion answers.
std::string WindowsNamed(std::uint32_t word) {
    for (const char* name : {"95", "98", "me", "2000", "xp", "nt4", "2003", "vista", "7", "10"})
        if (VersionWordFor(name) == word) return name;
    return "recorded";
}

}  // namespace

std::shared_ptr<const rec::Recording> LoadRecording(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot read the recording";
        return nullptr;
    }
    // One byte past the bound is enough to refuse it; a file without end (a
    // device) is never read whole.
    std::string text(rec::kMaxRecordingBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    std::string what;
    auto recording = rec::ParseRecording(text, what);
    if (!recording) {
        error = path + ": " + what;
        return nullptr;
    }
    return std::make_shared<const rec::Recording>(std::move(*recording));
}

std::optional<BenchConfig> BenchFromRecording(std::shared_ptr<const rec::Recording> recording,
                                              const std::string& name) {
    BenchConfig config;
    // A recording without the calls keeps the bench's own answer (an XP
    // machine, the real clock).
    config.versionWord = *VersionWordFor(config.windows);
    if (const rec::Event* version = First(*recording, rec::Call::GetVersion)) {
        config.versionWord = version->value;
        config.windows = WindowsNamed(version->value);
    }
    // The clock starts where the recorded one did, so that the date a serial
    // number is made from is the recorded session's.
    if (const rec::Event* time = First(*recording, rec::Call::GetLocalTime)) {
        LocalTime start = time->time;
        start.milliseconds = 0;
        config.clock = start;
    }
    if (const rec::Event* drives = First(*recording, rec::Call::GetLogicalDrives))
        config.recordedDrives = drives->value;
    config.recordedReaders.push_back({std::move(recording), name, false});
    return config;
}

RecordedReader ReadRecordedReader(const json& value, const std::string& path,
                                  const std::string& baseDir) {
    RecordedReader reader;
    for (auto it = value.begin(); it != value.end(); ++it)
        if (it.key() != "recording" && it.key() != "order")
            Fail(path + "." + it.key(),
                 "a reader that is a recording takes only \"recording\" and \"order\"");
    const std::string order =
        value.contains("order") ? String(value["order"], path + ".order") : std::string("recorded");
    if (order != "recorded" && order != "any")
        Fail(path + ".order", "must be \"recorded\" or \"any\"");
    reader.anyOrder = order == "any";
    const std::string key = path + ".recording";
    if (!value.contains("recording")) Fail(key, "is missing: the recording this reader is");
    const std::string file = String(value["recording"], key);
    if (file.size() < 2 || file[0] != '@') Fail(key, "must be \"@FILE\", the recording's file");
    reader.name = (baseDir.empty() ? std::string(".") : baseDir) + "/" + file.substr(1);
    std::string error;
    reader.recording = LoadRecording(reader.name, error);
    if (!reader.recording) Fail(key, error);
    return reader;
}

}  // namespace usbisp::sim

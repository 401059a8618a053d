// The recording: whatever comes, the reader refuses it with a message or
// yields a recording the bench replays, and a replayed call either finds its
// answer or ends the run with the mismatch, never anything worse.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/recording.h"
#include "platform/sim/recording_bench.h"
#include "platform/sim/replay.h"
#include "platform/win_constants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto recording = rec::ParseRecording(text, error);
    if (!recording) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    auto shared = std::make_shared<const rec::Recording>(std::move(*recording));
    auto config = sim::BenchFromRecording(shared, "fuzz.json");
    sim::Bench bench(std::move(*config), fuzz::ScratchDir(), nullptr, false);
    bench.GetLogicalDrives();
    bench.GetLocalTime();
    // Each recorded request asked again, in the recorded order, on the
    // device it went to: the recorded answers go into buffers of the asked
    // sizes.
    try {
        std::map<std::string, Handle> handles;
        for (const rec::Event& event : shared->events) {
            if (event.call == rec::Call::CreateFileA) {
                const Handle h = bench.CreateFileA(event.path.c_str(), event.access, event.share,
                                                   event.disposition, event.flags);
                if (h != kInvalidHandle) handles[event.path] = h;
            } else if (event.call == rec::Call::DeviceIoControl && handles.count(event.path)) {
                std::vector<std::uint8_t> in = event.in, out(event.outSize);
                std::uint32_t returned = 0;
                bench.DeviceIoControl(handles[event.path], event.code, in.data(), event.inSize,
                                      out.data(), event.outSize, &returned);
            } else if (event.call == rec::Call::CloseHandle && handles.count(event.path)) {
                bench.CloseHandle(handles[event.path]);
                handles.erase(event.path);
            }
        }
    } catch (const sim::ReplayMismatch&) {
    }
    return 0;
}

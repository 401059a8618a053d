// The recording: whatever comes, the reader refuses it with a message or
// yields a recording the bench replays, and a replayed call either finds its
// answer or ends the run with the mismatch, never anything worse.
#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/aspi.h"
#include "platform/port_driver_output.h"
#include "platform/recording.h"
#include "platform/sim/recording_bench.h"
#include "platform/sim/replay.h"
#include "platform/win_constants.h"

namespace {

struct AspiBlock {
    usbisp::aspi::SrbExecScsiCmd srb{};
    std::vector<std::uint8_t> buffer;
};

void Completed(void*) {}

}  // namespace

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
                // As large as the program's: a port driver writes past the
                // declared output for some requests.
                std::vector<std::uint8_t> in = event.in, out(PortDriverOutputLength(event.code, in,
                                                                                    event.outSize));
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
    // Each recorded ASPI request submitted again as a block of the recorded
    // sizes, its data going out the recorded one; the blocks live as long as
    // the bench, which may still hold them posted.
    std::deque<AspiBlock> blocks;
    try {
        const Module library = bench.LoadLibraryA("WNASPI32");
        const EntryPoint info = bench.GetProcAddress(library, "GetASPI32SupportInfo");
        const EntryPoint send = bench.GetProcAddress(library, "SendASPI32Command");
        if (info) info();
        for (const rec::Event& event : shared->events) {
            if (event.call != rec::Call::SendASPI32Command || !send) continue;
            AspiBlock& block = blocks.emplace_back();
            block.buffer.assign(event.bufferLength, 0);
            std::copy(event.dataOut.begin(), event.dataOut.end(), block.buffer.begin());
            aspi::SrbExecScsiCmd& b = block.srb;
            b.SRB_Cmd = aspi::kExecScsiCmd;
            b.SRB_HaId = event.adapter;
            b.SRB_Flags = event.aspiFlags;
            b.SRB_Target = event.target;
            b.SRB_Lun = event.lun;
            b.SRB_BufLen = event.bufferLength;
            b.SRB_BufPointer = block.buffer.data();
            b.SRB_SenseLen = event.senseLength;
            b.SRB_CDBLen = event.cdbLength;
            b.SRB_PostProc = Completed;
            std::copy(event.cdb.begin(), event.cdb.end(), b.CDBByte);
            send(&b);
            bench.Sleep(1);
        }
        for (int i = 0; i < 4; ++i) bench.Sleep(1);
    } catch (const sim::ReplayMismatch&) {
    }
    return 0;
}

// SERIAL.TXT: the read with its range test and, for a counter it accepts, the
// store and a second read, which must give back exactly the stored counter.
#include "firmware/serial_file.h"
#include "firmware/serial_number.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp;
    fuzz::MemoryBench& bench = fuzz::BenchWith(kSerialFileName, data, size);
    std::string statusText;
    const OperatorMessages messages{fuzz::QuietView(), statusText};
    SerialCounter counter;
    if (!ReadSerialCounter(bench, messages, counter)) return 0;
    if (counter.CEM != kSerialPrefix || !SerialCounterInRange(counter)) __builtin_trap();
    bool unsaved = false;
    AdvanceAndStoreSerialCounter(bench, fuzz::QuietView(), counter, unsaved);
    if (unsaved) __builtin_trap();
    SerialCounter again;
    if (!ReadSerialCounter(bench, messages, again)) __builtin_trap();
    if (again.CEM != counter.CEM || again.PC != counter.PC || again.CNT != counter.CNT)
        __builtin_trap();
    return 0;
}

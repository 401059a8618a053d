// DEVICE.TXT: the whole load (every key, the device settings scan) and the
// summary built from the record.
#include "fuzz_support.h"
#include "updatedata/update_data_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp;
    fuzz::MemoryBench& bench = fuzz::BenchWith("DEVICE.TXT", data, size);
    AppState app;
    app.osKind = OsWinXP;
    UpdateData record;
    KeyReader reader;
    LoadUpdateData(bench, fuzz::QuietView(), app, record, reader);
    // Every text field keeps a terminator, whatever the file held.
    for (const auto* field : {record.stringManufacture.data(), record.stringProduct.data()})
        if (field[25] != '\0') __builtin_trap();
    if (record.romCodeFile[13] != '\0' || record.addressFile[13] != '\0') __builtin_trap();
    return 0;
}

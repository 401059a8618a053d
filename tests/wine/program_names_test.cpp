// The driver names the processes of the programs it started by their order:
// the expected texts of the Wine cases say "process #1" where the program wrote
// its process id.
#include "program_names.h"

#include <gtest/gtest.h>

namespace wine_driver {
namespace {

struct NamingRow {
    const char* text;
    const char* named;
};

TEST(NameProcesses, NamesOnlyTheWholeIdsOfStartedPrograms) {
    const std::vector<unsigned long> started = {292, 300};
    const NamingRow rows[] = {
        {"held by UsbIsp main window, process 292 !!!",
         "held by UsbIsp main window, process #1 !!!"},
        {"process 300", "process #2"},
        {"process 300, process 292", "process #2, process #1"},
        // Not a started program, or not its whole id.
        {"process 29 !", "process 29 !"},
        {"process 2920", "process 2920"},
        {"process 0292", "process 0292"},
        {"held by another program", "held by another program"},
        {"process ", "process "},
        {"process x292", "process x292"},
        {"process 99999999999999999999", "process 99999999999999999999"},
        {"CNT= 0x0124 292", "CNT= 0x0124 292"},
    };
    for (const NamingRow& row : rows)
        EXPECT_EQ(NameProcesses(row.text, started), row.named) << row.text;
    EXPECT_EQ(NameProcesses("process 292", {}), "process 292");
}

}  // namespace
}  // namespace wine_driver

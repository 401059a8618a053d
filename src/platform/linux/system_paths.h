// Where the Linux layer reads what the kernel shows of its devices: sysfs,
// the mount table, the swap areas and the device nodes. The tests point them
// at a tree made in a scratch directory.
#pragma once

#include <string>

namespace usbisp::lnx {

struct SystemPaths {
    std::string sys = "/sys";
    std::string mountinfo = "/proc/self/mountinfo";
    std::string swaps = "/proc/swaps";
    std::string dev = "/dev";
};

}  // namespace usbisp::lnx

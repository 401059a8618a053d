#include "platform/linux/disk_use.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "platform/linux/scsi_nodes.h"

namespace usbisp::lnx {

namespace {

namespace fs = std::filesystem;

// The name a device path stands for ("sdb1" for "/dev/sdb1" or a link to it).
std::string DeviceName(const std::string& path) {
    std::error_code ec;
    const fs::path resolved = fs::canonical(path, ec);
    return (ec ? fs::path(path) : resolved).filename().string();
}

struct Mounts {
    std::set<std::string> numbers;  // "8:17"
    std::set<std::string> sources;  // "sdb1"
};

// /proc/self/mountinfo: "36 35 8:17 / /media/card rw - vfat /dev/sdb1 rw".
Mounts ReadMounts(const std::string& file) {
    Mounts mounts;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, parent, numbers;
        fields >> id >> parent >> numbers;
        mounts.numbers.insert(numbers);
        const auto dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string type, source;
        tail >> type >> source;
        if (!source.empty() && source[0] == '/') mounts.sources.insert(DeviceName(source));
    }
    return mounts;
}

// /proc/swaps: a header line, then "/dev/sdb2 partition 1048572 0 -2".
std::set<std::string> ReadSwaps(const std::string& file) {
    std::set<std::string> names;
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string path;
        fields >> path;
        if (!path.empty() && path[0] == '/') names.insert(DeviceName(path));
    }
    return names;
}

bool HasEntries(const fs::path& dir) {
    std::error_code ec;
    return fs::is_directory(dir, ec) && fs::directory_iterator(dir, ec) != fs::directory_iterator();
}

bool Under(const fs::path& path, const fs::path& dir) {
    const auto [end, at] = std::mismatch(dir.begin(), dir.end(), path.begin(), path.end());
    return end == dir.end() && at != path.end();
}

}  // namespace

std::string ReaderInUse(const SystemPaths& paths, SgDriver& kernel, const std::string& reader) {
    const Mounts mounts = ReadMounts(paths.mountinfo);
    const std::set<std::string> swaps = ReadSwaps(paths.swaps);
    std::vector<std::string> withMedium;
    std::error_code ec;
    const fs::path readerDir(reader);
    for (const auto& entry : fs::directory_iterator(fs::path(paths.sys) / "class" / "block", ec)) {
        std::error_code inner;
        const fs::path dir = fs::canonical(entry.path(), inner);
        if (inner || !Under(dir, readerDir)) continue;
        const std::string name = entry.path().filename().string();
        const std::string node = (fs::path(paths.dev) / name).string();
        if (mounts.numbers.count(SysfsWord(dir / "dev")) || mounts.sources.count(name))
            return node + " is mounted";
        if (swaps.count(name)) return node + " is in use as swap";
        if (HasEntries(dir / "holders")) {
            const std::string holder =
                fs::directory_iterator(dir / "holders", inner)->path().filename().string();
            return node + " belongs to " + holder;
        }
        const bool partition = fs::exists(dir / "partition", inner);
        const std::string size = SysfsWord(dir / "size");
        if (!partition && !size.empty() && size != "0") withMedium.push_back(node);
    }
    // A disk without a medium holds nothing; opening one with a medium may
    // send it a TEST UNIT READY of the kernel's own, as any open of it does.
    for (const std::string& node : withMedium)
        if (kernel.ProbeExclusive(node) == -EBUSY)
            return node + " is held by the system (an exclusive open answers EBUSY)";
    return {};
}

}  // namespace usbisp::lnx

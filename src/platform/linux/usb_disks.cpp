#include "platform/linux/usb_disks.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

namespace usbisp::lnx {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDiskType = "0";  // SCSI peripheral type 0: direct access

// The number of "sgN", -1 for any other name.
int SgNumber(const std::string& name) {
    if (name.size() < 3 || name.compare(0, 2, "sg") != 0 || name.size() > 8) return -1;
    if (!std::all_of(name.begin() + 2, name.end(), [](char c) { return std::isdigit(c); }))
        return -1;
    return std::stoi(name.substr(2));
}

std::string FirstWord(const fs::path& file) {
    std::ifstream in(file);
    std::string word;
    in >> word;
    return word;
}

// A USB root hub's directory ("usb1", "usb2", ...) is among the device's
// ancestors.
bool UnderUsb(const fs::path& device) {
    for (const fs::path& part : device) {
        const std::string name = part.string();
        if (name.size() > 3 && name.compare(0, 3, "usb") == 0 &&
            std::all_of(name.begin() + 3, name.end(), [](char c) { return std::isdigit(c); }))
            return true;
    }
    return false;
}

bool HasEntries(const fs::path& dir) {
    std::error_code ec;
    return fs::is_directory(dir, ec) && fs::directory_iterator(dir, ec) != fs::directory_iterator();
}

// The names of the block devices mounted now ("sdb1" for "/dev/sdb1").
std::set<std::string> MountedNames(const std::string& mounts) {
    std::set<std::string> names;
    std::ifstream in(mounts);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string source;
        fields >> source;
        if (source.empty() || source[0] != '/') continue;
        std::error_code ec;
        const fs::path resolved = fs::canonical(source, ec);
        names.insert((ec ? fs::path(source) : resolved).filename().string());
    }
    return names;
}

// Whether the disk behind a SCSI device, or one of its partitions, is in use.
bool InUse(const fs::path& device, const std::set<std::string>& mounted) {
    std::error_code ec;
    for (const auto& disk : fs::directory_iterator(device / "block", ec)) {
        if (mounted.count(disk.path().filename().string()) || HasEntries(disk.path() / "holders"))
            return true;
        std::error_code inner;
        for (const auto& part : fs::directory_iterator(disk.path(), inner)) {
            if (!fs::exists(part.path() / "partition", inner)) continue;
            if (mounted.count(part.path().filename().string()) ||
                HasEntries(part.path() / "holders"))
                return true;
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> FindUsbDisks(const SystemPaths& paths) {
    const std::set<std::string> mounted = MountedNames(paths.mounts);
    std::vector<std::pair<int, std::string>> found;
    std::error_code ec;
    for (const auto& entry :
         fs::directory_iterator(fs::path(paths.sys) / "class" / "scsi_generic", ec)) {
        const std::string name = entry.path().filename().string();
        const int number = SgNumber(name);
        if (number < 0) continue;
        std::error_code inner;
        const fs::path device = fs::canonical(entry.path() / "device", inner);
        if (inner || FirstWord(device / "type") != kDiskType) continue;
        if (!UnderUsb(device) || InUse(device, mounted)) continue;
        found.emplace_back(number, (fs::path(paths.dev) / name).string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> devices;
    for (auto& [number, path] : found) devices.push_back(std::move(path));
    return devices;
}

}  // namespace usbisp::lnx

#include "platform/linux/scsi_nodes.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace usbisp::lnx {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDiskType = "0";  // SCSI peripheral type 0: direct access

bool AllDigits(const std::string& text, std::size_t from) {
    return text.size() > from &&
           std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The number of "sgN", -1 for any other name.
int SgNumber(const std::string& name) {
    if (name.size() > 8 || name.compare(0, 2, "sg") != 0 || !AllDigits(name, 2)) return -1;
    return std::stoi(name.substr(2));
}

// A USB root hub's directory ("usb1", "usb2", ...).
bool IsUsbBus(const std::string& name) {
    return name.compare(0, 3, "usb") == 0 && AllDigits(name, 3);
}

// The node of a SCSI generic class directory (".../scsi_generic/sg3").
std::optional<ScsiNode> NodeFrom(const SystemPaths& paths, const fs::path& classDir) {
    std::error_code ec;
    const std::string name = classDir.filename().string();
    ScsiNode node;
    node.number = SgNumber(name);
    if (node.number < 0) return std::nullopt;
    const fs::path device = fs::canonical(classDir / "device", ec);
    if (ec) return std::nullopt;
    node.node = (fs::path(paths.dev) / name).string();
    node.device = device.string();
    node.disk = SysfsWord(device / "type") == kDiskType;
    const std::string sectors = SysfsWord(device / "max_sectors");
    if (AllDigits(sectors, 0) && sectors.size() < 10) node.maxSectors = std::stoul(sectors);

    // .../<parent>/host6/target6:0:0/6:0:0:3: the parent stays where it is
    // when the reader comes back, the host number does not.
    fs::path parent, host;
    for (fs::path at = device; at.has_relative_path() && at != at.parent_path();
         at = at.parent_path()) {
        const std::string part = at.filename().string();
        if (part.compare(0, 4, "host") == 0 && AllDigits(part, 4)) {
            host = at;
            parent = at.parent_path();
            break;
        }
    }
    if (host.empty()) return std::nullopt;
    const std::string hctl = device.filename().string();
    const auto colon = hctl.find(':');
    const fs::path devices = fs::weakly_canonical(fs::path(paths.sys) / "devices", ec);
    node.place = parent.lexically_relative(devices).generic_string() + " " +
                 (colon == std::string::npos ? hctl : hctl.substr(colon + 1));
    for (const fs::path& part : parent)
        if (IsUsbBus(part.string())) node.usb = true;
    // Under USB the parent is the interface ("2-1:1.0") of the USB device
    // ("2-1"): the reader is the device, every interface and unit of it.
    if (node.usb && parent.filename().string().find(':') != std::string::npos) {
        node.reader = parent.parent_path().string();
        node.readerName = "USB port " + parent.parent_path().filename().string();
    } else {
        node.reader = host.string();
        node.readerName = "SCSI host " + host.filename().string().substr(4);
    }
    return node;
}

}  // namespace

std::string SysfsWord(const std::string& file) {
    std::ifstream in(file);
    std::string word;
    in >> word;
    return word;
}

ScsiScan ScanScsiGeneric(const SystemPaths& paths) {
    ScsiScan scan;
    std::error_code ec;
    const fs::path dir = fs::path(paths.sys) / "class" / "scsi_generic";
    scan.driverLoaded = fs::is_directory(dir, ec);
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (auto node = NodeFrom(paths, entry.path())) scan.nodes.push_back(std::move(*node));
    std::sort(scan.nodes.begin(), scan.nodes.end(),
              [](const ScsiNode& a, const ScsiNode& b) { return a.number < b.number; });
    return scan;
}

std::optional<ScsiNode> ScsiNodeAt(const SystemPaths& paths, const std::string& place) {
    for (ScsiNode& node : ScanScsiGeneric(paths).nodes)
        if (node.place == place) return std::move(node);
    return std::nullopt;
}

std::optional<ScsiNode> ScsiNodeOf(const SystemPaths& paths, unsigned major, unsigned minor) {
    std::error_code ec;
    const fs::path link = fs::path(paths.sys) / "dev" / "char" /
                          (std::to_string(major) + ":" + std::to_string(minor));
    const fs::path classDir = fs::canonical(link, ec);
    if (ec) return std::nullopt;
    return NodeFrom(paths, classDir);
}

std::string NotScsiGeneric(const NodeInfo& info, const SystemPaths& paths) {
    if (info.character && info.major == kSgMajor) return {};
    std::string text = "not a SCSI generic device (lsscsi -g lists them)";
    if (!info.block) return text;
    // A SCSI disk (or a partition of one) names its SCSI device, which
    // names its sg device.
    std::error_code ec;
    fs::path disk =
        fs::canonical(fs::path(paths.sys) / "dev" / "block" /
                          (std::to_string(info.major) + ":" + std::to_string(info.minor)),
                      ec);
    if (ec) return text;
    if (fs::exists(disk / "partition", ec)) disk = disk.parent_path();
    for (const auto& entry : fs::directory_iterator(disk / "device" / "scsi_generic", ec)) {
        if (SgNumber(entry.path().filename().string()) < 0) continue;
        return text + "; the one of this disk is " +
               (fs::path(paths.dev) / entry.path().filename()).string();
    }
    return text;
}

}  // namespace usbisp::lnx

#include "platform/linux/usb_disks.h"

#include <algorithm>
#include <map>
#include <string>

#include "platform/linux/disk_use.h"
#include "platform/linux/scsi_nodes.h"

namespace usbisp::lnx {

namespace {

std::string Listed(const std::vector<std::string>& nodes) {
    std::string text;
    for (const std::string& node : nodes) text += (text.empty() ? "" : " ") + node;
    return text;
}

}  // namespace

std::vector<LinuxDrive> FindUsbDisks(const SystemPaths& paths, SgDriver& kernel,
                                     const TranscriptSink& complain) {
    auto say = [&complain](const std::string& line) {
        if (complain) complain(line);
    };
    const ScsiScan scan = ScanScsiGeneric(paths);
    if (!scan.driverLoaded) {
        say(kNoSgDriver);
        return {};
    }
    // The readers in the order of their first sg number, each with its disks.
    std::vector<std::string> readers;
    std::map<std::string, std::vector<const ScsiNode*>> units;
    for (const ScsiNode& node : scan.nodes) {
        if (!node.usb || !node.disk) continue;
        if (units[node.reader].empty()) readers.push_back(node.reader);
        units[node.reader].push_back(&node);
    }
    std::vector<const ScsiNode*> found;
    for (const std::string& reader : readers) {
        const std::vector<const ScsiNode*>& disks = units[reader];
        const std::string why = ReaderInUse(paths, kernel, reader);
        if (why.empty()) {
            found.insert(found.end(), disks.begin(), disks.end());
            continue;
        }
        std::vector<std::string> nodes;
        for (const ScsiNode* disk : disks) nodes.push_back(disk->node);
        say("usbisp: the reader at " + disks.front()->readerName + " (" + Listed(nodes) +
            ") is in use: " + why + "; all its drives are left out");
    }
    std::sort(found.begin(), found.end(),
              [](const ScsiNode* a, const ScsiNode* b) { return a->number < b->number; });
    std::vector<LinuxDrive> drives;
    std::vector<std::string> beyond;
    for (const ScsiNode* node : found) {
        if (drives.size() == kReaderLetters) {
            beyond.push_back(node->node);
            continue;
        }
        drives.push_back({static_cast<char>(kFirstReaderLetter + drives.size()), node->node,
                          node->place, node->readerName});
    }
    if (!beyond.empty())
        say("usbisp: " + std::to_string(found.size()) + " USB disks found, " +
            std::to_string(kReaderLetters) +
            " drive letters (E: to Z:); left out: " + Listed(beyond));
    return drives;
}

}  // namespace usbisp::lnx

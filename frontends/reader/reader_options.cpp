#include "reader/reader_options.h"

#include <dirent.h>

#include <cctype>

namespace usbisp::reader {

const char* const kReaderUsage =
    "usage: usbisp-reader --bench FILE [--reader N] --udc NAME [--configfs DIR]\n"
    "                     [--firmware-out FILE] [--user UID:GID] [--trace]\n"
    "       usbisp-reader --help | --version\n";

const char* const kReaderHelp =
    "\n"
    "Serves a card reader of the bench as a USB mass-storage device (a card reader\n"
    "holding no card) through the kernel's USB gadget framework: the host it is\n"
    "plugged into sees the reader's identity, its units, and its controller, which\n"
    "answers the vendor commands as it does on the bench.\n"
    "\n"
    "  --bench FILE         the bench file whose reader is served\n"
    "  --reader N           its N-th reader (default 1); one unit per drive letter\n"
    "  --udc NAME           the USB device controller (a name in /sys/class/udc)\n"
    "  --configfs DIR       where configfs is mounted (default /sys/kernel/config);\n"
    "                       mounted there when it is not\n"
    "  --firmware-out FILE  the firmware the controller holds, written at start,\n"
    "                       after every change and at the end\n"
    "  --user UID:GID       serve the host as this user and group: root keeps only\n"
    "                       the gadget (binds it and removes it), in a process of\n"
    "                       its own\n"
    "  --trace              one line per command on stderr\n"
    "\n"
    "It needs root, configfs, and the kernel modules libcomposite and usb_f_fs.\n"
    "It prints \"ready\" when the host may enumerate the reader. Unbinding the\n"
    "gadget from its controller (writing an empty line to its UDC file) unplugs\n"
    "the reader: its controller starts again when it is bound anew. SIGTERM or\n"
    "SIGINT unbinds and removes the gadget.\n"
    "\n"
    "Exit status: 0 after SIGTERM or SIGINT, 1 when the gadget could not be set up\n"
    "or served, 2 for a usage error or a bad bench file.\n";

namespace {

std::optional<std::size_t> PositiveNumber(const std::string& text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const std::size_t n = std::stoul(text);
    if (n == 0) return std::nullopt;
    return n;
}

// Whether this machine has a USB device controller to serve a reader on: a
// "$(ls /sys/class/udc | head -n 1)" that gave nothing is better said so.
bool HasDeviceController() {
    DIR* dir = opendir("/sys/class/udc");
    if (dir == nullptr) return false;
    bool found = false;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') found = true;
    closedir(dir);
    return found;
}

}  // namespace

std::optional<ReaderOptions> ParseReaderOptions(const std::vector<std::string>& args,
                                                std::string& error) {
    ReaderOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg == "--version") {
            options.version = true;
            continue;
        }
        if (arg == "--trace") {
            options.trace = true;
            continue;
        }
        std::string* target = nullptr;
        if (arg == "--bench") target = &options.bench;
        if (arg == "--udc") target = &options.udc;
        if (arg == "--configfs") target = &options.configfs;
        if (arg == "--firmware-out") target = &options.firmwareOut;
        if (arg == "--user") target = &options.user;
        std::string readerText;
        if (arg == "--reader") target = &readerText;
        if (target == nullptr) {
            error = "unknown option " + arg;
            return std::nullopt;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            error = arg + " needs a value";
            if (arg == "--udc" && i + 1 < args.size() && !HasDeviceController())
                error +=
                    ": nothing in /sys/class/udc, this machine has no USB device controller "
                    "(dummy_hcd makes one for tests)";
            return std::nullopt;
        }
        *target = args[++i];
        if (arg == "--reader") {
            const auto n = PositiveNumber(readerText);
            if (!n) {
                error = "--reader " + readerText + " is not a reader number (1, 2, ...)";
                return std::nullopt;
            }
            options.reader = *n;
        }
    }
    if (options.help || options.version) return options;
    if (options.bench.empty()) {
        error = "--bench FILE is missing";
        return std::nullopt;
    }
    if (options.udc.empty()) {
        error = "--udc NAME is missing";
        return std::nullopt;
    }
    if (options.udc.find('/') != std::string::npos || options.udc == "." || options.udc == "..") {
        error = "--udc " + options.udc + " is not a controller name";
        return std::nullopt;
    }
    return options;
}

}  // namespace usbisp::reader

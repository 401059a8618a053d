// usbisp: the main window in the terminal over the bench, or a headless
// scripted run that prints its transcript.
#include <sys/stat.h>

#include <iostream>
#include <string>

#include "script/headless.h"
#ifdef USBISP_HAVE_TUI
#include "tui/interactive.h"
#endif

namespace {

constexpr const char* kUsage =
    "usage: usbisp [--bench FILE] [--dir DIR]                             interactive window in "
    "the terminal\n"
    "       usbisp --script FILE [--bench FILE] [--dir DIR] [--trace-io]  headless run, transcript "
    "on stdout\n"
    "       usbisp --help | --version\n";

constexpr const char* kHelp =
    "\n"
    "Services the controller of a USB card reader or USB-to-ATA bridge: reads the\n"
    "identity of the attached devices, programs and verifies the controller's\n"
    "firmware, stamps serial numbers. On Linux it runs over the bench, an emulated\n"
    "Windows machine with its card readers.\n"
    "\n"
    "  --bench FILE   the emulated machine (JSON); default: the built-in demo bench\n"
    "                 (Windows XP, one card reader on E:)\n"
    "  --dir DIR      the program's current directory, where DEVICE.TXT, SERIAL.TXT\n"
    "                 and the ROM code files are read and written; default: .\n"
    "  --script FILE  run headless: one action per line (- = standard input):\n"
    "                   click <caption>     select <1027|1030> <entry>\n"
    "                   cancel   replug     dump <reader> <file>\n"
    "  --trace-io     add every request that reaches the bench to the transcript\n"
    "\n"
    "Exit status: 0 when the run ended normally, 2 for a usage error or a bad bench\n"
    "or script.\n";

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
    usbisp::script::HeadlessOptions options;
    options.directory = ".";
    bool headless = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string* target = nullptr;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage << kHelp;
            return 0;
        } else if (arg == "--version") {
            std::cout << "usbisp " << USBISP_VERSION << "\n";
            return 0;
        } else if (arg == "--script") {
            target = &options.scriptPath;
            headless = true;
        } else if (arg == "--bench") {
            target = &options.benchPath;
        } else if (arg == "--dir") {
            target = &options.directory;
        } else if (arg == "--trace-io") {
            options.traceIo = true;
        } else {
            std::cerr << "usbisp: unknown argument \"" << arg << "\"\n" << kUsage;
            return 2;
        }
        if (target) {
            if (i + 1 >= argc) {
                std::cerr << "usbisp: " << arg << " needs a value\n" << kUsage;
                return 2;
            }
            *target = argv[++i];
        }
    }
    if (!IsDirectory(options.directory)) {
        std::cerr << "usbisp: --dir " << options.directory << ": not a directory\n";
        return 2;
    }
    if (headless) return usbisp::script::RunHeadless(options, std::cin, std::cout, std::cerr);
    if (options.traceIo) {
        std::cerr << "usbisp: --trace-io goes with --script\n" << kUsage;
        return 2;
    }
#ifdef USBISP_HAVE_TUI
    return usbisp::tui::RunInteractive(options.benchPath, options.directory);
#else
    std::cerr << "usbisp: this build has no terminal window; use --script\n";
    return 2;
#endif
}

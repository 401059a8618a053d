// usbisp: the main window in the terminal over the bench or over real card
// readers, or a headless scripted run that prints its transcript.
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/drive_map.h"
#include "platform/linux/scsi_nodes.h"
#include "platform/linux/sg_driver.h"
#include "script/headless.h"
#include "station/exit_status.h"
#include "station/records_main.h"
#include "station/station_main.h"
#ifdef USBISP_HAVE_TUI
#include "tui/interactive.h"
#endif

namespace {

constexpr const char* kUsage =
    "usage: usbisp [--bench FILE] [--dir DIR] [--record FILE]             interactive window in "
    "the terminal\n"
    "       usbisp --script FILE [--bench FILE] [--dir DIR] [--trace-io] [--record FILE]\n"
    "                                                                     headless run, transcript "
    "on stdout\n"
    "       usbisp --real [--drive E=/dev/sgN ...] [--dir DIR] [--script FILE [--trace-io]]\n"
    "                     [--record FILE]\n"
    "                                                                     real card readers\n"
    "       usbisp --station [--bench FILE | --real [--readers N]] [--dir DIR] [--log FILE]\n"
    "                        [--verify-only] [--take-counter] [--headless] [--trace-io]\n"
    "                        [--records URL]\n"
    "                                                                     production station\n"
    "       usbisp --records URL --init                                   the line's database\n"
    "       usbisp (--records URL | --report LOG) --report [--since DAY] [--csv]\n"
    "                                                                     the line's report\n"
    "       usbisp --help | --version\n";

constexpr const char* kHelp =
    "\n"
    "Services the controller of a USB card reader or USB-to-ATA bridge: reads the\n"
    "identity of the attached devices, programs and verifies the controller's\n"
    "firmware, stamps serial numbers. It runs over the bench, an emulated Windows\n"
    "machine with its card readers, or with --real over the card readers of this\n"
    "Linux machine.\n"
    "\n"
    "  --bench FILE   the emulated machine (JSON); default: the built-in demo bench\n"
    "                 (Windows XP, one card reader on E:)\n"
    "  --dir DIR      the program's current directory, where DEVICE.TXT, SERIAL.TXT\n"
    "                 and the ROM code files are read and written; default: .\n"
    "  --script FILE  run headless: one action per line (- = standard input):\n"
    "                   click <caption>     select <1027|1030> <entry>\n"
    "                   cancel   replug     dump <reader> <file>\n"
    "                 (dump needs the bench; with --real, replug waits up to 60 s\n"
    "                 for the readers to be unplugged and plugged in again)\n"
    "  --trace-io     with --script or --station: add every request that reaches\n"
    "                 a device to the transcript\n"
    "  --real         real card readers through the SCSI generic driver, the\n"
    "                 program seeing Windows XP: every USB disk becomes a drive,\n"
    "                 in the order of its sg number, as E:, F:, ...; a reader\n"
    "                 with a card in use (mounted, swap, a volume) is left out\n"
    "                 with all its drives. A letter stays with its reader's USB\n"
    "                 port: plugged in again there, the reader keeps it.\n"
    "  --drive E=/dev/sgN  with --real: this SCSI generic device as this drive\n"
    "                 (C to Z) instead; give it once per drive. A block device\n"
    "                 such as /dev/sdb is refused: lsscsi -g shows the sg device\n"
    "                 of each disk.\n"
    "  --record FILE  write every call the session makes on the machine (opens,\n"
    "                 requests to the readers with their bytes, closes, what the\n"
    "                 machine says of itself) to FILE, a recording: send it with\n"
    "                 a problem report. A recording is a bench: --bench FILE\n"
    "                 replays it\n"
    "  --station      the production station: every reader plugged in is programmed\n"
    "                 (with --verify-only: checked) in parallel with the others, on\n"
    "                 the bench's plug timeline or, with --real, as readers arrive;\n"
    "                 a board in the terminal, or the transcript with --headless\n"
    "  --log FILE     with --station: the production log, one JSON line per reader\n"
    "                 (default: DIR/PRODUCTION.LOG)\n"
    "  --verify-only  with --station: check the readers' firmware, program nothing\n"
    "  --take-counter with --station: take SERIAL.TXT's counter even when the log\n"
    "                 accounts for it already (a backup put back); the log says so\n"
    "  --headless     with --station: the transcript on stdout instead of the board\n"
    "  --readers N    with --station --real: end once N readers were done and left\n"
    "  --records URL  the line's PostgreSQL database (a libpq connection string or\n"
    "                 postgresql:// URL): with --station the serial numbers and\n"
    "                 records go there; --init makes its tables\n"
    "  --init         with --records: make the line's tables (or check their version)\n"
    "  --report       counts per day, PC and station (programmed, verified, failed,\n"
    "                 void, readers per hour) from the database, or from a\n"
    "                 production log: --report LOG\n"
    "  --since DAY    with --report: from that day on (YYYY-MM-DD)\n"
    "  --csv          with --report: the records themselves, as CSV\n"
    "\n"
    "With --real the program needs read and write access to the sg devices: run\n"
    "it as root, or add the user to the group that owns them (often \"disk\") and\n"
    "log in again. No capability is needed: the kernel lets a read-write open of\n"
    "an sg device send the readers' vendor commands. Plug the readers in before\n"
    "starting it. A device it cannot use is named on stderr and left out.\n"
    "\n";

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int UsageError(const std::string& what) {
    std::cerr << "usbisp: " << what << "\n" << kUsage;
    return 2;
}

// The line for a window started in a directory without DEVICE.TXT (an
// installed program started anywhere): where the files come from. Empty when
// it is there.
std::string MissingDeviceTxtLine(const std::string& directory) {
    if (std::ifstream(directory + "/DEVICE.TXT")) return "";
    std::string line =
        "usbisp: there is no DEVICE.TXT in " + directory +
        ": give --dir the directory with DEVICE.TXT, SERIAL.TXT and the ROM code file";
    // Installed, the demo files lie beside the program's bin directory.
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return line;
    self[length] = '\0';
    std::string demo(self);
    demo = demo.substr(0, demo.find_last_of('/')) + "/../share/usbisp/demo";
    char resolved[PATH_MAX];
    if (IsDirectory(demo) && realpath(demo.c_str(), resolved))
        line += "; the demo files are in " + std::string(resolved) +
                " (copy them to a directory of your own)";
    return line;
}

// The options that take a value, in every mode.
bool TakesValue(const std::string& option) {
    static const std::set<std::string> kValued = {"--bench", "--dir",     "--script",  "--drive",
                                                  "--log",   "--readers", "--records", "--since"};
    return kValued.count(option) != 0;
}

// The arguments with each "--option=value" split into "--option" "value", as
// the shells' completion and many users write them. A switch given a value
// is a usage error: `error` says which.
std::vector<std::string> SplitArguments(int argc, char** argv, std::string& error) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto equals = arg.find('=');
        if (arg.rfind("--", 0) != 0 || equals == std::string::npos) {
            args.push_back(arg);
            continue;
        }
        const std::string option = arg.substr(0, equals);
        // --report's log is optional: "--report=LOG" gives it.
        if (!TakesValue(option) && option != "--report") {
            if (error.empty()) error = option + " takes no value";
            continue;
        }
        args.push_back(option);
        args.push_back(arg.substr(equals + 1));
    }
    return args;
}

// The options of one mode only, and the mode they go with: said when they
// are given outside it.
const char* ModeOf(const std::string& option) {
    if (option == "--log" || option == "--verify-only" || option == "--headless" ||
        option == "--readers")
        return "--station";
    if (option == "--script" || option == "--drive") return "the main window or --real";
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    // A transcript piped into a program that ends early (head, a quit less)
    // must not end a run between two commands to a reader: the write fails
    // instead, and the run goes on without its transcript.
    std::signal(SIGPIPE, SIG_IGN);
    std::string splitError;
    const std::vector<std::string> args = SplitArguments(argc, argv, splitError);
    if (!splitError.empty()) return UsageError(splitError);
    const bool station = std::find(args.begin(), args.end(), "--station") != args.end();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const char* mode = ModeOf(args[i]);
        if (mode && (std::string(mode) == "--station") != station)
            return UsageError(args[i] + " goes with " + mode);
        if (!TakesValue(args[i]) || i + 1 >= args.size()) continue;
        // A folder opens as a file here and reads as an empty script or bench.
        const bool file = args[i] == "--bench" || args[i] == "--script" || args[i] == "--log";
        if (file && IsDirectory(args[i + 1]))
            return UsageError(args[i] + " " + args[i + 1] + ": a directory, not a file");
        ++i;
    }
    if (station) {
        std::vector<char*> stationArgv{argv[0]};
        for (const std::string& arg : args) stationArgv.push_back(const_cast<char*>(arg.c_str()));
        return usbisp::station::StationMain(static_cast<int>(stationArgv.size()),
                                            stationArgv.data(), std::cout, std::cerr);
    }
    if (usbisp::station::IsRecordsCommand(args))
        return usbisp::station::RecordsMain(args, std::cout, std::cerr);
    usbisp::script::HeadlessOptions options;
    options.directory = ".";
    bool headless = false;
    bool benchGiven = false;
    std::set<char> letters;
    std::string missingDrive;
    const int count = static_cast<int>(args.size());
    for (int i = 0; i < count; ++i) {
        const std::string& arg = args[static_cast<std::size_t>(i)];
        std::string* target = nullptr;
        std::string driveText;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage << kHelp << usbisp::kExitStatusHelp;
            return 0;
        } else if (arg == "--version") {
            std::cout << "usbisp " << USBISP_VERSION << "\n";
            return 0;
        } else if (arg == "--script") {
            target = &options.scriptPath;
            headless = true;
        } else if (arg == "--bench") {
            target = &options.benchPath;
            benchGiven = true;
        } else if (arg == "--dir") {
            target = &options.directory;
        } else if (arg == "--trace-io") {
            options.traceIo = true;
        } else if (arg == "--real") {
            options.real = true;
        } else if (arg == "--drive") {
            target = &driveText;
        } else if (arg == "--record") {
            target = &options.recordPath;
        } else {
            return UsageError("unknown argument \"" + arg + "\"");
        }
        if (target) {
            if (i + 1 >= count) return UsageError(arg + " needs a value");
            *target = args[static_cast<std::size_t>(++i)];
        }
        if (arg == "--drive") {
            std::string error;
            auto drive = usbisp::lnx::ParseDriveOption(driveText, error);
            if (!drive) return UsageError("--drive " + error);
            if (!letters.insert(drive->letter).second)
                return UsageError(std::string("--drive names ") + drive->letter + ": twice");
            // The window says so of a node that is not there, and goes on; a
            // headless run, which no one watches, stops below.
            usbisp::lnx::KernelSgDriver kernel;
            const usbisp::lnx::NodeInfo node = kernel.Stat(drive->device);
            const std::string notSg = usbisp::lnx::NotScsiGeneric(node, {});
            if (node.error == 0 && !notSg.empty())
                return UsageError("--drive " + driveText + ": " + notSg);
            if (node.error == ENOENT && missingDrive.empty()) missingDrive = driveText;
            options.drives.push_back(*drive);
        }
    }
    if (options.real && benchGiven) return UsageError("--real and --bench exclude each other");
    if (!options.drives.empty() && !options.real) return UsageError("--drive goes with --real");
    if (!IsDirectory(options.directory)) {
        std::cerr << "usbisp: --dir " << options.directory << ": not a directory\n";
        return 2;
    }
    if (headless && !missingDrive.empty())
        return UsageError("--drive " + missingDrive + ": there is no such device");
    if (headless) return usbisp::script::RunHeadless(options, std::cin, std::cout, std::cerr);
    if (options.traceIo) return UsageError("--trace-io goes with --script");
#ifdef USBISP_HAVE_TUI
    // Said before the window and again after it, which covers the first.
    const std::string hint = MissingDeviceTxtLine(options.directory);
    if (!hint.empty()) std::cerr << hint << "\n";
    const int status =
        options.real
            ? usbisp::tui::RunInteractiveReal(options.drives, options.directory, options.recordPath)
            : usbisp::tui::RunInteractive(options.benchPath, options.directory, options.recordPath);
    if (!hint.empty()) std::cerr << hint << "\n";
    return status;
#else
    std::cerr << "usbisp: this build has no terminal window; use --script\n";
    return 2;
#endif
}

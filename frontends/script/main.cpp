// usbisp: the main window in the terminal over the bench or over real card
// readers, or a headless scripted run that prints its transcript.
#include <sys/stat.h>

#include <csignal>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/drive_map.h"
#include "platform/linux/scsi_nodes.h"
#include "platform/linux/sg_driver.h"
#include "script/headless.h"
#include "station/records_main.h"
#include "station/station_main.h"
#ifdef USBISP_HAVE_TUI
#include "tui/interactive.h"
#endif

namespace {

constexpr const char* kUsage =
    "usage: usbisp [--bench FILE] [--dir DIR]                             interactive window in "
    "the terminal\n"
    "       usbisp --script FILE [--bench FILE] [--dir DIR] [--trace-io]  headless run, transcript "
    "on stdout\n"
    "       usbisp --real [--drive E=/dev/sgN ...] [--dir DIR] [--script FILE [--trace-io]]\n"
    "                                                                     real card readers\n"
    "       usbisp --station [--bench FILE | --real [--readers N]] [--dir DIR] [--log FILE]\n"
    "                        [--verify-only] [--headless] [--trace-io] [--records URL]\n"
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
    "  --trace-io     add every request that reaches a device to the transcript\n"
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
    "  --station      the production station: every reader plugged in is programmed\n"
    "                 (with --verify-only: checked) in parallel with the others, on\n"
    "                 the bench's plug timeline or, with --real, as readers arrive;\n"
    "                 a board in the terminal, or the transcript with --headless\n"
    "  --log FILE     with --station: the production log, one JSON line per reader\n"
    "                 (default: DIR/PRODUCTION.LOG)\n"
    "  --verify-only  with --station: check the readers' firmware, program nothing\n"
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
    "\n"
    "Exit status: 0 when the run ended normally, 2 for a usage error or a bad bench\n"
    "or script.\n";

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int UsageError(const std::string& what) {
    std::cerr << "usbisp: " << what << "\n" << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // A transcript piped into a program that ends early (head, a quit less)
    // must not end a run between two commands to a reader: the write fails
    // instead, and the run goes on without its transcript.
    std::signal(SIGPIPE, SIG_IGN);
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--station")
            return usbisp::station::StationMain(argc, argv, std::cout, std::cerr);
    if (const std::vector<std::string> args(argv + 1, argv + argc);
        usbisp::station::IsRecordsCommand(args))
        return usbisp::station::RecordsMain(args, std::cout, std::cerr);
    usbisp::script::HeadlessOptions options;
    options.directory = ".";
    bool headless = false;
    bool benchGiven = false;
    std::set<char> letters;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string* target = nullptr;
        std::string driveText;
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
            benchGiven = true;
        } else if (arg == "--dir") {
            target = &options.directory;
        } else if (arg == "--trace-io") {
            options.traceIo = true;
        } else if (arg == "--real") {
            options.real = true;
        } else if (arg == "--drive") {
            target = &driveText;
        } else {
            return UsageError("unknown argument \"" + arg + "\"");
        }
        if (target) {
            if (i + 1 >= argc) return UsageError(arg + " needs a value");
            *target = argv[++i];
        }
        if (arg == "--drive") {
            std::string error;
            auto drive = usbisp::lnx::ParseDriveOption(driveText, error);
            if (!drive) return UsageError("--drive " + error);
            if (!letters.insert(drive->letter).second)
                return UsageError(std::string("--drive names ") + drive->letter + ": twice");
            // A node that is not there yet is said when the run starts.
            usbisp::lnx::KernelSgDriver kernel;
            const usbisp::lnx::NodeInfo node = kernel.Stat(drive->device);
            const std::string notSg = usbisp::lnx::NotScsiGeneric(node, {});
            if (node.error == 0 && !notSg.empty())
                return UsageError("--drive " + driveText + ": " + notSg);
            options.drives.push_back(*drive);
        }
    }
    if (options.real && benchGiven) return UsageError("--real and --bench exclude each other");
    if (!options.drives.empty() && !options.real) return UsageError("--drive goes with --real");
    if (!IsDirectory(options.directory)) {
        std::cerr << "usbisp: --dir " << options.directory << ": not a directory\n";
        return 2;
    }
    if (headless) return usbisp::script::RunHeadless(options, std::cin, std::cout, std::cerr);
    if (options.traceIo) return UsageError("--trace-io goes with --script");
#ifdef USBISP_HAVE_TUI
    if (options.real) return usbisp::tui::RunInteractiveReal(options.drives, options.directory);
    return usbisp::tui::RunInteractive(options.benchPath, options.directory);
#else
    std::cerr << "usbisp: this build has no terminal window; use --script\n";
    return 2;
#endif
}

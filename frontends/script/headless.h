// A headless run: the main window over the bench, or with --real over the
// Linux layer and real card readers, driven by an action script, its
// transcript written to `out`.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/linux/clock.h"
#include "platform/linux/drive_map.h"
#include "platform/linux/sg_driver.h"
#include "platform/linux/system_paths.h"

namespace usbisp::sim {
class Bench;
}

namespace usbisp::lnx {
class LinuxPlatform;
}

namespace usbisp::script {

struct HeadlessOptions {
    std::string scriptPath;  // "-" = standard input
    std::string benchPath;   // empty: the built-in demo bench
    std::string directory;   // the program's current directory
    bool traceIo = false;
    // --record: every call on the platform written to this recording.
    std::string recordPath;
    // Called with the bench before the main window starts (tests stage file
    // faults there).
    std::function<void(sim::Bench&)> beforeRun;
    // --real: the Linux layer instead of the bench, with the drives of --drive
    // (none given: the USB disks the system shows, as E:, F:, ...).
    bool real = false;
    std::vector<lnx::LinuxDrive> drives;
    // Called with the bench once the script has run (tests look at it).
    std::function<void(const sim::Bench&)> afterRun;
    // The same for a run over the Linux layer.
    std::function<void(const lnx::LinuxPlatform&)> afterRealRun;
};

// Exit status: 0 when the script ran to its end, 2 for a bad bench or script
// (one line on `err`, nothing run) or an action that turned out impossible
// (the transcript so far, then the line on `err`). With `options.real` the run
// goes to the kernel's SCSI generic devices.
int RunHeadless(const HeadlessOptions& options, std::istream& in, std::ostream& out,
                std::ostream& err);

// What the Linux layer of a --real run reaches: the kernel, sysfs and the
// machine's clock, or in the tests the bench's readers behind a sysfs tree
// of their own and the bench's virtual clock.
struct RealMachine {
    lnx::SgDriver& sg;
    lnx::Clock& clock;
    std::vector<lnx::LinuxDrive> drives;  // ignored when findReaders
    lnx::SystemPaths paths;
    bool findReaders = false;  // the USB disks sysfs shows, as E:, F:, ...
};

// A --real run over `machine` (options.drives and options.benchPath are not
// looked at). A replug waits for the readers to be unplugged and plugged in
// again by hand (at most lnx::kReplugWaitMs; the run ends as an impossible
// action when they do not come back). A script that dumps, which needs the
// bench, is refused before anything runs.
int RunHeadlessReal(const HeadlessOptions& options, RealMachine& machine, std::istream& in,
                    std::ostream& out, std::ostream& err);

}  // namespace usbisp::script

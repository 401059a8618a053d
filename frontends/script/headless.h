// A headless run: the main window over the bench, driven by an action script,
// its transcript written to `out`.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

namespace usbisp::sim {
class Bench;
}

namespace usbisp::script {

struct HeadlessOptions {
    std::string scriptPath;  // "-" = standard input
    std::string benchPath;   // empty: the built-in demo bench
    std::string directory;   // the program's current directory
    bool traceIo = false;
    // Called with the bench before the main window starts (tests stage file
    // faults there).
    std::function<void(sim::Bench&)> beforeRun;
    // Called with the bench once the script has run (tests look at it).
    std::function<void(const sim::Bench&)> afterRun;
};

// Exit status: 0 when the script ran to its end, 2 for a bad bench or script
// (one line on `err`, nothing run) or an action that turned out impossible
// (the transcript so far, then the line on `err`).
int RunHeadless(const HeadlessOptions& options, std::istream& in, std::ostream& out,
                std::ostream& err);

}  // namespace usbisp::script

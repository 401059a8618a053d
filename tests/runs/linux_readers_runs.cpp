// Real readers through the Linux layer, the bench behind a stand-in for the
// kernel and a sysfs tree of its own: a reader in use is left alone as a
// whole, at start and at every open; a letter follows its reader through a
// replug; the terminal's signals wait while a request is with the device; a
// closed standard output cuts the transcript and not the run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <set>

#include "linux_runs.h"
#include "platform/linux/linux_platform.h"
#include "platform/sim/bench_config.h"

extern char** environ;

namespace usbisp::test::fw {
namespace {

using Lines = std::vector<std::string>;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Two readers: the first with three units (E:, F:, G:), the second with one (H:).
const std::string kTwoReaders =
    R"({"windows": "xp", "clock": "2003-11-18T09:30:00", "readers": [)"
    R"({"letters": "EFG", "vid": "058f", "pid": "6362", "serial": "000000000001",)"
    R"( "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},)"
    R"( "hardwareRevision": "73 11 00"},)"
    R"({"letters": "H", "vid": "058f", "pid": "6362", "serial": "000000000002",)"
    R"( "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},)"
    R"( "hardwareRevision": "73 11 00"}]})";

using LinuxReaderRuns = LinuxRuns;

// A card of the reader is mounted while the program runs (an automounter
// after a card went in): the programming run already under way ends, the next
// open of the reader is refused, and standard error says why, once.
TEST_F(LinuxReaderRuns, AReaderMountedDuringTheRunIsLeftAlone) {
    const SeamRun run =
        Run("click ISP_Ena\nclick WIN9xISP\nclick GetInfo\nclick GetInfo\n"
            "click Close\n",
            [](SeamMachine& m) {
                auto mounted = std::make_shared<bool>(false);
                m.clock.onWait = [&m, mounted] {
                    if (*mounted) return;
                    *mounted = true;
                    m.sysfs.Mount(m.sysfs.Numbers("sdb"), "/dev/sdb", "/media/card");
                };
            });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.errors,
              "usbisp: /dev/sg0 (E:): its reader (USB port 1-1) is in use: /dev/sdb is mounted; E: "
              "is left alone while it is\n");
    EXPECT_TRUE(Has(run.transcript, "Success Number Of ISP: 1"));
    const Lines io = Io(run.transcript);
    ASSERT_EQ(io.size(), 14u) << run.transcript;
    const std::string refused = R"(io open "\\\\.\\E:" fail access=0xc0000000 share=0x3 flags=0x0 )"
                                R"(reason="open: the reader is in use: /dev/sdb is mounted")";
    EXPECT_EQ(io[12], refused);
    EXPECT_EQ(io[13], refused);
    EXPECT_TRUE(Has(run.transcript, " Total Device Plug In : 0 "));
    EXPECT_EQ(run.handlesLeft, 0u);
}

// Any unit of a reader in use leaves every unit of it out at start, each way
// the system can use one; the other reader gets E:.
TEST_F(LinuxReaderRuns, AReaderWithOneUnitInUseIsLeftOutWhole) {
    const std::pair<const char*, std::function<void(FakeSysfs&)>> kRows[] = {
        {"mounted", [](FakeSysfs& s) { s.Mount(s.Numbers("sdc"), "/dev/sdc", "/media/card"); }},
        {"the root file system, without an initramfs",
         [](FakeSysfs& s) { s.Mount(s.Numbers("sdc"), "/dev/root", "/"); }},
        {"swap", [](FakeSysfs& s) { s.Swap("/dev/sdc"); }},
        {"a volume built on it", [](FakeSysfs& s) { s.Hold("sdc", "dm-0"); }},
    };
    const char* const kWhy[] = {"/dev/sdc is mounted", "/dev/sdc is mounted",
                                "/dev/sdc is in use as swap", "/dev/sdc belongs to dm-0"};
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(kRows[i].first);
        const SeamRun run = Run(
            "click GetInfo\nclick Close\n",
            [&](SeamMachine& m) {
                m.findReaders = true;
                kRows[i].second(m.sysfs);
            },
            kTwoReaders);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.errors, std::string("usbisp: the reader at USB port 1-1 (/dev/sg0 /dev/sg1 "
                                          "/dev/sg2) is in use: ") +
                                  kWhy[i] + "; all its drives are left out\n");
        // The second reader's unit is E: now; the first reader is never opened.
        EXPECT_EQ(Io(run.transcript).front(), kOpenE);
        EXPECT_EQ(std::set<std::string>(run.opened.begin(), run.opened.end()),
                  std::set<std::string>{"/dev/sg3"});
        EXPECT_TRUE(Has(run.transcript, " Total Device Plug In : 1 ")) << run.transcript;
    }
}

// Program, replug, verify: the reader comes back under a new sg node and
// keeps E:. The transcript is the bench's, whose readers are replugged by the
// same script.
TEST_F(LinuxReaderRuns, AReplugKeepsTheLetter) {
    const std::string script =
        "click ISP_Ena\nclick WIN9xISP\nreplug\nclick GetInfo\nclick WIN9xVER\nclick Close\n";
    const RunResult bench = RunScript(dir, BenchJson(Reader{}), script, {true});
    ASSERT_EQ(bench.exitCode, 0) << bench.errors;
    const std::string serial = dir.Read("SERIAL.TXT");
    dir.Write("SERIAL.TXT", "0x11 0x01 0x0123");
    const SeamRun run = Run(script, [](SeamMachine& m) { m.replugWhenAsked = true; });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.errors,
              "usbisp: unplug the readers (E:) and plug them in again; waiting up to "
              "60 s\n");
    EXPECT_EQ(AsOnTheBench(run.transcript), bench.transcript);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), serial);
    ASSERT_FALSE(run.opened.empty());
    EXPECT_EQ(run.opened.front(), "/dev/sg0");
    EXPECT_EQ(run.opened.back(), "/dev/sg1");
    EXPECT_EQ(run.handlesLeft, 0u);
    EXPECT_EQ(run.benchHandlesLeft, 0u);
}

// A reader that is not replugged, or does not come back, ends the script
// as an action that turned out impossible.
TEST_F(LinuxReaderRuns, AReaderThatDoesNotComeBackEndsTheScript) {
    const std::pair<const char*, std::function<void(SeamMachine&)>> kRows[] = {
        {"left where it is", {}},
        {"unplugged for good",
         [](SeamMachine& m) { m.clock.onWait = [&m] { m.sysfs.Unplug(1, "1-1"); }; }},
    };
    for (const auto& [name, setUp] : kRows) {
        SCOPED_TRACE(name);
        const SeamRun run = Run("click GetInfo\nreplug\nclick GetInfo\n", setUp);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.errors,
                  "usbisp: unplug the readers (E:) and plug them in again; waiting up to 60 s\n" +
                      dir.path() +
                      "/SCRIPT.TXT: line 2: replug: E: did not come back within 60 s\n");
    }
}

// The terminal's signals are held in every request, and given back after.
TEST_F(LinuxReaderRuns, TheTerminalsSignalsWaitWhileARequestIsWithTheDevice) {
    const SeamRun run = Run("click ISP_Ena\nclick WIN9xISP\nclick Close\n", {});
    EXPECT_TRUE(Has(run.transcript, "Success Number Of ISP: 1"));
    ASSERT_EQ(run.signalsHeld.size(), 8u);
    for (std::size_t i = 0; i < run.signalsHeld.size(); ++i)
        EXPECT_TRUE(run.signalsHeld[i]) << "request " << i;
    sigset_t now;
    pthread_sigmask(SIG_BLOCK, nullptr, &now);
    for (int signal : {SIGWINCH, SIGTSTP, SIGTTIN, SIGTTOU})
        EXPECT_FALSE(sigismember(&now, signal)) << signal;
}

// Standard output closed from the start: the programming run goes to its end,
// the counter advances, and standard error says once that the transcript is
// cut.
TEST_F(LinuxReaderRuns, AClosedStandardOutputCutsTheTranscriptNotTheRun) {
    const SeamRun run = Run("click ISP_Ena\nclick WIN9xISP\nclick Close\n",
                            [](SeamMachine& m) { m.closedOutput = true; });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.transcript, "");
    EXPECT_EQ(run.errors,
              "usbisp: the transcript cannot be written to standard output; it is cut "
              "here, the run goes on\n");
    ASSERT_EQ(run.commands.size(), 8u);
    EXPECT_EQ(run.commands[6][1], 0xB2);  // the verification went out
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x124 ");
}

// The program itself with its standard output a pipe nobody reads: SIGPIPE
// does not end it.
TEST_F(LinuxReaderRuns, TheProgramOutlivesAPipeWithoutAReader) {
    dir.Write("BENCH.JSON", BenchJson(Reader{}));
    dir.Write("SCRIPT.TXT", "click ISP_Ena\nclick WIN9xISP\nclick Close\n");
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    const std::string errFile = dir.path() + "/stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string script = dir.path() + "/SCRIPT.TXT";
    const std::string bench = dir.path() + "/BENCH.JSON";
    const char* argv[] = {USBISP_BINARY, "--script", script.c_str(),     "--bench",
                          bench.c_str(), "--dir",    dir.path().c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(
        posix_spawn(&pid, USBISP_BINARY, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(dir.Read("stderr.txt"),
              "usbisp: the transcript cannot be written to standard output; it is cut here, the "
              "run goes on\n");
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x124 ");
}

// A letter --drive gave, whose node is no SCSI generic device when it is
// opened, is given up with what to use instead.
TEST(LinuxLayerDrives, ANodeThatIsNotScsiGenericIsGivenUp) {
    std::string error;
    auto config = sim::ParseBenchConfig(
        R"({"windows": "xp", "readers": [{"letters": "E", "inquiry": {"vendor": "Generic"}}]})",
        ".", error);
    ASSERT_TRUE(config) << error;
    TempDir root;
    FakeSysfs sysfs(root.path());
    sysfs.AddUsbReader(1, "1-1", 6, {{1, "0", "sdb", {"sdb1"}, false, 240}});
    const auto numbers = [&sysfs](const std::string& name) {
        const std::string text = sysfs.Numbers(name);
        return static_cast<unsigned>(std::stoul(text.substr(text.find(':') + 1)));
    };
    const std::pair<lnx::NodeInfo, std::string> kRows[] = {
        {{0, true, false, 1, 3}, "not a SCSI generic device (lsscsi -g lists them)"},
        {{0, false, true, 8, numbers("sdb")},
         "not a SCSI generic device (lsscsi -g lists them); the one of this disk is /dev/sg1"},
        {{0, false, true, 8, numbers("sdb1")},
         "not a SCSI generic device (lsscsi -g lists them); the one of this disk is /dev/sg1"},
    };
    for (const auto& [node, what] : kRows) {
        SCOPED_TRACE(what);
        sim::Bench bench(sim::BenchConfig(*config), ".", {}, false);
        BenchSgDriver sg(bench, {});
        sg.nodes["/dev/x"] = node;
        BenchClock clock(bench);
        Lines events, complaints;
        lnx::LinuxOptions options;
        options.drives = {{'E', "/dev/x", {}, {}}};
        options.paths = sysfs.Paths();
        options.events = [&events](const std::string& line) { events.push_back(line); };
        options.traceIo = true;
        options.complain = [&complaints](const std::string& line) { complaints.push_back(line); };
        lnx::LinuxPlatform layer(std::move(options), sg, clock);
        EXPECT_EQ(layer.CreateFileA("\\\\.\\E:", 0xC0000000u, 3, 3, 0), kInvalidHandle);
        EXPECT_EQ(layer.GetLogicalDrives(), 0u);
        EXPECT_EQ(events, Lines{R"(io open "\\\\.\\E:" fail access=0xc0000000 share=0x3 )"
                                R"(flags=0x0 reason="open: )" +
                                what + "\""});
        EXPECT_EQ(complaints, Lines{"usbisp: /dev/x (E:): " + what + "; going on without E:"});
        EXPECT_TRUE(sg.opened.empty());
    }
}

}  // namespace
}  // namespace usbisp::test::fw

// Two programs taking numbers from one directory, as real processes: a
// station and a second station, a station and a scripted main-window run, two
// main-window runs. The second is refused, naming the first, and no number is
// given twice; the lock goes with a killed holder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace usbisp::station {
namespace {

namespace fs = std::filesystem;

// A station that takes its time: one port, eight readers, real time.
constexpr const char* kSlowStation = R"({"windows": "xp", "clock": "2003-11-18T09:30:00",
  "realtime": true,
  "readers": [
    {"inquiry": {"vendor": "Generic", "product": "Flash Reader"}, "hardwareRevision": "73 11 00"}],
  "station": {"ports": 1, "handling": 400, "line": {"readers": 8}}})";

constexpr const char* kMainWindow = R"({"windows": "xp", "clock": "2003-11-18T09:30:00",
  "readers": [
    {"letters": "E", "inquiry": {"vendor": "Generic", "product": "Flash Reader"},
     "hardwareRevision": "73 11 00"}]})";

// A main window whose status read never completes: its run waits 31 s for it,
// in real time, holding the directory.
constexpr const char* kHangingMainWindow = R"({"windows": "me", "clock": "2003-11-18T09:30:00",
  "realtime": true, "aspi": {"adapters": 1},
  "readers": [
    {"letters": "E", "aspi": [0, 1], "inquiry": {"vendor": "Generic", "product": "Flash Reader"},
     "hardwareRevision": "73 11 00", "hangs": ["GetIspStatus#1"]}]})";

constexpr const char* kProgramScript = "click ISP_Ena\nclick WIN9xISP\nclick Close\n";

pid_t Spawn(std::vector<std::string> args, const std::string& out) {
    args.insert(args.begin(), USBISP_BINARY);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int status = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(status, 0);
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// Waits until the holder has written its note into the lock file: it holds
// the directory from before that on.
bool WaitForHolder(const test::TempDir& dir, const std::string& note) {
    for (int i = 0; i < 600; ++i) {
        if (dir.Exists("SERIAL.LCK") && dir.Read("SERIAL.LCK").find(note) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class TwoTakers : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const auto& entry :
             fs::directory_iterator(fs::path(USBISP_CASES_DIR) / "fixtures" / "rom7311"))
            fs::copy_file(entry.path(), fs::path(dir.path()) / entry.path().filename());
        dir.Write("SERIAL.TXT", "0x57 0x01 0x0123");
        dir.Write("STATION.JSON", kSlowStation);
        dir.Write("MAIN.JSON", kMainWindow);
        dir.Write("HANGING.JSON", kHangingMainWindow);
        dir.Write("PROGRAM.TXT", kProgramScript);
    }
    std::string At(const char* name) const { return dir.path() + "/" + name; }
    pid_t Station(const char* out, const char* bench) {
        return Spawn({"--station", "--headless", "--bench", At(bench), "--dir", dir.path()},
                     At(out));
    }
    pid_t MainWindow(const char* out, const char* bench) {
        return Spawn({"--script", At("PROGRAM.TXT"), "--bench", At(bench), "--dir", dir.path()},
                     At(out));
    }
    std::string Refusal(const std::string& holder) const {
        return "Error!!! Serial.txt cannot be taken: held by " + holder + " !!!";
    }

    test::TempDir dir;
};

TEST_F(TwoTakers, AStationHoldsItsDirectoryAgainstAStationAndTheMainWindow) {
    const pid_t first = Station("FIRST.OUT", "STATION.JSON");
    ASSERT_TRUE(WaitForHolder(dir, "usbisp --station"));
    const std::string holder =
        "usbisp --station, log " + At("PRODUCTION.LOG") + ", process " + std::to_string(first);

    Wait(Station("SECOND.OUT", "STATION.JSON"));
    EXPECT_EQ(dir.Read("SECOND.OUT"),
              "station start 0 program\nstation refused 0 \"" + Refusal(holder) + "\"\n");

    EXPECT_EQ(Wait(MainWindow("MAIN.OUT", "MAIN.JSON")), 0);
    const std::string main = dir.Read("MAIN.OUT");
    EXPECT_NE(main.find("box stop \"UsbIsp\" \"" + Refusal(holder) + "\""), std::string::npos)
        << main;
    EXPECT_EQ(main.find("SERIAL NUMBER"), std::string::npos) << "the main window stamped a number";

    EXPECT_EQ(Wait(first), 0);
    // The first station alone gave numbers: eight, each once.
    std::set<std::uint32_t> given;
    for (const std::string& text : test::Lines(dir.Read("PRODUCTION.LOG"))) {
        const auto line = nlohmann::json::parse(text);
        if (line.value("event", "") != "reader") continue;
        EXPECT_EQ(line.value("result", ""), "programmed") << text;
        EXPECT_TRUE(given.insert(line["cnt"].get<std::uint32_t>()).second) << text;
    }
    EXPECT_EQ(given,
              (std::set<std::uint32_t>{0x123, 0x124, 0x125, 0x126, 0x127, 0x128, 0x129, 0x12a}));
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x12b ");
}

TEST_F(TwoTakers, AMainWindowRunHoldsTheDirectoryUntilItEndsOrDies) {
    const pid_t hanging = MainWindow("HANGING.OUT", "HANGING.JSON");
    ASSERT_TRUE(WaitForHolder(dir, "UsbIsp main window"));
    const std::string holder = "UsbIsp main window, process " + std::to_string(hanging);

    EXPECT_EQ(Wait(MainWindow("SECOND.OUT", "MAIN.JSON")), 0);
    const std::string second = dir.Read("SECOND.OUT");
    EXPECT_NE(second.find("box stop \"UsbIsp\" \"" + Refusal(holder) + "\""), std::string::npos)
        << second;
    Wait(Station("STATION.OUT", "STATION.JSON"));
    EXPECT_EQ(dir.Read("STATION.OUT"),
              "station start 0 program\nstation refused 0 \"" + Refusal(holder) + "\"\n");
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x01 0x0123");

    // Killed, the holder leaves no lock behind: the next run programs.
    kill(hanging, SIGKILL);
    EXPECT_EQ(Wait(hanging), -SIGKILL);
    EXPECT_EQ(Wait(MainWindow("THIRD.OUT", "MAIN.JSON")), 0);
    EXPECT_NE(dir.Read("THIRD.OUT").find("SERIAL NUMBER: 573B12010123"), std::string::npos)
        << dir.Read("THIRD.OUT");
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x124 ");
}

}  // namespace
}  // namespace usbisp::station

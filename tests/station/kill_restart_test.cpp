// The station killed, or stopped by the operator's signals, at random moments
// during runs of 200 readers on the bench, and started again: across all runs
// no serial number is on two readers, and every number below the counter is on
// a programmed reader or void in the log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace usbisp::station {
namespace {

using Json = nlohmann::json;

// Every fifth reader's controller finds the image different at each compare:
// its programming fails after its number was stamped.
constexpr const char* kBench = R"({"windows": "xp", "clock": "2003-11-18T09:30:00",
  "readers": [
    {"inquiry": {"vendor": "Generic", "product": "Flash Reader"}, "hardwareRevision": "73 11 00"},
    {"inquiry": {"vendor": "Generic", "product": "Flash Reader"}, "hardwareRevision": "73 11 00",
     "answers": {"IspVerify": ["33", "33", "33"]}}],
  "station": {"ports": 16, "handling": 500, "line": {"readers": 200, "kinds": [1, 1, 1, 1, 2]}}})";

constexpr int kKills = 12;

std::vector<char> Image() {
    std::vector<char> image(4096);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13 + 7);
    image[0] = 5;  // type 5, marker 0xFE: a 7311 takes it
    image[1] = static_cast<char>(0xFE);
    return image;
}

// The transcript goes to `transcript` (a path), or nowhere.
pid_t StartStation(const test::TempDir& dir, const std::string& transcript = "/dev/null") {
    std::vector<std::string> args = {
        USBISP_BINARY, "--station", "--headless", "--bench", dir.path() + "/BENCH.JSON",
        "--dir",       dir.path()};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, transcript.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int status = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(status, 0);
    return pid;
}

// A station on its board, in a terminal of its own: a pseudo-terminal whose
// output a thread reads away until the station has gone.
struct BoardStation {
    pid_t pid = -1;
    int terminal = -1;
    std::thread reader;

    explicit BoardStation(const test::TempDir& dir) {
        std::vector<std::string> args = {
            USBISP_BINARY, "--station", "--bench", dir.path() + "/BENCH.JSON", "--dir", dir.path()};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::string term = "TERM=xterm";
        char* envp[] = {term.data(), nullptr};
        winsize size{};
        size.ws_row = 30;
        size.ws_col = 100;
        pid = forkpty(&terminal, nullptr, nullptr, &size);
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) ::dup2(null, STDERR_FILENO);
            ::execve(argv[0], argv.data(), envp);
            ::_exit(127);
        }
        EXPECT_GT(pid, 0);
        reader = std::thread([fd = terminal] {
            char drain[4096];
            while (::read(fd, drain, sizeof drain) > 0) {
            }
        });
    }
    ~BoardStation() {
        if (reader.joinable()) reader.join();
        if (terminal >= 0) ::close(terminal);
    }
};

// Waits for the station; its exit status, or -signal when it was killed.
int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

void WriteStation(test::TempDir& dir) {
    dir.Write("BENCH.JSON", kBench);
    dir.Write("DEVICE.TXT",
              "FA_Inquiry_Manufacture = \"Generic\";\nFA_Inquiry_Product = \"Flash Reader\";\n"
              "ISP_ROMCODE = \"ROM.BIN\";\n");
    dir.Write("SERIAL.TXT", "0x57 0x01 0x0000");
    const std::vector<char> image = Image();
    dir.Write("ROM.BIN", std::string(image.begin(), image.end()));
    dir.Write("ROM.adr", std::string("\x00\x01\x00\x00\x06\x00\x00\x00\x0d\x00\x00\x00", 12));
}

struct Numbers {
    std::uint32_t first = 0;
    std::uint32_t counter = 0;
    int programmed = 0;
    int voided = 0;
};

// Every number from the log's first counter line to SERIAL.TXT's counter is
// in the log once, on a programmed reader or void, and none beyond it.
Numbers CheckNumbers(const test::TempDir& dir);

TEST(KillAndRestart, NoNumberTwiceAndNoneLost) {
    test::TempDir dir;
    WriteStation(dir);

    // One whole run tells how long a run takes here. The machine may have
    // been busier then than later, so a run that ends before its kill tells
    // it again: the kills fall within three quarters of the shortest run seen.
    const auto microsecondsSince = [](std::chrono::steady_clock::time_point start) {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count());
    };
    const auto before = std::chrono::steady_clock::now();
    // Exit status 1: every fifth reader fails.
    ASSERT_EQ(Wait(StartStation(dir)), 1);
    long runUs = microsecondsSince(before);

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    int killed = 0;
    for (int round = 0; round < kKills; ++round) {
        std::uniform_int_distribution<long> moment(0, std::max<long>(runUs * 3 / 4, 1000));
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = StartStation(dir);
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        kill(pid, SIGKILL);
        if (Wait(pid) == -SIGKILL)
            ++killed;
        else
            runUs = std::min(runUs, microsecondsSince(start));
    }
    // A last run to its end squares the counter with the log.
    ASSERT_EQ(Wait(StartStation(dir)), 1);
    EXPECT_GT(killed, kKills / 2) << "the runs ended before they could be killed";
    const Numbers numbers = CheckNumbers(dir);
    EXPECT_GE(numbers.programmed, 2 * 160) << "two whole runs program 160 readers each";
    std::printf("%d of %d runs killed; numbers %u to %u: %d programmed, %d void\n", killed, kKills,
                numbers.first, numbers.counter - 1, numbers.programmed, numbers.voided);
}

Numbers CheckNumbers(const test::TempDir& dir) {
    Numbers numbers;

    std::map<std::uint32_t, std::vector<std::string>> uses;  // cnt -> what the log says of it
    std::uint32_t first = 0;
    bool started = false;
    int programmed = 0;
    for (const std::string& text : test::Lines(dir.Read("PRODUCTION.LOG"))) {
        const Json line = Json::parse(text, nullptr, false);
        if (!line.is_object()) {
            ADD_FAILURE() << "a line that is not JSON: " << text;
            continue;
        }
        const std::string event = line.value("event", "");
        if (event == "counter" && !started) {
            started = true;
            first = line["cnt"].get<std::uint32_t>();
        }
        if ((event != "reader" && event != "void") || !line.contains("cnt")) continue;
        const auto cnt = line["cnt"].get<std::uint32_t>();
        const std::string result = event == "void" ? "void" : line.value("result", "");
        if (result == "programmed") ++programmed;
        if (event == "reader") {
            EXPECT_TRUE(result == "programmed" || line.value("void", false)) << text;
        }
        uses[cnt].push_back(result);
    }
    EXPECT_TRUE(started);
    std::uint32_t counter = 0;
    EXPECT_EQ(std::sscanf(dir.Read("SERIAL.TXT").c_str(), "%*x %*x %x", &counter), 1);
    for (std::uint32_t cnt = first; cnt < counter; ++cnt) {
        if (!uses.count(cnt)) {
            ADD_FAILURE() << "number " << cnt << " is neither programmed nor void";
            break;
        }
        EXPECT_EQ(uses[cnt].size(), 1u) << "number " << cnt << " is in the log more than once";
    }
    int voided = 0;
    for (const auto& [cnt, what] : uses) {
        EXPECT_LT(cnt, counter) << "number " << cnt << " is not below the counter";
        voided += !what.empty() && what.front() != "programmed";
    }
    numbers.first = first;
    numbers.counter = counter;
    numbers.programmed = programmed;
    numbers.voided = voided;
    return numbers;
}

// The serial numbers a transcript shows programmed: port P programmed MS "SERIAL".
std::set<std::string> ShownProgrammed(const std::string& transcript) {
    std::set<std::string> serials;
    for (const std::string& line : test::Lines(transcript)) {
        const auto at = line.find(" programmed ");
        if (line.rfind("port ", 0) != 0 || line.find(" | ") != std::string::npos ||
            at == std::string::npos)
            continue;
        const auto quote = line.find('"', at);
        if (quote != std::string::npos)
            serials.insert(line.substr(quote + 1, line.find('"', quote + 1) - quote - 1));
    }
    return serials;
}

// The operator's signals at random moments, headless and on the board: INT,
// TERM or HUP stop the station as q does (status 0 or 1, the summary in the
// log), a second one soon after may end it at once by that signal, KILL ends
// it at once. Across all runs no number is on two readers, none is lost, and
// every reader a transcript showed programmed has its whole line in the log.
TEST(KillAndRestart, SignalsAtRandomMoments) {
    test::TempDir dir;
    WriteStation(dir);
    const std::string transcript = dir.path() + "/transcript.txt";
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(Wait(StartStation(dir)), 1);
    const long runUs = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                             std::chrono::steady_clock::now() - before)
                                             .count());
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const int kinds[] = {SIGINT, SIGTERM, SIGHUP, SIGKILL};
    std::uniform_int_distribution<long> moment(runUs / 20, std::max<long>(runUs / 2, 1000));
    std::uniform_int_distribution<long> soon(0, std::max<long>(runUs / 10, 100));
    std::set<std::string> shown;
    int stopped = 0, endedBySecond = 0, killed = 0;
    for (int round = 0; round < kKills; ++round) {
        // Every other run on the board, whose transcript nobody sees.
        std::unique_ptr<BoardStation> board;
        if (round % 2 == 1) {
            board = std::make_unique<BoardStation>(dir);
            dir.Write("transcript.txt", "");
        }
        const pid_t pid = board ? board->pid : StartStation(dir, transcript);
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        const int first = kinds[random() % 4];
        kill(pid, first);
        int second = 0;
        if (first != SIGKILL && random() % 2 == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(soon(random)));
            second = kinds[random() % 3];
            kill(pid, second);
        }
        const int status = Wait(pid);
        board.reset();
        const std::string what = "round " + std::to_string(round) + ": signal " +
                                 std::to_string(first) + " then " + std::to_string(second) +
                                 ", status " + std::to_string(status);
        if (status == 0 || status == 1) {
            ++stopped;
            const std::vector<std::string> log = test::Lines(dir.Read("PRODUCTION.LOG"));
            ASSERT_FALSE(log.empty());
            EXPECT_NE(log.back().find("\"event\":\"summary\""), std::string::npos) << what;
        } else if (first == SIGKILL) {
            EXPECT_EQ(status, -SIGKILL) << what;
            ++killed;
        } else {
            // Ended by the second, or by the first before the station took signals.
            EXPECT_TRUE(status == -second || status == -first) << what;
            endedBySecond += status == -second;
        }
        for (const std::string& serial : ShownProgrammed(test::ReadFile(transcript)))
            shown.insert(serial);
    }
    ASSERT_EQ(Wait(StartStation(dir)), 1);
    EXPECT_GT(stopped, 0) << "no signal stopped a station as q does";
    CheckNumbers(dir);
    std::set<std::string> logged;
    for (const std::string& text : test::Lines(dir.Read("PRODUCTION.LOG"))) {
        const Json line = Json::parse(text, nullptr, false);
        if (line.is_object() && line.value("result", "") == "programmed")
            logged.insert(line.value("serial", ""));
    }
    for (const std::string& serial : shown)
        EXPECT_TRUE(logged.count(serial)) << serial << " was shown programmed but is not logged";
    std::printf(
        "%d runs: %d stopped as by q, %d ended by a second signal, %d killed; %zu shown "
        "programmed\n",
        kKills, stopped, endedBySecond, killed, shown.size());
}

}  // namespace
}  // namespace usbisp::station

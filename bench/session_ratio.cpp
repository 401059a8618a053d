// A whole scripted session (station.h) as its own process beside a bare
// process start (/bin/true). The two are run in alternation, so that both meet
// the same load of the machine; prints the median of each and their ratio.
//
// usage: session_ratio [ROUNDS [PROGRAM]]   (PROGRAM: another usbisp to time)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "station.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Runs the program with standard output to /dev/null; seconds it took.
double TimeRun(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) std::abort();
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(1);
    }
    return std::chrono::duration<double>(end - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
    const fs::path dir = usbisp::benchmarks::MakeStation();
    const std::string program = argc > 2 ? argv[2] : USBISP_BINARY;
    const std::vector<std::string> session = {program,
                                              "--script",
                                              (dir / "SCRIPT.TXT").string(),
                                              "--bench",
                                              (dir / "BENCH.JSON").string(),
                                              "--dir",
                                              dir.string()};
    const std::vector<std::string> bare = {"/bin/true"};
    std::vector<double> sessions, starts;
    for (int i = 0; i < rounds; ++i) {
        starts.push_back(TimeRun(bare));
        sessions.push_back(TimeRun(session));
    }
    const double s = Median(sessions), t = Median(starts);
    std::printf("whole session %.2f ms, bare process start %.2f ms, ratio %.2f (%d rounds)\n",
                s * 1000, t * 1000, s / t, rounds);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}

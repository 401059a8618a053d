// The station over readers arriving on this machine, with the kernel's side
// played by the test: a sysfs tree in a scratch directory (FakeSysfs), the
// hotplug events fed by hand, and each reader's SCSI generic unit answered by a bench reader
// of its own behind the Linux layer's SG_IO seam. Two readers arrive on two
// ports, are programmed at once and leave; two more take their places.
#include "station/real_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/sim/bench.h"
#include "support/fake_sysfs.h"
#include "support/sg_io_seam.h"
#include "support/test_support.h"

namespace usbisp::station {
namespace {

class FedHotplug : public HotplugSource {
  public:
    FedHotplug() { EXPECT_EQ(::pipe(pipe_), 0); }
    ~FedHotplug() override {
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }
    void Push(Uevent event) {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_.push_back(std::move(event));
        EXPECT_EQ(::write(pipe_[1], "e", 1), 1);
    }
    // Events were lost: the kernel's buffer overflowed.
    void PushLost() {
        std::lock_guard<std::mutex> lock(mutex_);
        lost_ = true;
        EXPECT_EQ(::write(pipe_[1], "e", 1), 1);
    }
    int fd() const override { return pipe_[0]; }
    HotplugBatch Read() override {
        char drain[64];
        EXPECT_GT(::read(pipe_[0], drain, sizeof drain), 0);
        std::lock_guard<std::mutex> lock(mutex_);
        HotplugBatch batch{std::vector<Uevent>(waiting_.begin(), waiting_.end()), lost_};
        waiting_.clear();
        lost_ = false;
        return batch;
    }

  private:
    int pipe_[2] = {-1, -1};
    std::mutex mutex_;
    std::deque<Uevent> waiting_;
    bool lost_ = false;
};

// Each /dev/sgN to the bench reader behind it.
class RoutedSg : public lnx::SgDriver {
  public:
    void Route(const std::string& device, lnx::SgDriver& driver) { routes_[device] = &driver; }

    int CheckAccess(const std::string& device) override {
        return routes_.count(device) ? routes_[device]->CheckAccess(device) : -ENOENT;
    }
    int Open(const std::string& device, bool write) override {
        if (!routes_.count(device)) return -ENOENT;
        lnx::SgDriver* driver = routes_[device];
        const int inner = driver->Open(device, write);
        if (inner < 0) return inner;
        std::lock_guard<std::mutex> lock(mutex_);
        open_[next_] = {driver, inner};
        return next_++;
    }
    int Io(int fd, sg_io_hdr_t& io) override {
        auto [driver, inner] = Find(fd);
        return driver ? driver->Io(inner, io) : -EBADF;
    }
    void Close(int fd) override {
        auto [driver, inner] = Find(fd);
        if (driver) driver->Close(inner);
        std::lock_guard<std::mutex> lock(mutex_);
        open_.erase(fd);
    }
    std::string GroupOf(const std::string&) override { return "disk"; }
    lnx::NodeInfo Stat(const std::string& path) override {
        if (routes_.count(path)) return routes_[path]->Stat(path);
        lnx::NodeInfo missing;
        missing.error = ENOENT;
        return missing;
    }
    // The readers' disks have no medium: nothing holds them.
    int ProbeExclusive(const std::string&) override { return 0; }

  private:
    std::pair<lnx::SgDriver*, int> Find(int fd) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = open_.find(fd);
        return it == open_.end() ? std::pair<lnx::SgDriver*, int>{nullptr, -1} : it->second;
    }

    // Set up before the station runs, read only while it does.
    std::map<std::string, lnx::SgDriver*> routes_;
    std::mutex mutex_;
    std::map<int, std::pair<lnx::SgDriver*, int>> open_;
    int next_ = 100;
};

// A reader's one unit: a disk without a card.
test::FakeSysfs::Unit Disk(int sg, const char* name) {
    test::FakeSysfs::Unit unit;
    unit.sg = sg;
    unit.disk = name;
    return unit;
}

// The uevents of a reader's one unit arriving and leaving, as the kernel
// sends them for the tree FakeSysfs makes.
Uevent UnitEvent(const char* action, const std::string& port, int host, int sg) {
    const std::string h = std::to_string(host);
    return Uevent{action,
                  "/devices/pci0000:00/0000:00:14.0/usb1/" + port + "/" + port + ":1.0/host" + h +
                      "/target" + h + ":0:0/" + h + ":0:0:0/scsi_generic/sg" + std::to_string(sg),
                  "scsi_generic", "sg" + std::to_string(sg)};
}

sim::BenchConfig OneReader() {
    std::string error;
    auto config = sim::ParseBenchConfig(
        R"({"clock": "2003-11-18T09:30:00", "readers": [{"letters": "E", "inquiry": {"vendor":
            "Generic", "product": "Flash Reader"}, "hardwareRevision": "73 11 00"}]})",
        ".", error);
    EXPECT_TRUE(config) << error;
    return *config;
}

template <typename Condition>
bool Await(Condition condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The station's directory: a 7311's image, its counter at 0x0010.
void WriteFiles(test::TempDir& dir) {
    dir.Write("DEVICE.TXT",
              "FA_Inquiry_Manufacture = \"Generic\";\nFA_Inquiry_Product = \"Flash Reader\";\n"
              "ISP_ROMCODE = \"ROM.BIN\";\n");
    dir.Write("SERIAL.TXT", "0x57 0x01 0x0010");
    std::string image(1000, '\x11');
    image[0] = 5;
    image[1] = static_cast<char>(0xFE);
    dir.Write("ROM.BIN", image);
    dir.Write("ROM.adr", std::string("\x00\x01\x00\x00\x06\x00\x00\x00\x0d\x00\x00\x00", 12));
}

TEST(RealLine, ReadersArriveAreProgrammedAtOnceLeaveAndAreReplaced) {
    test::TempDir dir;
    WriteFiles(dir);
    test::FakeSysfs sysfs(dir.path());
    // Four readers to come, and one attached before the station starts.
    std::vector<std::unique_ptr<sim::Bench>> benches;
    std::vector<std::unique_ptr<test::BenchSgDriver>> drivers;
    RoutedSg sg;
    for (const char* unit : {"sg1", "sg2", "sg3", "sg4", "sg0"}) {
        benches.push_back(
            std::make_unique<sim::Bench>(OneReader(), dir.path(), sim::EventSink{}, false));
        const std::string device = std::string("/dev/") + unit;
        drivers.push_back(std::make_unique<test::BenchSgDriver>(
            *benches.back(), std::map<std::string, char>{{device, 'E'}}));
        sg.Route(device, *drivers.back());
    }
    sysfs.AddUsbReader(2, "2-1", 5, {Disk(0, "sda")});

    ProductionLog log;
    std::string error;
    ASSERT_TRUE(log.Open(dir.path() + "/PRODUCTION.LOG", error)) << error;
    std::mutex linesMutex;
    std::vector<std::string> lines;
    StationConfig config;
    config.directory = dir.path();
    config.transcript = [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(linesMutex);
        lines.push_back(line);
    };
    lnx::SystemClock clock;
    RealLine line(log, config, RealMachineAccess{sg, clock, sysfs.Paths(), 20});
    FedHotplug hotplug;
    auto done = [&](const char* a, const char* b) {
        return [&line, a, b] {
            const Board board = line.Snapshot();
            int count = 0;
            for (const PortRow& row : board.ports)
                if ((row.name == a || row.name == b) && row.state == PortState::Done) ++count;
            return count == 2;
        };
    };
    std::thread operatorHands([&] {
        // Readers plugged in once the station watches.
        ASSERT_TRUE(Await([&] { return !line.Snapshot().ports.empty(); }));
        sysfs.AddUsbReader(1, "1-1", 6, {Disk(1, "sdb")});
        hotplug.Push(UnitEvent("add", "1-1", 6, 1));
        sysfs.AddUsbReader(1, "1-2", 7, {Disk(2, "sdc")});
        hotplug.Push(UnitEvent("add", "1-2", 7, 2));
        ASSERT_TRUE(Await(done("1-1", "1-2")));
        sysfs.Unplug(1, "1-1");
        hotplug.Push(UnitEvent("remove", "1-1", 6, 1));
        sysfs.Unplug(1, "1-2");
        hotplug.Push(UnitEvent("remove", "1-2", 7, 2));
        sysfs.AddUsbReader(1, "1-1", 8, {Disk(3, "sdb")});
        hotplug.Push(UnitEvent("add", "1-1", 8, 3));
        sysfs.AddUsbReader(1, "1-2", 9, {Disk(4, "sdc")});
        hotplug.Push(UnitEvent("add", "1-2", 9, 4));
        ASSERT_TRUE(Await(done("1-1", "1-2")));
        sysfs.Unplug(1, "1-1");
        hotplug.Push(UnitEvent("remove", "1-1", 8, 3));
        sysfs.Unplug(1, "1-2");
        hotplug.Push(UnitEvent("remove", "1-2", 9, 4));
    });
    const RunCounts counts = line.Run(hotplug, 4, {}, 50);
    operatorHands.join();

    EXPECT_EQ(counts.programmed, 4);
    EXPECT_EQ(counts.failed, 0);
    // The reader that was there first is not taken.
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2].substr(0, 17), "port 2-1 refused ");
    EXPECT_EQ(lines[2].substr(lines[2].find('"')),
              "\"attached before the station started: unplug it and plug it in again\"");
    std::vector<std::string> ports, serials;
    for (const std::string& text : log.ReadLines()) {
        const nlohmann::json entry = nlohmann::json::parse(text);
        if (entry["event"] != "reader") continue;
        EXPECT_EQ(entry["result"], "programmed") << text;
        ports.push_back(entry["port"]);
        // The date in the middle is the machine's.
        serials.push_back(entry["serial"].get<std::string>().substr(0, 2) +
                          entry["serial"].get<std::string>().substr(6));
    }
    std::sort(serials.begin(), serials.end());
    EXPECT_EQ(serials, (std::vector<std::string>{"57010010", "57010011", "57010012", "57010013"}));
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<std::string>{"1-1", "1-1", "1-2", "1-2"}));
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x14 ");
}

// Events lost to an overflow of the kernel's buffer: what sysfs holds then
// decides. A reader pulled out unseen frees its port; one plugged in unseen
// is taken, even when its unit came back under the sg name of the one before
// (another SCSI device behind it tells them apart).
TEST(RealLine, LostEventsAreSquaredWithSysfs) {
    test::TempDir dir;
    WriteFiles(dir);
    test::FakeSysfs sysfs(dir.path());
    sim::Bench bench(OneReader(), dir.path(), sim::EventSink{}, false);
    test::BenchSgDriver driver(bench, std::map<std::string, char>{{"/dev/sg1", 'E'}});
    RoutedSg sg;
    sg.Route("/dev/sg1", driver);
    // Attached before the start, so that the test sees when the station watches.
    sysfs.AddUsbReader(2, "2-1", 5, {Disk(0, "sda")});

    ProductionLog log;
    std::string error;
    ASSERT_TRUE(log.Open(dir.path() + "/PRODUCTION.LOG", error)) << error;
    std::mutex linesMutex;
    std::vector<std::string> lines, warnings;
    StationConfig config;
    config.directory = dir.path();
    config.transcript = [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(linesMutex);
        lines.push_back(line);
    };
    lnx::SystemClock clock;
    RealLine line(log, config, RealMachineAccess{sg, clock, sysfs.Paths(), 20});
    line.complain = [&](const std::string& text) {
        std::lock_guard<std::mutex> lock(linesMutex);
        warnings.push_back(text);
    };
    FedHotplug hotplug;
    auto row = [&line](PortState state, int reader) {
        return [&line, state, reader] {
            for (const PortRow& r : line.Snapshot().ports)
                if (r.name == "1-1" && r.state == state && r.reader == reader) return true;
            return false;
        };
    };
    std::thread operatorHands([&] {
        ASSERT_TRUE(Await([&] { return !line.Snapshot().ports.empty(); }));
        sysfs.AddUsbReader(1, "1-1", 6, {Disk(1, "sdb")});
        hotplug.Push(UnitEvent("add", "1-1", 6, 1));
        ASSERT_TRUE(Await(row(PortState::Done, 1)));
        // Nothing changed: the reader still there is not taken again.
        hotplug.PushLost();
        ASSERT_TRUE(Await([&] {
            std::lock_guard<std::mutex> lock(linesMutex);
            return warnings.size() == 1;
        }));
        // Out and another in, both unseen: sg1 again, on SCSI host 8.
        sysfs.Unplug(1, "1-1");
        bench.Replug();
        sysfs.AddUsbReader(1, "1-1", 8, {Disk(1, "sdb")});
        hotplug.PushLost();
        ASSERT_TRUE(Await(row(PortState::Done, 2)));
        // Out unseen, and nothing in.
        sysfs.Unplug(1, "1-1");
        hotplug.PushLost();
    });
    const RunCounts counts = line.Run(hotplug, 2, {}, 50);
    operatorHands.join();

    EXPECT_EQ(counts.programmed, 2);
    std::vector<std::string> events;
    for (const std::string& text : lines)
        if (text.rfind("port 1-1 ", 0) == 0 && text.find(" | ") == std::string::npos)
            events.push_back(text.substr(9, text.find(' ', 9) - 9));
    EXPECT_EQ(events, (std::vector<std::string>{"plug", "programming", "programmed", "unplug",
                                                "plug", "programming", "programmed", "unplug"}));
    const std::string lost =
        "usbisp: hotplug events were lost (the kernel's buffer overflowed): the readers attached "
        "are read again from sysfs";
    EXPECT_EQ(warnings, (std::vector<std::string>{lost, lost, lost}));
}

// Without the sg module no reader can arrive: the station says so at once.
TEST(RealLine, SaysWhenTheSgDriverIsMissing) {
    test::TempDir dir;
    WriteFiles(dir);
    test::FakeSysfs sysfs(dir.path());
    std::filesystem::remove_all(sysfs.sys() + "/class/scsi_generic");
    RoutedSg sg;
    ProductionLog log;
    std::string error;
    ASSERT_TRUE(log.Open(dir.path() + "/PRODUCTION.LOG", error)) << error;
    std::mutex mutex;
    std::vector<std::string> warnings;
    StationConfig config;
    config.directory = dir.path();
    lnx::SystemClock clock;
    RealLine line(log, config, RealMachineAccess{sg, clock, sysfs.Paths(), 20});
    line.complain = [&](const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        warnings.push_back(text);
    };
    FedHotplug hotplug;
    line.Stop();
    line.Run(hotplug, 0, {}, 50);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "usbisp: no SCSI generic devices: the sg module is not loaded "
                            "(sudo modprobe sg)"}));
}

}  // namespace
}  // namespace usbisp::station

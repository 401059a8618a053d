// The opened path: a path that opened is closed once, when the sequence
// leaves it, after whatever the sequence did with it; one that did not open is
// never closed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/isp_path.h"
#include "firmware_test_support.h"

namespace usbisp::test {
namespace {

class LoggedPath : public IspPath {
  public:
    explicit LoggedPath(bool opens) : opens_(opens) {}
    std::vector<std::string> log;

    const IspPathStyle& style() const override { return style_; }
    bool CarriesLength(std::uint32_t) const override { return true; }
    bool Open(const OperatorMessages&) override {
        log.push_back("open");
        return opens_;
    }
    void Close() override { log.push_back("close"); }
    bool Jump() override {
        log.push_back("jump");
        return false;
    }
    bool ReadStatus(std::uint8_t&) override { return false; }
    bool Transfer(std::span<const std::uint8_t>, std::uint32_t, std::uint8_t) override {
        return false;
    }

  private:
    bool opens_;
    IspPathStyle style_;
};

// A sequence that leaves early when the jump fails, and otherwise at its end.
void Sequence(LoggedPath& path, const OperatorMessages& messages, bool jumpMatters) {
    const OpenedPath opened(path, messages);
    if (!opened.open()) return;
    if (!path.Jump() && jumpMatters) return;
    path.log.push_back("end");
}

TEST(OpenedPath, ClosesOnceOnEveryWayOutAndOnlyWhenOpened) {
    struct Case {
        bool opens;
        bool jumpMatters;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {true, true, {"open", "jump", "close"}},
        {true, false, {"open", "jump", "end", "close"}},
        {false, true, {"open"}},
    };
    for (const Case& c : cases) {
        BoxView view;
        std::string statusText;
        LoggedPath path(c.opens);
        Sequence(path, OperatorMessages{view, statusText}, c.jumpMatters);
        EXPECT_EQ(path.log, c.log) << "opens " << c.opens << ", jump matters " << c.jumpMatters;
    }
}

}  // namespace
}  // namespace usbisp::test

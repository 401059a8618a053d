// The station's board as the terminal shows it.
#include "station/board.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace usbisp::station {
namespace {

TEST(Board, OneRowPerPortThenTheCounters) {
    Board board;
    board.ports = {
        PortRow{"1", PortState::Waiting, 0, "", 0, 0, 0},
        PortRow{"2", PortState::Identifying, 7, "", 0, 0, 0},
        PortRow{"3", PortState::Programming, 8, "", 5, 0, 15},
        PortRow{"1-1.4", PortState::Verifying, 9, "", 15, 0, 15},
        PortRow{"5", PortState::Done, 3, "573B12010123", 0, 0, 15},
        PortRow{"6", PortState::Done, 4, "", 0, 0, 15},
        PortRow{"7", PortState::Failed, 5,
                "ERROR: Device Not Ready when GET DEVICE VERSION!! \n  P/S: After ISP/Verify "
                "Device must plug-out first!",
                0, 0, 0},
    };
    board.counts = RunCounts{12, 0, 3, 1, 480};
    const std::vector<BoardLine> lines = BoardLines(board, false, 100);
    std::vector<std::string> texts;
    for (const BoardLine& line : lines) texts.push_back(line.text);
    EXPECT_EQ(texts,
              (std::vector<std::string>{
                  "usbisp station: programming readers",
                  "port         reader  state",
                  "1                    waiting",
                  "2            #7      identifying",
                  "3            #8      programming [#####..........]",
                  "1-1.4        #9      verifying   [###############]",
                  "5            #3      done 573B12010123  >> unplug now",
                  "6            #4      done  >> unplug now",
                  "7            #5      failed: ERROR: Device Not Ready when GET DEVICE VERSION!! "
                  "  >> unplug now",
                  "",
                  "programmed 12  verified 0  failed 3  void 1  per hour 480",
              }));
    EXPECT_EQ(lines[2].tone, Tone::Dim);
    EXPECT_EQ(lines[4].tone, Tone::Busy);
    EXPECT_EQ(lines[6].tone, Tone::Good);
    EXPECT_EQ(lines[8].tone, Tone::Bad);
}

TEST(Board, SaysWhenTheStationTakesNoMoreReadersAndFitsTheWidth) {
    Board board;
    board.halted = true;
    std::vector<BoardLine> lines = BoardLines(board, true, 20);
    EXPECT_EQ(lines.front().text, "usbisp station: chec");
    EXPECT_EQ(lines[2].text, "no port has seen a r");
    EXPECT_EQ(lines.back().text, "halted: the producti");
    board.halted = false;
    board.stopping = true;
    lines = BoardLines(board, true, 80);
    EXPECT_EQ(lines.back().text, "stopping: no further reader is taken");
    // The line's database away: said under the counters, in the bad tone.
    board.numbers = "the line's database cannot be reached";
    lines = BoardLines(board, false, 80);
    EXPECT_EQ(lines.back().text, "the line's database cannot be reached");
    EXPECT_EQ(lines.back().tone, Tone::Bad);
    EXPECT_EQ(lines[lines.size() - 2].text, "stopping: no further reader is taken");
}

std::vector<std::string> Texts(const std::vector<BoardLine>& lines) {
    std::vector<std::string> texts;
    for (const BoardLine& line : lines) texts.push_back(line.text);
    return texts;
}

// On a short screen the rows that call for hands come first, then those at
// work; the rest are counted by state. Rows as data: height, what shows.
TEST(Board, AShortScreenKeepsDoneAndFailedRowsAndCountsTheRest) {
    Board board;
    board.ports = {
        PortRow{"1", PortState::Waiting, 0, "", 0, 0, 0},
        PortRow{"2", PortState::Programming, 7, "", 0, 0, 15},
        PortRow{"3", PortState::Done, 3, "573B12010123", 0, 0, 15},
        PortRow{"4", PortState::Failed, 4, "ERROR: bad", 0, 0, 0},
        PortRow{"5", PortState::Waiting, 0, "", 0, 0, 0},
        PortRow{"6", PortState::Waiting, 0, "", 0, 0, 0},
    };
    const std::string title = "usbisp station: programming readers";
    const std::string header = "port         reader  state";
    const std::string busy = "2            #7      programming [...............]";
    const std::string done = "3            #3      done 573B12010123  >> unplug now";
    const std::string failed = "4            #4      failed: ERROR: bad  >> unplug now";
    const std::string counters = "programmed 0  verified 0  failed 0  void 0  per hour 0";
    struct Row {
        int height;
        std::vector<std::string> lines;
    };
    for (const Row& row : {
             Row{10,
                 {title, header, "1                    waiting", busy, done, failed,
                  "5                    waiting", "6                    waiting", "", counters}},
             Row{8,
                 {title, header, busy, done, failed, "+ 3 more ports not shown: 3 waiting", "",
                  counters}},
             Row{7,
                 {title, header, done, failed, "+ 4 more ports not shown: 3 waiting, 1 programming",
                  "", counters}},
             Row{5,
                 {title, header,
                  "+ 6 more ports not shown: 3 waiting, 1 programming, 1 done, "
                  "1 failed",
                  "", counters}},
         }) {
        BoardFrame frame;
        frame.width = 100;
        frame.height = row.height;
        EXPECT_EQ(Texts(BoardLines(board, frame)), row.lines) << "height " << row.height;
    }
}

// The reason gives way to the call to unplug, which goes only when the
// screen is narrower than the call itself.
TEST(Board, NeverCutsTheCallToUnplug) {
    Board board;
    board.ports = {PortRow{"7", PortState::Failed, 5,
                           "ERROR: Device Not Ready when GET DEVICE VERSION!! ", 0, 0, 0},
                   PortRow{"8", PortState::Done, 6, "573B12010123", 0, 0, 0}};
    struct Row {
        int width;
        std::string failed;
        std::string done;
    };
    for (const Row& row : {
             Row{50, "7            #5      failed: ERROR:  >> unplug now",
                 "8            #6      done 573B12010  >> unplug now"},
             Row{16, "7  >> unplug now", "8  >> unplug now"},
             Row{15, "  >> unplug now", "  >> unplug now"},
             Row{10, "  >> unplu", "  >> unplu"},
         }) {
        const std::vector<BoardLine> lines = BoardLines(board, false, row.width);
        EXPECT_EQ(lines[2].text, row.failed) << row.width;
        EXPECT_EQ(lines[3].text, row.done) << row.width;
    }
}

// A result stays on its port after its reader has left, marked so, until the
// next reader arrives there.
TEST(Board, KeepsAPortsLastResultUntilTheNextReaderArrives) {
    BoardMemory memory;
    std::set<std::string> left;
    Board board;
    board.ports = {PortRow{"1", PortState::Failed, 3, "ERROR: bad", 0, 0, 0},
                   PortRow{"2", PortState::Waiting, 0, "", 0, 0, 0}};
    Board shown = memory.Keep(board, left);
    EXPECT_TRUE(left.empty());

    board.ports[0] = PortRow{"1", PortState::Waiting, 0, "", 0, 0, 0};
    shown = memory.Keep(board, left);
    EXPECT_EQ(left, (std::set<std::string>{"1"}));
    BoardFrame frame;
    frame.left = left;
    std::vector<std::string> texts = Texts(BoardLines(shown, frame));
    EXPECT_EQ(texts[2], "1            #3      failed: ERROR: bad  (unplugged)");
    EXPECT_EQ(texts[3], "2                    waiting");

    board.ports[0] = PortRow{"1", PortState::Identifying, 4, "", 0, 0, 0};
    shown = memory.Keep(board, left);
    EXPECT_TRUE(left.empty());
    EXPECT_EQ(shown.ports[0].reader, 4);
    // The next one's run took the row: its waiting port is empty again.
    board.ports[0] = PortRow{"1", PortState::Waiting, 0, "", 0, 0, 0};
    shown = memory.Keep(board, left);
    EXPECT_TRUE(left.empty());
    EXPECT_EQ(shown.ports[0].state, PortState::Waiting);
}

// The Linux layer's warnings: the newest three on the board with a count of
// the others; the list keeps a bounded number and says how many it let go.
TEST(Board, ShowsTheNewestWarningsAndKeepsABoundedList) {
    WarningList warnings;
    for (int i = 1; i <= 55; ++i) warnings.Add("usbisp: warning " + std::to_string(i));
    BoardFrame frame;
    frame.warnings = warnings.Newest(kBoardWarnings, frame.earlierWarnings);
    std::vector<std::string> texts = Texts(BoardLines(Board{}, frame));
    EXPECT_EQ(std::vector<std::string>(texts.end() - 4, texts.end()),
              (std::vector<std::string>{"(52 earlier warnings)", "! usbisp: warning 53",
                                        "! usbisp: warning 54", "! usbisp: warning 55"}));
    // A screen with no room for them and a row shows fewer.
    frame.height = 7;
    texts = Texts(BoardLines(Board{}, frame));
    EXPECT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[5], "(54 earlier warnings)");
    EXPECT_EQ(texts[6], "! usbisp: warning 55");

    const std::vector<std::string> all = warnings.All();
    ASSERT_EQ(all.size(), WarningList::kKept + 1);
    EXPECT_EQ(all.front(), "usbisp: warning 6");
    EXPECT_EQ(all.back(), "usbisp: 5 earlier warnings were not kept");
}

}  // namespace
}  // namespace usbisp::station

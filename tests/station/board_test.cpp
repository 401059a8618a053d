// The station's board as the terminal shows it.
#include "station/board.h"

#include <gtest/gtest.h>

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
}

}  // namespace
}  // namespace usbisp::station

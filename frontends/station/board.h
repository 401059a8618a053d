// The station's board in the terminal, as lines of text: a title, one row per
// port (waiting; identifying; programming or verifying with the bar of its
// status window; done with its serial number, or failed with its reason, and
// the call to unplug it), and the counters.
#pragma once

#include <string>
#include <vector>

#include "station/station.h"

namespace usbisp::station {

enum class Tone { Normal, Title, Busy, Good, Bad, Dim };

struct BoardLine {
    std::string text;
    Tone tone = Tone::Normal;
};

// The lines for a screen `width` cells wide, each cut to it.
std::vector<BoardLine> BoardLines(const Board& board, bool verifyOnly, int width);

// The counters' line: "programmed 12  verified 0  failed 1  void 1  per hour 480".
std::string CountersText(const RunCounts& counts);

}  // namespace usbisp::station

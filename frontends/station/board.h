// The station's board in the terminal, as lines of text: a title, one row per
// port (waiting; identifying; programming or verifying with the bar of its
// status window; done with its serial number, or failed with its reason, and
// the call to unplug it), the counters, and what the Linux layer said.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "station/station.h"

namespace usbisp::station {

enum class Tone { Normal, Title, Busy, Good, Bad, Dim };

struct BoardLine {
    std::string text;
    Tone tone = Tone::Normal;
};

// The warnings the board has room for, the newest.
inline constexpr std::size_t kBoardWarnings = 3;

// What the board shows beside the station's own state.
struct BoardFrame {
    bool verifyOnly = false;
    int width = 80;
    int height = 0;  // 0: as many lines as the board has
    // Ports whose row is the result of a reader that has left since.
    std::set<std::string> left;
    std::vector<std::string> warnings;  // the newest last
    std::size_t earlierWarnings = 0;    // said before those
};

// The lines for a screen `width` cells wide and `height` high. On a short
// screen the rows that call for the operator (failed, done) stay in sight
// before those at work and those waiting, and a line counts the rest; the
// counters stay, and "unplug now" is never cut off.
std::vector<BoardLine> BoardLines(const Board& board, const BoardFrame& frame);
std::vector<BoardLine> BoardLines(const Board& board, bool verifyOnly, int width);

// The counters' line: "programmed 12  verified 0  failed 1  void 1  per hour 480".
std::string CountersText(const RunCounts& counts);

// A port's last result stays on the board once its reader has left, until
// the next reader arrives there: a fast station would otherwise show
// "waiting" again before anyone read why a reader failed.
class BoardMemory {
  public:
    // The board to show for the station's `now`; the ports whose row is a
    // kept result go into `left`.
    Board Keep(const Board& now, std::set<std::string>& left);

  private:
    std::map<std::string, PortRow> last_;
};

// The Linux layer's warnings as they come, for the board: the newest few and
// the count of the others, so that a device that keeps complaining cannot
// grow it without end.
class WarningList {
  public:
    static constexpr std::size_t kKept = 50;

    void Add(const std::string& text);
    // The newest `count` (oldest first), and how many came before them.
    std::vector<std::string> Newest(std::size_t count, std::size_t& earlier) const;
    // Every warning kept, with a last line for those that were not.
    std::vector<std::string> All() const;

  private:
    mutable std::mutex mutex_;
    std::deque<std::string> kept_;
    std::size_t dropped_ = 0;
};

}  // namespace usbisp::station

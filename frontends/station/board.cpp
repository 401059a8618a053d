#include "station/board.h"

#include <algorithm>
#include <numeric>

#include "tui/windows_model.h"

namespace usbisp::station {

namespace {

constexpr int kBarCells = 15;
constexpr int kPortWidth = 12;
constexpr const char* kUnplug = "  >> unplug now";
constexpr const char* kLeft = "  (unplugged)";

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

// The first line of a text that may have several.
std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// `text` then `tail`, `width` cells at most: the text gives way, the tail
// stays whole while it fits at all.
std::string Fit(std::string text, const std::string& tail, std::size_t width) {
    if (text.size() + tail.size() > width)
        text.resize(width > tail.size() ? width - tail.size() : 0);
    text += tail;
    if (text.size() > width) text.resize(width);
    return text;
}

bool Busy(PortState state) {
    return state == PortState::Identifying || state == PortState::Programming ||
           state == PortState::Verifying;
}

BoardLine PortLine(const PortRow& row, bool left, std::size_t width) {
    const std::string head = Padded(row.name, kPortWidth) + " " +
                             Padded(row.reader ? "#" + std::to_string(row.reader) : "", 7) + " ";
    const std::string tail = left ? kLeft : kUnplug;
    switch (row.state) {
        case PortState::Waiting:
            return {Fit(head + "waiting", "", width), Tone::Dim};
        case PortState::Identifying:
            return {Fit(head + "identifying", "", width), Tone::Busy};
        case PortState::Programming:
        case PortState::Verifying: {
            const int filled =
                row.upper > row.lower
                    ? std::clamp(tui::FilledCells(row.position, row.lower, row.upper, kBarCells), 0,
                                 kBarCells)
                    : 0;
            const std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                                    std::string(static_cast<std::size_t>(kBarCells - filled), '.') +
                                    "]";
            return {Fit(head + Padded(StateName(row.state), 12) + bar, "", width), Tone::Busy};
        }
        case PortState::Done:
            return {Fit(head + "done" + (row.text.empty() ? "" : " " + row.text), tail, width),
                    Tone::Good};
        case PortState::Failed:
            break;
    }
    return {Fit(head + "failed: " + FirstLine(row.text), tail, width), Tone::Bad};
}

// Which rows go first when not all fit: those that call for the operator's
// hands, then those at work, then the kept results, then the waiting ports.
int Rank(const PortRow& row, bool left) {
    if (left) return 2;
    if (row.state == PortState::Done || row.state == PortState::Failed) return 0;
    return Busy(row.state) ? 1 : 3;
}

// "+ 3 more ports not shown: 2 waiting, 1 programming"
std::string HiddenText(const std::vector<const PortRow*>& hidden,
                       const std::set<std::string>& left) {
    std::map<PortState, int> byState;
    for (const PortRow* row : hidden)
        ++byState[left.count(row->name) ? PortState::Waiting : row->state];
    std::string text = "+ " + std::to_string(hidden.size()) + " more port" +
                       (hidden.size() == 1 ? "" : "s") + " not shown:";
    const char* comma = " ";
    for (const auto& [state, count] : byState) {
        text += comma + std::to_string(count) + " " + StateName(state);
        comma = ", ";
    }
    return text;
}

}  // namespace

std::string CountersText(const RunCounts& counts) {
    return "programmed " + std::to_string(counts.programmed) + "  verified " +
           std::to_string(counts.verified) + "  failed " + std::to_string(counts.failed) +
           "  void " + std::to_string(counts.voided) + "  per hour " +
           std::to_string(counts.readersPerHour);
}

std::vector<BoardLine> BoardLines(const Board& board, const BoardFrame& frame) {
    const std::size_t width = static_cast<std::size_t>(std::max(frame.width, 0));
    std::vector<BoardLine> lines;
    lines.push_back({std::string("usbisp station: ") +
                         (frame.verifyOnly ? "checking readers" : "programming readers"),
                     Tone::Title});
    lines.push_back({Padded("port", kPortWidth) + " " + Padded("reader", 7) + " state", Tone::Dim});

    std::vector<BoardLine> bottom = {{"", Tone::Normal}, {CountersText(board.counts), Tone::Title}};
    if (board.halted)
        bottom.push_back({"halted: the production log cannot be written", Tone::Bad});
    else if (board.stopping)
        bottom.push_back({"stopping: no further reader is taken", Tone::Dim});
    if (!board.numbers.empty()) bottom.push_back({board.numbers, Tone::Bad});
    // The newest warnings, fewer on a screen too short for them and a port.
    const std::size_t fixed = lines.size() + bottom.size();
    std::size_t shownWarnings = std::min(frame.warnings.size(), kBoardWarnings);
    const auto earlierThan = [&frame](std::size_t shown) {
        return frame.earlierWarnings + frame.warnings.size() - shown;
    };
    if (frame.height > 0) {
        const std::size_t height = static_cast<std::size_t>(frame.height);
        const std::size_t spare = height > fixed + 1 ? height - fixed - 1 : 0;
        while (shownWarnings > 0 &&
               shownWarnings + (earlierThan(shownWarnings) > 0 ? 1 : 0) > spare)
            --shownWarnings;
    }
    const std::size_t earlier = earlierThan(shownWarnings);
    if (shownWarnings > 0 && earlier > 0)
        bottom.push_back(
            {"(" + std::to_string(earlier) + " earlier warning" + (earlier == 1 ? "" : "s") + ")",
             Tone::Dim});
    for (std::size_t i = frame.warnings.size() - shownWarnings; i < frame.warnings.size(); ++i)
        bottom.push_back({"! " + frame.warnings[i], Tone::Bad});

    std::size_t room = board.ports.size();
    if (frame.height > 0) {
        const std::size_t height = static_cast<std::size_t>(frame.height);
        const std::size_t rest = lines.size() + bottom.size();
        room = std::min(room, height > rest ? height - rest : 0);
    }
    if (board.ports.empty()) {
        lines.push_back({"no port has seen a reader yet", Tone::Dim});
    } else {
        // One line goes to the count of the rows that do not fit.
        const bool cut = room < board.ports.size();
        const std::size_t shown = cut ? (room > 0 ? room - 1 : 0) : room;
        std::vector<std::size_t> order(board.ports.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return Rank(board.ports[a], frame.left.count(board.ports[a].name) != 0) <
                   Rank(board.ports[b], frame.left.count(board.ports[b].name) != 0);
        });
        std::vector<std::size_t> keep(order.begin(), order.begin() + static_cast<long>(shown));
        std::sort(keep.begin(), keep.end());
        for (std::size_t i : keep)
            lines.push_back(
                PortLine(board.ports[i], frame.left.count(board.ports[i].name) != 0, width));
        if (cut) {
            std::vector<const PortRow*> hidden;
            for (std::size_t i = shown; i < order.size(); ++i)
                hidden.push_back(&board.ports[order[i]]);
            lines.push_back({HiddenText(hidden, frame.left), Tone::Dim});
        }
    }
    lines.insert(lines.end(), bottom.begin(), bottom.end());
    for (BoardLine& line : lines)
        if (line.text.size() > width) line.text.resize(width);
    return lines;
}

std::vector<BoardLine> BoardLines(const Board& board, bool verifyOnly, int width) {
    BoardFrame frame;
    frame.verifyOnly = verifyOnly;
    frame.width = width;
    return BoardLines(board, frame);
}

}  // namespace usbisp::station

#include "station/board.h"

#include <algorithm>

#include "tui/windows_model.h"

namespace usbisp::station {

namespace {

constexpr int kBarCells = 15;
constexpr int kPortWidth = 12;
constexpr const char* kUnplug = "  >> unplug now";

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

// The first line of a text that may have several.
std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

BoardLine PortLine(const PortRow& row) {
    const std::string head = Padded(row.name, kPortWidth) + " " +
                             Padded(row.reader ? "#" + std::to_string(row.reader) : "", 7) + " ";
    switch (row.state) {
        case PortState::Waiting:
            return {head + "waiting", Tone::Dim};
        case PortState::Identifying:
            return {head + "identifying", Tone::Busy};
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
            return {head + Padded(StateName(row.state), 12) + bar, Tone::Busy};
        }
        case PortState::Done:
            return {head + "done" + (row.text.empty() ? "" : " " + row.text) + kUnplug, Tone::Good};
        case PortState::Failed:
            break;
    }
    return {head + "failed: " + FirstLine(row.text) + kUnplug, Tone::Bad};
}

}  // namespace

std::string CountersText(const RunCounts& counts) {
    return "programmed " + std::to_string(counts.programmed) + "  verified " +
           std::to_string(counts.verified) + "  failed " + std::to_string(counts.failed) +
           "  void " + std::to_string(counts.voided) + "  per hour " +
           std::to_string(counts.readersPerHour);
}

std::vector<BoardLine> BoardLines(const Board& board, bool verifyOnly, int width) {
    std::vector<BoardLine> lines;
    lines.push_back({std::string("usbisp station: ") +
                         (verifyOnly ? "checking readers" : "programming readers"),
                     Tone::Title});
    lines.push_back({Padded("port", kPortWidth) + " " + Padded("reader", 7) + " state", Tone::Dim});
    if (board.ports.empty()) lines.push_back({"no port has seen a reader yet", Tone::Dim});
    for (const PortRow& row : board.ports) lines.push_back(PortLine(row));
    lines.push_back({"", Tone::Normal});
    lines.push_back({CountersText(board.counts), Tone::Title});
    if (board.halted)
        lines.push_back({"halted: the production log cannot be written", Tone::Bad});
    else if (board.stopping)
        lines.push_back({"stopping: no further reader is taken", Tone::Dim});
    const std::size_t cut = static_cast<std::size_t>(std::max(width, 0));
    for (BoardLine& line : lines)
        if (line.text.size() > cut) line.text.resize(cut);
    return lines;
}

}  // namespace usbisp::station

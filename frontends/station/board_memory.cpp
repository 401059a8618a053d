#include "station/board.h"

namespace usbisp::station {

Board BoardMemory::Keep(const Board& now, std::set<std::string>& left) {
    Board shown = now;
    left.clear();
    for (PortRow& row : shown.ports) {
        if (row.state == PortState::Done || row.state == PortState::Failed) {
            last_[row.name] = row;
        } else if (row.state == PortState::Waiting) {
            auto it = last_.find(row.name);
            if (it == last_.end()) continue;
            row = it->second;
            left.insert(row.name);
        } else {
            // The next reader has arrived: its run takes the row.
            last_.erase(row.name);
        }
    }
    return shown;
}

void WarningList::Add(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    kept_.push_back(text);
    if (kept_.size() > kKept) {
        kept_.pop_front();
        ++dropped_;
    }
}

std::vector<std::string> WarningList::Newest(std::size_t count, std::size_t& earlier) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t n = std::min(count, kept_.size());
    earlier = dropped_ + kept_.size() - n;
    return std::vector<std::string>(kept_.end() - static_cast<long>(n), kept_.end());
}

std::vector<std::string> WarningList::All() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> all(kept_.begin(), kept_.end());
    if (dropped_ > 0)
        all.push_back("usbisp: " + std::to_string(dropped_) + " earlier warnings were not kept");
    return all;
}

}  // namespace usbisp::station

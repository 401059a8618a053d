// A drop-down list with the sorted style, for front ends that draw their own:
// entries kept in order without regard to case, as the Windows list does.
#pragma once

#include <string>
#include <vector>

namespace usbisp {

class SortedList {
  public:
    void Reset() {
        entries_.clear();
        selected_ = -1;
    }
    // Inserts in sorted position; returns that position.
    int Add(const std::string& text);
    // Selects the entry at `index`; false (and nothing changes) when there is none.
    bool Select(int index);
    // Selects the entry with exactly this text; false when there is none.
    bool SelectText(const std::string& text);

    const std::vector<std::string>& entries() const { return entries_; }
    int selected() const { return selected_; }
    std::string SelectedText() const;

  private:
    std::vector<std::string> entries_;
    int selected_ = -1;
};

}  // namespace usbisp

#include "ui/sorted_list.h"

#include <algorithm>
#include <cctype>

namespace usbisp {

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

int SortedList::Add(const std::string& text) {
    auto at = std::upper_bound(entries_.begin(), entries_.end(), text, LessIgnoringCase);
    const int position = static_cast<int>(at - entries_.begin());
    entries_.insert(at, text);
    if (selected_ >= position) ++selected_;
    return position;
}

bool SortedList::Select(int index) {
    if (index < 0 || index >= static_cast<int>(entries_.size())) return false;
    selected_ = index;
    return true;
}

bool SortedList::SelectText(const std::string& text) {
    auto it = std::find(entries_.begin(), entries_.end(), text);
    if (it == entries_.end()) return false;
    selected_ = static_cast<int>(it - entries_.begin());
    return true;
}

std::string SortedList::SelectedText() const {
    return selected_ < 0 ? std::string() : entries_[static_cast<std::size_t>(selected_)];
}

}  // namespace usbisp

#include "tui/windows_model.h"

#include <algorithm>

namespace usbisp::tui {

int FilledCells(int position, int lower, int upper, int width) {
    if (width <= 0 || upper <= lower) return 0;
    const long long done = std::clamp(position, lower, upper) - lower;
    return static_cast<int>(done * width / (upper - lower));
}

}  // namespace usbisp::tui

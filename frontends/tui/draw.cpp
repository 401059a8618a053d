#include "tui/draw.h"

#include <curses.h>

#include <algorithm>

#include "tui/draw_util.h"

namespace usbisp::tui {

void DrawTooSmall(int cols, int rows) {
    const std::string lines[] = {
        "The terminal is too small for the usbisp window.",
        "It has " + std::to_string(cols) + " x " + std::to_string(rows) +
            " cells; the window needs " + std::to_string(kMinCols) + " x " +
            std::to_string(kMinRows) + ".",
        "Enlarge the terminal, or press Ctrl-C to quit.",
    };
    const int top = std::max((rows - 3) / 2, 0);
    for (int i = 0; i < 3 && top + i < rows; ++i) {
        const std::string& line = lines[i];
        const int x = std::max((cols - static_cast<int>(line.size())) / 2, 0);
        PutText(x, top + i, line, cols - x, i == 0 ? Style::Title : Style::Normal);
    }
}

void DrawScene(const Scene& scene, int cols, int rows) {
    erase();
    const MainLayout layout = ComputeMainLayout(cols, rows);
    if (!layout.fits) {
        DrawTooSmall(cols, rows);
        refresh();
        return;
    }
    if (scene.mainVisible && scene.main != nullptr) DrawMainWindow(*scene.main, layout);
    for (const StatusWindowState* status : scene.statusWindows)
        if (status->visible) DrawStatusWindow(*status, layout);
    if (scene.box != nullptr) DrawMessageBox(*scene.box, layout.screen);

    std::string help = scene.note;
    if (help.empty()) help = scene.box ? kHelpBox : scene.busy ? kHelpBusy : kHelpKeys;
    PutText(layout.help.x, layout.help.y, help, layout.help.w, Style::Dim);
    refresh();
}

}  // namespace usbisp::tui

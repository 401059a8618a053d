// The main window as the terminal shows it: the text of every static and edit
// control, the two drop-down lists, the state of the check boxes, which
// control has the focus, which list is open and where the report field is
// scrolled. The system's calls on the view and the operator's input both
// change it; drawing only reads it.
#pragma once

#include <map>
#include <string>

#include "ui/sorted_list.h"

namespace usbisp::tui {

class MainModel {
  public:
    // The controls hold their template captions.
    MainModel();

    // Static and edit controls by id; empty for an id without text.
    const std::string& Text(int id) const;
    void SetText(int id, std::string text);

    // The two drop-down lists (1027, 1030).
    SortedList& List(int id) { return lists_[id]; }
    const SortedList& List(int id) const;

    // Check boxes flip on each click, as the platform flips them.
    bool Checked(int id) const;
    void FlipCheck(int id);

    // Focus, in the tab order of the window.
    int focus() const { return focus_; }
    void SetFocus(int id);
    void MoveFocus(int delta);

    // The drop-down list that is open (0: none) and its highlighted entry.
    int openList() const { return openList_; }
    int highlight() const { return highlight_; }
    void OpenList(int id);
    void CloseList() { openList_ = 0; }
    void MoveHighlight(int delta);

    // The first line of the report field shown; kReportEnd shows its end.
    static constexpr int kReportEnd = 1 << 28;
    int reportTop() const { return reportTop_; }
    void SetReportTop(int top) { reportTop_ = top; }
    // Whether the next report text is shown from its end (the result of a
    // firmware command is at the bottom) or from its start.
    void ShowNextReportFromEnd(bool fromEnd) { reportFromEnd_ = fromEnd; }

  private:
    std::map<int, std::string> texts_;
    std::map<int, SortedList> lists_;
    std::map<int, bool> checks_;
    int focus_;
    int openList_ = 0;
    int highlight_ = 0;
    int reportTop_ = 0;
    bool reportFromEnd_ = false;
};

// The first entry an open list shows when `rows` of its `count` entries fit:
// the highlighted entry stays in view.
int FirstShownEntry(int highlight, int count, int rows);

// Control kinds, for input and drawing.
bool IsList(int id);
bool IsCheckBox(int id);
bool IsButton(int id);

}  // namespace usbisp::tui

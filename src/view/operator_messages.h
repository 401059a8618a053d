// How the flows speak to the operator: stop boxes and lines appended
// to the running status text.
#pragma once

#include <string>

#include "view/views.h"

namespace usbisp {

struct OperatorMessages {
    MainView& view;
    std::string& statusText;

    // A new line: a line feed, then the text.
    void Line(const std::string& text) const { statusText += "\n" + text; }
    // A modal box with the stop icon.
    void Box(const std::string& text) const { view.MessageBox(text, kProgramName, BoxIcon::Stop); }
    void BoxAndLine(const std::string& text) const {
        Box(text);
        Line(text);
    }
};

}  // namespace usbisp

// The views of one reader's run at a station: every call the system makes on
// them becomes a transcript line of that reader's port, as a scripted run
// records it, and the station keeps what its board and its log need: the
// boxes shown and where the status window's bar stands.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "script/recording_view.h"
#include "view/views.h"

namespace usbisp::station {

// The bar of the latest status window: position, lower and upper bound.
using ProgressSink = std::function<void(int position, int lower, int upper)>;

class SessionView : public MainView {
  public:
    // An empty sink: the events are not written down.
    SessionView(script::EventSink sink, ProgressSink progress)
        : recorder_(sink ? std::move(sink) : [](const std::string&) {}),
          progress_(std::move(progress)) {}

    void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    void SetControlText(int id, const std::string& text) override {
        recorder_.SetControlText(id, text);
    }
    void ListReset(int id) override { recorder_.ListReset(id); }
    void ListAdd(int id, const std::string& text) override { recorder_.ListAdd(id, text); }
    void ListSelect(int id, int index) override { recorder_.ListSelect(id, index); }
    std::string ListSelectedText(int id) override { return recorder_.ListSelectedText(id); }
    void EndDialog(bool ok) override { recorder_.EndDialog(ok); }
    std::unique_ptr<StatusView> CreateStatusWindow() override;

    // The texts of the boxes shown so far, in order.
    const std::vector<std::string>& boxes() const { return boxes_; }

  private:
    script::RecordingView recorder_;
    ProgressSink progress_;
    std::vector<std::string> boxes_;
};

}  // namespace usbisp::station

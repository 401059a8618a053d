// The views of a headless run: every call the system makes on a view becomes
// one transcript event.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "ui/sorted_list.h"
#include "view/views.h"

namespace usbisp::script {

using EventSink = std::function<void(const std::string&)>;

class RecordingView : public MainView {
  public:
    explicit RecordingView(EventSink sink) : sink_(std::move(sink)) {}

    void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    void SetControlText(int id, const std::string& text) override;
    void ListReset(int id) override;
    void ListAdd(int id, const std::string& text) override;
    void ListSelect(int id, int index) override;
    std::string ListSelectedText(int id) override;
    void EndDialog(bool ok) override;
    std::unique_ptr<StatusView> CreateStatusWindow() override;

    // The operator's choice of an entry (no event: the system did not make it).
    bool ChooseEntry(int id, const std::string& text);
    bool ended() const { return ended_; }

  private:
    EventSink sink_;
    std::map<int, SortedList> lists_;
    bool ended_ = false;
};

}  // namespace usbisp::script

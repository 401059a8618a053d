// A view for unit tests: remembers what the system showed.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/sorted_list.h"
#include "view/views.h"

namespace usbisp::test {

struct Box {
    std::string text;
    std::string caption;
    BoxIcon icon = BoxIcon::None;
};

struct StatusRecord {
    std::string caption;
    std::string text;
    std::vector<int> positions;
    std::vector<std::string> events;
};

class FakeView : public MainView {
  public:
    std::vector<Box> boxes;
    std::map<int, std::string> fields;
    std::map<int, SortedList> lists;
    std::vector<StatusRecord> status;
    int ended = -1;  // -1 running, 0 cancel, 1 ok

    void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) override {
        boxes.push_back({text, caption, icon});
    }
    void SetControlText(int id, const std::string& text) override { fields[id] = text; }
    void ListReset(int id) override { lists[id].Reset(); }
    void ListAdd(int id, const std::string& text) override { lists[id].Add(text); }
    void ListSelect(int id, int index) override { lists[id].Select(index); }
    std::string ListSelectedText(int id) override { return lists[id].SelectedText(); }
    void EndDialog(bool ok) override { ended = ok ? 1 : 0; }
    std::unique_ptr<StatusView> CreateStatusWindow() override;
};

class FakeStatusView : public StatusView {
  public:
    FakeStatusView(FakeView& owner, std::size_t index) : owner_(owner), index_(index) {}
    void SetRange(int, int) override { record().events.push_back("range"); }
    void SetStep(int) override {}
    void StepIt(int position) override { record().positions.push_back(position); }
    void SetCaption(const std::string& text) override {
        record().caption = text;
        record().events.push_back("caption");
    }
    void SetText(const std::string& text) override {
        record().text = text;
        record().events.push_back("text");
    }
    void Show(bool visible) override { record().events.push_back(visible ? "show" : "hide"); }

  private:
    StatusRecord& record() { return owner_.status[index_]; }
    FakeView& owner_;
    std::size_t index_;
};

inline std::unique_ptr<StatusView> FakeView::CreateStatusWindow() {
    status.emplace_back();
    return std::make_unique<FakeStatusView>(*this, status.size() - 1);
}

}  // namespace usbisp::test

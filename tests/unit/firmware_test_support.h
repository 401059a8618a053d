// What the firmware unit tests share: a bench as the platform over a scratch
// directory, and a view that keeps the boxes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/bench.h"
#include "support/test_support.h"
#include "view/operator_messages.h"

namespace usbisp::test {

class BoxView : public MainView {
  public:
    std::vector<std::string> boxes;

    void MessageBox(const std::string& text, const std::string&, BoxIcon icon) override {
        boxes.push_back((icon == BoxIcon::Stop ? "stop " : "other ") + text);
    }
    void SetControlText(int, const std::string&) override {}
    void ListReset(int) override {}
    void ListAdd(int, const std::string&) override {}
    void ListSelect(int, int) override {}
    std::string ListSelectedText(int) override { return {}; }
    void EndDialog(bool) override {}
    std::unique_ptr<StatusView> CreateStatusWindow() override { return nullptr; }
};

struct FileBench {
    TempDir dir;
    sim::Bench bench{sim::BenchConfig{}, dir.path(), nullptr, false};
    BoxView view;
    std::string statusText;
    OperatorMessages messages{view, statusText};
};

}  // namespace usbisp::test

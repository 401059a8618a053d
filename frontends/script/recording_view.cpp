#include "script/recording_view.h"

#include "platform/sim/transcript_text.h"

namespace usbisp::script {

using sim::QuoteText;

namespace {

const char* IconName(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Stop:
            return "stop";
        case BoxIcon::Information:
            return "information";
        case BoxIcon::None:
            break;
    }
    return "none";
}

class RecordingStatusView : public StatusView {
  public:
    explicit RecordingStatusView(EventSink sink) : sink_(std::move(sink)) {
        sink_("progress open");
    }

    void SetRange(int lower, int upper) override {
        sink_("progress range " + std::to_string(lower) + " " + std::to_string(upper));
    }
    void SetStep(int step) override { sink_("progress setstep " + std::to_string(step)); }
    void StepIt(int position) override { sink_("progress stepit " + std::to_string(position)); }
    void SetCaption(const std::string& text) override {
        sink_("progress caption " + QuoteText(text));
    }
    void SetText(const std::string& text) override { sink_("progress text " + QuoteText(text)); }
    void Show(bool visible) override { sink_(visible ? "progress show" : "progress hide"); }

  private:
    EventSink sink_;
};

}  // namespace

void RecordingView::MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    sink_(std::string("box ") + IconName(icon) + " " + QuoteText(caption) + " " + QuoteText(text));
}

void RecordingView::SetControlText(int id, const std::string& text) {
    sink_("field " + std::to_string(id) + " " + QuoteText(text));
}

void RecordingView::ListReset(int id) {
    lists_[id].Reset();
    sink_("list " + std::to_string(id) + " clear");
}

void RecordingView::ListAdd(int id, const std::string& text) {
    lists_[id].Add(text);
    sink_("list " + std::to_string(id) + " add " + QuoteText(text));
}

void RecordingView::ListSelect(int id, int index) {
    SortedList& list = lists_[id];
    if (list.Select(index))
        sink_("list " + std::to_string(id) + " select " + QuoteText(list.SelectedText()));
}

std::string RecordingView::ListSelectedText(int id) {
    return lists_[id].SelectedText();
}

void RecordingView::EndDialog(bool ok) {
    ended_ = true;
    sink_(ok ? "end ok" : "end cancel");
}

std::unique_ptr<StatusView> RecordingView::CreateStatusWindow() {
    return std::make_unique<RecordingStatusView>(sink_);
}

bool RecordingView::ChooseEntry(int id, const std::string& text) {
    return lists_[id].SelectText(text);
}

}  // namespace usbisp::script

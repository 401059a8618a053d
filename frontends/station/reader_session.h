// One reader's run at a station: an instance of the core of its own over the
// reader's platform, driven as an operator drives the main window: its
// initialisation (the update data summary and "GetInfo": the identity read,
// its report, and the check of the reader's inquiry identity against
// DEVICE.TXT), then "ISP_Ena" and "WIN9xISP" (the image checks and the
// programming sequence with its own verification) or, to check only,
// "WIN9xVER"; then "Close". Every text is the main window's own, and every
// event is a transcript line of the reader's port.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"
#include "script/recording_view.h"
#include "station/log_lines.h"
#include "station/number_source.h"
#include "station/session_view.h"

namespace usbisp::station {

enum class Phase { Identifying, Programming, Verifying };

struct SessionHooks {
    script::EventSink events;  // the reader's transcript lines, unprefixed
    std::function<void(Phase)> phase;
    ProgressSink progress;
    NumberFor who;  // the reader's port and number, for its serial number
};

// What a run found out, for the log and the board.
struct SessionOutcome {
    ReaderResult result = ReaderResult::Failed;
    std::string step;  // the failing step's text
    std::optional<ReaderIdentity> identity;
    std::string serial;
    std::optional<SerialCounter> number;
    bool stamped = true;  // false: the image took no serial number
    std::string image;
    std::optional<std::uint32_t> imageCrc;  // of the image as the run sent it
};

// `allocator` null: check only ("WIN9xVER") instead of programming.
SessionOutcome RunReaderSession(Platform& platform, NumberSource* allocator,
                                const SessionHooks& hooks);

}  // namespace usbisp::station

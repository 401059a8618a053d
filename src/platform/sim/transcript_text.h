// The bench's name for the transcript's quoting of texts.
#pragma once

#include "platform/transcript_text.h"

namespace usbisp::sim {
using usbisp::QuoteText;
}  // namespace usbisp::sim

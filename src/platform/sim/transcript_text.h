// How texts stand in the transcript: in double quotes, with \n \r \t \" \\ and
// \xHH for every other byte outside 0x20..0x7E.
#pragma once

#include <string>
#include <string_view>

namespace usbisp::sim {

std::string QuoteText(std::string_view text);

}  // namespace usbisp::sim

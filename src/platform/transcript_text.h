// The transcript of a scripted run, as far as the platform writes it: how
// texts stand in it (in double quotes, with \n \r \t \" \\ and \xHH for every
// other byte outside 0x20..0x7E) and the lines of the events a platform layer
// reports: the waits, standard output, and with --trace-io the requests that
// reach a device. The bench and the Linux layer write the same lines.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace usbisp {

// Receives each event line, without its line feed.
using TranscriptSink = std::function<void(const std::string&)>;

std::string QuoteText(std::string_view text);

// sleep <ms>
std::string SleepEvent(std::uint32_t milliseconds);
// stdout "<text>"
std::string StdoutEvent(std::string_view text);
// io open "<path>" ok|fail access=0x.. share=0x.. flags=0x.. [reason="<why>"]
std::string IoOpenEvent(std::string_view path, bool ok, std::uint32_t access, std::uint32_t share,
                        std::uint32_t flags, std::string_view reason = {});
// io close "<path>"
std::string IoCloseEvent(std::string_view path);
// io ioctl "<path>" 0x<code> in=<n> out=<n> ok|fail [<details>] [reason="<why>"]
std::string IoIoctlEvent(std::string_view path, std::uint32_t code, std::uint32_t inSize,
                         std::uint32_t outSize, bool ok, std::string_view details,
                         std::string_view reason);

}  // namespace usbisp

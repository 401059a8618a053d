// The command line of usbisp-reader.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace usbisp::reader {

struct ReaderOptions {
    std::string bench;                            // the bench file
    std::size_t reader = 1;                       // which of its readers, 1-based
    std::string udc;                              // the USB device controller to bind to
    std::string configfs = "/sys/kernel/config";  // where configfs is (or is mounted)
    std::string firmwareOut;  // where the held firmware is written; empty: nowhere
    std::string user;         // "UID:GID" serving once the gadget is set up; empty: root
    bool trace = false;       // one line per command on stderr
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name. On error returns nothing and
// sets `error` to one line saying what is wrong.
std::optional<ReaderOptions> ParseReaderOptions(const std::vector<std::string>& args,
                                                std::string& error);

extern const char* const kReaderUsage;
extern const char* const kReaderHelp;

}  // namespace usbisp::reader

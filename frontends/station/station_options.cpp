#include "station/station_options.h"

#include <cstdlib>

namespace usbisp::station {

std::optional<StationOptions> ParseStationOptions(const std::vector<std::string>& args,
                                                  std::string& error) {
    StationOptions options;
    bool benchGiven = false;
    bool logGiven = false;
    bool station = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string* target = nullptr;
        std::string readers;
        if (arg == "--station") {
            station = true;
        } else if (arg == "--bench") {
            target = &options.benchPath;
            benchGiven = true;
        } else if (arg == "--real") {
            options.real = true;
        } else if (arg == "--dir") {
            target = &options.directory;
        } else if (arg == "--log") {
            target = &options.logPath;
            logGiven = true;
        } else if (arg == "--verify-only") {
            options.verifyOnly = true;
        } else if (arg == "--take-counter") {
            options.takeCounter = true;
        } else if (arg == "--trace-io") {
            options.traceIo = true;
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--readers") {
            target = &readers;
        } else if (arg == "--records") {
            target = &options.records;
        } else {
            error = "unknown argument \"" + arg + "\" with --station";
            return std::nullopt;
        }
        if (target) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            *target = args[++i];
        }
        if (arg == "--readers") {
            char* end = nullptr;
            const long n = std::strtol(readers.c_str(), &end, 10);
            if (readers.empty() || *end != '\0' || n < 1 || n > 1000000) {
                error = "--readers needs a number of readers, 1 to 1000000";
                return std::nullopt;
            }
            options.readers = static_cast<int>(n);
        }
    }
    if (!station) {
        error = "--station is missing";
        return std::nullopt;
    }
    if (options.real && benchGiven) {
        error = "--real and --bench exclude each other";
        return std::nullopt;
    }
    if (options.readers != 0 && !options.real) {
        error = "--readers goes with --real (a bench's timeline has its own end)";
        return std::nullopt;
    }
    if (!options.records.empty() && options.verifyOnly) {
        error = "--records gives serial numbers: it does not go with --verify-only";
        return std::nullopt;
    }
    if (logGiven && options.logPath.empty()) {
        error = "--log needs a file name";
        return std::nullopt;
    }
    if (!logGiven) options.logPath = options.directory + "/" + kDefaultLogName;
    return options;
}

}  // namespace usbisp::station

// The production log: one JSON line per reader (and a few of the station's
// own), appended and flushed to the disk before the station shows what it
// records. Several readers' runs append at once; each line goes whole.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace usbisp::station {

class ProductionLog {
  public:
    ProductionLog() = default;
    ~ProductionLog();
    ProductionLog(const ProductionLog&) = delete;
    ProductionLog& operator=(const ProductionLog&) = delete;

    // Opens the log for appending, made when missing. False with `error` (one
    // line naming the file) when it cannot be.
    bool Open(const std::string& path, std::string& error);
    // One line (without its line feed), on the disk when this returns true.
    bool Append(const std::string& line);
    // Several lines in one write and one flush to the disk (a squaring's
    // voids).
    bool AppendLines(const std::vector<std::string>& lines);
    // The lines the file holds now; a line cut short by a crash is among them.
    std::vector<std::string> ReadLines() const;

    const std::string& path() const { return path_; }

  private:
    bool WriteAll(const std::string& bytes);

    std::string path_;
    int fd_ = -1;
    std::mutex mutex_;
};

}  // namespace usbisp::station

// File faults the bench can stage where permissions cannot (tests run as
// root): a file that cannot be created, one whose length cannot be taken, a
// remove or a rename that fails. Each is named "<operation>:<file name>", e.g.
// "write:SERIAL.NEW"; names compare without regard to case, as on Windows.
//
//   write:NAME   opening NAME for writing fails
//   read:NAME    opening NAME for reading fails, although it exists
//   full:NAME    NAME opens for writing, but nothing written reaches it (a
//                full disk): the write or the close reports the failure
//   length:NAME  NAME opens for reading, but seeking in it fails (its length
//                cannot be taken) and it reads as empty
//   remove:NAME  removing NAME fails
//   rename:NAME  renaming NAME to another name fails
#pragma once

#include <cstdio>
#include <set>
#include <string>

namespace usbisp::sim {

class FileFaults {
  public:
    void Set(std::set<std::string> faults);
    bool Has(const std::string& operation, const char* name) const;

    // A stream that reads nothing and cannot seek.
    static std::FILE* UnmeasurableStream();
    // A stream that takes no byte written to it.
    static std::FILE* FullStream();

  private:
    std::set<std::string> faults_;  // upper case
};

}  // namespace usbisp::sim

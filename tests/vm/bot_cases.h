// The checks on the device's side of Bulk-Only that any device takes: the
// thirteen ways the host's and the device's idea of a data phase meet,
// wrappers that are not valid or not meaningful, and tags.
#ifndef USBISP_TESTS_VM_BOT_CASES_H
#define USBISP_TESTS_VM_BOT_CASES_H

#include "bot_host.h"

namespace bot {

// What the client talks to: the virtual reader, or the kernel's own
// mass-storage function over a file, the reference.
struct Target {
    bool reader = true;
    // A command that takes `blocks` blocks of data out: the reader's
    // IspVerify (it fails after its data, outside ISP mode), or the disk's
    // WRITE(10) far from its partition.
    Bytes DataOut(std::uint32_t blocks) const;
    // Its name in the checks' names.
    std::string DataOutName() const { return reader ? "IspVerify" : "WRITE(10)"; }
};

void ThirteenCases(const Target& target);
void InvalidWrappers();
void NotMeaningfulWrappers(const Target& target);
void Tags();

}  // namespace bot

#endif

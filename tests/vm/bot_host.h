// The guest's Bulk-Only host: the device's interface through usbfs, the
// wrappers a host builds, and one line per check.
#ifndef USBISP_TESTS_VM_BOT_HOST_H
#define USBISP_TESTS_VM_BOT_HOST_H

#include <cstdint>
#include <string>
#include <vector>

namespace bot {

using Bytes = std::vector<std::uint8_t>;

constexpr unsigned kIn = 0x81, kOut = 0x02;  // the device's bulk endpoints
constexpr unsigned kTimeoutMs = 2000;

// The usbfs node the checks talk through.
extern int fd;
// The tag of the next wrapper; each command takes one.
extern std::uint32_t nextTag;

// "ok NAME", or "FAIL NAME: why" (counted); `note` follows an ok in
// parentheses, to say what the device did where devices may differ.
void Check(bool ok, const std::string& name, const std::string& why = "",
           const std::string& note = "");
void Skip(const std::string& name, const std::string& why);
int Failures();

// A bulk transfer: the bytes moved, or -errno (-EPIPE: the pipe halted).
int Bulk(unsigned endpoint, std::uint8_t* data, std::size_t length,
         unsigned timeoutMs = kTimeoutMs);
int Control(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
            std::uint8_t* data, std::uint16_t length);
bool ClearHalt(unsigned endpoint);
// Whether the endpoint reports itself halted (GET_STATUS): 1, 0, or -1.
int Halted(unsigned endpoint);
// Bulk-Only Mass Storage Reset and the clear-halts after it.
bool ResetRecovery();

Bytes Wrapper(std::uint32_t tag, std::uint32_t length, bool in, std::uint8_t lun, const Bytes& cb);

struct Status {
    bool valid = false;
    bool halted = false;  // bulk-in halted before the status came
    std::uint32_t tag = 0, residue = 0;
    std::uint8_t status = 0xFF;
};

// The status wrapper; a halted bulk-in is cleared once first, as a host does.
Status ReadStatus(unsigned timeoutMs = kTimeoutMs);
std::string Describe(const Status& s);

// A command with data in of `length`: the data taken as it comes, then the
// status.
Status CommandIn(std::uint8_t lun, std::uint32_t length, const Bytes& cb, Bytes* data = nullptr);

// A command with data out of `length`: the host offers `offered` bytes in
// transfers of at most 64 KiB, stopping at a halt (`halted` says whether one
// came), then reads the status.
Status CommandOut(std::uint8_t lun, std::uint32_t length, const Bytes& cb, std::size_t offered,
                  bool& halted);

extern const Bytes kInquiry;
// INQUIRY of unit `lun` passes with the tag echoed.
bool Alive(std::uint8_t lun = 0);

}  // namespace bot

#endif

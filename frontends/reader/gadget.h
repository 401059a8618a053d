// The reader's USB gadget in configfs: the device with the reader's
// identifiers and strings, one configuration, one FunctionFS function whose
// file system the reader mounts and serves, and the binding to a USB device
// controller. Everything it made is taken down again by Remove().
#pragma once

#include <cstdint>
#include <string>

namespace usbisp::reader {

struct GadgetIdentity {
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::string manufacturer;
    std::string product;
    std::string serial;
};

class Gadget {
  public:
    Gadget(std::string configfs, std::string udc);
    ~Gadget() { Remove(); }
    Gadget(const Gadget&) = delete;
    Gadget& operator=(const Gadget&) = delete;

    // Makes the gadget and mounts its FunctionFS, with `functionFsOptions`
    // (empty, or the owner of its files: "uid=N,gid=N"); false with `error` set
    // when the system does not let it.
    bool Create(const GadgetIdentity& identity, const std::string& functionFsOptions,
                std::string& error);
    // Where the function's ep0, ep1 (bulk-in) and ep2 (bulk-out) are.
    const std::string& functionFsDir() const { return mountPoint_; }

    // Binds the gadget to the controller: the host sees the device plugged
    // in. Needs the function's descriptors written.
    bool Bind(std::string& error);
    void Unbind();
    // Unbinds, unmounts and removes what Create made.
    void Remove();

    // The controller's own word on the bus ("not attached", "configured",
    // ...), empty when it gives none.
    std::string ControllerState() const;

  private:
    std::string configfs_;
    std::string udc_;
    std::string name_;  // of the gadget and of the function instance
    std::string gadgetDir_;
    std::string mountPoint_;
    bool created_ = false;
    bool mounted_ = false;
};

}  // namespace usbisp::reader

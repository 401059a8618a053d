#include "reader/gadget.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/printf_text.h"

namespace usbisp::reader {

namespace {

constexpr const char* kLanguage = "0x409";  // English (United States)
constexpr const char* kConfig = "c.1";
constexpr const char* kMountRoot = "/tmp";

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool WriteText(const std::string& path, const std::string& text, std::string& error) {
    std::ofstream out(path);
    out << text << "\n";
    out.close();
    if (out) return true;
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
}

bool MakeDir(const std::string& path, std::string& error) {
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    error = "cannot make " + path + ": " + std::strerror(errno);
    return false;
}

// The gadget's name from the controller's: one gadget per controller.
std::string NameFor(const std::string& udc) {
    std::string name = "usbisp_";
    for (char c : udc) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

}  // namespace

Gadget::Gadget(std::string configfs, std::string udc)
    : configfs_(std::move(configfs)), udc_(std::move(udc)), name_(NameFor(udc_)) {
    gadgetDir_ = configfs_ + "/usb_gadget/" + name_;
    mountPoint_ = std::string(kMountRoot) + "/usbisp-reader." + name_;
}

bool Gadget::Create(const GadgetIdentity& id, const std::string& functionFsOptions,
                    std::string& error) {
    if (!Exists(configfs_ + "/usb_gadget")) {
        // configfs may not be mounted yet (a small system without an init
        // that mounts it).
        mount("none", configfs_.c_str(), "configfs", 0, nullptr);
        if (!Exists(configfs_ + "/usb_gadget")) {
            error = configfs_ +
                    "/usb_gadget does not exist: configfs and the module libcomposite "
                    "are needed";
            return false;
        }
    }
    // A reader that was killed leaves its gadget behind: it goes first.
    if (Exists(gadgetDir_)) {
        created_ = true;
        mounted_ = true;
        Remove();
    }
    created_ = true;
    const std::string strings = gadgetDir_ + "/strings/" + kLanguage;
    const std::string config = gadgetDir_ + "/configs/" + kConfig;
    const std::string function = gadgetDir_ + "/functions/ffs." + name_;
    if (!MakeDir(gadgetDir_, error) ||
        !WriteText(gadgetDir_ + "/idVendor", Printf("0x%04x", id.vid), error) ||
        !WriteText(gadgetDir_ + "/idProduct", Printf("0x%04x", id.pid), error) ||
        !WriteText(gadgetDir_ + "/bcdDevice", "0x0100", error) ||
        !WriteText(gadgetDir_ + "/bcdUSB", "0x0200", error) || !MakeDir(strings, error) ||
        !WriteText(strings + "/manufacturer", id.manufacturer, error) ||
        !WriteText(strings + "/product", id.product, error))
        return false;
    if (!id.serial.empty() && !WriteText(strings + "/serialnumber", id.serial, error)) return false;
    // Bus-powered, 100 mA, as a card reader is.
    if (!MakeDir(config, error) || !WriteText(config + "/bmAttributes", "0x80", error) ||
        !WriteText(config + "/MaxPower", "100", error))
        return false;
    if (mkdir(function.c_str(), 0755) != 0 && errno != EEXIST) {
        error = "cannot make " + function + ": " + std::strerror(errno) +
                " (the module usb_f_fs is needed)";
        return false;
    }
    if (symlink(function.c_str(), (config + "/ffs." + name_).c_str()) != 0 && errno != EEXIST) {
        error = "cannot link the function into " + config + ": " + std::strerror(errno);
        return false;
    }
    if (!MakeDir(mountPoint_, error)) return false;
    if (mount(name_.c_str(), mountPoint_.c_str(), "functionfs", 0,
              functionFsOptions.empty() ? nullptr : functionFsOptions.c_str()) != 0) {
        error =
            "cannot mount functionfs " + name_ + " on " + mountPoint_ + ": " + std::strerror(errno);
        return false;
    }
    mounted_ = true;
    return true;
}

bool Gadget::Bind(std::string& error) {
    return WriteText(gadgetDir_ + "/UDC", udc_, error);
}

void Gadget::Unbind() {
    std::string ignored;
    if (Exists(gadgetDir_ + "/UDC")) WriteText(gadgetDir_ + "/UDC", "", ignored);
}

void Gadget::Remove() {
    if (!created_) return;
    Unbind();
    if (mounted_) {
        umount(mountPoint_.c_str());
        rmdir(mountPoint_.c_str());
        mounted_ = false;
    }
    const std::string config = gadgetDir_ + "/configs/" + kConfig;
    unlink((config + "/ffs." + name_).c_str());
    rmdir(config.c_str());
    rmdir((gadgetDir_ + "/functions/ffs." + name_).c_str());
    rmdir((gadgetDir_ + "/strings/" + kLanguage).c_str());
    rmdir(gadgetDir_.c_str());
    created_ = false;
}

std::string Gadget::ControllerState() const {
    std::ifstream in("/sys/class/udc/" + udc_ + "/state");
    std::string state;
    std::getline(in, state);
    return state;
}

}  // namespace usbisp::reader

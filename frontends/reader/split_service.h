// Serving without root: a child process gives up root and serves the
// endpoints, while the parent keeps root for what only root may do to the
// gadget: binding it to its controller when the child's descriptors are
// written, and removing it when the child has ended. SIGTERM and SIGINT to
// the parent are passed on to the child.
#pragma once

#include <functional>
#include <string>

#include "reader/gadget.h"
#include "reader/privilege.h"

namespace usbisp::reader {

// Asks for the gadget to be bound; false with `error` set when it was not.
using BindRequest = std::function<bool(std::string& error)>;

// Runs `serve` as `user` in a child process and returns its exit status
// (1 when the child could not be started or gave up root in vain). The
// parent prints the errors of its own steps on standard error.
int ServeAsUser(Gadget& gadget, const ServiceUser& user,
                const std::function<int(const BindRequest& bind)>& serve);

}  // namespace usbisp::reader

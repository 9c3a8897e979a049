// The connection the upgrade window works on, opened as the upgrade program opens it: the
// database named "VrekDB", with the alias and digit-coded credentials of the machine's settings.
#pragma once

#include <memory>

#include "platform/database.h"
#include "platform/gui.h"

namespace vrekcli {

// Keeps the connection open while it lives; queries find it by the name "VrekDB".
class VrekConnection {
 public:
  virtual ~VrekConnection() = default;
};

// Connects through `driver`, with `application` showing what is shown while it connects.
// Throws when the connection is not made, whatever the cause (the settings unreadable, a
// credential that does not decode, the login refused).
std::unique_ptr<VrekConnection> ConnectVrekDB(platform::TApplication& application,
                                              platform::Driver& driver);

}  // namespace vrekcli

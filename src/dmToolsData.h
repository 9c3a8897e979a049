// The connection data module: the one database component VrekDB, which connects as soon as the
// module is created. Its before-connect handler takes the alias and the credentials from the
// settings store and puts up the splash window; its after-connect handler takes the splash down
// and sets ConnectMessage to "OK". When the connection fails the error leaves the constructor,
// and the splash goes with the module.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "frmFlashTools.h"
#include "platform/database.h"
#include "platform/gui.h"
#include "platform/registry.h"

using RegistryFactory = std::function<std::unique_ptr<platform::TRegistry>()>;
// Told, in Chinese without final punctuation, that the settings key is missing and which
// defaults the connection uses instead. The password is never part of it.
using SettingsWarning = std::function<void(const std::string& warning)>;

// The splash window while it exists. Set when it is created and used once to destroy it; it is
// not cleared afterwards, and nothing reads it then.
extern TFlashTools* FlashTools;

class TdbToolsMain : public platform::TDataModule {
 public:
  // Connects before returning. Throws what the settings store or the driver throws, and
  // platform::ESettingsError for a coded credential holding a character that is no digit; the
  // settings store's errors are platform::ESettingsError too, whose Reason() tells a user what is
  // wrong. `warn`, when given, hears that the settings key is missing.
  TdbToolsMain(platform::TApplication& application, platform::Driver& driver,
               RegistryFactory registry, SettingsWarning warn = nullptr);

  platform::TDatabase VrekDB;

  void VrekDBBeforeConnect(platform::TDatabase& Sender);
  void VrekDBAfterConnect(platform::TDatabase& Sender);

 private:
  platform::TApplication& application_;
  RegistryFactory registry_;
  SettingsWarning warn_;
};

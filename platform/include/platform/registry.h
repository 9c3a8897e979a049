// Read-only access to the machine's settings store under HKEY_LOCAL_MACHINE: the Windows
// registry on Windows (32-bit view), a registry export file elsewhere. Key paths use
// backslashes, as in "SOFTWARE\Brantelvoss\Vrek"; key and value names compare without regard to
// letter case.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// A settings value could not be read: a value of a type other than a string, or a store that
// cannot be read at all. what() says which value or which file and line.
class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TRegistry {
 public:
  virtual ~TRegistry() = default;
  // True when the key exists under HKEY_LOCAL_MACHINE.
  virtual bool KeyExists(std::string_view key) = 0;
  // Opens the key for reading; false when it does not exist.
  virtual bool OpenKeyReadOnly(std::string_view key) = 0;
  // A string or expandable-string value of the open key, UTF-8, as stored (no expansion). A
  // missing value reads as the empty text; any other type throws ERegistryException.
  virtual std::string ReadString(std::string_view name) = 0;
  virtual void CloseKey() = 0;
};

// The platform's store.
std::unique_ptr<TRegistry> CreateRegistry();

}  // namespace platform

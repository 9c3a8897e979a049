// Read-only access to the machine's settings store under HKEY_LOCAL_MACHINE: the Windows
// registry on Windows (32-bit view), a registry export file elsewhere. Key paths use
// backslashes, as in "SOFTWARE\Brantelvoss\Vrek"; key and value names compare without regard to
// letter case.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

// A setting that cannot be used. what() is for logs and tests; Reason() is one line in Chinese,
// without final punctuation, for whoever runs the program: which file and line or which value is
// at fault, and why. Neither ever holds a value's data, which may be a password.
class ESettingsError : public std::runtime_error {
 public:
  ESettingsError(const std::string& message, std::string reason)
      : std::runtime_error(message), reason_(std::move(reason)) {}
  const std::string& Reason() const noexcept { return reason_; }

 private:
  std::string reason_;
};

// A settings value could not be read: a value of a type other than a string, or a store that
// cannot be read at all. what() says which value or which file and line.
class ERegistryException : public ESettingsError {
 public:
  using ESettingsError::ESettingsError;
  // Where no better words exist: the message is the reason.
  explicit ERegistryException(const std::string& message) : ESettingsError(message, message) {}
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

  // For messages: where a value of the open key lives, as in "设置文件 /etc/brantelvoss/vrek.reg
  // 第 5 行的 PASSWORD", and why KeyExists found no key, as in "设置文件 … 不存在".
  virtual std::string ValuePlace(std::string_view name) { return std::string(name); }
  virtual std::string KeyAbsence(std::string_view key) {
    return "没有 HKEY_LOCAL_MACHINE\\" + std::string(key);
  }
};

// The platform's store.
std::unique_ptr<TRegistry> CreateRegistry();

}  // namespace platform

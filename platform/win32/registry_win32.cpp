// The settings under HKEY_LOCAL_MACHINE in the Windows registry, always in its 32-bit view: a
// 64-bit build reads the key that the 32-bit register client and its installer write
// (SOFTWARE\Wow6432Node\... on 64-bit Windows).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "text/wide.h"
#include "text/wipe.h"

namespace platform {

namespace {

constexpr REGSAM kAccess = KEY_READ | KEY_WOW64_32KEY;

// The name regedit gives a value type, for messages.
std::string TypeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
      return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK:
      return "REG_LINK";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return "0x" + [type] {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%lx", static_cast<unsigned long>(type));
        return std::string(hex);
      }();
  }
}

class TRegistryWin32 : public TRegistry {
 public:
  ~TRegistryWin32() override { CloseKey(); }

  bool KeyExists(std::string_view key) override {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, text::Utf8ToWide(key, text::Mode::kStrict).c_str(), 0,
                      kAccess, &h) != ERROR_SUCCESS)
      return false;
    RegCloseKey(h);
    return true;
  }

  bool OpenKeyReadOnly(std::string_view key) override {
    CloseKey();
    open_path_ = std::string(key);
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, text::Utf8ToWide(key, text::Mode::kStrict).c_str(), 0,
                         kAccess, &open_) == ERROR_SUCCESS;
  }

  std::string ReadString(std::string_view name) override {
    if (!open_) throw ERegistryException("no key is open");
    const std::wstring wname = text::Utf8ToWide(name, text::Mode::kStrict);
    // The value may be the coded password: the buffers are wiped however this ends.
    std::vector<BYTE> data(256);
    std::wstring value;
    text::WipeOnExit wipe(data, value);
    for (;;) {
      DWORD type = REG_NONE;
      DWORD size = static_cast<DWORD>(data.size());
      const LSTATUS rc = RegQueryValueExW(open_, wname.c_str(), nullptr, &type, data.data(), &size);
      if (rc == ERROR_FILE_NOT_FOUND) return {};
      if (rc == ERROR_MORE_DATA) {  // the value may also have grown since the last try
        text::WipeClear(data);
        data.resize(size + sizeof(wchar_t));
        continue;
      }
      if (rc != ERROR_SUCCESS)
        throw ERegistryException(
            "'" + std::string(name) + "' cannot be read (error " + std::to_string(rc) + ")",
            ValuePlace(name) + "：无法读取（错误 " + std::to_string(rc) + "）");
      if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException("Invalid data type for '" + std::string(name) + "'",
                                 ValuePlace(name) + "：类型为 " + TypeName(type) +
                                     "，应为字符串（REG_SZ 或 REG_EXPAND_SZ）");
      // Stored data need not end in a terminating zero; the text ends at the first one.
      value.assign(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
      if (const std::size_t nul = value.find(L'\0'); nul != std::wstring::npos) value.resize(nul);
      // Lossy, as a registry export file is read: the registry holds any UTF-16.
      return text::WideToUtf8(value, text::Mode::kLossy);
    }
  }

  void CloseKey() override {
    if (open_) RegCloseKey(open_);
    open_ = nullptr;
  }

  std::string ValuePlace(std::string_view name) override {
    return "注册表 HKEY_LOCAL_MACHINE\\" + open_path_ + " 中的 " + std::string(name);
  }

  std::string KeyAbsence(std::string_view key) override {
    return "注册表（32 位视图）中没有 HKEY_LOCAL_MACHINE\\" + std::string(key);
  }

 private:
  HKEY open_ = nullptr;
  std::string open_path_;
};

}  // namespace

std::unique_ptr<TRegistry> CreateRegistry() { return std::make_unique<TRegistryWin32>(); }

}  // namespace platform

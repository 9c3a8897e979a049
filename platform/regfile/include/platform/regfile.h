// The settings store on systems without a registry: a registry export file, as Windows'
// registry editor writes it ("Windows Registry Editor Version 5.00" in UTF-16LE with a byte-order
// mark, or UTF-8; "REGEDIT4" in code page 936 or UTF-8). An administrator can export the key on
// a Windows machine and copy the file over. Only HKEY_LOCAL_MACHINE sections are read; a key
// exported from the 32-bit view of 64-bit Windows (under SOFTWARE\Wow6432Node) counts as the same
// key.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace platform {

// The file named by the environment variable VREK_REGISTRY, else /etc/brantelvoss/vrek.reg.
std::string RegistryFilePath();

struct RegValue {
  enum class Type { String, ExpandString, Other };
  Type type = Type::String;
  std::string text;       // UTF-8, for String and ExpandString
  std::string type_name;  // for Other, as the file writes it: "dword", "hex", "hex(7)"
  std::size_t line = 0;   // where the file sets it, from 1
};

// The keys of an export file, by upper-cased path below HKEY_LOCAL_MACHINE, each with its values
// by upper-cased name. Throws ERegistryException for a file that is not a registry export.
using RegKeys = std::map<std::string, std::map<std::string, RegValue>>;
RegKeys ParseRegistryExport(std::string_view file_bytes, std::string_view file_name);

// TRegistry over one export file, read when the accessor is created. A missing file holds no
// key; an unreadable or malformed one throws ERegistryException from the first call.
class TRegistryFile : public TRegistry {
 public:
  explicit TRegistryFile(std::string path);
  // Wipes the values read, among them the coded password.
  ~TRegistryFile() override;
  TRegistryFile(const TRegistryFile&) = delete;
  TRegistryFile& operator=(const TRegistryFile&) = delete;
  bool KeyExists(std::string_view key) override;
  bool OpenKeyReadOnly(std::string_view key) override;
  std::string ReadString(std::string_view name) override;
  void CloseKey() override;
  std::string ValuePlace(std::string_view name) override;
  std::string KeyAbsence(std::string_view key) override;

 private:
  const RegKeys& Keys();

  std::string path_;
  bool loaded_ = false;
  bool file_exists_ = false;
  RegKeys keys_;
  const std::map<std::string, RegValue>* open_ = nullptr;
};

}  // namespace platform

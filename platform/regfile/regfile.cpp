#include "platform/regfile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "text/text.h"
#include "text/wipe.h"

namespace platform {

namespace {

constexpr std::string_view kMachineRoot = "HKEY_LOCAL_MACHINE\\";
constexpr std::string_view kWow64Software = "SOFTWARE\\WOW6432NODE\\";
constexpr std::string_view kSoftware = "SOFTWARE\\";

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// The file as UTF-8 text, and whether it is a version-5 export (whose hex(2) data is UTF-16LE).
// A UTF-16 file is read lossily: the registry holds any UTF-16, and a value we do not read must
// not fail the file. Otherwise the encoding is guessed, so it must be valid in the one guessed.
std::string DecodeFile(std::string_view bytes, std::string_view file_name) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE)
    return text::Utf16LeToUtf8(bytes.substr(2), text::Mode::kLossy);
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (text::IsValidUtf8(bytes)) return std::string(bytes);
  try {
    // REGEDIT4 files are in the machine's ANSI code page
    return text::GbkToUtf8(bytes, text::Mode::kStrict);
  } catch (const text::ETextConversionError&) {
    throw ERegistryException(
        std::string(file_name) + ": neither UTF-16, UTF-8 nor code page 936",
        "设置文件 " + std::string(file_name) + " 的编码既不是 UTF-16、UTF-8，也不是代码页 936");
  }
}

// The lines of the file, without their line ends; a hex value that goes on over several lines,
// each ending in a backslash, is one line. The vector is reserved for every line at once: no line
// is left behind in storage given back, and the owner wipes the lines (WipeLines).
std::vector<std::string> LogicalLines(std::string_view text) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  bool continued = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (continued) {
      const std::size_t first = line.find_first_not_of(" \t");
      lines.back().append(first == std::string_view::npos ? std::string_view()
                                                          : line.substr(first));
    } else {
      lines.emplace_back(line);
    }
    std::string& last = lines.back();
    continued = !last.empty() && last.back() == '\\' && last.find("=hex") != std::string::npos;
    if (continued) last.pop_back();
  }
  return lines;
}

void WipeLines(std::vector<std::string>& lines) {
  for (std::string& line : lines) text::WipeClear(line);
}

void WipeKeys(RegKeys& keys) {
  for (auto& [key, values] : keys)
    for (auto& [name, value] : values) text::WipeClear(value.text);
}

std::string_view Trim(std::string_view s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  std::size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// why in English for what(), in Chinese for the reason; neither quotes the line, which may hold
// a password.
[[noreturn]] void Malformed(std::string_view file, std::size_t line, std::string_view why,
                            std::string_view why_zh) {
  throw ERegistryException(std::string(file) + ":" + std::to_string(line) + ": " + std::string(why),
                           "设置文件 " + std::string(file) + " 第 " + std::to_string(line) +
                               " 行：" + std::string(why_zh));
}

// "name" with \\ and \" escapes, starting at s[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(std::string_view s, std::size_t& pos, std::string& out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  for (++pos; pos < s.size(); ++pos) {
    char c = s[pos];
    if (c == '\\' && pos + 1 < s.size()) {
      out.push_back(s[++pos]);
    } else if (c == '"') {
      ++pos;
      return true;
    } else {
      out.push_back(c);
    }
  }
  return false;
}

bool ReadHexBytes(std::string_view s, std::string& out) {
  std::string digits;
  for (char c : s) {
    if (c == ',' || c == ' ' || c == '\t') {
      if (!digits.empty()) {
        if (digits.size() > 2) return false;
        out.push_back(static_cast<char>(std::stoi(digits, nullptr, 16)));
        digits.clear();
      }
    } else if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits.push_back(c);
    } else {
      return false;
    }
  }
  if (!digits.empty()) {
    if (digits.size() > 2) return false;
    out.push_back(static_cast<char>(std::stoi(digits, nullptr, 16)));
  }
  return true;
}

// hex(2) data: UTF-16LE in version-5 files, the ANSI code page in REGEDIT4 files; both end in a
// terminating zero that is not part of the text. Decoded as the file is (see DecodeFile); throws
// text::ETextConversionError for ANSI data that is neither UTF-8 nor code page 936.
std::string ExpandStringText(const std::string& bytes, bool unicode) {
  if (unicode) {
    std::string utf8 = text::Utf16LeToUtf8(bytes, text::Mode::kLossy);
    std::size_t nul = utf8.find('\0');
    return nul == std::string::npos ? utf8 : utf8.substr(0, nul);
  }
  std::string ansi = bytes.substr(0, bytes.find('\0'));
  return text::IsValidUtf8(ansi) ? ansi : text::GbkToUtf8(ansi, text::Mode::kStrict);
}

// The key path below HKEY_LOCAL_MACHINE as this store names it, upper-cased; the 32-bit view of
// SOFTWARE is folded onto SOFTWARE itself.
std::string CanonicalKey(std::string_view path) {
  std::string key = Upper(path);
  while (!key.empty() && key.back() == '\\') key.pop_back();
  if (key.rfind(kWow64Software, 0) == 0)
    key = std::string(kSoftware) + key.substr(kWow64Software.size());
  return key;
}

}  // namespace

std::string RegistryFilePath() {
  const char* env = std::getenv("VREK_REGISTRY");
  return env && *env ? std::string(env) : std::string("/etc/brantelvoss/vrek.reg");
}

namespace {

// The export file's lines into keys, which the caller wipes when this throws.
void ParseLines(const std::vector<std::string>& lines, std::string_view file_name, RegKeys& keys) {
  std::size_t first = 0;
  while (first < lines.size() && Trim(lines[first]).empty()) ++first;
  if (first == lines.size())
    Malformed(file_name, 1, "not a registry export file", "不是注册表导出文件");
  const std::string_view header = Trim(lines[first]);
  bool unicode;
  if (header == "Windows Registry Editor Version 5.00")
    unicode = true;
  else if (header == "REGEDIT4")
    unicode = false;
  else
    Malformed(file_name, first + 1, "not a registry export file", "不是注册表导出文件");

  std::map<std::string, RegValue>* current = nullptr;  // null: a section we do not read
  for (std::size_t n = first + 1; n < lines.size(); ++n) {
    const std::string_view line = Trim(lines[n]);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']')
        Malformed(file_name, n + 1, "unterminated key name", "键名缺少结束的“]”");
      const std::string_view path = line.substr(1, line.size() - 2);
      current = nullptr;
      if (!path.empty() && path[0] == '-') {  // a deleted key
        std::string upper = Upper(path.substr(1));
        if (upper.rfind(kMachineRoot, 0) == 0)
          if (auto it = keys.find(CanonicalKey(upper.substr(kMachineRoot.size())));
              it != keys.end()) {
            for (auto& [name, value] : it->second) text::WipeClear(value.text);
            keys.erase(it);
          }
        continue;
      }
      std::string upper = Upper(path);
      if (upper.rfind(kMachineRoot, 0) == 0)
        current = &keys[CanonicalKey(upper.substr(kMachineRoot.size()))];
      continue;
    }
    std::size_t pos = 0;
    std::string name;
    if (line[0] == '@') {
      pos = 1;  // the key's default value; nothing here reads it
    } else if (!ReadQuoted(line, pos, name)) {
      Malformed(file_name, n + 1, "expected a value name in double quotes", "值名应写在双引号中");
    }
    std::string_view rest = Trim(line.substr(pos));
    if (rest.empty() || rest[0] != '=')
      Malformed(file_name, n + 1, "expected '=' after the value name", "值名之后应为“=”");
    rest = Trim(rest.substr(1));
    if (!current || line[0] == '@') continue;
    const std::string upper_name = Upper(name);
    if (rest == "-") {
      if (auto it = current->find(upper_name); it != current->end()) {
        text::WipeClear(it->second.text);
        current->erase(it);
      }
      continue;
    }
    RegValue value;
    if (!rest.empty() && rest[0] == '"') {
      std::size_t p = 0;
      // Beyond the string's inner buffer: moving the value into the map moves no characters.
      value.text.reserve(std::max<std::size_t>(rest.size(), 32));
      if (!ReadQuoted(rest, p, value.text) || !Trim(rest.substr(p)).empty())
        Malformed(file_name, n + 1, "unterminated string value", "字符串值缺少结束的双引号");
      value.type = RegValue::Type::String;
    } else if (Upper(rest.substr(0, 7)) == "HEX(2):") {
      std::string bytes;
      text::WipeOnExit wipe_bytes(bytes);
      if (!ReadHexBytes(rest.substr(7), bytes))
        Malformed(file_name, n + 1, "malformed hex data", "十六进制数据有误");
      value.type = RegValue::Type::ExpandString;
      try {
        value.text = ExpandStringText(bytes, unicode);
      } catch (const text::ETextConversionError& e) {
        Malformed(file_name, n + 1, std::string("hex(2) data: ") + e.what(),
                  "hex(2) 数据既不是 UTF-8，也不是代码页 936");
      }
    } else if (Upper(rest.substr(0, 6)) == "DWORD:" || Upper(rest.substr(0, 3)) == "HEX") {
      value.type = RegValue::Type::Other;
      const std::size_t colon = rest.find(':');
      value.type_name = colon == std::string::npos ? "hex" : std::string(rest.substr(0, colon));
      for (char& c : value.type_name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    } else {
      Malformed(file_name, n + 1, "unknown value type", "未知的值类型");
    }
    value.line = n + 1;
    RegValue& slot = (*current)[upper_name];
    text::WipeClear(slot.text);  // a value set twice: the later wins
    slot = std::move(value);
  }
}

// The whole file into bytes, past any buffer of the C library: nothing but bytes holds it.
bool ReadWhole(const std::string& path, std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::setvbuf(f, nullptr, _IONBF, 0);
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  bytes.reserve(ec ? 4096 : static_cast<std::size_t>(size) + 1);
  char chunk[4096];
  bool ok = true;
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, sizeof chunk, f);
    bytes.append(chunk, n);
    if (n < sizeof chunk) {
      ok = !std::ferror(f);
      break;
    }
  }
  text::Wipe(chunk, sizeof chunk);
  std::fclose(f);
  return ok;
}

}  // namespace

RegKeys ParseRegistryExport(std::string_view file_bytes, std::string_view file_name) {
  // The file holds the coded password: every copy made here is wiped, however this ends.
  std::string decoded = DecodeFile(file_bytes, file_name);
  text::WipeOnExit wipe_decoded(decoded);
  std::vector<std::string> lines = LogicalLines(decoded);
  struct LinesWiper {
    std::vector<std::string>& lines;
    ~LinesWiper() { WipeLines(lines); }
  } wipe_lines{lines};
  RegKeys keys;
  try {
    ParseLines(lines, file_name, keys);
  } catch (...) {
    WipeKeys(keys);
    throw;
  }
  return keys;
}

TRegistryFile::TRegistryFile(std::string path) : path_(std::move(path)) {}

TRegistryFile::~TRegistryFile() { WipeKeys(keys_); }

const RegKeys& TRegistryFile::Keys() {
  if (!loaded_) {
    std::error_code ec;
    file_exists_ = std::filesystem::exists(path_, ec);
    if (file_exists_) {
      std::string bytes;
      text::WipeOnExit wipe(bytes);
      if (!ReadWhole(path_, bytes))
        throw ERegistryException(path_ + ": cannot be read", "设置文件 " + path_ + " 无法读取");
      keys_ = ParseRegistryExport(bytes, path_);
    }
    loaded_ = true;
  }
  return keys_;
}

bool TRegistryFile::KeyExists(std::string_view key) { return Keys().count(CanonicalKey(key)) > 0; }

bool TRegistryFile::OpenKeyReadOnly(std::string_view key) {
  auto it = Keys().find(CanonicalKey(key));
  open_ = it == Keys().end() ? nullptr : &it->second;
  return open_ != nullptr;
}

std::string TRegistryFile::ReadString(std::string_view name) {
  if (!open_) throw ERegistryException("no key is open");
  auto it = open_->find(Upper(name));
  if (it == open_->end()) return {};
  if (it->second.type == RegValue::Type::Other)
    throw ERegistryException(
        "Invalid data type for '" + std::string(name) + "'",
        ValuePlace(name) + "：类型为 " + it->second.type_name + "，应为字符串");
  return it->second.text;
}

std::string TRegistryFile::ValuePlace(std::string_view name) {
  if (open_) {
    auto it = open_->find(Upper(name));
    if (it != open_->end())
      return "设置文件 " + path_ + " 第 " + std::to_string(it->second.line) + " 行的 " +
             std::string(name);
  }
  return "设置文件 " + path_ + " 中的 " + std::string(name);
}

std::string TRegistryFile::KeyAbsence(std::string_view key) {
  Keys();
  if (!file_exists_) return "设置文件 " + path_ + " 不存在";
  return "设置文件 " + path_ + " 中没有 HKEY_LOCAL_MACHINE\\" + std::string(key);
}

void TRegistryFile::CloseKey() { open_ = nullptr; }

std::unique_ptr<TRegistry> CreateRegistry() {
  return std::make_unique<TRegistryFile>(RegistryFilePath());
}

}  // namespace platform

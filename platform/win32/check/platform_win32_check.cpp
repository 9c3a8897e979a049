// Self-checking program for the Windows platform layer, run under Wine (or on Windows) by
// scripts/test-windows. Each check prints "ok NAME" or "FAIL NAME: what differs"; the last line
// is "CHECKS: N passed, M failed" and the exit status is 1 when anything failed.
//
//   platform_win32_check writes         the registry values the registry checks expect, one a
//                                       line: fields separated by U+001F, first the operation
//                                       (add KEY NAME TYPE DATA, addkey KEY, default KEY DATA,
//                                       delvalue KEY NAME, delkey KEY); the caller makes them
//                                       with the system's own "reg" tool
//   platform_win32_check registry       reads them back through CreateRegistry()
//   platform_win32_check text           code page 936 conversions
//   platform_win32_check version EXE    the version information of the program
//   platform_win32_check pinyin         PinYin.dll, bound at load through its import library
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "PinYin.h"
#include "platform/registry.h"
#include "text/text.h"
#include "text/wide.h"

namespace {

int passed = 0, failed = 0;

void Out(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Control characters and bytes outside ASCII shown as escapes, so that a report is readable.
std::string Shown(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out + "\"";
}

void Check(const std::string& name, const std::vector<std::string>& differences) {
  if (differences.empty()) {
    ++passed;
    Out("ok " + name);
    return;
  }
  ++failed;
  std::string line = "FAIL " + name + ":";
  for (const auto& d : differences) line += " " + d + ";";
  Out(line);
}

void Expect(std::vector<std::string>& diffs, const std::string& what, const std::string& got,
            const std::string& want) {
  if (got != want) diffs.push_back(what + " is " + Shown(got) + ", expected " + Shown(want));
}

// ---------------------------------------------------------------------------------------------
// The registry: the cases of the settings-file reader's tests, as real registry values.

constexpr char kSep = '\x1f';
const std::string kRead = "SOFTWARE\\Brantelvoss\\Check\\";
const std::string kView32 = "HKLM\\SOFTWARE\\Wow6432Node\\Brantelvoss\\Check\\";
const std::string kView64 = "HKLM\\SOFTWARE\\Brantelvoss\\Check\\";
const std::string kUser = "HKCU\\SOFTWARE\\Brantelvoss\\Check\\";

struct Write {
  std::vector<std::string> fields;
};

Write Add(const std::string& key, const std::string& name, const std::string& type,
          const std::string& data) {
  return {{"add", key, name, type, data}};
}
Write AddKey(const std::string& key) { return {{"addkey", key}}; }
Write Default(const std::string& key, const std::string& data) {
  return {{"default", key, data}};
}
Write DelValue(const std::string& key, const std::string& name) {
  return {{"delvalue", key, name}};
}
Write DelKey(const std::string& key) { return {{"delkey", key}}; }

struct Seen {
  bool key = false;
  std::string odbc, user, pass;
};

struct Case {
  std::string name;
  std::vector<Write> writes;
  Seen expected;
};

std::vector<Write> Values(const std::string& key) {
  return {Add(key, "ODBCNAME", "REG_SZ", "VrekODBC"), Add(key, "USERNAME", "REG_SZ", "240224042406"),
          Add(key, "PASSWORD", "REG_SZ", "3503")};
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  auto add = [&cases](const std::string& name, std::vector<Write> writes, Seen expected) {
    cases.push_back({name, std::move(writes), std::move(expected)});
  };
  const std::string invalid = "error: Invalid data type for ";
  auto k = [](const std::string& view, const std::string& name) { return view + name; };

  add("values_of_the_32_bit_view", Values(k(kView32, "values_of_the_32_bit_view")),
      {true, "VrekODBC", "240224042406", "3503"});
  add("chinese_text", {Add(k(kView32, "chinese_text"), "ODBCNAME", "REG_SZ", "资产库")},
      {true, "资产库", "", ""});
  add("text_beyond_the_basic_plane",
      {Add(k(kView32, "text_beyond_the_basic_plane"), "ODBCNAME", "REG_SZ", "资\xF0\xA0\x80\x80")},
      {true, "资\xF0\xA0\x80\x80", "", ""});
  {
    std::vector<Write> w = Values(k(kView32, "key_missing_other"));
    add("key_missing", w, {false, "", "", ""});
  }
  // A case's name is also the name of the key it reads.
  add("key_under_current_user", Values(k(kUser, "key_under_current_user")), {false, "", "", ""});
  add("key_of_the_64_bit_view", Values(k(kView64, "key_of_the_64_bit_view")),
      {false, "", "", ""});
  add("both_views_32_bit_wins",
      {Add(k(kView64, "both_views_32_bit_wins"), "ODBCNAME", "REG_SZ", "sixty-four"),
       Add(k(kView32, "both_views_32_bit_wins"), "ODBCNAME", "REG_SZ", "thirty-two")},
      {true, "thirty-two", "", ""});
  add("names_in_other_letter_case",
      {Add("HKLM\\software\\wow6432node\\brantelvoss\\check\\NAMES_IN_OTHER_LETTER_CASE",
           "odbcname", "REG_SZ", "x")},
      {true, "x", "", ""});
  add("values_missing", {AddKey(k(kView32, "values_missing"))}, {true, "", "", ""});
  add("empty_string", {Add(k(kView32, "empty_string"), "ODBCNAME", "REG_SZ", "")},
      {true, "", "", ""});
  add("blanks_kept_as_stored",
      {Add(k(kView32, "blanks_kept_as_stored"), "ODBCNAME", "REG_SZ", "  VrekODBC "),
       Add(k(kView32, "blanks_kept_as_stored"), "USERNAME", "REG_SZ", " 2402\t")},
      {true, "  VrekODBC ", " 2402\t", ""});
  add("escapes", {Add(k(kView32, "escapes"), "ODBCNAME", "REG_SZ", "a\\b\"c")},
      {true, "a\\b\"c", "", ""});
  add("expandable_string_taken_as_stored",
      {Add(k(kView32, "expandable_string_taken_as_stored"), "ODBCNAME", "REG_EXPAND_SZ", "%DSN%"),
       Add(k(kView32, "expandable_string_taken_as_stored"), "USERNAME", "REG_EXPAND_SZ",
           "%SystemRoot%\\x")},
      {true, "%DSN%", "%SystemRoot%\\x", ""});
  add("dword_and_binary_are_read_errors",
      {Add(k(kView32, "dword_and_binary_are_read_errors"), "ODBCNAME", "REG_DWORD", "1"),
       Add(k(kView32, "dword_and_binary_are_read_errors"), "USERNAME", "REG_BINARY", "3234"),
       Add(k(kView32, "dword_and_binary_are_read_errors"), "PASSWORD", "REG_MULTI_SZ", "A")},
      {true, invalid + "'ODBCNAME'", invalid + "'USERNAME'", invalid + "'PASSWORD'"});
  add("qword_and_empty_binary_are_read_errors",
      {Add(k(kView32, "qword_and_empty_binary_are_read_errors"), "ODBCNAME", "REG_QWORD", "7"),
       Add(k(kView32, "qword_and_empty_binary_are_read_errors"), "PASSWORD", "REG_BINARY", "")},
      {true, invalid + "'ODBCNAME'", "", invalid + "'PASSWORD'"});
  {
    std::vector<Write> w = Values(k(kView32, "deleted_value"));
    w.push_back(DelValue(k(kView32, "deleted_value"), "PASSWORD"));
    add("deleted_value", w, {true, "VrekODBC", "240224042406", ""});
  }
  {
    std::vector<Write> w = Values(k(kView32, "deleted_key"));
    w.push_back(DelKey(k(kView32, "deleted_key")));
    add("deleted_key", w, {false, "", "", ""});
  }
  add("default_value_and_other_keys",
      {Add(k(kView32, "default_value_and_other_keys_other"), "ODBCNAME", "REG_SZ", "no"),
       Default(k(kView32, "default_value_and_other_keys"), "default"),
       Add(k(kView32, "default_value_and_other_keys"), "ODBCNAME", "REG_SZ", "yes")},
      {true, "yes", "", ""});
  return cases;
}

std::string ReadOrError(platform::TRegistry& reg, const char* name) {
  try {
    return reg.ReadString(name);
  } catch (const platform::ERegistryException& e) {
    return std::string("error: ") + e.what();
  }
}

int Writes() {
  for (const Case& c : Cases())
    for (const Write& w : c.writes) {
      std::string line;
      for (std::size_t i = 0; i < w.fields.size(); ++i) {
        if (i) line.push_back(kSep);
        line += w.fields[i];
      }
      Out(line);
    }
  return 0;
}

void RegistryChecks() {
  for (const Case& c : Cases()) {
    std::unique_ptr<platform::TRegistry> reg = platform::CreateRegistry();
    const std::string key = kRead + c.name;
    Seen seen;
    seen.key = reg->KeyExists(key);
    if (seen.key && reg->OpenKeyReadOnly(key)) {
      seen.odbc = ReadOrError(*reg, "ODBCNAME");
      seen.user = ReadOrError(*reg, "USERNAME");
      seen.pass = ReadOrError(*reg, "PASSWORD");
      reg->CloseKey();
    }
    std::vector<std::string> d;
    Expect(d, "key exists", seen.key ? "yes" : "no", c.expected.key ? "yes" : "no");
    Expect(d, "ODBCNAME", seen.odbc, c.expected.odbc);
    Expect(d, "USERNAME", seen.user, c.expected.user);
    Expect(d, "PASSWORD", seen.pass, c.expected.pass);
    Check("registry." + c.name, d);
  }
  std::unique_ptr<platform::TRegistry> reg = platform::CreateRegistry();
  std::vector<std::string> d;
  Expect(d, "read without an open key", ReadOrError(*reg, "ODBCNAME"), "error: no key is open");
  Expect(d, "opening a missing key", reg->OpenKeyReadOnly(kRead + "no_such_key") ? "yes" : "no",
         "no");
  Check("registry.no_key_open", d);
}

// ---------------------------------------------------------------------------------------------
// Code page 936.

std::string Try(const std::function<std::string()>& f) {
  try {
    return f();
  } catch (const text::ETextConversionError&) {
    return "<conversion error>";
  }
}

std::string Utf8ToGbk(std::string_view s) { return text::Utf8ToGbk(s, text::Mode::kStrict); }
std::string GbkToUtf8(std::string_view s) { return text::GbkToUtf8(s, text::Mode::kStrict); }

void TextChecks() {
  const std::string nul("a\0b", 3);
  std::vector<std::string> d;
  Expect(d, "Utf8ToGbk(资产)", Try([] { return Utf8ToGbk("资产"); }), "\xD7\xCA\xB2\xFA");
  Expect(d, "GbkToUtf8", Try([] { return GbkToUtf8("\xD7\xCA\xB2\xFA"); }), "资产");
  Expect(d, "Utf8ToGbk(euro)", Try([] { return Utf8ToGbk("\xE2\x82\xAC"); }), "\x80");
  Expect(d, "Utf8ToGbk(NUL)", Try([&nul] { return Utf8ToGbk(nul); }), nul);
  Expect(d, "Utf8ToGbk(empty)", Try([] { return Utf8ToGbk(""); }), "");
  Check("text.conversions", d);
  d.clear();
  Expect(d, "a character GBK lacks", Try([] { return Utf8ToGbk("\xF0\x9F\x98\x80"); }),
         "<conversion error>");
  Expect(d, "invalid UTF-8", Try([] { return Utf8ToGbk("\xFF"); }), "<conversion error>");
  Expect(d, "invalid GBK", Try([] { return GbkToUtf8("\xFF"); }), "<conversion error>");
  Expect(d, "a lead byte without its trail", Try([] { return GbkToUtf8("\xD7"); }),
         "<conversion error>");
  Check("text.errors", d);
  d.clear();
  const std::string credential("ab\0\x80\xD7\xCA\xFF\x81\x30", 9);
  const std::u16string wide = text::GbkToUtf16(credential, text::Mode::kLossy);
  std::wstring as_wide(wide.begin(), wide.end());
  static const char kExpected[] = "ab\0\xE2\x82\xAC资\xEF\xBF\xBD\xEF\xBF\xBD" "0";
  Expect(d, "GbkToUtf16", text::WideToUtf8(as_wide, text::Mode::kLossy),
         std::string(kExpected, sizeof kExpected - 1));
  Check("text.credentials_to_utf16", d);
}

// ---------------------------------------------------------------------------------------------
// Version information.

void VersionChecks(const std::wstring& file) {
  std::vector<std::string> d;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  std::vector<BYTE> data(size);
  if (!size || !GetFileVersionInfoW(file.c_str(), 0, size, data.data())) {
    Check("version.present", {"no version information"});
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) || !fixed) {
    d.push_back("no fixed part");
  } else {
    auto dotted = [](DWORD ms, DWORD ls) {
      return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." +
             std::to_string(HIWORD(ls)) + "." + std::to_string(LOWORD(ls));
    };
    Expect(d, "file version", dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS),
           "6.2012.7.18");
    Expect(d, "product version", dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS),
           "6.2012.7.18");
  }
  Check("version.numbers", d);
  d.clear();

  WORD* translation = nullptr;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &len) ||
      len != 4) {
    d.push_back("not exactly one translation (" + std::to_string(len) + " bytes)");
  } else {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X%04X", translation[0], translation[1]);
    Expect(d, "translation", buf, "080403A8");
  }
  Check("version.translation", d);
  d.clear();

  struct Field {
    const wchar_t* name;
    std::string value;
  };
  const Field fields[] = {{L"FileVersion", "6.2012.7.18"}, {L"ProductVersion", "6.2012.7.0"},
                          {L"CompanyName", ""},            {L"FileDescription", ""},
                          {L"InternalName", ""},           {L"LegalCopyright", ""},
                          {L"LegalTrademarks", ""},        {L"OriginalFilename", ""},
                          {L"ProductName", ""},            {L"Comments", ""}};
  for (const Field& f : fields) {
    std::wstring path = std::wstring(L"\\StringFileInfo\\080403A8\\") + f.name;
    wchar_t* text = nullptr;
    const std::string name = text::WideToUtf8(f.name, text::Mode::kLossy);
    if (!VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&text), &len)) {
      d.push_back(name + " is absent");
      continue;
    }
    std::wstring value = text && len ? std::wstring(text, len) : std::wstring();
    if (const auto nul = value.find(L'\0'); nul != std::wstring::npos) value.resize(nul);
    Expect(d, name, text::WideToUtf8(value, text::Mode::kLossy), f.value);
  }
  Check("version.strings", d);
}

// ---------------------------------------------------------------------------------------------

void PinYinChecks() {
  std::vector<std::string> d;
  char* initials = nullptr;
  const std::string name = "\xBF\xD5\xB5\xF7";  // 空调 in code page 936
  GetPinYinFirstChar(name.data(), name.size(), &initials);
  Expect(d, "initials of 空调", initials ? initials : "<null>", "kt");
  std::free(initials);  // the library and the program share msvcrt's heap
  Check("pinyin.bound_at_load", d);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"writes") return Writes();
  if (mode == L"registry") {
    RegistryChecks();
  } else if (mode == L"text") {
    TextChecks();
  } else if (mode == L"version" && argc > 2) {
    VersionChecks(argv[2]);
  } else if (mode == L"pinyin") {
    PinYinChecks();
  } else {
    Out("usage: platform_win32_check writes|registry|text|version EXE|pinyin");
    return 2;
  }
  Out("CHECKS: " + std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
  return failed || !passed ? 1 : 0;
}

// The Windows platform layer where only Windows (or Wine) can check it: the registry reader
// against values that the system's own "reg" tool wrote, the program's version information, and
// PinYin.dll bound at load. Run under Wine by ctest; UpVrek.exe must lie beside this program.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "PinYin.h"
#include "platform/registry.h"
#include "text/wide.h"

namespace {

// ---------------------------------------------------------------------------------------------
// The registry: the cases of the settings-file reader's tests, as real registry values.

const std::string kRead = "SOFTWARE\\Brantelvoss\\Check\\";
const std::string kView32 = "HKLM\\SOFTWARE\\Wow6432Node\\Brantelvoss\\Check\\";
const std::string kView64 = "HKLM\\SOFTWARE\\Brantelvoss\\Check\\";
const std::string kUser = "HKCU\\SOFTWARE\\Brantelvoss\\Check\\";

// The arguments of one run of "reg", after the program name.
using Write = std::vector<std::string>;

Write Add(const std::string& key, const std::string& name, const std::string& type,
          const std::string& data) {
  return {"add", key, "/v", name, "/t", type, "/d", data, "/f"};
}
Write AddKey(const std::string& key) { return {"add", key, "/f"}; }
Write Default(const std::string& key, const std::string& data) {
  return {"add", key, "/ve", "/d", data, "/f"};
}
Write DelValue(const std::string& key, const std::string& name) {
  return {"delete", key, "/v", name, "/f"};
}
Write DelKey(const std::string& key) { return {"delete", key, "/f"}; }

// What the reader sees under one key: whether it exists, then the three values or the text of
// the error reading each raised.
struct Seen {
  bool key = false;
  std::string odbc, user, pass;
  bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os) {
  *os << "{key " << (s.key ? "exists" : "missing") << ", ODBCNAME "
      << testing::PrintToString(s.odbc) << ", USERNAME " << testing::PrintToString(s.user)
      << ", PASSWORD " << testing::PrintToString(s.pass) << "}";
}

// A case's name is also the name of the key it reads.
struct RegistryCase {
  std::string name;
  std::vector<Write> writes;
  Seen expected;
};

void PrintTo(const RegistryCase& c, std::ostream* os) { *os << c.name; }

std::vector<Write> Values(const std::string& key) {
  return {Add(key, "ODBCNAME", "REG_SZ", "VrekODBC"),
          Add(key, "USERNAME", "REG_SZ", "240224042406"), Add(key, "PASSWORD", "REG_SZ", "3503")};
}

std::vector<Write> Then(std::vector<Write> writes, Write last) {
  writes.push_back(std::move(last));
  return writes;
}

const std::string kInvalid = "error: Invalid data type for ";

const std::vector<RegistryCase> kRegistryCases = {
    {"values_of_the_32_bit_view",
     Values(kView32 + "values_of_the_32_bit_view"),
     {true, "VrekODBC", "240224042406", "3503"}},
    {"chinese_text",
     {Add(kView32 + "chinese_text", "ODBCNAME", "REG_SZ", "资产库")},
     {true, "资产库", "", ""}},
    {"text_beyond_the_basic_plane",
     {Add(kView32 + "text_beyond_the_basic_plane", "ODBCNAME", "REG_SZ", "资\xF0\xA0\x80\x80")},
     {true, "资\xF0\xA0\x80\x80", "", ""}},
    {"key_missing", Values(kView32 + "key_missing_other"), {false, "", "", ""}},
    {"key_under_current_user", Values(kUser + "key_under_current_user"), {false, "", "", ""}},
    {"key_of_the_64_bit_view", Values(kView64 + "key_of_the_64_bit_view"), {false, "", "", ""}},
    {"both_views_32_bit_wins",
     {Add(kView64 + "both_views_32_bit_wins", "ODBCNAME", "REG_SZ", "sixty-four"),
      Add(kView32 + "both_views_32_bit_wins", "ODBCNAME", "REG_SZ", "thirty-two")},
     {true, "thirty-two", "", ""}},
    {"names_in_other_letter_case",
     {Add("HKLM\\software\\wow6432node\\brantelvoss\\check\\NAMES_IN_OTHER_LETTER_CASE", "odbcname",
          "REG_SZ", "x")},
     {true, "x", "", ""}},
    {"values_missing", {AddKey(kView32 + "values_missing")}, {true, "", "", ""}},
    {"empty_string", {Add(kView32 + "empty_string", "ODBCNAME", "REG_SZ", "")}, {true, "", "", ""}},
    {"blanks_kept_as_stored",
     {Add(kView32 + "blanks_kept_as_stored", "ODBCNAME", "REG_SZ", "  VrekODBC "),
      Add(kView32 + "blanks_kept_as_stored", "USERNAME", "REG_SZ", " 2402\t")},
     {true, "  VrekODBC ", " 2402\t", ""}},
    {"escapes",
     {Add(kView32 + "escapes", "ODBCNAME", "REG_SZ", "a\\b\"c")},
     {true, "a\\b\"c", "", ""}},
    {"expandable_string_taken_as_stored",
     {Add(kView32 + "expandable_string_taken_as_stored", "ODBCNAME", "REG_EXPAND_SZ", "%DSN%"),
      Add(kView32 + "expandable_string_taken_as_stored", "USERNAME", "REG_EXPAND_SZ",
          "%SystemRoot%\\x")},
     {true, "%DSN%", "%SystemRoot%\\x", ""}},
    {"dword_and_binary_are_read_errors",
     {Add(kView32 + "dword_and_binary_are_read_errors", "ODBCNAME", "REG_DWORD", "1"),
      Add(kView32 + "dword_and_binary_are_read_errors", "USERNAME", "REG_BINARY", "3234"),
      Add(kView32 + "dword_and_binary_are_read_errors", "PASSWORD", "REG_MULTI_SZ", "A")},
     {true, kInvalid + "'ODBCNAME'", kInvalid + "'USERNAME'", kInvalid + "'PASSWORD'"}},
    {"qword_and_empty_binary_are_read_errors",
     {Add(kView32 + "qword_and_empty_binary_are_read_errors", "ODBCNAME", "REG_QWORD", "7"),
      Add(kView32 + "qword_and_empty_binary_are_read_errors", "PASSWORD", "REG_BINARY", "")},
     {true, kInvalid + "'ODBCNAME'", "", kInvalid + "'PASSWORD'"}},
    {"deleted_value",
     Then(Values(kView32 + "deleted_value"), DelValue(kView32 + "deleted_value", "PASSWORD")),
     {true, "VrekODBC", "240224042406", ""}},
    {"deleted_key",
     Then(Values(kView32 + "deleted_key"), DelKey(kView32 + "deleted_key")),
     {false, "", "", ""}},
    {"default_value_and_other_keys",
     {Add(kView32 + "default_value_and_other_keys_other", "ODBCNAME", "REG_SZ", "no"),
      Default(kView32 + "default_value_and_other_keys", "default"),
      Add(kView32 + "default_value_and_other_keys", "ODBCNAME", "REG_SZ", "yes")},
     {true, "yes", "", ""}},
};

// One argument quoted for the command line, as the C runtime's argument parser takes it apart.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled and the quote escaped; elsewhere they stand as
    // they are.
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(2 * backslashes, L'\\');
  return out + L"\"";
}

// Runs the system's "reg" with these arguments; "" when it succeeded, else what went wrong.
std::string RunReg(const Write& args) {
  wchar_t system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (!n || n >= MAX_PATH) return "no system directory";
  const std::wstring program = std::wstring(system) + L"\\reg.exe";
  std::wstring line = Quoted(program);
  for (const std::string& a : args) line += L" " + Quoted(text::Utf8ToWide(a, text::Mode::kStrict));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi))
    return "cannot start reg.exe (error " + std::to_string(GetLastError()) + ")";
  DWORD code = 1;
  const bool ended = WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0;
  if (ended) GetExitCodeProcess(pi.hProcess, &code);
  if (!ended) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (!ended) return "reg.exe did not end within a minute";
  return code == 0 ? "" : "reg.exe ended with " + std::to_string(code);
}

std::string ReadOrError(platform::TRegistry& reg, const char* name) {
  try {
    return reg.ReadString(name);
  } catch (const platform::ERegistryException& e) {
    return std::string("error: ") + e.what();
  }
}

class RegistryReader : public testing::TestWithParam<RegistryCase> {
 protected:
  // Every case's values, written once for the suite, in the order of the table.
  static void SetUpTestSuite() {
    for (const RegistryCase& c : kRegistryCases)
      for (const Write& w : c.writes) {
        std::string command = "reg";
        for (const std::string& a : w) command += " " + a;
        const std::string error = RunReg(w);
        if (!error.empty()) write_errors_ += command + ": " + error + "\n";
      }
  }
  static std::string write_errors_;
};

std::string RegistryReader::write_errors_;

TEST_P(RegistryReader, SeesWhatRegWrote) {
  ASSERT_EQ(write_errors_, "");
  const RegistryCase& c = GetParam();
  std::unique_ptr<platform::TRegistry> reg = platform::CreateRegistry();
  ASSERT_TRUE(reg);
  const std::string key = kRead + c.name;
  Seen seen;
  seen.key = reg->KeyExists(key);
  if (seen.key) {
    ASSERT_TRUE(reg->OpenKeyReadOnly(key));
    seen.odbc = ReadOrError(*reg, "ODBCNAME");
    seen.user = ReadOrError(*reg, "USERNAME");
    seen.pass = ReadOrError(*reg, "PASSWORD");
    reg->CloseKey();
  }
  EXPECT_EQ(seen, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryReader, testing::ValuesIn(kRegistryCases),
                         [](const testing::TestParamInfo<RegistryCase>& info) {
                           return info.param.name;
                         });

// What a user is told about values of other types: the key, the value and the type found; and
// about a missing key.
TEST_F(RegistryReader, ReasonsNameTheValueAndItsType) {
  ASSERT_EQ(write_errors_, "");
  std::unique_ptr<platform::TRegistry> reg = platform::CreateRegistry();
  ASSERT_TRUE(reg);
  const std::string key = kRead + "dword_and_binary_are_read_errors";
  ASSERT_TRUE(reg->OpenKeyReadOnly(key));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ODBCNAME", "REG_DWORD"}, {"USERNAME", "REG_BINARY"}, {"PASSWORD", "REG_MULTI_SZ"}};
  for (const auto& [name, type] : cases) {
    try {
      reg->ReadString(name);
      ADD_FAILURE() << "read " << name;
    } catch (const platform::ERegistryException& e) {
      EXPECT_EQ(e.Reason(), "注册表 HKEY_LOCAL_MACHINE\\" + key + " 中的 " + name + "：类型为 " +
                                type + "，应为字符串（REG_SZ 或 REG_EXPAND_SZ）");
    }
  }
  reg->CloseKey();
  EXPECT_EQ(reg->KeyAbsence(kRead + "no_such_key"),
            "注册表（32 位视图）中没有 HKEY_LOCAL_MACHINE\\" + kRead + "no_such_key");
}

TEST(RegistryReaderWithoutKey, ReadFailsAndAMissingKeyDoesNotOpen) {
  std::unique_ptr<platform::TRegistry> reg = platform::CreateRegistry();
  ASSERT_TRUE(reg);
  EXPECT_EQ(ReadOrError(*reg, "ODBCNAME"), "error: no key is open");
  EXPECT_FALSE(reg->OpenKeyReadOnly(kRead + "no_such_key"));
}

// ---------------------------------------------------------------------------------------------
// Version information of UpVrek.exe.

class VersionInformation : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    std::wstring file(self, n);
    file.resize(file.find_last_of(L"\\/") + 1);
    file += L"UpVrek.exe";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version information in "
                        << text::WideToUtf8(file, text::Mode::kLossy);
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, data_.data()));
  }

  std::vector<BYTE> data_;
};

std::string Dotted(DWORD ms, DWORD ls) {
  return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." +
         std::to_string(HIWORD(ls)) + "." + std::to_string(LOWORD(ls));
}

TEST_F(VersionInformation, Numbers) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
  ASSERT_TRUE(fixed);
  EXPECT_EQ(Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS), VREK_VERSION);
  EXPECT_EQ(Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS), VREK_VERSION);
}

TEST_F(VersionInformation, OneTranslationChinesePrcCodePage936) {
  WORD* translation = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &len));
  ASSERT_EQ(len, 4u) << "not exactly one translation";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X%04X", translation[0], translation[1]);
  EXPECT_STREQ(buf, "080403A8");
}

TEST_F(VersionInformation, Strings) {
  // The whole table, absent entries included, compared at once.
  const std::vector<std::pair<std::wstring, std::string>> expected = {
      {L"FileVersion", VREK_VERSION}, {L"ProductVersion", VREK_PRODUCT_VERSION},
      {L"CompanyName", ""},           {L"FileDescription", ""},
      {L"InternalName", ""},          {L"LegalCopyright", ""},
      {L"LegalTrademarks", ""},       {L"OriginalFilename", ""},
      {L"ProductName", ""},           {L"Comments", ""}};
  std::vector<std::pair<std::string, std::string>> want, got;
  for (const auto& [name, value] : expected) {
    want.emplace_back(text::WideToUtf8(name, text::Mode::kLossy), value);
    const std::wstring path = L"\\StringFileInfo\\080403A8\\" + name;
    wchar_t* text = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(data_.data(), path.c_str(), reinterpret_cast<void**>(&text), &len)) {
      got.emplace_back(text::WideToUtf8(name, text::Mode::kLossy), "<absent>");
      continue;
    }
    std::wstring v = text && len ? std::wstring(text, len) : std::wstring();
    if (const auto nul = v.find(L'\0'); nul != std::wstring::npos) v.resize(nul);
    got.emplace_back(text::WideToUtf8(name, text::Mode::kLossy),
                     text::WideToUtf8(v, text::Mode::kLossy));
  }
  EXPECT_EQ(got, want);
}

// ---------------------------------------------------------------------------------------------

TEST(PinYinDll, BoundAtLoadGivesTheInitials) {
  char* initials = nullptr;
  const std::string name = "\xBF\xD5\xB5\xF7";  // 空调 in code page 936
  GetPinYinFirstChar(name.data(), name.size(), &initials);
  ASSERT_NE(initials, nullptr);
  EXPECT_STREQ(initials, "kt");
  std::free(initials);  // the library and the program share msvcrt's heap
}

}  // namespace

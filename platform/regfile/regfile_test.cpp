#include "platform/regfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr const char* kKey = "SOFTWARE\\Brantelvoss\\Vrek";

// What the start-up code sees of one file: whether the key exists, and the three values as
// read (or the error text of a failed read).
struct Seen {
  bool key = false;
  std::string odbc, user, pass;
};

std::string ReadOrError(TRegistry& reg, const char* name) {
  try {
    return reg.ReadString(name);
  } catch (const ERegistryException& e) {
    return std::string("error: ") + e.what();
  }
}

Seen Read(const std::string& bytes) {
  // CTest runs the cases as parallel processes: each needs a file of its own.
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  for (char& ch : name) {
    if (ch == '/') ch = '_';
  }
  const std::string path = testing::TempDir() + name + "." + std::to_string(::getpid()) + ".reg";
  {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }
  TRegistryFile reg(path);
  Seen seen;
  seen.key = reg.KeyExists(kKey);
  if (seen.key && reg.OpenKeyReadOnly(kKey)) {
    seen.odbc = ReadOrError(reg, "ODBCNAME");
    seen.user = ReadOrError(reg, "USERNAME");
    seen.pass = ReadOrError(reg, "PASSWORD");
    reg.CloseKey();
  }
  std::remove(path.c_str());
  return seen;
}

// UTF-16LE encoding of UTF-8 text in the Basic Multilingual Plane, with a byte-order mark.
std::string Utf16Le(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    char32_t cp;
    if (c < 0x80) {
      cp = c;
      i += 1;
    } else if ((c >> 5) == 6) {
      cp = ((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
      i += 2;
    } else {
      cp = ((c & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
      i += 3;
    }
    out.push_back(static_cast<char>(cp & 0xFF));
    out.push_back(static_cast<char>(cp >> 8));
  }
  return out;
}

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kSection = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\r\n";

struct Case {
  const char* name;
  std::string file;
  Seen expected;
};

// Keeps the bytes of a case out of test names and failure reports.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RegistryFileCases : public testing::TestWithParam<Case> {};

TEST_P(RegistryFileCases, ReadsWhatTheStartUpCodeSees) {
  const Case& c = GetParam();
  Seen seen = Read(c.file);
  EXPECT_EQ(seen.key, c.expected.key);
  EXPECT_EQ(seen.odbc, c.expected.odbc);
  EXPECT_EQ(seen.user, c.expected.user);
  EXPECT_EQ(seen.pass, c.expected.pass);
}

const std::string kValues =
    "\"ODBCNAME\"=\"VrekODBC\"\r\n\"USERNAME\"=\"240224042406\"\r\n\"PASSWORD\"=\"3503\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Files, RegistryFileCases,
    testing::Values(
        Case{"utf16_export",
             Utf16Le(kV5 + kSection + kValues),
             {true, "VrekODBC", "240224042406", "3503"}},
        Case{"utf8_export", kV5 + kSection + kValues, {true, "VrekODBC", "240224042406", "3503"}},
        Case{"utf8_with_bom_and_lf",
             "\xEF\xBB\xBF"
             "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\n"
             "\"ODBCNAME\"=\"资产库\"\n",
             {true, "资产库", "", ""}},
        Case{"regedit4_in_code_page_936",
             "REGEDIT4\r\n\r\n" + kSection + "\"ODBCNAME\"=\"\xD7\xCA\xB2\xFA\"\r\n",
             {true, "资产", "", ""}},
        Case{"utf16_unpaired_surrogate_read_as_replacement",
             Utf16Le(kV5 + kSection + "\"ODBCNAME\"=\"a") + std::string("\x00\xD8", 2) +
                 Utf16Le("\"\r\n").substr(2),
             {true, "a\xEF\xBF\xBD", "", ""}},
        Case{"overlong_utf8_is_not_utf8_but_code_page_936",
             "REGEDIT4\r\n\r\n" + kSection + "\"ODBCNAME\"=\"\xC0\x80\"\r\n",
             {true, "纮", "", ""}},
        Case{"key_missing",
             kV5 + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n" + kValues,
             {false, "", "", ""}},
        Case{"key_under_current_user_is_not_the_key",
             kV5 + "[HKEY_CURRENT_USER\\SOFTWARE\\Brantelvoss\\Vrek]\r\n" + kValues,
             {false, "", "", ""}},
        Case{"key_of_the_32_bit_view",
             kV5 + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Brantelvoss\\Vrek]\r\n" + kValues,
             {true, "VrekODBC", "240224042406", "3503"}},
        Case{"names_in_other_letter_case",
             kV5 + "[hkey_local_machine\\software\\brantelvoss\\VREK]\r\n\"odbcname\"=\"x\"\r\n",
             {true, "x", "", ""}},
        Case{"values_missing", kV5 + kSection, {true, "", "", ""}},
        Case{"blanks_kept_as_stored",
             kV5 + kSection + "\"ODBCNAME\"=\"  VrekODBC \"\r\n\"USERNAME\"=\" 2402\t\"\r\n",
             {true, "  VrekODBC ", " 2402\t", ""}},
        Case{"escapes",
             kV5 + kSection + "\"ODBCNAME\"=\"a\\\\b\\\"c\"\r\n",
             {true, "a\\b\"c", "", ""}},
        Case{"expandable_string_taken_as_stored",
             kV5 + kSection + "\"ODBCNAME\"=hex(2):25,00,44,00,53,00,4e,00,25,00,\\\r\n  00,00\r\n",
             {true, "%DSN%", "", ""}},
        Case{"expandable_string_regedit4",
             "REGEDIT4\r\n" + kSection + "\"ODBCNAME\"=hex(2):25,44,25,00\r\n",
             {true, "%D%", "", ""}},
        Case{
            "dword_and_binary_are_read_errors",
            kV5 + kSection +
                "\"ODBCNAME\"=dword:00000001\r\n\"USERNAME\"=hex:32,34\r\n\"PASSWORD\"=hex(7):41,"
                "00,00,00\r\n",
            {true, "error: Invalid data type for 'ODBCNAME'",
             "error: Invalid data type for 'USERNAME'", "error: Invalid data type for 'PASSWORD'"}},
        Case{"deleted_value",
             kV5 + kSection + kValues + "\"PASSWORD\"=-\r\n",
             {true, "VrekODBC", "240224042406", ""}},
        Case{"deleted_key",
             kV5 + kSection + kValues + "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\r\n",
             {false, "", "", ""}},
        Case{"comments_and_other_sections",
             kV5 + "; exported\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"ODBCNAME\"=\"no\"\r\n" +
                 kSection + "@=\"default\"\r\n\"ODBCNAME\"=\"yes\"\r\n",
             {true, "yes", "", ""}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(RegistryFile, MissingFileHoldsNoKey) {
  TRegistryFile reg(testing::TempDir() + "no_such_dir/none.reg");
  EXPECT_FALSE(reg.KeyExists(kKey));
  EXPECT_FALSE(reg.OpenKeyReadOnly(kKey));
}

// The message for logs, and the reason a user is told; neither quotes the line.
TEST(RegistryFile, MalformedFilesNameFileAndLine) {
  struct Bad {
    std::string file;
    std::string error;
    std::string reason;
  };
  const std::vector<Bad> bad = {
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\r\n",
       "f.reg:1: not a registry export file", "设置文件 f.reg 第 1 行：不是注册表导出文件"},
      {kV5 + kSection + "\"ODBCNAME\"=\"open\r\n", "f.reg:4: unterminated string value",
       "设置文件 f.reg 第 4 行：字符串值缺少结束的双引号"},
      {kV5 + kSection + "ODBCNAME=\"x\"\r\n", "f.reg:4: expected a value name in double quotes",
       "设置文件 f.reg 第 4 行：值名应写在双引号中"},
      {kV5 + kSection + "\"ODBCNAME\" \"x\"\r\n", "f.reg:4: expected '=' after the value name",
       "设置文件 f.reg 第 4 行：值名之后应为“=”"},
      {kV5 + kSection + "\"ODBCNAME\"=sz:x\r\n", "f.reg:4: unknown value type",
       "设置文件 f.reg 第 4 行：未知的值类型"},
      {kV5 + kSection + "\"ODBCNAME\"=hex(2):4g,00\r\n", "f.reg:4: malformed hex data",
       "设置文件 f.reg 第 4 行：十六进制数据有误"},
      {kV5 + "[HKEY_LOCAL_MACHINE\\SOFTWARE\r\n", "f.reg:3: unterminated key name",
       "设置文件 f.reg 第 3 行：键名缺少结束的“]”"},
      {"REGEDIT4\r\n" + kSection + "\"ODBCNAME\"=\"\xFF\"\r\n",
       "f.reg: neither UTF-16, UTF-8 nor code page 936",
       "设置文件 f.reg 的编码既不是 UTF-16、UTF-8，也不是代码页 936"},
      {"REGEDIT4\r\n" + kSection + "\"ODBCNAME\"=hex(2):41,d7,00\r\n",
       "f.reg:3: hex(2) data: text is not valid code page 936 at byte 1",
       "设置文件 f.reg 第 3 行：hex(2) 数据既不是 UTF-8，也不是代码页 936"},
  };
  for (const Bad& b : bad) {
    try {
      ParseRegistryExport(b.file, "f.reg");
      ADD_FAILURE() << "accepted: " << b.file;
    } catch (const ERegistryException& e) {
      EXPECT_EQ(std::string(e.what()), b.error);
      EXPECT_EQ(e.Reason(), b.reason);
    }
  }
}

// What a user is told about a value of another type, where a value is, and why there is no key.
TEST(RegistryFile, ReasonsNameTheFileTheLineAndTheValue) {
  const std::string path = testing::TempDir() + "reasons." + std::to_string(::getpid()) + ".reg";
  {
    std::ofstream out(path, std::ios::binary);
    out << kV5 << kSection
        << "\"ODBCNAME\"=dword:00000001\r\n\r\n\"PASSWORD\"=hex(7):41,00,00,00\r\n";
  }
  TRegistryFile reg(path);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"ODBCNAME", "设置文件 " + path + " 第 4 行的 ODBCNAME：类型为 dword，应为字符串"},
      {"Password", "设置文件 " + path + " 第 6 行的 Password：类型为 hex(7)，应为字符串"},
  };
  for (const auto& [name, reason] : cases) {
    try {
      reg.ReadString(name);
      ADD_FAILURE() << "read " << name;
    } catch (const ERegistryException& e) {
      EXPECT_EQ(e.Reason(), reason);
    }
  }
  EXPECT_EQ(reg.ValuePlace("USERNAME"), "设置文件 " + path + " 中的 USERNAME");
  EXPECT_EQ(reg.KeyAbsence("SOFTWARE\\Other"),
            "设置文件 " + path + " 中没有 HKEY_LOCAL_MACHINE\\SOFTWARE\\Other");
  std::remove(path.c_str());
  TRegistryFile missing(path);
  EXPECT_FALSE(missing.KeyExists(kKey));
  EXPECT_EQ(missing.KeyAbsence(kKey), "设置文件 " + path + " 不存在");
}

}  // namespace
}  // namespace platform

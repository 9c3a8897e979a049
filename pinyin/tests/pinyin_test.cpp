#include "PinYin.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "text/text.h"

namespace {

std::string ToGbk(const std::string &utf8) { return text::Utf8ToGbk(utf8, text::Mode::kStrict); }

// Calls the library on an exactly-sized heap copy of the first `length` bytes,
// so that the sanitizer catches any read beyond them.
std::string Initials(const std::string &gbk, size_t length) {
  char *text = static_cast<char *>(std::malloc(length == 0 ? 1 : length));
  std::memcpy(text, gbk.data(), length);
  char *initials = nullptr;
  GetPinYinFirstChar(text, length, &initials);
  std::free(text);
  EXPECT_NE(initials, nullptr);
  std::string result = initials != nullptr ? initials : "<null>";
  std::free(initials);
  return result;
}
std::string Initials(const std::string &gbk) { return Initials(gbk, gbk.size()); }
std::string InitialsUtf8(const std::string &utf8) { return Initials(ToGbk(utf8)); }

struct Case {
  const char *text;  // UTF-8, converted to GBK for the call
  const char *initials;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.text; }

class Heteronyms : public testing::TestWithParam<Case> {};

// Words whose characters' most common readings give other initials.
TEST_P(Heteronyms, WordReadingWins) {
  EXPECT_EQ(InitialsUtf8(GetParam().text), GetParam().initials);
}

INSTANTIATE_TEST_SUITE_P(
    Words, Heteronyms,
    testing::Values(Case{"空调", "kt"}, Case{"长度尺", "cdc"}, Case{"银行卡", "yhk"},
                    Case{"银行卡读卡器", "yhkdkq"}, Case{"重量", "zl"}, Case{"重量秤", "zlc"},
                    Case{"行李", "xl"}, Case{"行李车", "xlc"}, Case{"行车记录仪", "xcjly"},
                    Case{"音乐", "yy"}, Case{"乐器", "yq"}, Case{"单反相机", "dfxj"},
                    Case{"会计", "kj"}, Case{"会议桌", "hyz"}, Case{"调查", "dc"},
                    Case{"调音台", "tyt"}, Case{"长城牌保险柜", "ccpbxg"},
                    Case{"中央空调室外机", "zyktswj"}, Case{"会计凭证装订机", "kjpzzdj"},
                    Case{"数码相机", "smxj"}, Case{"重庆", "cq"}, Case{"长尾夹", "cwj"},
                    Case{"调压器", "tyq"}, Case{"弹簧秤", "thc"},
                    Case{"儿童桌椅", "etzy"}));  // 儿 is ér, not the suffix r

class NonChinese : public testing::TestWithParam<Case> {};

TEST_P(NonChinese, Rule) { EXPECT_EQ(InitialsUtf8(GetParam().text), GetParam().initials); }

INSTANTIATE_TEST_SUITE_P(
    Rules, NonChinese,
    testing::Values(Case{"HP LaserJet 1020打印机", "hplaserjet1020dyj"},
                    Case{"联想ThinkPad笔记本电脑", "lxthinkpadbjbdn"}, Case{"A4复印纸", "a4fyz"},
                    Case{"Ａ４复印纸", "a4fyz"},  // full-width letter and digit
                    Case{"①号柜", "1hg"},         // circled digit
                    Case{"空调    ", "kt"},       // trailing blanks
                    Case{"（空调）", "kt"},       // full-width punctuation
                    Case{"φ10mm钻头", "10mmzt"},  // Greek letter: no reading
                    Case{"U盘-32G/个", "up32gg"}, Case{"   ", ""}, Case{"", ""}));

class Units : public testing::TestWithParam<Case> {};

// The unit dictionary's seed rows: each unit's initials against its initial letter.
TEST_P(Units, StartWithUnitLetter) {
  EXPECT_EQ(InitialsUtf8(GetParam().text), GetParam().initials);
}

INSTANTIATE_TEST_SUITE_P(Seed, Units,
                         testing::Values(Case{"请选择", "qxz"}, Case{"个", "g"}, Case{"套", "t"},
                                         Case{"米", "m"}, Case{"Kg", "kg"}, Case{"台", "t"},
                                         Case{"张", "z"}, Case{"盏", "z"}, Case{"支", "z"},
                                         Case{"卷", "j"}, Case{"把", "b"}, Case{"付", "f"},
                                         Case{"条", "t"}, Case{"瓶", "p"}, Case{"包", "b"},
                                         Case{"双", "s"}, Case{"盒", "h"}, Case{"批", "p"},
                                         Case{"本", "b"}, Case{"面", "m"}, Case{"床", "c"},
                                         Case{"只", "z"}, Case{"筒", "t"}, Case{"副", "f"},
                                         Case{"箱", "x"}, Case{"层", "c"}, Case{"T", "t"}));

// The hand-checked corpus (tests/hand_checked.tsv): every name must give the
// initials a reader wrote down for it. Both sides are compared as one
// transcript, "name<TAB>initials" a line, so a failure lists every name that
// differs.
TEST(HandChecked, EveryNameGivesItsInitials) {
  std::ifstream in(PINYIN_HAND_CHECKED);
  ASSERT_TRUE(in) << "cannot read " << PINYIN_HAND_CHECKED;
  std::string expected, actual;
  size_t names = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, initials;
    ASSERT_TRUE(std::getline(fields, name, '\t') && std::getline(fields, initials, '\t'))
        << "malformed line: " << line;
    expected += name + "\t" + initials + "\n";
    actual += name + "\t" + InitialsUtf8(name) + "\n";
    ++names;
  }
  EXPECT_GE(names, 300u);
  EXPECT_EQ(actual, expected);
}

struct Bytes {
  const char *name;
  std::string gbk;
  size_t length;  // bytes passed; the rest of gbk lies beyond the text
  const char *initials;
};

void PrintTo(const Bytes &b, std::ostream *os) { *os << b.name; }

class InvalidGbk : public testing::TestWithParam<Bytes> {};

TEST_P(InvalidGbk, BadByteSkipped) {
  EXPECT_EQ(Initials(GetParam().gbk, GetParam().length), GetParam().initials);
}

// 空 is BFD5, 调 is B5F7.
INSTANTIATE_TEST_SUITE_P(
    Bytes, InvalidGbk,
    testing::Values(Bytes{"lead byte at the end", "\xBF\xD5\xB5", 3, "k"},
                    Bytes{"length cuts a character", "\xBF\xD5\xB5\xF7", 3, "k"},
                    Bytes{"length cuts a phrase", "\xBF\xD5\xB5\xF7", 2, "k"},
                    Bytes{"lead before a digit",
                          "\xB5"
                          "1\xBF\xD5",
                          4, "1k"},
                    Bytes{"lead before DEL",
                          "\x81\x7F"
                          "A",
                          3, "a"},
                    Bytes{"lead before 0xFF", "\xBF\xFF\xBF\xD5", 4, "k"},
                    Bytes{"0x80 and 0xFF alone",
                          "\x80\xFF"
                          "b",
                          3, "b"},
                    Bytes{"NUL inside the text", std::string("a\0b", 3), 3, "ab"}));

TEST(Contract, NullPreviousAndNullEmptyText) {
  char *initials = nullptr;
  GetPinYinFirstChar(nullptr, 0, &initials);
  ASSERT_NE(initials, nullptr);
  EXPECT_STREQ(initials, "");
  std::free(initials);
}

// Each call releases the previous result; the leak checker of the sanitizer
// build fails the test when one is not.
TEST(Contract, PreviousResultReleased) {
  const std::string names[] = {ToGbk("空调"), ToGbk("HP LaserJet 1020打印机"), ""};
  char *initials = nullptr;
  for (int i = 0; i < 3000; ++i) {
    const std::string &name = names[i % 3];
    GetPinYinFirstChar(name.data(), name.size(), &initials);
  }
  ASSERT_NE(initials, nullptr);
  EXPECT_STREQ(initials, "");
  std::free(initials);
}

// The text may be the previous result itself.
TEST(Contract, TextIsPreviousResult) {
  char *initials = nullptr;
  GetPinYinFirstChar("AbC 12", 6, &initials);
  GetPinYinFirstChar(initials, std::strlen(initials), &initials);
  ASSERT_NE(initials, nullptr);
  EXPECT_STREQ(initials, "abc12");
  std::free(initials);
}

TEST(Contract, ConcurrentCallsAgree) {
  const std::string name = ToGbk("联想ThinkPad笔记本电脑 银行卡读卡器 空调");
  const std::string expected = Initials(name);
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (auto &r : results) {
    threads.emplace_back([&name, &r] {
      char *initials = nullptr;
      for (int i = 0; i < 500; ++i) GetPinYinFirstChar(name.data(), name.size(), &initials);
      r = initials;
      std::free(initials);
    });
  }
  for (auto &t : threads) t.join();
  for (const auto &r : results) EXPECT_EQ(r, expected);
  EXPECT_EQ(expected, "lxthinkpadbjbdnyhkdkqkt");
}

}  // namespace

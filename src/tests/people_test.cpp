// How persons are converted for the re-keying, and which persons the pre-flight check refuses.
#include "people.h"

#include <gtest/gtest.h>

#include "fake_driver.h"

using platform::TDateTime;
using platform::Variant;

namespace {

struct Person {
  Variant no = Variant::Integer(1), sign = Variant::Text("1"), name = Variant::Text("张三"),
          sex = Variant::Text("男"), bdate = Variant::DateTime({1975, 3, 3, 10, 30, 0, 0}),
          pass = Variant::Text(""), card = Variant::Text("A001"), dept = Variant::Integer(5);
};

struct People : ::testing::Test {
  FakeDriver driver;
  platform::TDatabase db{driver};
  platform::TQuery query;

  void SetUp() override {
    db.DatabaseName = "VrekDB";
    db.SetConnected(true);
    query.DatabaseName = "VrekDB";
  }
  void Load(const std::vector<Person>& persons) {
    platform::ResultSet rs{{"pe_no", "pe_sign", "pe_name", "pe_sex", "pe_bdate", "pe_pass",
                            "pe_card", "pe_dept", "pe_memo"},
                           {}};
    for (const Person& p : persons)
      rs.AddRow(
          {p.no, p.sign, p.name, p.sex, p.bdate, p.pass, p.card, p.dept, Variant::Text("memo")});
    driver.answer = [rs](const std::string&) { return rs; };
    query.SQL.Clear();
    query.SQL.Add("select * from lib_people");
    query.Open();
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const PersonField& f : kPersonFields) out.push_back(PersonValueText(query, f));
    return out;
  }
};

TEST_F(People, ValueTextsOfOneRow) {
  struct Case {
    const char* what;
    Person person;
    std::vector<std::string> expected;
  };
  Person padded;
  padded.name = Variant::Text("张三    ");
  padded.card = Variant::Text("\t A001 \r\n");
  padded.no = Variant::Integer(-12);
  Person nulls;
  nulls.sign = nulls.name = nulls.sex = nulls.pass = nulls.card = Variant();
  Person other;
  other.no = Variant::Numeric(1200, 2);
  other.bdate = Variant::DateTime({2004, 12, 31, 23, 59, 59, 997});
  other.name = Variant::Text("O'Brien");
  other.dept = Variant::Text(" 42 ");
  const Case cases[] = {
      {"plain", Person{}, {"1", "1", "张三", "男", "19750303", "", "A001", "5"}},
      {"padded and negative", padded, {"-12", "1", "张三", "男", "19750303", "", "A001", "5"}},
      {"NULL texts read as empty", nulls, {"1", "", "", "", "19750303", "", "", "5"}},
      {"numeric, late time, quote, text number",
       other,
       {"12", "1", "O'Brien", "男", "20041231", "", "A001", "42"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Load({c.person});
    EXPECT_EQ(Texts(), c.expected);
  }
}

// The birth date is written as yyyymmdd with zeros in front, whatever the year.
TEST_F(People, BirthDatesAreEightDigits) {
  const std::pair<TDateTime, std::string> cases[] = {
      {{1, 1, 1, 0, 0, 0, 0}, "00010101"},           {{999, 9, 9, 0, 0, 0, 0}, "09990909"},
      {{1900, 1, 1, 0, 0, 0, 0}, "19000101"},        {{2000, 10, 1, 0, 0, 0, 0}, "20001001"},
      {{9999, 12, 31, 23, 59, 59, 997}, "99991231"},
  };
  for (const auto& [date, digits] : cases) {
    Person p;
    p.bdate = Variant::DateTime(date);
    Load({p});
    EXPECT_EQ(PersonValueText(query, kPersonFields[4]), digits) << digits;
  }
}

TEST_F(People, UnconvertibleValuesThrow) {
  struct Case {
    const char* field;
    Variant value;
  };
  const Case cases[] = {
      {"pe_no", Variant()},
      {"pe_no", Variant::Text("A7")},
      {"pe_no", Variant::Integer(int64_t{1} << 40)},
      {"pe_bdate", Variant()},
      {"pe_bdate", Variant::Text("1975-03-03")},
      {"pe_dept", Variant()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    Person p;
    if (std::string(c.field) == "pe_no") p.no = c.value;
    if (std::string(c.field) == "pe_bdate") p.bdate = c.value;
    if (std::string(c.field) == "pe_dept") p.dept = c.value;
    Load({p});
    EXPECT_THROW(Texts(), platform::EVariantError);
  }
}

TEST_F(People, CheckNamesEveryPersonTheReKeyingCannotCarry) {
  auto with = [](int64_t no, auto change) {
    Person p;
    p.no = Variant::Integer(no);
    change(p);
    return p;
  };
  auto same = [](Person&) {};
  std::vector<Person> persons = {
      with(1, same),
      with(2, [](Person& p) { p.name = Variant::Text("欧阳小芳子"); }),  // 10 bytes
      with(3, [](Person& p) { p.name = Variant::Text("欧阳小芳  "); }),  // 8 after trimming
      with(1234567890, same),
      with(-12345678, same),  // nine characters
      with(5,
           [](Person& p) {
             p.dept = Variant();
             p.bdate = Variant();
           }),
      with(6, [](Person& p) { p.sign = Variant::Text("10"); }),
      with(7, [](Person& p) { p.sex = Variant::Text("男性"); }),
      with(8, [](Person& p) { p.pass = Variant::Text("1234567890"); }),
      with(9, [](Person& p) { p.card = Variant::Text("一二三四五六七八九十1"); }),
      with(1, same),
  };
  Person null_no;
  null_no.no = Variant();
  persons.push_back(null_no);
  Load(persons);
  EXPECT_EQ(UnconvertiblePeople(query), (std::vector<std::string>{
                                            "人员编号 2：姓名超过8个字节",
                                            "人员编号 1234567890：人员编号超过9位",
                                            "人员编号 5：出生日期为空，部门为空",
                                            "人员编号 6：标志超过1个字节",
                                            "人员编号 7：性别超过2个字节",
                                            "人员编号 8：密码超过9个字节",
                                            "人员编号 9：卡号超过20个字节",
                                            "人员编号 1：人员编号与1重复",
                                            "人员编号 （空）：人员编号为空",
                                        }));
  EXPECT_TRUE(query.Eof());
}

TEST_F(People, DuplicateNumbersCompareAsTheNewKey) {
  Person a, b;
  a.no = Variant::Text("0012");
  b.no = Variant::Integer(12);
  Load({a, b});
  EXPECT_EQ(UnconvertiblePeople(query), std::vector<std::string>{"人员编号 12：人员编号与12重复"});
  Load({Person{}});
  EXPECT_TRUE(UnconvertiblePeople(query).empty());
}

// Whole messages for one person, exactly as many as are named, one more, and two more.
TEST(PeopleMessage, NamesAtMostTwentyPersons) {
  const std::string head =
      "人员数据无法转换为新的人员编号格式，升级已停止，人员数据未作任何改动。请修正以下人员后重新"
      "升级：";
  auto person = [](int i) { return "人员编号 " + std::to_string(i) + "：部门为空"; };
  auto named = [&](int from, int to) {
    std::string lines;
    for (int i = from; i <= to; ++i) lines += "\n" + person(i);
    return lines;
  };
  struct Case {
    int persons;
    std::string message;
  };
  const Case cases[] = {
      {1, head + "\n人员编号 1：部门为空"},
      {20, head + named(1, 20)},
      {21, head + named(1, 20) + "\n……另有1名人员无法转换"},
      {22, head + named(1, 20) + "\n……另有2名人员无法转换"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> problems;
    for (int i = 1; i <= c.persons; ++i) problems.push_back(person(i));
    EXPECT_EQ(UnconvertiblePeopleMessage(problems), c.message) << c.persons << " persons";
  }
}

}  // namespace

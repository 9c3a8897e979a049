// The steps over a recording driver that plays a database in a chosen state: which probes find
// nothing, which persons and asset names the reads return, which batch fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "fake_driver.h"
#include "frmUpVrekMain.h"
#include "pinyin_spy.h"
#include "platform/headless_gui.h"
#include "transcripts.h"
#include "upgrade_fixture.h"

using platform::ResultSet;
using platform::ShownMessageBox;
using platform::Variant;

namespace {

struct Steps : ::testing::Test, FakeWindow {
  std::set<std::string> absent;  // probes that find no row
  ResultSet people{
      {"pe_no", "pe_sign", "pe_name", "pe_sex", "pe_bdate", "pe_pass", "pe_card", "pe_dept"}, {}};
  ResultSet names{{"vr_name"}, {}};
  std::string failing;  // the batch that fails, once

  void SetUp() override {
    Open();
    form->GetPinYin = &PinYinSpy::GetPinYinFirstChar;
    form->FreePinYin = &PinYinSpy::Free;
    PinYinSpy::Reset();
    driver.answer = [this](const std::string& batch) {
      if (absent.count(batch)) return Rows(0);
      if (const auto check = PassingCheck(batch)) return *check;
      if (batch == "select * from lib_people") return people;
      if (batch == AssetNamesHead().back()) return names;
      return Rows(1);
    };
    driver.before = [this](const std::string& batch) {
      if (batch == failing) throw platform::EDatabaseError("Server says no.", 50000);
    };
  }
  void Run() { app.Click(form->btUp); }
};

TEST_F(Steps, ReKeyingSendsTrimmedQuotedValuesWithUnambiguousDates) {
  absent = {UpgradedRun()[3]};
  people = ResultSet(people.Columns(),
                     {
                         {Variant::Integer(12), Variant::Text("1"), Variant::Text("O'Brien "),
                          Variant::Text("男"), Variant::DateTime({1975, 3, 3, 10, 30, 0, 0}),
                          Variant(), Variant::Text("A001    "), Variant::Integer(5)},
                         {Variant::Integer(-7), Variant(), Variant::Text("''"), Variant(),
                          Variant::DateTime({2004, 12, 31, 23, 59, 59, 997}), Variant::Text("p'w"),
                          Variant(), Variant::Integer(0)},
                     });
  // The drop of lib_lsoutorder is the one statement whose failure is ignored.
  failing = "drop table lib_lsoutorder";
  Run();
  const Transcript expected =
      UpgradedSlice(0, 3) + PeopleHead() +
      Transcript{PersonInsert({"12", "1", "O''Brien", "男", "19750303", "", "A001", "5"}),
                 PersonInsert({"-7", "", "''''", "", "20041231", "p''w", "", "0"})} +
      PeopleTail() + UpgradedSlice(4, 12);
  EXPECT_EQ(driver.batches, expected);
  EXPECT_EQ(gui.Shown(), std::vector<ShownMessageBox>{kDoneBox});
}

TEST_F(Steps, PersonsThatCannotBeCarriedStopTheRunBeforeTheBlock) {
  absent = {UpgradedRun()[3]};
  auto person = [](Variant no, Variant name) {
    return std::vector<Variant>{no,
                                Variant::Text("1"),
                                name,
                                Variant::Text("男"),
                                Variant::DateTime({1975, 3, 3, 0, 0, 0, 0}),
                                Variant::Text(""),
                                Variant::Text(""),
                                Variant::Integer(1)};
  };
  people = ResultSet(people.Columns(), {person(Variant::Integer(1), Variant::Text("张三")),
                                        person(Variant::Integer(2), Variant::Text("欧阳小芳子")),
                                        person(Variant::Integer(1), Variant::Text("李明"))});
  Run();
  // The probe, the checks of tables and person numbers, the read of the persons.
  const Transcript head = PeopleHead();
  const auto read = std::find(head.begin(), head.end(), "select * from lib_people");
  ASSERT_NE(read, head.end());
  EXPECT_EQ(driver.batches, UpgradedSlice(0, 3) + Transcript(head.begin(), read + 1));
  EXPECT_EQ(gui.Shown(),
            std::vector<ShownMessageBox>{ErrorBox(
                "人员数据无法转换为新的人员编号格式，升级已停止，人员数据未作任何改动。请修正以下人"
                "员后重新升级：\n人员编号 2：姓名超过8个字节\n人员编号 1：人员编号与1重复")});
  EXPECT_FALSE(form->btUp.Enabled);
}

TEST_F(Steps, DatedStepsRecordTheirMarkFirst) {
  absent = {MarkLookup("ZZ20110520.DEPT"), MarkLookup("ZZ20110623.CHECK"),
            MarkLookup("ZZ20121106.CHECK")};
  Run();
  EXPECT_EQ(driver.batches, UpgradedSlice(0, 9) + Company() + CheckedFields() + AssetNamesHead());
  EXPECT_TRUE(PinYinSpy::arguments.empty());
  EXPECT_EQ(gui.Shown(), std::vector<ShownMessageBox>{kDoneBox});
}

TEST_F(Steps, InitialsOncePerNameInOrderAndTheLastResultReleased) {
  absent = {MarkLookup("ZZ20121106.CHECK")};
  names = ResultSet(names.Columns(), {{Variant()},
                                      {Variant::Text("19' 机柜")},
                                      {Variant::Text("Printer ")},
                                      {Variant::Text("台式计算机")}});
  Run();
  const Transcript expected =
      UpgradedSlice(0, 11) + AssetNamesHead() +
      Transcript{NameInsert("", "i''1"), NameInsert("19'' 机柜", "i''2"),
                 NameInsert("Printer ", "i''3"), NameInsert("台式计算机", "i''4")};
  EXPECT_EQ(driver.batches, expected);
  // GBK bytes, untrimmed, NULL as the empty text.
  EXPECT_EQ(PinYinSpy::arguments,
            (std::vector<std::string>{"", "19' \xBB\xFA\xB9\xF1", "Printer ",
                                      "\xCC\xA8\xCA\xBD\xBC\xC6\xCB\xE3\xBB\xFA"}));
  EXPECT_TRUE(PinYinSpy::chained);
  EXPECT_EQ(PinYinSpy::live, 0);
  EXPECT_EQ(gui.Shown(), std::vector<ShownMessageBox>{kDoneBox});
}

TEST_F(Steps, TheLastResultIsReleasedWhenAnInsertFails) {
  absent = {MarkLookup("ZZ20121106.CHECK")};
  names = ResultSet(names.Columns(),
                    {{Variant::Text("a")}, {Variant::Text("b")}, {Variant::Text("c")}});
  failing = NameInsert("b", "i''2");
  Run();
  const Transcript expected = UpgradedSlice(0, 11) + AssetNamesHead() +
                              Transcript{NameInsert("a", "i''1"), NameInsert("b", "i''2")};
  EXPECT_EQ(driver.batches, expected);
  EXPECT_EQ(PinYinSpy::arguments, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(PinYinSpy::live, 0);
  EXPECT_EQ(gui.Shown(), std::vector<ShownMessageBox>{ErrorBox("Server says no.")});
}

TEST_F(Steps, NoInitialsWhenTheMarkExists) {
  names = ResultSet(names.Columns(), {{Variant::Text("a")}});
  Run();
  EXPECT_EQ(driver.batches, UpgradedRun());
  EXPECT_TRUE(PinYinSpy::arguments.empty());
}

}  // namespace

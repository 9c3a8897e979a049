// The upgrade window over a recording driver: its layout, its buttons and the boxes it shows.
#include <gtest/gtest.h>

#include "fake_driver.h"
#include "frmUpVrekMain.h"
#include "platform/headless_gui.h"
#include "transcripts.h"
#include "upgrade_fixture.h"

using platform::MsgButtons;
using platform::MsgIcon;
using platform::ShownMessageBox;

namespace {

struct Window : ::testing::Test, FakeWindow {
  void SetUp() override {
    Open();
    // An upgraded database: every probe and lookup finds its row.
    driver.answer = [](const std::string&) { return Rows(1); };
  }
};

TEST_F(Window, LayoutAndTexts) {
  struct Expect {
    platform::TControl* control;
    const char* caption;
    int left, top, width, height;
  };
  const Expect expected[] = {
      {&form->Label1, "此次升级，修改了人员的代码类型，可以上包含字符。", 24, 16, 288, 12},
      {&form->Label2, "并解决Win2000中的打印问题。增加盘点功能！", 24, 32, 246, 12},
      {&form->Label3, "增加固定资产查询中快速定位中拼音首字母快速查询。", 24, 48, 288, 12},
      {&form->btUp, "开始升级", 24, 80, 75, 25},
      {&form->btExit, "退出", 248, 80, 75, 25},
  };
  ASSERT_EQ(form->Controls.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const Expect& e = expected[i];
    SCOPED_TRACE(e.caption);
    EXPECT_EQ(form->Controls[i], e.control);
    EXPECT_EQ(e.control->Caption, e.caption);
    EXPECT_EQ(
        (std::vector<int>{e.control->Left, e.control->Top, e.control->Width, e.control->Height}),
        (std::vector<int>{e.left, e.top, e.width, e.height}));
  }
  EXPECT_EQ(form->Caption, "固定资产升级程序     2012.11");
  EXPECT_EQ(form->ClientWidth, 351);
  EXPECT_EQ(form->ClientHeight, 118);
  EXPECT_EQ(form->btUp.TabOrder, 0);
  EXPECT_EQ(form->btExit.TabOrder, 1);
  EXPECT_EQ(form->qrTmp.DatabaseName, "VrekDB");
  EXPECT_EQ(form->qrTmp1.DatabaseName, "VrekDB");
}

TEST_F(Window, UpgradedDatabaseSendsProbesOnlyAndShowsCompletion) {
  std::vector<bool> enabled_while_sending;
  driver.before = [&](const std::string&) { enabled_while_sending.push_back(form->btUp.Enabled); };
  app.Click(form->btUp);
  EXPECT_EQ(driver.batches, UpgradedRun());
  EXPECT_EQ(enabled_while_sending, std::vector<bool>(UpgradedRun().size(), false));
  EXPECT_TRUE(form->btUp.Enabled);
  EXPECT_EQ(gui.Shown(), std::vector<ShownMessageBox>{kDoneBox});

  // A second run does the same again.
  driver.batches.clear();
  app.Click(form->btUp);
  EXPECT_EQ(driver.batches, UpgradedRun());
  EXPECT_EQ(gui.Shown(), (std::vector<ShownMessageBox>{kDoneBox, kDoneBox}));
}

TEST_F(Window, FailureShowsServerTextAndKeepsStartDisabled) {
  const Transcript all = UpgradedRun();
  for (size_t failing = 0; failing < all.size(); ++failing) {
    SCOPED_TRACE(all[failing]);
    driver.batches.clear();
    gui.ClearShown();
    form->btUp.Enabled = true;
    driver.before = [&](const std::string& batch) {
      if (batch == all[failing]) throw platform::EDatabaseError("Invalid object name 'x'.", 208);
    };
    app.Click(form->btUp);
    EXPECT_EQ(driver.batches, Transcript(all.begin(), all.begin() + failing + 1));
    EXPECT_FALSE(form->btUp.Enabled);
    EXPECT_EQ(gui.Shown(),
              (std::vector<ShownMessageBox>{{"Invalid object name 'x'.", "Brantel资产管理系统",
                                             MsgIcon::Error, MsgButtons::Ok}}));
    // A disabled button does not start another run.
    app.Click(form->btUp);
    EXPECT_EQ(driver.batches.size(), failing + 1);
  }
}

TEST_F(Window, ExitClosesWithoutTouchingTheDatabase) {
  EXPECT_FALSE(form->Closed());
  app.Click(form->btExit);
  EXPECT_TRUE(form->Closed());
  EXPECT_TRUE(driver.batches.empty());
  EXPECT_TRUE(gui.Shown().empty());
}

}  // namespace

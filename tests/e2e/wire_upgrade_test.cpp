// The upgrade over the path users run it on: ODBC driver manager, FreeTDS, TCP, the TDS listener
// and the stand-in engine. The listener's log must hold exactly the batches that the same run
// sends in-process: the wire adds, drops and alters nothing.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "files.h"
#include "frmUpVrekMain.h"
#include "listener_log.h"
#include "platform/headless_gui.h"
#include "platform/odbc_driver.h"
#include "process.h"
#include "settings.h"
#include "upgrade_fixture.h"

namespace {

using vrektest::TempDir;
using namespace std::chrono_literals;

// What FreeTDS's own client prints for a query against the listener: a reader that is not ours.
std::string QueryWithTsql(const std::string& port, const std::string& query) {
  vrektest::RunOptions options;
  options.input = query + "\ngo\n";
  options.limit = 20s;
  options.merge_stderr = true;
  return vrektest::RunProgram(
             {VREK_TSQL, "-H", "127.0.0.1", "-p", port, "-U", "sa", "-P", "", "-o", "q"}, options)
      .out;
}

class WireUpgrade : public testing::Test {
 protected:
  // Starts the listener on the fixture with extra options; a data source named after its port
  // reaches it.
  void Start(const std::vector<std::string>& options = {}) {
    server_ = StartListener(log_path_, options);
    ASSERT_TRUE(server_->Started()) << server_->FirstLine();
    // The driver manager caches what it read of the data-source file, so each server gets a data
    // source of its own name, added to the one file of the process.
    static TempDir odbc_dir;
    static std::string odbc_ini;
    const std::string port = server_->PortText();
    alias_ = "Vrek" + port;
    odbc_ini += vrektest::FreeTdsSource(alias_, VREK_TDS_ODBC_DRIVER, port);
    vrektest::UseDataSources(odbc_dir.Path(), odbc_ini);
  }

  // One program run over ODBC: a new connection, a click on "开始升级".
  RunResult Run() {
    platform::TDatabase vrek(driver_);
    vrek.DatabaseName = "VrekDB";
    vrek.AliasName = alias_;
    vrek.Params.Add("USER NAME=sa");
    vrek.Params.Add("PASSWORD=");
    vrek.SetConnected(true);
    platform::HeadlessGui gui;
    platform::TApplication app(gui);
    app.Title = "Brantel资产管理系统";
    TUpVrekMain form(app);
    app.Click(form.btUp);
    RunResult r;
    r.shown = gui.Shown();
    r.start_enabled = form.btUp.Enabled;
    return r;
  }

  std::vector<std::string> Logged() { return vrektest::ReadLoggedBatches(log_path_); }

  TempDir dir_;
  std::string log_path_ = dir_.Path() + "/batches.jsonl";
  std::unique_ptr<vrektest::Standin> server_;
  std::string alias_;
  platform::OdbcDriver driver_{5};
};

TEST_F(WireUpgrade, FirstAndSecondRunSendExactlyTheInProcessBatches) {
  Start();
  RunResult first = Run();
  EXPECT_EQ(first.shown, std::vector<platform::ShownMessageBox>{kDoneBox});
  EXPECT_TRUE(first.start_enabled);
  RunResult second = Run();
  EXPECT_EQ(second.shown, std::vector<platform::ShownMessageBox>{kDoneBox});

  const Transcript expected = InProcess(2);
  ASSERT_GT(expected.size(), 100u);
  EXPECT_EQ(Logged(), expected);

  EXPECT_EQ(QueryWithTsql(server_->PortText(),
                          "select un_id, un_unit, un_unitpy from lib_unit where un_id in "
                          "(1, 5, 27) order by un_id"),
            "un_id\tun_unit\tun_unitpy\n"
            "1\t请选择    \t \n"  // char(10) holds 6 bytes of code page 936 and 4 blanks
            "5\tKg        \tk\n"
            "27\tT         \tt\n");
  EXPECT_EQ(QueryWithTsql(server_->PortText(),
                          "select pe_no, pe_name, pe_bdate from lib_people where pe_no in ('7', "
                          "'12') order by pe_no"),
            "pe_no\tpe_name\tpe_bdate\n"
            "12       \tO'Brien \tMay  1 1970 12:00AM\n"  // text key, quote kept, time dropped
            "7        \t欧阳小芳\tDec 31 1985 12:00AM\n");
}

TEST_F(WireUpgrade, ADroppedConnectionShowsAnErrorAndTheNextRunResumes) {
  constexpr std::size_t kDropAt = 41;  // inside the re-keying of the persons (after the lock)
  Start({"--drop", std::to_string(kDropAt)});
  RunResult broken = Run();
  ASSERT_EQ(broken.shown.size(), 1u);
  EXPECT_EQ(broken.shown[0].caption, "Brantel资产管理系统");
  EXPECT_EQ(broken.shown[0].icon, platform::MsgIcon::Error);
  EXPECT_NE(broken.shown[0].text.find("EOF"), std::string::npos) << broken.shown[0].text;
  EXPECT_FALSE(broken.start_enabled);

  RunResult resumed = Run();
  EXPECT_EQ(resumed.shown, std::vector<platform::ShownMessageBox>{kDoneBox});
  // A dropped batch is never executed, like a batch that fails: the transcripts agree.
  EXPECT_EQ(Logged(), InProcess(2, kDropAt));
}

}  // namespace

#include "upgrade_fixture.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "pinyin_spy.h"

#define VREK_PARTLY_UPGRADED_FOUND                                               \
  "  终端号表块：表 lib_curtermno 没有初始数据（应有 1 行）\n" \
  "  步骤 20110520（公司列）：列 lib_vrek.vr_company 有 1 行为 NULL：填充它的更新未执行\n"
const char kPartlyUpgradedRunErr[] =
    "上次升级未完成：\n" VREK_PARTLY_UPGRADED_FOUND "升级未完成：\n" VREK_PARTLY_UPGRADED_FOUND
    "数据库未升级完成，请运行 upvrek-cli repair 修复。\n";
#undef VREK_PARTLY_UPGRADED_FOUND

const platform::ShownMessageBox kDoneBox{"升级已经完成，请更新所有的客户端程序Vrek.exe！",
                                         "提示信息", platform::MsgIcon::Information,
                                         platform::MsgButtons::Ok};

platform::MsgResult DeclineRepair(const platform::ShownMessageBox& box) {
  return box.buttons == platform::MsgButtons::YesNo ? platform::MsgResult::No
                                                    : platform::MsgResult::Ok;
}

platform::ShownMessageBox ErrorBox(const std::string& text) {
  return {text, "Brantel资产管理系统", platform::MsgIcon::Error, platform::MsgButtons::Ok};
}

class Upgrade::SetupDriver : public platform::Driver {
 public:
  explicit SetupDriver(Upgrade& u) : u_(u), inner_(u.db) {}
  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override {
    auto c = inner_.Connect(alias, user, password);
    for (const auto& batch : u_.session_setup) c->Execute(batch);
    return std::make_unique<Hooked>(u_, std::move(c));
  }

 private:
  class Hooked : public platform::Connection {
   public:
    Hooked(Upgrade& u, std::unique_ptr<platform::Connection> inner)
        : u_(u), inner_(std::move(inner)) {}
    void Execute(std::string_view batch) override {
      if (u_.before_batch) u_.before_batch(batch);
      inner_->Execute(batch);
    }
    platform::ResultSet Open(std::string_view batch) override {
      if (u_.before_batch) u_.before_batch(batch);
      return inner_->Open(batch);
    }

   private:
    Upgrade& u_;
    std::unique_ptr<platform::Connection> inner_;
  };

  Upgrade& u_;
  platform::StandinDriver inner_;
};

Upgrade::Upgrade(const std::string& script) : driver_(std::make_unique<SetupDriver>(*this)) {
  db.LoadScript(script);
}

RunResult Upgrade::Run() {
  // A program run connects anew.
  vrek_ = std::make_unique<platform::TDatabase>(*driver_);
  vrek_->DatabaseName = "VrekDB";
  vrek_->AliasName = "Vrek";
  vrek_->SetConnected(true);
  db.ClearLog();

  platform::HeadlessGui gui;
  gui.Answer = answer;
  platform::TApplication app(gui);
  app.Title = "Brantel资产管理系统";
  TUpVrekMain form(app);
  if (!use_library_pinyin) {
    form.GetPinYin = &PinYinSpy::GetPinYinFirstChar;
    form.FreePinYin = &PinYinSpy::Free;
  }
  app.Click(form.btUp);

  RunResult r;
  for (const auto& entry : db.Log()) r.sent.push_back(entry.text);
  r.shown = gui.Shown();
  r.start_enabled = form.btUp.Enabled;
  r.half_done_at_start = upgrade::DescribeHalfDone(form.HalfDoneAtStart);
  r.half_done_at_end = upgrade::DescribeHalfDone(form.HalfDoneAtEnd);
  vrek_.reset();
  return r;
}

Transcript Upgrade::CheckReads() {
  platform::TDatabase vrek(*driver_);
  vrek.DatabaseName = "VrekDB";
  vrek.AliasName = "Vrek";
  vrek.SetConnected(true);
  const std::size_t before = db.Log().size();
  platform::TQuery query;
  query.DatabaseName = "VrekDB";
  upgrade::FindHalfDone(query);
  const auto log = db.Log();
  Transcript reads;
  for (std::size_t i = before; i < log.size(); ++i) reads.push_back(log[i].text);
  return reads;
}

Table Upgrade::Select(const std::string& sql) {
  standin::Session session(db);
  standin::BatchOutcome out = session.Execute(sql);
  if (const standin::Message* e = out.FirstError()) throw std::runtime_error(e->text);
  Table t;
  for (const auto& st : out.statements) {
    if (!st.has_result) continue;
    t.clear();
    for (const auto& row : st.rows) {
      std::vector<std::string> cells;
      for (const auto& v : row) {
        std::string s = v.Text();
        if (v.kind == standin::Value::Kind::String)
          while (!s.empty() && s.back() == ' ') s.pop_back();
        cells.push_back(s);
      }
      t.push_back(std::move(cells));
    }
  }
  return t;
}

bool Upgrade::Exists(const std::string& object) {
  return !Select("select name from sysobjects where name = '" + object + "'").empty();
}

void Upgrade::Exec(const std::string& sql) {
  standin::Session session(db);
  standin::BatchOutcome out = session.Execute(sql);
  if (const standin::Message* e = out.FirstError()) throw std::runtime_error(e->text);
}

std::vector<std::string> Upgrade::AssetNames() {
  standin::Session session(db);
  standin::BatchOutcome out =
      session.Execute("select vr_name from lib_vrek group by vr_name order by vr_name");
  if (const standin::Message* e = out.FirstError()) throw std::runtime_error(e->text);
  std::vector<std::string> names;
  for (const auto& row : out.statements.at(0).rows)
    names.push_back(row.at(0).IsNull() ? "" : row.at(0).Text());
  return names;
}

Transcript InProcess(int runs, std::size_t failing_batch) {
  Upgrade local(ReadFixture("old_register.sql"));
  local.use_library_pinyin = true;
  std::size_t seen = 0;
  if (failing_batch)
    local.db.FailWhen(
        [&seen, failing_batch](std::size_t, std::string_view) { return ++seen == failing_batch; },
        50000, "injected");
  Transcript all;
  for (int i = 0; i < runs; ++i) all += local.Run().sent;
  return all;
}

std::unique_ptr<vrektest::Standin> StartListener(const std::string& log_path,
                                                 const std::vector<std::string>& options) {
  std::vector<std::string> args = {"--load", FixturePath("old_register.sql"), "--log", log_path};
  args.insert(args.end(), options.begin(), options.end());
  return std::make_unique<vrektest::Standin>(args);
}

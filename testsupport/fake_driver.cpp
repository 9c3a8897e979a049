#include "fake_driver.h"

#include "upgrade_table.h"

namespace {

class FakeConnection : public platform::Connection {
 public:
  explicit FakeConnection(FakeDriver& d) : d_(d) {}
  void Execute(std::string_view batch) override {
    d_.batches.emplace_back(batch);
    if (d_.before) d_.before(std::string(batch));
  }
  platform::ResultSet Open(std::string_view batch) override {
    Execute(batch);
    return d_.answer ? d_.answer(std::string(batch)) : platform::ResultSet{{"name"}, {}};
  }

 private:
  FakeDriver& d_;
};

}  // namespace

std::unique_ptr<platform::Connection> FakeDriver::Connect(const std::string&, const std::string&,
                                                          const std::string&) {
  return std::make_unique<FakeConnection>(*this);
}

platform::ResultSet Rows(size_t count) {
  platform::ResultSet rs{{"name"}, {}};
  for (size_t i = 0; i < count; ++i) rs.AddRow({platform::Variant::Text("x")});
  return rs;
}

std::optional<platform::ResultSet> PassingCheck(const std::string& batch) {
  // Two checks may send the same select (lib_vrek is checked by two steps): the table then has
  // the columns that either needs.
  std::optional<platform::ResultSet> answer;
  for (const upgrade::Step* step : upgrade::Steps())
    for (const upgrade::Block& block : step->blocks)
      for (const upgrade::Check& check : block.checks) {
        if (upgrade::BatchText(upgrade::CheckLines(check)) != batch) continue;
        switch (check.kind) {
          case upgrade::Check::Kind::Table:
            if (!answer) answer = platform::ResultSet({"name"}, {{platform::Variant::Text("x")}});
            for (const std::string& c : check.needs) answer->AddRow({platform::Variant::Text(c)});
            break;
          case upgrade::Check::Kind::NoObject:
            answer = Rows(0);
            break;
          case upgrade::Check::Kind::PersonNumbers:
            answer = platform::ResultSet(std::vector<std::string>{check.column});
            break;
          case upgrade::Check::Kind::AssetNames:
            break;
        }
      }
  return answer;
}

void FakeWindow::Open() {
  app.Title = "Brantel资产管理系统";
  db.DatabaseName = "VrekDB";
  db.SetConnected(true);
  form = std::make_unique<TUpVrekMain>(app);
  // The fake answers no catalog: these runs check for nothing half-done, and the check is
  // tested against the stand-in.
  form->FindHalfDone = [](platform::TQuery&, bool) {
    return std::vector<upgrade::HalfDoneBlock>{};
  };
  // Nor does it answer the upgrade lock: the connection holds it already, and the lock is tested
  // against the stand-in.
  form->UpgradeLockHeld = true;
}

// A driver that records every batch and answers from the test's functions, for tests that need
// no SQL engine.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frmUpVrekMain.h"
#include "platform/database.h"
#include "platform/headless_gui.h"

class FakeDriver : public platform::Driver {
 public:
  std::vector<std::string> batches;  // every batch, Execute and Open alike, in order
  // The result of an Open; the default is an empty result.
  std::function<platform::ResultSet(const std::string& batch)> answer;
  // Called before an Execute or Open is recorded as done; may throw to fail the batch.
  std::function<void(const std::string& batch)> before;

  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override;
};

// A one-column result with that many rows.
platform::ResultSet Rows(size_t count);

// When `batch` is the select of one of the upgrade's checks (upgrade::Check), what a database on
// which that check passes answers: the table with just the columns it needs (one column "x" when
// it needs none), no object, no person number. Asset names are the test's own: nullopt for them,
// as for every other batch.
std::optional<platform::ResultSet> PassingCheck(const std::string& batch);

// The upgrade window as the program shows it, over a FakeDriver: the application's title set,
// the database VrekDB connected, the window created by Open, without the half-done check.
struct FakeWindow {
  FakeDriver driver;
  platform::TDatabase db{driver};
  platform::HeadlessGui gui;
  platform::TApplication app{gui};
  std::unique_ptr<TUpVrekMain> form;

  void Open();
};

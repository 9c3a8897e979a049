// A driver that records every batch and answers from the test's functions, for tests that need
// no SQL engine.
#pragma once

#include <functional>
#include <memory>
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

// A running sqlstandin loaded with a small asset table, for the tests that talk to it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "files.h"
#include "odbc_client.h"
#include "process.h"

namespace standin::tds::testing {

using vrektest::ReadFile;
using vrektest::TempDir;

// 办公桌 is six bytes in code page 936, so char(10) pads it with four blanks.
inline const char kLoadScript[] =
    "create table asset (id int not null, name char(10) null, note varchar(20) null,\n"
    "  qty smallint null, amount numeric(15,2) null, bought datetime null,\n"
    "  constraint PK_asset primary key (id))\n"
    "GO\n"
    "insert into asset values (1, '\xE5\x8A\x9E\xE5\x85\xAC\xE6\xA1\x8C', 'desk', 3, 1234.50,"
    " '2011-05-20 10:30:00')\n"
    "insert into asset values (2, NULL, NULL, NULL, NULL, NULL)\n"
    "GO\n";

class ServerTest : public ::testing::Test {
 protected:
  // Starts a server with the load script and these extra arguments.
  void Start(std::vector<std::string> args = {}) {
    args.insert(args.begin(), {"--load", dir_.Write("load.sql", kLoadScript)});
    server_ = std::make_unique<vrektest::Standin>(args, StderrPath());
    ASSERT_TRUE(server_->Started()) << ReadFile(StderrPath());
  }
  void SetUp() override { Start(ExtraArgs()); }
  virtual std::vector<std::string> ExtraArgs() { return {}; }

  // A client connected as sa; the test fails when it cannot connect.
  std::unique_ptr<OdbcClient> Client() {
    auto c = std::make_unique<OdbcClient>();
    const std::string out = c->Connect(ConnectionString(server_->Port()));
    EXPECT_EQ(out, "connect SQL_SUCCESS\n");
    return c;
  }
  std::string StderrPath() const { return dir_.Path() + "/stderr"; }

  TempDir dir_;
  std::unique_ptr<vrektest::Standin> server_;
};

}  // namespace standin::tds::testing

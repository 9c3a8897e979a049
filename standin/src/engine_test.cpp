// Whole-transcript tests of the engine: each case is a sequence of batches and the rendered
// outcomes they must produce.
#include <gtest/gtest.h>

#include "standin/engine.h"

namespace standin {
namespace {

struct Case {
  const char* name;
  std::vector<const char*> batches;
  const char* expected;  // render() of every batch, concatenated, each followed by "--\n"
};

std::string run(const Case& c) {
  Database db;
  db.set_clock([] { return DateTime{40000, 300 * 3600}; });
  Session s(db);
  std::string out;
  for (const char* b : c.batches) out += render(s.execute(b)) + "--\n";
  return out;
}

class Transcript : public ::testing::TestWithParam<Case> {};

TEST_P(Transcript, Matches) { EXPECT_EQ(run(GetParam()), GetParam().expected); }

const Case kCases[] = {
    {"create_insert_select",
     {"create table T (a int NOT NULL, b char(4) default('x'))",
      "insert into T(a) values (1)\ninsert into T values (2, 'ab')",
      "select * from T"},
     "done\n--\n"
     "done count 1\ndone count 1\n--\n"
     "columns a int not null, b char(4) null\nrow 1, 'x   '\nrow 2, 'ab  '\ndone count 2\n--\n"},
    {"syntax_error_runs_nothing",
     {"create table T (a int)\nselect * from T where", "select * from T"},
     "error 156/15/1: Incorrect syntax near the keyword 'where'.\ndone error\n--\n"
     "error 208/16/1: Invalid object name 'T'.\ndone error\n--\n"},
};

INSTANTIATE_TEST_SUITE_P(Engine, Transcript, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace standin

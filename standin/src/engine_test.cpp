// Whole-transcript tests of the engine: each case is a sequence of batches and the rendered
// outcomes they must produce.
#include "standin/engine.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

struct Case {
  const char* name;
  std::vector<const char*> batches;
  const char* expected;  // Render() of every batch, concatenated, each followed by "--\n"
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string RunBatch(const Case& c) {
  Database db;
  db.SetClock([] { return DateTime{40000, 300 * 3600}; });
  Session s(db);
  std::string out;
  for (const char* b : c.batches) out += Render(s.Execute(b)) + "--\n";
  return out;
}

class Transcript : public ::testing::TestWithParam<Case> {};

TEST_P(Transcript, Matches) { EXPECT_EQ(RunBatch(GetParam()), GetParam().expected); }

const Case kCases[] = {
    {"create_insert_select",
     {"create table T (a int NOT NULL, b char(4) default('x'))",
      "insert into T(a) values (1)\ninsert into T values (2, 'ab')", "select * from T"},
     "done\n--\n"
     "done count 1\ndone count 1\n--\n"
     "columns a int not null, b char(4) null\nrow 1, 'x   '\nrow 2, 'ab  '\ndone count 2\n--\n"},
    {"syntax_error_runs_nothing",
     {"create table T (a int)\nselect * from T where", "select * from T"},
     "error 156/15/1: Incorrect syntax near the keyword 'where'.\ndone error\n--\n"
     "error 208/16/1: Invalid object name 'T'.\ndone error\n--\n"},
    {"comments_and_unclosed_text",
     {"/* a /* nested */ comment */ select 1 -- trailing\r\n;select 2", "select 'abc",
      "select 1 /* open"},
     "columns  int not null\nrow 1\ndone count 1\ncolumns  int not null\nrow 2\ndone count 1\n--\n"
     "error 105/15/1: Unclosed quotation mark after the character string 'abc'.\n"
     "error 102/15/1: Incorrect syntax near 'abc'.\ndone error\n--\n"
     "error 113/15/1: Missing end comment mark '*/'.\ndone error\n--\n"},
    {"not_in_with_a_null_matches_nothing",
     {"create table t (a int)\ninsert into t values (1), (2), (NULL)",
      "select a from t where a not in (select a from t where a = 2 or a is null)",
      "select a from t where a not in (3) and a in (1, NULL)"},
     "done\ndone count 3\n--\n"
     "columns a int null\ndone count 0\n--\n"
     "columns a int null\nrow 1\ndone count 1\n--\n"},
    {"identity_insert_rules",
     {"create table t (id int IDENTITY (1, 1) NOT NULL, v char(1))\n"
      "create table u (id int IDENTITY (1, 1) NOT NULL)",
      "insert into t (id, v) values (5, 'a')",
      "set identity_insert t on\nset identity_insert u on\ninsert into t (v) values ('b')\n"
      "insert into t (id, v) values (7, 'c')\nset identity_insert t off\ninsert into t (v) values "
      "('d')\n"
      "select * from t"},
     "done\ndone\n--\n"
     "error 544/16/1: Cannot insert explicit value for identity column in table 't' when "
     "IDENTITY_INSERT is set to OFF.\ndone error\n--\n"
     "done\n"
     "error 8107/16/1: IDENTITY_INSERT is already ON for table 'vrek.dbo.t'. Cannot perform SET "
     "operation for table.\ndone error\n"
     "error 545/16/1: Explicit value must be specified for identity column in table 't' either "
     "when IDENTITY_INSERT is set to ON or when a replication user is inserting into a NOT FOR "
     "REPLICATION identity column.\ndone error\n"
     "done count 1\ndone\ndone count 1\n"
     "columns id int not null, v char(1) null\nrow 7, 'c'\nrow 8, 'd'\ndone count 2\n--\n"},
    {"unknown_function_and_type_end_the_batch_before_it_runs",
     {"create table t (a int)\nselect substring(a, 1, 1) from t",
      "create table t (a int)\ncreate table u (b bit)", "select * from t"},
     "error 195/15/10: 'substring' is not a recognized built-in function name.\ndone error\n--\n"
     "error 2715/16/6: Column, parameter, or variable #1: Cannot find data type bit.\ndone "
     "error\n--\n"
     "error 208/16/1: Invalid object name 't'.\ndone error\n--\n"},
    {"group_by_refuses_an_ungrouped_column",
     {"create table t (a int, b int)", "select a, b from t group by a",
      "select b from t order by a"},
     "done\n--\n"
     "error 8120/16/1: Column 't.b' is invalid in the select list because it is not contained in "
     "either an aggregate function or the GROUP BY clause.\ndone error\n--\n"
     "columns b int null\ndone count 0\n--\n"},
};

INSTANTIATE_TEST_SUITE_P(Engine, Transcript, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace standin

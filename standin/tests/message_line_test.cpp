// The line of the batch that each message names: where its statement starts, counted from 1.
// Render() leaves lines out, so they are checked here on the outcome itself.
#include <gtest/gtest.h>

#include <string>

#include "standin/engine.h"

namespace {

using standin::BatchOutcome;
using standin::Database;
using standin::Session;

// Every message of an outcome, in order, one a line: "line L: number/severity/state: text".
std::string Lines(const BatchOutcome& o) {
  std::string out;
  for (const auto& st : o.statements)
    for (const auto& m : st.messages)
      out += "line " + std::to_string(m.line) + ": " + std::to_string(m.number) + "/" +
             std::to_string(m.severity) + "/" + std::to_string(m.state) + ": " + m.text + "\n";
  return out;
}

TEST(MessageLines, EachMessageNamesTheLineItsStatementStartsOn) {
  struct Case {
    const char* what;
    std::string setup;  // run first, in the same session; must succeed
    std::string batch;
    std::string expect;
  } cases[] = {
      {"a deferred 208 on the fourth line, after statements that ran", "",
       "create table t (a int)\ninsert into t values (1)\n\ninsert into nosuch values (1)",
       "line 4: 208/16/1: Invalid object name 'nosuch'.\n"},
      {"a statement over several lines names its first line", "create table t (a int)",
       "select * from t\n\nalter table\n  nosuch\n  add b int",
       "line 3: 4902/16/1: Cannot find the object \"nosuch\" because it does not exist or you do "
       "not have permissions.\n"},
      {"statement-terminating errors each carry their own line; 3621 goes with its error",
       "create table t (a int not null constraint PK_t primary key nonclustered)",
       "insert into t values (1)\ninsert into t values (1)\ndrop table gone\n"
       "insert into t values (null)",
       "line 2: 2627/14/1: Violation of PRIMARY KEY constraint 'PK_t'. Cannot insert duplicate "
       "key in object 'dbo.t'. The duplicate key value is (1).\n"
       "line 2: 3621/0/0: The statement has been terminated.\n"
       "line 3: 3701/11/5: Cannot drop the table 'gone', because it does not exist or you do not "
       "have permission.\n"
       "line 4: 515/16/2: Cannot insert the value NULL into column 'a', table 'vrek.dbo.t'; "
       "column does not allow nulls. INSERT fails.\n"
       "line 4: 3621/0/0: The statement has been terminated.\n"},
      {"a compile error stops the batch and names its statement's line", "create table t (a int)",
       "insert into t values (1)\r\nselect nope\r\n  from t",
       "line 2: 207/16/1: Invalid column name 'nope'.\n"},
      {"a syntax error names the line of the token where parsing failed", "create table t (a int)",
       "select a\nfrom t\nwhere a = = 1", "line 3: 102/15/1: Incorrect syntax near '='.\n"},
      {"a refusal without a token names the line its statement starts on", "",
       "\n\nselect nosuchfunction(1)",
       "line 3: 195/15/10: 'nosuchfunction' is not a recognized "
       "built-in function name.\n"},
      {"an unclosed string names the line it opens on", "", "select 1\nselect 'abc\n\n",
       "line 2: 105/15/1: Unclosed quotation mark after the character string 'abc\n\n'.\n"
       "line 2: 102/15/1: Incorrect syntax near 'abc\n\n'.\n"},
      {"informational messages of a statement carry its line too", "",
       "set nocount on\n\n\nset language british",
       "line 4: 5703/0/1: Changed language setting to british.\n"},
      {"a conversion error aborts the batch on its statement's line", "create table t (a int)",
       "insert into t values (1)\n  insert into t values ('x')\ninsert into t values (2)",
       "line 2: 245/16/1: Conversion failed when converting the varchar value 'x' to data type "
       "int.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Database db;
    Session s(db);
    if (!c.setup.empty()) {
      ASSERT_FALSE(s.Execute(c.setup).Failed());
    }
    EXPECT_EQ(Lines(s.Execute(c.batch)), c.expect);
  }
}

TEST(MessageLines, InjectedFaultsAndTheLogKeepTheirLines) {
  Database db;
  Session s(db);
  db.FailBatch(1, 1205, "Transaction was deadlocked on lock resources with another process.");
  EXPECT_EQ(Lines(s.Execute("\n\nselect 1")),
            "line 1: 1205/16/1: Transaction was deadlocked on lock resources with another "
            "process.\n");
  const BatchOutcome o = s.Execute("\nselect * from nosuch");
  EXPECT_EQ(Lines(o), "line 2: 208/16/1: Invalid object name 'nosuch'.\n");
  const auto log = db.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(Lines(log[1].outcome), Lines(o));
}

}  // namespace

// BINARY_CHECKSUM and CHECKSUM_AGG as a change check uses them: their values are compared with
// values of the same server, never with literals, so these tests compare checksums of two states
// of a table. The exact value of BINARY_CHECKSUM is a guess of ours and is not tested; the
// documented properties are.
#include <gtest/gtest.h>

#include <string>

#include "standin/engine.h"

namespace {

using standin::Database;
using standin::Session;

const char* const kPeople =
    "create table lib_people (pe_no int not null, pe_sign char(12), pe_name varchar(20), "
    "pe_sex char(2), pe_bdate datetime, pe_pass smallint, pe_card numeric(10,2), pe_dept "
    "char(20))\n"
    "insert into lib_people values (1, 'A1', 'Zhang San', '男', '1975-03-03 10:30', 3, 12.50, "
    "'Library')\n"
    "insert into lib_people values (2, 'B2', 'Li Si', '女', '1980-01-01', 0, 0, 'Office')\n"
    "insert into lib_people values (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL)\n";

// The check's query over every column, over a column list with a CONVERT, and over *.
const char* const kChecks[] = {
    "select count(*), CHECKSUM_AGG(BINARY_CHECKSUM(pe_no,pe_sign,pe_name,pe_sex,pe_bdate,pe_pass,"
    "pe_card,pe_dept)) from lib_people",
    "select count(*), CHECKSUM_AGG(BINARY_CHECKSUM(CONVERT(char(9),pe_no),pe_name,pe_dept)) "
    "from lib_people",
    "select count(*), CHECKSUM_AGG(BINARY_CHECKSUM(*)) from lib_people",
};

// The count and the checksum of each check, as "count checksum; ...".
std::string Checks(Session& s) {
  std::string out;
  for (const char* q : kChecks) {
    const standin::BatchOutcome o = s.Execute(q);
    if (o.Failed() || o.statements.size() != 1 || o.statements[0].rows.size() != 1)
      return "failed: " + standin::Render(o);
    const auto& row = o.statements[0].rows[0];
    out += row.at(0).Text() + " " + row.at(1).Text() + "; ";
  }
  return out;
}

TEST(Checksums, ResultColumnsAreIntAndTheCountIsExact) {
  Database db;
  Session s(db);
  ASSERT_FALSE(s.Execute(kPeople).Failed());
  const standin::BatchOutcome o = s.Execute(kChecks[0]);
  ASSERT_FALSE(o.Failed()) << standin::Render(o);
  ASSERT_EQ(o.statements.size(), 1u);
  ASSERT_EQ(o.statements[0].columns.size(), 2u);
  EXPECT_EQ(o.statements[0].columns[1].type.Sql(), "int");
  ASSERT_EQ(o.statements[0].rows.size(), 1u);
  EXPECT_EQ(o.statements[0].rows[0][0].Text(), "3");
  EXPECT_EQ(o.statements[0].rows[0][1].kind, standin::Value::Kind::Int);
}

TEST(Checksums, ChangesOfARowChangeTheChecksumAndOnlyAddOrRemoveChangeTheCount) {
  struct Case {
    const char* what;
    const char* change;
    bool count_changes;
  } cases[] = {
      {"letter case in a varchar", "update lib_people set pe_name='Zhang san' where pe_no=1",
       false},
      {"letter case in a char", "update lib_people set pe_dept='library' where pe_no=1", false},
      {"one more character at the end", "update lib_people set pe_name='Li Si2' where pe_no=2",
       false},
      {"a value becomes NULL", "update lib_people set pe_sex=NULL where pe_no=2", false},
      {"a NULL gets a value", "update lib_people set pe_pass=0 where pe_no=3", false},
      {"an empty string instead of NULL", "update lib_people set pe_name='' where pe_no=3", false},
      {"a date moves by a day", "update lib_people set pe_bdate='1980-01-02' where pe_no=2", false},
      {"a numeric moves by a cent", "update lib_people set pe_card=12.51 where pe_no=1", false},
      {"a Chinese character", "update lib_people set pe_sex='女' where pe_no=1", false},
      {"the key", "update lib_people set pe_no=4 where pe_no=3", false},
      {"a row goes", "delete from lib_people where pe_no=2", true},
      {"a row comes", "insert into lib_people (pe_no) values (9)", true},
  };
  Database base;
  Session b(base);
  ASSERT_FALSE(b.Execute(kPeople).Failed());
  const std::string before = Checks(b);
  ASSERT_EQ(before.rfind("failed", 0), std::string::npos) << before;

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Database db;
    Session s(db);
    ASSERT_FALSE(s.Execute(kPeople).Failed());
    ASSERT_EQ(Checks(s), before);  // the same server state gives the same checksums
    const standin::BatchOutcome o = s.Execute(c.change);
    ASSERT_FALSE(o.Failed()) << standin::Render(o);
    const std::string after = Checks(s);
    ASSERT_EQ(after.rfind("failed", 0), std::string::npos) << after;
    // Each of the three checks sees the change, unless it does not read the changed column.
    std::size_t start_b = 0, start_a = 0;
    for (int k = 0; k < 3; ++k) {
      const std::size_t end_b = before.find("; ", start_b);
      const std::size_t end_a = after.find("; ", start_a);
      const std::string vb = before.substr(start_b, end_b - start_b);
      const std::string va = after.substr(start_a, end_a - start_a);
      const std::string cb = vb.substr(0, vb.find(' '));
      const std::string ca = va.substr(0, va.find(' '));
      SCOPED_TRACE(kChecks[k]);
      EXPECT_EQ(ca != cb, c.count_changes);
      const std::string change = c.change;
      const bool reads_changed = k != 1 || change.find("pe_name") != std::string::npos ||
                                 change.find("pe_dept") != std::string::npos ||
                                 change.find("set pe_no") != std::string::npos || c.count_changes;
      EXPECT_EQ(va != vb, reads_changed) << vb << " -> " << va;
      start_b = end_b + 2;
      start_a = end_a + 2;
    }
  }
}

TEST(Checksums, RowOrderAndStoredPaddingDoNotChangeTheChecksum) {
  Database base;
  Session b(base);
  ASSERT_FALSE(b.Execute(kPeople).Failed());
  const std::string before = Checks(b);

  const char* const same[] = {
      // The same rows in another order.
      "delete from lib_people where pe_no=1\n"
      "insert into lib_people values (1, 'A1', 'Zhang San', '男', '1975-03-03 10:30', 3, 12.50, "
      "'Library')",
      // Values written again as they are, a char with trailing blanks stored padded anyway.
      "update lib_people set pe_dept='Office   ', pe_name='Li Si' where pe_no=2",
  };
  for (const char* change : same) {
    SCOPED_TRACE(change);
    Database db;
    Session s(db);
    ASSERT_FALSE(s.Execute(kPeople).Failed());
    ASSERT_FALSE(s.Execute(change).Failed());
    EXPECT_EQ(Checks(s), before);
  }
}

TEST(Checksums, BinaryChecksumOfAListFollowsTheDocumentedRules) {
  Database db;
  Session s(db);
  const standin::BatchOutcome o = s.Execute(
      "select BINARY_CHECKSUM('McCavity'), BINARY_CHECKSUM('Mccavity'), "
      "BINARY_CHECKSUM('McCavity'),"
      " BINARY_CHECKSUM(1, 'a'), BINARY_CHECKSUM(1, 'a'), BINARY_CHECKSUM('a', 1),"
      " BINARY_CHECKSUM(NULL), BINARY_CHECKSUM(NULL)");
  ASSERT_FALSE(o.Failed()) << standin::Render(o);
  ASSERT_EQ(o.statements.size(), 1u);
  ASSERT_EQ(o.statements[0].rows.size(), 1u);
  const auto& r = o.statements[0].rows[0];
  ASSERT_EQ(r.size(), 8u);
  for (const auto& v : r) EXPECT_EQ(v.kind, standin::Value::Kind::Int);
  EXPECT_NE(r[0].i, r[1].i);  // case counts (the documented example)
  EXPECT_EQ(r[0].i, r[2].i);  // equal lists, equal checksums
  EXPECT_EQ(r[3].i, r[4].i);
  EXPECT_NE(r[3].i, r[5].i);  // the order of the list counts
  EXPECT_EQ(r[6].i, r[7].i);  // NULLs of a type count as equal
}

}  // namespace

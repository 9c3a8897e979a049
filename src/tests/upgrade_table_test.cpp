// The upgrade's table against its own statement texts: what the table says a statement changes
// is what its text does, and every guarded object is created by its own block. Whoever later
// reads the table to judge a database (what a complete block leaves, what a statement would
// change) relies on both.
#include "upgrade_table.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

using upgrade::Block;
using upgrade::Change;
using upgrade::Statement;

std::string Describe(const Change& c) {
  static const char* const kKinds[] = {"CreateTable",   "DropTable",   "AddColumn", "FillColumn",
                                       "AddPrimaryKey", "CreateIndex", "InsertRows"};
  return std::string(kKinds[static_cast<int>(c.kind)]) + " " + c.table +
         (c.name.empty() ? "" : " " + c.name);
}

// What a statement of the upgrade does, read from its text alone, one pattern per form of
// statement the upgrade sends.
std::vector<std::string> ChangesInText(const std::string& text) {
  static const std::regex kCreate(R"(^create table (\w+) ?\()");
  static const std::regex kDrop(R"(^drop table (\w+)$)");
  static const std::regex kAdd(R"(^alter table (\w+) add (\w+) )");
  static const std::regex kUpdate(R"(^update (\w+) set (\w+)=[^=]*$)");
  static const std::regex kKey(
      R"(^ALTER TABLE (\w+) ADD CONSTRAINT \n(\w+) PRIMARY KEY NONCLUSTERED\n\(\w+\)$)");
  static const std::regex kIndex(
      R"(^create index (\w+) on (\w+)\(\w+\) WITH PAD_INDEX,FILLFACTOR=85$)");
  static const std::regex kInsert(R"(^insert into (\w+))");
  std::smatch m;
  if (std::regex_search(text, m, kCreate)) return {"CreateTable " + m[1].str()};
  if (std::regex_search(text, m, kDrop)) return {"DropTable " + m[1].str()};
  if (std::regex_search(text, m, kAdd)) return {"AddColumn " + m[1].str() + " " + m[2].str()};
  if (std::regex_search(text, m, kUpdate)) return {"FillColumn " + m[1].str() + " " + m[2].str()};
  if (std::regex_search(text, m, kKey)) return {"AddPrimaryKey " + m[1].str() + " " + m[2].str()};
  if (std::regex_search(text, m, kIndex)) return {"CreateIndex " + m[2].str() + " " + m[1].str()};
  if (std::regex_search(text, m, kInsert)) {
    // A batch of inserts into one table, each statement ending its line.
    const std::regex other(R"((^|\n)insert into (?!)" + m[1].str() + R"(\b))");
    if (std::regex_search(text, other)) return {"inserts into several tables"};
    return {"InsertRows " + m[1].str()};
  }
  return {"unrecognised: " + text};
}

std::vector<const Block*> AllBlocks() {
  std::vector<const Block*> blocks{&upgrade::LedgerBlock()};
  for (const upgrade::Step* step : upgrade::Steps())
    for (const Block& b : step->blocks) blocks.push_back(&b);
  return blocks;
}

TEST(UpgradeTable, EachStatementChangesWhatItsTextSays) {
  int checked = 0;
  for (const Block* block : AllBlocks())
    for (const Statement& s : block->statements) {
      if (s.kind == Statement::Kind::Read) continue;
      std::vector<std::string> listed;
      for (const Change& c : s.changes) listed.push_back(Describe(c));
      EXPECT_EQ(listed, ChangesInText(upgrade::BatchText(s.lines)))
          << block->title << ": " << upgrade::BatchText(s.lines);
      ++checked;
    }
  EXPECT_EQ(checked, 75);  // every statement a first run sends once, the per-row inserts aside
}

TEST(UpgradeTable, ReadsAreSelectsAndSayWhereTheirRowsGo) {
  struct Expected {
    std::string select;
    upgrade::RowUse use;
    std::vector<std::string> changes;
  };
  const std::vector<Expected> expected = {
      {"select * from lib_people", upgrade::RowUse::CheckPeople, {}},
      {"select * from lib_people", upgrade::RowUse::CopyPeople, {"InsertRows lib_peopletmp"}},
      {"select * from lib_people", upgrade::RowUse::ProvePeople, {}},
      {"select vr_name from lib_vrek group by vr_name order by vr_name",
       upgrade::RowUse::InsertNames,
       {"InsertRows lib_vrek_name"}},
  };
  std::vector<Expected> reads;
  for (const Block* block : AllBlocks())
    for (const Statement& s : block->statements)
      if (s.kind == Statement::Kind::Read) {
        std::vector<std::string> changes;
        for (const Change& c : s.changes) changes.push_back(Describe(c));
        reads.push_back({upgrade::BatchText(s.lines), s.use, changes});
      }
  ASSERT_EQ(reads.size(), expected.size());
  for (std::size_t i = 0; i < reads.size(); ++i) {
    EXPECT_EQ(reads[i].select, expected[i].select);
    EXPECT_EQ(reads[i].use, expected[i].use) << i;
    EXPECT_EQ(reads[i].changes, expected[i].changes) << i;
  }
}

// Once a block's guarded object exists the block never runs again, so the object must be one the
// block itself makes; a mark is recorded by the guard itself and must be the step's own.
TEST(UpgradeTable, EveryGuardIsMadeByItsOwnBlock) {
  std::set<std::string> marks;
  for (const Block* block : AllBlocks()) {
    const upgrade::Guard& g = block->guard;
    bool made = false;
    for (const Statement& s : block->statements)
      for (const Change& c : s.changes) {
        switch (g.kind) {
          case upgrade::Guard::Kind::Table:
            made |= c.kind == Change::Kind::CreateTable && c.table == g.name;
            break;
          case upgrade::Guard::Kind::Column:
            made |= (c.kind == Change::Kind::AddColumn && c.table == g.table && c.name == g.name) ||
                    (c.kind == Change::Kind::CreateTable && c.table == g.table &&
                     upgrade::BatchText(s.lines).find("\t" + g.name + "\t") != std::string::npos);
            break;
          case upgrade::Guard::Kind::Index:
            made |= c.kind == Change::Kind::CreateIndex && c.name == g.name;
            break;
          case upgrade::Guard::Kind::Mark:
            made = true;
            break;
        }
      }
    EXPECT_TRUE(made) << block->title;
    if (g.kind == upgrade::Guard::Kind::Mark) {
      EXPECT_TRUE(marks.insert(g.name).second) << g.name;
    }
  }
  EXPECT_EQ(marks,
            (std::set<std::string>{"ZZ20110520.DEPT", "ZZ20110623.CHECK", "ZZ20121106.CHECK"}));
}

TEST(UpgradeTable, StepsInRunOrderNamedByTheirMethods) {
  std::vector<std::string> methods;
  for (const upgrade::Step* step : upgrade::Steps()) methods.push_back(step->method);
  EXPECT_EQ(methods, (std::vector<std::string>{"DO_2005Before", "DO_2005", "DO_20110520",
                                               "DO_20110623", "DO_20121106"}));
}

}  // namespace

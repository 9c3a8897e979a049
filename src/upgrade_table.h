// The upgrade as data: for every block of every step, the guard that decides whether it runs,
// the statements it sends, in order, and what each of them creates or changes.
//
// Each statement's text is written once, in the table of the step it belongs to
// (DO_2005Before.cpp, DO_2005Before_people.cpp, DO_2005.cpp, DO_dated.cpp). TUpVrekMain sends
// from these tables and nothing else; whoever needs to know what a run would do (the plan, a
// check of what a broken run left behind) reads the same tables instead of keeping a copy.
//
// A block runs as a whole or not at all, as its guard decides:
//   - Table, Column, Index: the block runs when no object of that name is found by its probe,
//     which matches by name alone (an index among the indexes of all tables). The guarded object
//     is created by one of the block's own statements, as a rule the first, so once that
//     statement has succeeded the block never runs again.
//   - Mark: the step's version mark is looked up in ver_manage and, when absent, recorded at once
//     (CheckVerSign), before the block sends anything else. A recorded mark means the block never
//     runs again, whatever happened to it.
// Either way a block's checks (Check) come between the guard and the first change.
// No transaction encloses a statement, a block or a run: what a statement did before a later one
// failed stays in the database.
#pragma once

#include <string>
#include <vector>

namespace upgrade {

using Lines = std::vector<std::string>;

// What decides whether a block runs.
struct Guard {
  enum class Kind { Table, Column, Index, Mark };
  Kind kind;
  std::string name;   // the table, column, index or version mark
  std::string table;  // Column only: the table of the column
};

Guard Table(std::string name);
Guard Column(std::string table, std::string column);
Guard Index(std::string name);
Guard Mark(std::string mark);

// The select that tests the guard, exactly as sent: it returns no row when the object or mark is
// absent.
Lines ProbeLines(const Guard& guard);
// The statement that records a version mark in ver_manage.
Lines MarkInsertLines(const std::string& mark);

// One thing a statement does to the database. A statement that fails does none of them.
struct Change {
  enum class Kind {
    CreateTable,    // table: created, empty, with its columns and defaults
    DropTable,      // table: gone, with its rows, keys and indexes
    AddColumn,      // table.name: added, NULL in the rows already there
    FillColumn,     // table.name: set in every row
    AddPrimaryKey,  // table: primary-key constraint `name` added
    CreateIndex,    // table: index `name` created
    InsertRows,     // table: rows added
  };
  Kind kind;
  std::string table;
  std::string name;  // the column, constraint or index; empty for the others
};

// What the rows of a read are used for; the window's step code does the work.
enum class RowUse {
  CheckPeople,  // every person is checked; one the re-keying cannot carry stops the run
  CopyPeople,   // one insert into lib_peopletmp per person, on qrTmp1
  InsertNames,  // one insert into lib_vrek_name per asset name with its initials, on qrTmp1
  ProvePeople,  // the persons now are the persons the last CopyPeople copied, or the run stops
};

struct Statement {
  enum class Kind {
    Execute,          // sent once; a server error stops the run
    ExecuteTolerant,  // sent once; whatever the server answers, the block goes on
    Read,             // a select on qrTmp whose rows the block uses as `use` says
  };
  Kind kind;
  Lines lines;
  // Read: what the statements sent for its rows do.
  std::vector<Change> changes;
  RowUse use = RowUse::CheckPeople;  // Read only
};

Statement Execute(Lines lines, std::vector<Change> changes);
Statement ExecuteTolerant(Lines lines, std::vector<Change> changes);
Statement Read(Lines select, RowUse use, std::vector<Change> changes = {});

Change CreateTable(std::string table);
Change DropTable(std::string table);
Change AddColumn(std::string table, std::string column);
Change FillColumn(std::string table, std::string column);
Change AddPrimaryKey(std::string table, std::string constraint);
Change CreateIndex(std::string table, std::string index);
Change InsertRows(std::string table);

// What a block verifies once its guard lets it run and before it changes anything (for a Mark
// guard: before the mark is recorded), so that what the catalog or the data would make one of its
// statements fail stops the run while nothing of the block is in place. Each check sends one
// select; TUpVrekMain judges the rows and, when any check of the block finds a problem, stops the
// run with all of them named.
struct Check {
  enum class Kind {
    Table,          // `table` is a user table with every column of `needs` and none of `lacks`
    NoObject,       // no object of any type is named `table`, except one of table `owner`
    PersonNumbers,  // every value of table.column keeps its whole text in char(9)
    AssetNames,     // every distinct asset name, and its initials, fit char(40)
  };
  Kind kind;
  std::string table;
  std::vector<std::string> needs, lacks;  // Table
  std::string column;                     // PersonNumbers
  std::string owner;                      // NoObject: the table whose own constraint may hold
                                          // the name (it goes when the block drops the table)
};

Check TableCheck(std::string table, std::vector<std::string> needs,
                 std::vector<std::string> lacks = {});
Check NoObjectCheck(std::string name, std::string owner = "");
Check PersonNumbersCheck(std::string table, std::string column);
Check AssetNamesCheck();

// The select of a check, exactly as sent.
Lines CheckLines(const Check& check);

struct Block {
  std::string title;  // what the block does, in the words shown to the administrator
  Guard guard;
  std::vector<Statement> statements;
  std::vector<Check> checks = {};
};

// A step is sent by the window method `method`, block after block.
struct Step {
  std::string method;
  std::vector<Block> blocks;
};

// The ledger ver_manage, created before the first step.
const Block& LedgerBlock();
const Step& Step2005Before();
const Step& Step2005();
const Step& Step20110520();
const Step& Step20110623();
const Step& Step20121106();

// The steps in the order a run sends them (after the ledger).
std::vector<const Step*> Steps();

// The lines as they go to the server: joined by line breaks, none after the last.
std::string BatchText(const Lines& lines);

}  // namespace upgrade

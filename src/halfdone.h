// Half-done work: blocks and steps that the rules of the upgrade consider done (their guarding
// object exists, or their mark is recorded) while their work is not all in the database, and the
// statements that complete them.
//
// It is judged from the database alone, by selects on the catalog and the rows, so that a run
// broken on one workstation can be repaired from another. What to look for is read from the
// upgrade's own tables (upgrade_table.h): each statement's Changes say what it leaves behind, and
// each completing statement is the table's own text, or that text narrowed by a where clause so
// that it only fills what is still NULL.
//
// What the client program may have written since is not flagged and never overwritten:
//   - a table the block creates counts as the block's own when it has at least the block's
//     columns with their types; extra columns are the client's;
//   - rows a block inserts (the unit dictionary, the margin row, the terminal row, the checked
//     fields) are missing only while the table holds exactly the first k of them (k short of
//     all), whatever their order; a dictionary the client has extended or edited is complete;
//   - a filled column is unfilled only where it is NULL and its update would set a value;
//   - the asset-name table lacks a name only when lib_vrek holds it and lib_vrek_name does not,
//     whoever wrote either.
// A person is never dropped unless an identical copy of it (the fields as the re-keying carries
// them) stays in another table.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/database.h"
#include "upgrade_table.h"

namespace upgrade {

// What one block or step left undone.
struct HalfDoneBlock {
  const Block* block = nullptr;
  // One line per missing or unfilled piece, saying what is missing and why it counts as missing.
  std::vector<std::string> missing;
  // Why the block cannot be completed safely; when any, `repair` is empty and nothing of the
  // block may be changed.
  std::vector<std::string> refusals;
  // The statements that complete the block, in the order a run would have sent them.
  std::vector<Statement> repair;
};

// Every half-done block, in the order of the run (ledger, then the steps). Sends only selects, on
// `query`, which is left closed. Throws what the query throws.
std::vector<HalfDoneBlock> FindHalfDone(platform::TQuery& query);

// Opens the select on `query`, hands each row to `row` and closes the query, however it ends.
void EachRow(platform::TQuery& query, const Lines& select,
             const std::function<void(platform::TQuery&)>& row);

// The lines that describe the findings, each "block title：what" or "block title：无法修复：why".
std::vector<std::string> DescribeHalfDone(const std::vector<HalfDoneBlock>& found);

// A column of a table as a create statement of the upgrade declares it: its name and its type
// as written, lower case ("char(9)", "numeric(15,2)").
struct ColumnDef {
  std::string name;
  std::string type;
};
// The columns the statement's "create table" declares, in order; empty for another statement.
std::vector<ColumnDef> CreatedColumns(const Statement& create);

}  // namespace upgrade

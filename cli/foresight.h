// What SQL Server would answer to the upgrade's own statements, foreseen without sending them.
//
// A plan records the statements a run would send instead of sending them. Foresight keeps a copy
// of the catalog (objects, columns, indexes), read once with selects, changes it as each recorded
// statement would change the database when it succeeds, and tells for each statement whether the
// server would refuse it instead, with the error number and message of the server's first error
// (sqlserver-facts.md, section 1):
//   create table T         2714 when any object is named T
//   drop table T           3701 when no table is named T
//   alter table T add c    4902 when no table is named T; 2705 when T has c
//   alter table T add constraint K primary key (c)
//                          4902 no table T; 1779 T has a primary key; 2714 an object is named K;
//                          1911 T has no c; 8111 c admits NULL
//   create index I on T(c) 1088 no table T; 1911 T has no c; 1913 T has an index I
//   update T set c=...(s)  208 no table T; 207 T has no c or no s
//   insert into T ...      208 no table T; for a version mark: 207 no vm_mess, 8152 the mark is
//                          longer than vm_mess
// Only the statements of the upgrade's tables (upgrade_table.h) and the inserts of version marks
// are foreseen: their texts are known, so their effect is taken from the table, not parsed from
// arbitrary SQL. Any other batch (a person's or a name's insert, whose values the run's checks
// have already judged; a repair's statement) is taken to succeed and to change nothing foreseen.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/database.h"
#include "upgrade_table.h"

namespace vrekcli {

// A server error as the server's first message of the batch has it.
struct ForeseenError {
  int number = 0;
  std::string message;
  // The errors the server sends after the first for the same statement, in order.
  std::vector<std::string> then = {};
  // Every error's message, one a line, as a failed batch's EDatabaseError has them.
  std::string Text() const;
};

class Foresight {
 public:
  // Reads the catalog over `connection` (selects only).
  explicit Foresight(platform::Connection& connection);

  // The error the server would raise first for this batch, sent now; when none, the catalog
  // changes as the batch would change the database.
  std::optional<ForeseenError> Execute(std::string_view batch);

 private:
  struct Column {
    std::string name;  // as the catalog spells it
    int xtype = 0;     // system type id: 175 char, 167 varchar, ...
    int length = 0;    // bytes
    bool nullable = true;
  };
  struct Table {
    std::string name;
    int id = 0;
    std::vector<Column> columns;
    std::set<std::string> indexes;  // lower case
    bool primary_key = false;
  };
  struct Object {
    std::string name;
    std::string xtype;  // trimmed: "U", "PK", "D", ...
    int parent = 0;     // the table of a constraint
  };

  Table* FindTable(const std::string& name);
  const Column* FindColumn(const Table& table, const std::string& name) const;
  bool NameTaken(const std::string& name) const;
  std::optional<ForeseenError> Apply(const upgrade::Statement& statement);
  std::optional<ForeseenError> Apply(const upgrade::Statement& statement,
                                     const upgrade::Change& change);
  std::optional<ForeseenError> InsertMark(const std::string& mark);
  int NewId() { return --last_new_id_; }

  std::map<int, Object> objects_;                                // by id
  std::map<std::string, Table> tables_;                          // lower-case name -> user table
  std::map<std::string, const upgrade::Statement*> statements_;  // by batch text
  std::map<std::string, std::string> mark_inserts_;              // batch text -> mark
  int last_new_id_ = 0;
};

}  // namespace vrekcli

// Tables, their rows and indexes, and the object catalog behind sysobjects / syscolumns /
// sysindexes. Names are kept as written at creation and compared case-insensitively.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ast.h"
#include "standin/engine.h"

namespace standin {

using Row = std::vector<Value>;

struct DefaultConstraint {
  std::string name;
  int32_t object_id = 0;
  DateTime created;
  std::string text;  // the expression as written, e.g. "('')" or "(getdate())"
  std::shared_ptr<Expr> expr;
};

struct TableColumn {
  Column column;
  bool identity = false;
  int64_t seed = 1, increment = 1;
  std::optional<DefaultConstraint> default_constraint;
};

struct Index {
  std::string name;
  int32_t constraint_id = 0;  // the PRIMARY KEY constraint's object id; 0 for a plain index
  DateTime created;
  int indid = 0;
  bool unique = false, clustered = false, primary_key = false, pad_index = false;
  int fillfactor = 0;
  std::vector<int> columns;
  std::unordered_map<std::string, int> keys;  // key -> number of rows holding it
};

struct Table {
  std::string name;
  int32_t id = 0;
  DateTime created;
  std::vector<TableColumn> columns;
  std::vector<Row> rows;
  std::vector<Index> indexes;
  bool identity_used =
      false;  // a value has been taken since creation (or reseed on an empty table)
  int64_t identity_current = 0;

  int FindColumn(std::string_view name) const;  // -1 when absent
  int IdentityColumn() const;                   // -1 when none
  const Index* PrimaryKey() const;
  std::string KeyOf(const Index& index, const Row& row) const;
  std::string KeyText(const Index& index, const Row& row) const;
  // Recomputes every index from the rows; returns the first index with a duplicate in a unique
  // index (and the duplicate row), or nullptr.
  const Index* RebuildIndexes(const Row** duplicate);
  std::vector<Column> ResultColumns() const;
};

struct Catalog {
  std::map<std::string, std::unique_ptr<Table>> tables;  // by folded name
  std::unordered_map<std::string, int32_t> objects;      // every object name (folded) -> id
  int32_t next_id = 0x1D95C1A1;                          // deterministic, 8 hex digits

  Table* Find(std::string_view name);
  const Table* Find(std::string_view name) const;
  bool NameTaken(std::string_view name) const;
  int32_t AllocateId();
  std::vector<const Table*> InCreationOrder() const;
};

// The catalog compatibility views as relations. Columns of syscolumns: name, id, xtype, length,
// xprec, xscale, colid, colstat, cdefault, prec, scale, isnullable, collation. Columns of
// sysindexes: id, status, indid, keycnt, rowcnt, OrigFillFactor, name, rows. sysobjects has all
// 25 columns in the server's order.
bool IsSystemView(std::string_view name);
std::vector<Column> SystemViewColumns(std::string_view name);
std::vector<Row> SystemViewRows(std::string_view name, const Catalog& catalog);

// System-generated constraint names.
std::string DefaultConstraintName(std::string_view table, std::string_view column, int32_t id);
std::string PrimaryKeyName(std::string_view table, int32_t id);

}  // namespace standin

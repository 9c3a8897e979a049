// The statements of the T-SQL subset, as the parser produces them. Expressions carry slots that
// the binder fills (column positions, static types) before a statement runs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "standin/engine.h"

namespace standin {

struct SelectStmt;

struct Expr {
  enum class Kind {
    Literal,
    Column,
    Function,
    Convert,
    Compare,
    And,
    Or,
    Not,
    IsNull,
    InList,
    InSelect,
    CountStar,
    Aggregate,  // an aggregate function of one argument: name says which (checksum_agg)
    Variable    // @name; its type is the declared one, set by the parser
  };
  Kind kind = Kind::Literal;
  std::string name;       // Column: column name; Function: lower-case name (@@spid too);
                          // Compare: operator; Variable: folded name
  std::string qualifier;  // Column: the table qualifier, if written
  Value literal;          // Literal
  TypeSpec target;        // Convert
  int style = -1;         // Convert: the style argument, -1 when absent
  bool negated = false;   // IsNull (is not null), InList/InSelect (not in)
  bool star = false;      // Function: written with * (binary_checksum(*)) until bound
  std::vector<std::unique_ptr<Expr>> args;
  std::shared_ptr<SelectStmt> subquery;  // InSelect

  // Filled by the binder.
  int column = -1;
  TypeSpec type;
  bool nullable = true;
};
using ExprPtr = std::unique_ptr<Expr>;

struct KeyDef {
  std::string name;               // empty: the server names it
  std::optional<bool> clustered;  // unset: clustered unless the table has a clustered index
  std::vector<std::string> columns;
  int fillfactor = 0;
};

struct ColumnDef {
  std::string name;
  TypeSpec type;
  std::optional<bool> nullable;  // unset: the server's default (nullable)
  bool identity = false;
  int64_t seed = 1, increment = 1;
  bool has_default = false;
  std::string default_name;  // empty: system-generated
  std::string default_text;  // the default expression as written
  ExprPtr default_expr;
  std::optional<KeyDef> primary_key;  // a column-level primary key
};

struct CreateTable {
  std::string table;
  std::vector<ColumnDef> columns;
  std::vector<KeyDef> primary_keys;  // table-level; more than one is an error at run time
};

struct AlterAddColumn {
  std::string table;
  ColumnDef column;
};

struct AlterAddKey {
  std::string table;
  KeyDef key;
};

struct CreateIndex {
  std::string name, table;
  bool unique = false, clustered = false;
  std::vector<std::string> columns;
  int fillfactor = 0;
  bool pad_index = false;
};

struct DropTable {
  std::vector<std::string> tables;
};

struct SelectItem {
  bool star = false;
  ExprPtr expr;
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
  int item = -1;  // filled by the binder: the select-list position it names (ORDER BY 2)
};

struct SelectStmt {
  std::vector<SelectItem> items;
  bool has_from = false;
  std::string table;
  ExprPtr where;
  std::vector<ExprPtr> group_by;
  std::vector<OrderItem> order_by;
};

struct Insert {
  std::string table;
  bool has_columns = false;
  std::vector<std::string> columns;
  std::vector<std::vector<ExprPtr>> rows;  // VALUES
  std::shared_ptr<SelectStmt> select;      // INSERT ... SELECT
};

struct Assignment {
  std::string column;
  ExprPtr value;
};

struct Update {
  std::string table;
  std::vector<Assignment> sets;
  ExprPtr where;
};

struct Delete {
  std::string table;
  ExprPtr where;
};

struct SetOption {
  enum class Kind { NoCount, DateFormat, IdentityInsert, Language, Other };
  Kind kind = Kind::Other;
  bool on = false;
  std::string value;  // DATEFORMAT's format, LANGUAGE's name, IDENTITY_INSERT's table
};

struct CheckIdent {
  std::string table;
  bool reseed = false;
  bool has_value = false;
  int64_t value = 0;
};

struct Declare {
  std::vector<std::pair<std::string, TypeSpec>> variables;  // folded names
};

// EXEC [@var =] procedure [[@param =] value, ...]
struct ExecProc {
  std::string return_variable;  // folded; empty when the return code is not kept
  std::string procedure;        // as written, without schema
  struct Argument {
    std::string parameter;  // as written, with its @; empty when given by position
    ExprPtr value;
  };
  std::vector<Argument> arguments;
};

using StatementBody =
    std::variant<CreateTable, AlterAddColumn, AlterAddKey, CreateIndex, DropTable, Insert, Update,
                 Delete, SelectStmt, SetOption, CheckIdent, Declare, ExecProc>;

struct Statement {
  StatementBody body;
  std::size_t begin = 0, end = 0;  // byte range in the batch
};

}  // namespace standin

// Statement execution: binding names against the catalog, evaluating expressions and running
// each kind of statement. Internal to the engine.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ast.h"
#include "catalog.h"
#include "errors.h"
#include "values.h"

namespace standin {

struct SessionState {
  DateFormat dateformat = DateFormat::mdy;  // us_english
  bool nocount = false;
  std::string identity_insert;  // the table with IDENTITY_INSERT ON, empty for none
  int spid = 0;                 // 0: a session of the engine's own (scripts)
};

// What the database knows as the server around it: the live sessions and the application locks.
struct ServerState {
  static constexpr int kDbid = 5;  // the first user database's id
  struct Process {
    SessionInfo info;
    DateTime login_time;
  };
  std::map<int, Process> sessions;  // by spid
  int next_spid = 51;

  enum LockMode { IntentShared, Shared, Update, IntentExclusive, Exclusive };
  struct Holder {
    int spid = 0;
    std::set<int> modes;  // every mode granted; the strongest holds until the last release
    int count = 0;        // grants not yet released
  };
  // By principal (folded) and resource (bytes as given), one key: principal + '\0' + resource.
  std::map<std::string, std::vector<Holder>> applocks;

  // Whether `spid` could be granted `mode` now: no other session holds an incompatible mode.
  bool Grantable(const std::string& key, int spid, int mode) const;
  void Grant(const std::string& key, int spid, int mode);
  // False when `spid` holds no lock on `key`.
  bool Release(const std::string& key, int spid);
  void EndSession(int spid);
};

struct ExecContext {
  Catalog& catalog;
  SessionState& session;
  const std::string& database_name;
  DateTime now;                            // getdate() for the whole batch
  ServerState* server;                     // nullptr for the engine's own sessions
  std::map<std::string, Value> variables;  // the batch's variables by folded name
};

// Thrown by the binder at compile time for a statement on a table that does not exist yet:
// its compilation is deferred to the moment it runs.
struct Deferred {};

// A relation a query reads: a table or a catalog view.
struct Relation {
  std::string name;  // as stored (tables) or as written (views)
  std::vector<Column> columns;
  const std::vector<Row>* rows = nullptr;  // a table's rows; nullptr for a view
  std::vector<Row> owned;                  // a catalog view's rows, materialised
  const std::vector<Row>& Data() const { return rows ? *rows : owned; }
};

// Finds a table or view by name. Missing: Deferred when `compile`, else 208 as written.
Relation OpenRelation(const Catalog& catalog, const std::string& name, bool compile,
                      bool with_rows);

struct Scope {
  const std::vector<Column>* columns = nullptr;  // nullptr: no columns may be named
  std::string table;
};

// Resolves column names and computes static types. Throws SqlError (207, 128, ...) or Deferred.
void BindExpr(Expr& e, const Scope& scope, const Catalog& catalog, bool compile);
void BindSelect(SelectStmt& s, const Catalog& catalog, bool compile);
bool IsCondition(const Expr& e);
bool HasAggregate(const Expr& e);

struct SelectResult {
  std::vector<Column> columns;
  std::vector<Row> rows;
};

enum class Truth { False, True, Unknown };

struct EvalContext {
  DateFormat dateformat;
  DateTime now;
  std::function<SelectResult(SelectStmt&)> run_subquery;
  struct Subquery {
    Type type = Type::Int;
    std::vector<Value> values;
    // For text compared with text: the collation keys of the values that are not NULL, so that
    // membership is one lookup rather than a pass over every value.
    std::unordered_set<std::string> text_keys;
    bool has_null = false;
  };
  std::unordered_map<const Expr*, Subquery> subqueries;  // each IN (SELECT ...) runs once
  // The rows of the group whose aggregates are being computed; nullptr outside a grouped query.
  const std::vector<const Row*>* group = nullptr;
};

Value Eval(const Expr& e, const Row* row, EvalContext& ctx);
Truth Test(const Expr& e, const Row* row, EvalContext& ctx);

// Runs a bound SELECT.
SelectResult RunSelect(SelectStmt& s, ExecContext& x);

// Checks what the server checks when it compiles the batch. Throws SqlError or Deferred.
void CompileStatement(Statement& st, ExecContext& x);
// Runs one statement. Throws SqlError.
StatementOutcome ExecuteStatement(Statement& st, ExecContext& x);

// Per-kind executors (exec_ddl.cpp, exec_dml.cpp, exec_misc.cpp).
void ExecCreateTable(CreateTable& s, ExecContext& x);
void ExecAlterAddColumn(AlterAddColumn& s, ExecContext& x);
void ExecAlterAddKey(AlterAddKey& s, ExecContext& x);
void ExecCreateIndex(CreateIndex& s, ExecContext& x);
void ExecDropTable(DropTable& s, ExecContext& x, StatementOutcome& out);
int64_t ExecInsert(Insert& s, ExecContext& x);
int64_t ExecUpdate(Update& s, ExecContext& x);
int64_t ExecDelete(Delete& s, ExecContext& x);
void ExecSet(SetOption& s, ExecContext& x, StatementOutcome& out);
void ExecCheckident(CheckIdent& s, ExecContext& x, StatementOutcome& out);
void ExecDeclare(Declare& s, ExecContext& x);
void ExecProcedure(ExecProc& s, ExecContext& x, StatementOutcome& out);

// Replaces what a statement reads from the session and the server (variables, @@spid, db_id(),
// APPLOCK_TEST) by its value now, just before the statement runs. Throws SqlError.
void ResolveSessionValues(Statement& st, ExecContext& x);

// master..sysprocesses.
bool IsSessionsView(std::string_view name);
std::vector<Column> SessionsColumns();
std::vector<Row> SessionsRows(const ServerState* server, int current_spid);

void BindInsert(Insert& s, const Catalog& catalog, bool compile);
void BindUpdate(Update& s, const Catalog& catalog, bool compile);
void BindDelete(Delete& s, const Catalog& catalog, bool compile);

// Evaluates a column's default for a new row, converted to the column's type.
Value DefaultValue(const TableColumn& c, ExecContext& x);

}  // namespace standin

// An in-process stand-in for the SQL Server database the upgrade tool talks to.
//
// It executes T-SQL batches with SQL Server's semantics for the subset of the language that the
// tool and its test fixtures use, and refuses everything else with SQL Server's own errors. It is
// test and demo infrastructure: the product never links it.
//
// Text crossing this interface is UTF-8 (batch text, names, messages); character data inside
// Value is stored as the server stores it, in code page 936 (GBK), padded for char(n).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

enum class Type { Char, VarChar, Int, SmallInt, Numeric, DateTime };

struct TypeSpec {
  Type type = Type::Int;
  int length = 0;     // char/varchar: bytes of code page 936
  int precision = 0;  // numeric
  int scale = 0;      // numeric
  // The type as SQL Server spells it in a definition: "char(9)", "int", "numeric(15,2)".
  std::string Sql() const;
};

// datetime as SQL Server stores it: days since 1900-01-01 and 1/300-second ticks since midnight.
struct DateTime {
  int32_t days = 0;
  uint32_t ticks = 0;
  bool operator==(const DateTime&) const = default;
};

struct Value {
  enum class Kind { Null, Int, Numeric, String, DateTime };
  Kind kind = Kind::Null;
  int64_t i = 0;  // Int, or the Numeric mantissa: the value is i / 10^scale
  int scale = 0;  // Numeric
  std::string s;  // String: code page 936 bytes, exactly as stored (char(n) padded to n)
  DateTime dt;    // DateTime

  bool IsNull() const { return kind == Kind::Null; }
  // The value as SQL Server's client tools would print it, in UTF-8: "NULL", "12", "12.50",
  // the text itself, "1975-03-03 10:30:00.000".
  std::string Text() const;
};

// An error or informational message, as the server sends it in an ERROR or INFO token.
struct Message {
  int number = 0;
  int severity = 0;  // the TDS "class": above 10 is an error
  int state = 0;
  std::string text;  // UTF-8
  // The line of the batch on which the statement that raised it starts, counted from 1 (a
  // syntax error: the line of the token where parsing failed). Messages tied to no statement
  // (login, an injected fault) say 1.
  int line = 1;
  bool IsError() const { return severity > 10; }
};

struct Column {
  std::string name;
  TypeSpec type;
  bool nullable = true;
};

// What one statement of a batch produced: exactly what SQL Server would send for it, in order.
struct StatementOutcome {
  std::vector<Message> messages;  // in the order the server emits them
  bool failed = false;            // the statement ended with an error (DONE with the error bit)
  bool has_count = false;         // DONE carries a row count (DML, SELECT) ...
  int64_t count = 0;              // ... of this many rows
  bool has_result = false;        // a SELECT: columns and rows follow
  std::vector<Column> columns;
  std::vector<std::vector<Value>> rows;
};

// One outcome per statement that was reached. Statements skipped because an earlier error
// aborted the batch have no outcome.
struct BatchOutcome {
  std::vector<StatementOutcome> statements;
  // The client cancelled the batch (a TDS ATTENTION): the statements after the last outcome
  // never ran. What the statements with an outcome did stays, each having run to its end.
  bool cancelled = false;
  const Message* FirstError() const;  // nullptr when no statement failed
  bool Failed() const { return FirstError() != nullptr; }
};

// A stable, line-oriented rendering of an outcome, used by the table-driven tests, without the
// messages' line numbers:
//   done                          a statement without row count (DDL, SET)
//   done count N                  a statement with a row count
//   done error                    a statement that failed
//   columns a int null, b char(4) not null
//   row 1, 'ab  ', NULL, 12.50, '1975-03-03 10:30:00.000'
//   error 515/16/2: <text>        a message with severity > 10
//   info 3621/0/0: <text>         a message with severity <= 10
//   cancelled                     last, for a batch its client cancelled
// Each statement renders its messages first, then its columns and rows, then its done line.
// Strings are UTF-8 between single quotes, embedded quotes doubled.
std::string Render(const BatchOutcome& outcome);

class Database;

// Who a session is, as master..sysprocesses shows it: the TDS listener fills it from the
// client's LOGIN7 packet; in-process sessions give whatever their test wants to see.
struct SessionInfo {
  int spid = 0;         // 0: the database numbers its sessions from 51
  std::string host;     // hostname (UTF-8)
  std::string program;  // program_name (UTF-8)
  std::string login = "sa";
};

// One connection's session: SET options (DATEFORMAT, NOCOUNT, ...) live here, and so do the
// application locks it owns (sp_getapplock with @LockOwner = 'Session'): they are released when
// the session is destroyed, as the server releases them at logout or when the connection drops.
class Session {
 public:
  explicit Session(Database& db, SessionInfo info = {});
  ~Session();
  int Spid() const;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Whether the client has cancelled the running batch, as a server learns it from an ATTENTION.
  // Asked before each statement, and every few milliseconds while the batch is held
  // (Database::HoldBatch); it must answer at once.
  using CancelCheck = std::function<bool()>;

  // Runs one batch exactly as a client sent it, records it in the database's log, and returns
  // its outcome. Never throws for SQL errors: they are part of the outcome. A statement, once
  // started, runs to its end: a cancel stops the batch before its next statement, so nothing of
  // a statement is ever left half-applied.
  BatchOutcome Execute(std::string_view batch_utf8, const CancelCheck& cancelled = {});

 private:
  struct State;
  Database& db_;
  std::unique_ptr<State> state_;
};

// The database: tables, catalog, identity state, the batch log and the fault plan.
// Safe to use from several sessions on several threads; batches run one at a time.
//
// The catalog compatibility views it answers:
//   sysobjects  all 25 columns in the server's order; a U row per table, a PK row (type K) per
//               primary key and a D row per default, the last two with parent_obj = the table.
//   syscolumns  name, id, xtype, length, xprec, xscale, colid, colstat, cdefault, prec, scale,
//               isnullable, collation.
//   sysindexes  id, status, indid, keycnt, rowcnt, OrigFillFactor, name, rows; a heap row
//               (indid 0, name NULL) for a table without a clustered index, one row per index.
// Object ids are deterministic: they increase from a fixed base in creation order.
//
// The database also stands for the server around it, as far as sessions go:
//   master..sysprocesses (also master.dbo.sysprocesses, sysprocesses) one row per live session:
//               spid, kpid, blocked, dbid, login_time, status, hostname, program_name,
//               hostprocess, cmd, loginame (a subset of the server's columns, in its order).
//   @@spid, db_id() (this database is number 5), db_id('name').
//   Application locks: sp_getapplock, sp_releaseapplock and APPLOCK_TEST with the server's
//               modes, compatibility, return codes and messages. Resource names compare as
//               bytes; every lock belongs to this database. There are no transactions, so the
//               owner 'Transaction' is always refused as outside one. Batches run one at a time,
//               so a request never waits: one that cannot be granted at once times out (-1)
//               whatever @LockTimeout says.
class Database {
 public:
  explicit Database(std::string name = "vrek");
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& Name() const;

  struct LogEntry {
    std::size_t seq = 0;  // 1-based, in arrival order over all sessions (ClearLog keeps counting)
    std::string text;     // the batch exactly as received
    BatchOutcome outcome;
  };
  std::vector<LogEntry> Log() const;
  void ClearLog();

  // Fault injection: the batch with sequence number `seq` (or each batch the predicate picks)
  // is not executed and fails with one error of this number, severity 16, state 1.
  void FailBatch(std::size_t seq, int number, std::string message);
  using BatchPredicate = std::function<bool(std::size_t seq, std::string_view text)>;
  void FailWhen(BatchPredicate pick, int number, std::string message);
  // Freezes the server in the middle of a run: the batch with sequence number `seq` (or each
  // batch the predicate picks) waits before its first statement until ReleaseHeld() lets it run,
  // or until its client cancels it (Session::CancelCheck); it then runs nothing and its outcome
  // says cancelled. Other sessions use the database meanwhile.
  void HoldBatch(std::size_t seq);
  void HoldWhen(BatchPredicate pick);
  // Lets every batch held now run on.
  void ReleaseHeld();
  // How many batches are being held now.
  std::size_t Held() const;
  // Removes every failure and hold (batches held now stay held until released or cancelled).
  void ClearFaults();

  // The clock behind getdate() and creation dates: the machine's local time unless a test
  // sets another. It is read once per batch.
  void SetClock(std::function<DateTime()> now);

  // Runs a script of batches separated by lines holding only GO (any case, blanks around it),
  // in a session of its own, without logging. Throws std::runtime_error with the first error.
  void LoadScript(std::string_view script_utf8);
  // The whole database as a script that LoadScript turns into an identical database.
  std::string DumpScript() const;

 private:
  friend class Session;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace standin

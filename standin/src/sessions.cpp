// What a batch sees of the server around the database: variables, @@spid, db_id(),
// master..sysprocesses, and application locks (sp_getapplock, sp_releaseapplock, APPLOCK_TEST).
#include <algorithm>
#include <array>

#include "exec.h"
#include "text.h"
#include "text/text.h"
#include "values.h"

namespace standin {
namespace {

using err::StatementError;

// The server's lock compatibility for the modes of application locks (IS, S, U, IX, X).
constexpr std::array<std::array<bool, 5>, 5> kCompatible = {{
    {true, true, true, true, false},     // IntentShared
    {true, true, true, false, false},    // Shared
    {true, true, false, false, false},   // Update
    {true, false, false, true, false},   // IntentExclusive
    {false, false, false, false, false}  // Exclusive
}};

// -1 when the text names no mode. The server compares the option words without regard to case.
int ParseMode(std::string_view text) {
  static constexpr std::array<std::string_view, 5> kNames = {"IntentShared", "Shared", "Update",
                                                             "IntentExclusive", "Exclusive"};
  for (std::size_t i = 0; i < kNames.size(); ++i)
    if (SameName(text, kNames[i])) return static_cast<int>(i);
  return -1;
}

std::string Utf8(const Value& v) { return text::GbkToUtf8(v.s, text::Mode::kLossy); }

// The text of a string argument without the blanks char(n) pads it with.
std::string Trimmed(const Value& v) { return v.s.substr(0, TrimmedSize(v.s)); }

std::string LockKey(const std::string& principal, const std::string& resource) {
  return FoldName(principal) + '\0' + resource;
}

Value Literal(Expr& e, Value v) {
  e.kind = Expr::Kind::Literal;
  e.args.clear();
  e.literal = std::move(v);
  return e.literal;
}

Value EvalConstant(const Expr& e, ExecContext& x) {
  EvalContext ctx{x.session.dateformat, x.now, nullptr, {}};
  return Eval(e, nullptr, ctx);
}

Value StringArgument(const Expr& e, ExecContext& x) {
  Value v = EvalConstant(e, x);
  if (v.IsNull() || v.kind == Value::Kind::String) return v;
  return ConvertValue(v, e.type, TypeSpec{Type::VarChar, 255, 0, 0}, true, x.session.dateformat);
}

void Resolve(Expr& e, ExecContext& x);

void ResolveSelect(SelectStmt& s, ExecContext& x) {
  for (SelectItem& item : s.items)
    if (item.expr) Resolve(*item.expr, x);
  if (s.where) Resolve(*s.where, x);
  for (auto& g : s.group_by) Resolve(*g, x);
  for (OrderItem& o : s.order_by) Resolve(*o.expr, x);
}

// APPLOCK_TEST(principal, resource, mode, owner): 1 when this session could be granted the lock
// now, else 0.
Value ApplockTest(Expr& e, ExecContext& x) {
  Value principal = StringArgument(*e.args[0], x);
  Value resource = StringArgument(*e.args[1], x);
  Value mode = StringArgument(*e.args[2], x);
  Value owner = StringArgument(*e.args[3], x);
  if (resource.IsNull())
    throw StatementError(1224, 16, 1,
                         "An invalid application lock resource was passed to APPLOCK_TEST.");
  int m = mode.IsNull() ? -1 : ParseMode(Trimmed(mode));
  if (m < 0)
    throw StatementError(1225, 16, 1,
                         "An invalid application lock mode was passed to APPLOCK_TEST.");
  // Outside a transaction, 'Transaction' is refused as the owner (number and text: a guess).
  if (owner.IsNull() || !SameName(Trimmed(owner), "Session"))
    throw StatementError(1226, 16, 1,
                         "An invalid application lock owner was passed to APPLOCK_TEST.");
  std::string p = principal.IsNull() ? "public" : Trimmed(principal);
  if (!x.server) return MakeInt(1);
  return MakeInt(x.server->Grantable(LockKey(p, resource.s), x.session.spid, m) ? 1 : 0);
}

void Resolve(Expr& e, ExecContext& x) {
  for (auto& a : e.args) Resolve(*a, x);
  if (e.subquery) ResolveSelect(*e.subquery, x);
  if (e.kind == Expr::Kind::Variable) {
    auto it = x.variables.find(e.name);
    Literal(e, it == x.variables.end() ? Value{} : it->second);
  } else if (e.kind == Expr::Kind::Function && e.name == "@@spid") {
    Literal(e, MakeInt(x.session.spid));
  } else if (e.kind == Expr::Kind::Function && e.name == "db_id") {
    if (e.args.empty()) {
      Literal(e, MakeInt(ServerState::kDbid));
    } else {
      Value name = StringArgument(*e.args[0], x);
      bool ours = !name.IsNull() && SameName(Utf8(name), x.database_name);
      Literal(e, ours ? MakeInt(ServerState::kDbid) : Value{});
    }
  } else if (e.kind == Expr::Kind::Function && e.name == "applock_test") {
    Literal(e, ApplockTest(e, x));
  }
}

struct Parameters {
  std::vector<std::string> names;  // folded, with @, in the procedure's order
  std::vector<Value> values;       // NULL when not given
  std::vector<bool> given;
};

// Binds the arguments of EXEC to the procedure's parameters, by name or by position.
Parameters BindArguments(ExecProc& s, std::vector<std::string> names, ExecContext& x) {
  Parameters p;
  p.names = std::move(names);
  p.values.resize(p.names.size());
  p.given.resize(p.names.size());
  for (std::size_t i = 0; i < s.arguments.size(); ++i) {
    const ExecProc::Argument& a = s.arguments[i];
    std::size_t k = i;
    if (!a.parameter.empty()) {
      auto it = std::find(p.names.begin(), p.names.end(), FoldName(a.parameter));
      if (it == p.names.end())
        throw StatementError(
            8145, 16, 2, a.parameter + " is not a parameter for procedure " + s.procedure + ".");
      k = static_cast<std::size_t>(it - p.names.begin());
    } else if (k >= p.names.size()) {
      throw StatementError(
          8144, 16, 2,
          "Procedure or function " + s.procedure + " has too many arguments specified.");
    }
    p.values[k] = EvalConstant(*a.value, x);
    p.given[k] = true;
  }
  return p;
}

Value StringValue(const Value& v, ExecContext& x) {
  if (v.IsNull() || v.kind == Value::Kind::String) return v;
  TypeSpec from{Type::Int, 0, 10, 0};
  if (v.kind == Value::Kind::Numeric) from = TypeSpec{Type::Numeric, 0, 38, v.scale};
  if (v.kind == Value::Kind::DateTime) from = TypeSpec{Type::DateTime, 0, 0, 0};
  return ConvertValue(v, from, TypeSpec{Type::VarChar, 255, 0, 0}, true, x.session.dateformat);
}

// A text parameter in UTF-8 without trailing blanks, or `dflt` when not given or NULL.
std::string Text(const Parameters& p, std::size_t k, const char* dflt, ExecContext& x) {
  if (!p.given[k] || p.values[k].IsNull()) return dflt;
  return Utf8(MakeString(Trimmed(StringValue(p.values[k], x))));
}

// The lock's key from @Resource (parameter 0) and @DbPrincipal (the last parameter).
std::string Resource(const Parameters& p, const char* procedure, ExecContext& x) {
  if (p.values[0].IsNull())
    throw StatementError(
        1224, 16, 1,
        std::string("An invalid application lock resource was passed to ") + procedure + ".");
  return LockKey(Text(p, p.names.size() - 1, "public", x), StringValue(p.values[0], x).s);
}

void Require(const Parameters& p, std::size_t k, const std::string& procedure) {
  if (!p.given[k])
    throw StatementError(201, 16, 4,
                         "Procedure or function '" + procedure + "' expects parameter '" +
                             std::string(p.names[k]) + "', which was not supplied.");
}

// sp_getapplock @Resource, @LockMode, @LockOwner = 'Transaction', @LockTimeout, @DbPrincipal.
int GetAppLock(ExecProc& s, ExecContext& x, StatementOutcome& out) {
  Parameters p =
      BindArguments(s, {"@resource", "@lockmode", "@lockowner", "@locktimeout", "@dbprincipal"}, x);
  Require(p, 0, "sp_getapplock");
  Require(p, 1, "sp_getapplock");
  const std::string mode_text = Text(p, 1, "", x);
  const int mode = ParseMode(mode_text);
  if (mode < 0) {
    out.messages.push_back(Message{
        15625, 10, 1, "Option '" + mode_text + "' not recognized for '@LockMode' parameter."});
    return -999;
  }
  const std::string owner = Text(p, 2, "Transaction", x);
  if (SameName(owner, "Transaction")) {
    out.messages.push_back(
        Message{15626, 10, 1,
                "You attempted to acquire a transactional application lock without an active "
                "transaction."});
    return -999;
  }
  if (!SameName(owner, "Session")) {
    out.messages.push_back(
        Message{15625, 10, 1, "Option '" + owner + "' not recognized for '@LockOwner' parameter."});
    return -999;
  }
  const std::string key = Resource(p, "sp_getapplock", x);
  int64_t timeout = -1;  // @@LOCK_TIMEOUT of a new session: wait for ever
  if (p.given[3] && !p.values[3].IsNull())
    timeout =
        ConvertValue(p.values[3],
                     p.values[3].kind == Value::Kind::String ? TypeSpec{Type::VarChar, 32, 0, 0}
                                                             : TypeSpec{Type::Int, 0, 10, 0},
                     TypeSpec{Type::Int, 0, 10, 0}, true, x.session.dateformat)
            .i;
  if (timeout < -1) return -999;
  if (!x.server) return 0;
  if (!x.server->Grantable(key, x.session.spid, mode)) return -1;  // never waits: see engine.h
  x.server->Grant(key, x.session.spid, mode);
  return 0;
}

// sp_releaseapplock @Resource, @LockOwner = 'Transaction', @DbPrincipal.
int ReleaseAppLock(ExecProc& s, ExecContext& x, StatementOutcome& out) {
  Parameters p = BindArguments(s, {"@resource", "@lockowner", "@dbprincipal"}, x);
  Require(p, 0, "sp_releaseapplock");
  const std::string owner = Text(p, 1, "Transaction", x);
  if (!SameName(owner, "Session") && !SameName(owner, "Transaction")) {
    out.messages.push_back(
        Message{15625, 10, 1, "Option '" + owner + "' not recognized for '@LockOwner' parameter."});
    return -999;
  }
  const std::string key = Resource(p, "sp_releaseapplock", x);
  // No transaction ever holds a lock here, so an owner of 'Transaction' holds none.
  if (SameName(owner, "Session") && x.server && x.server->Release(key, x.session.spid)) return 0;
  throw StatementError(
      1223, 16, 1,
      "Cannot release the application lock (Database Principal: '" + Text(p, 2, "public", x) +
          "', Resource: '" +
          Utf8(p.values[0].kind == Value::Kind::String ? p.values[0]
                                                       : StringValue(p.values[0], x)) +
          "') because it is not currently held.");
}

}  // namespace

bool ServerState::Grantable(const std::string& key, int spid, int mode) const {
  auto it = applocks.find(key);
  if (it == applocks.end()) return true;
  for (const Holder& h : it->second) {
    if (h.spid == spid) continue;
    for (int held : h.modes)
      if (!kCompatible[static_cast<std::size_t>(held)][static_cast<std::size_t>(mode)])
        return false;
  }
  return true;
}

void ServerState::Grant(const std::string& key, int spid, int mode) {
  std::vector<Holder>& holders = applocks[key];
  for (Holder& h : holders) {
    if (h.spid != spid) continue;
    h.modes.insert(mode);
    ++h.count;
    return;
  }
  holders.push_back(Holder{spid, {mode}, 1});
}

bool ServerState::Release(const std::string& key, int spid) {
  auto it = applocks.find(key);
  if (it == applocks.end()) return false;
  std::vector<Holder>& holders = it->second;
  for (std::size_t i = 0; i < holders.size(); ++i) {
    if (holders[i].spid != spid) continue;
    if (--holders[i].count == 0) holders.erase(holders.begin() + static_cast<long>(i));
    if (holders.empty()) applocks.erase(it);
    return true;
  }
  return false;
}

void ServerState::EndSession(int spid) {
  for (auto it = applocks.begin(); it != applocks.end();) {
    std::erase_if(it->second, [spid](const Holder& h) { return h.spid == spid; });
    it = it->second.empty() ? applocks.erase(it) : std::next(it);
  }
  sessions.erase(spid);
}

void ResolveSessionValues(Statement& st, ExecContext& x) {
  std::visit(
      [&x](auto& s) {
        using T = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<T, SelectStmt>) {
          ResolveSelect(s, x);
        } else if constexpr (std::is_same_v<T, Insert>) {
          for (auto& row : s.rows)
            for (auto& v : row) Resolve(*v, x);
          if (s.select) ResolveSelect(*s.select, x);
        } else if constexpr (std::is_same_v<T, Update>) {
          for (Assignment& a : s.sets) Resolve(*a.value, x);
          if (s.where) Resolve(*s.where, x);
        } else if constexpr (std::is_same_v<T, Delete>) {
          if (s.where) Resolve(*s.where, x);
        } else if constexpr (std::is_same_v<T, ExecProc>) {
          for (ExecProc::Argument& a : s.arguments) Resolve(*a.value, x);
        }
      },
      st.body);
}

void ExecDeclare(Declare& s, ExecContext& x) {
  for (const auto& [name, type] : s.variables) x.variables[name] = Value{};
}

void ExecProcedure(ExecProc& s, ExecContext& x, StatementOutcome& out) {
  int status = 0;
  if (SameName(s.procedure, "sp_getapplock")) {
    status = GetAppLock(s, x, out);
  } else if (SameName(s.procedure, "sp_releaseapplock")) {
    try {
      status = ReleaseAppLock(s, x, out);
    } catch (const SqlError&) {
      if (!s.return_variable.empty()) x.variables[s.return_variable] = MakeInt(-999);
      throw;
    }
  } else {
    throw StatementError(2812, 16, 62, "Could not find stored procedure '" + s.procedure + "'.");
  }
  if (!s.return_variable.empty()) x.variables[s.return_variable] = MakeInt(status);
}

bool IsSessionsView(std::string_view name) {
  return SameName(name, "sysprocesses") || SameName(name, "master.dbo.sysprocesses");
}

std::vector<Column> SessionsColumns() {
  auto col = [](const char* name, Type t, int length = 0) {
    return Column{name, TypeSpec{t, length, t == Type::SmallInt ? 5 : 0, 0}, false};
  };
  return {col("spid", Type::SmallInt),        col("kpid", Type::SmallInt),
          col("blocked", Type::SmallInt),     col("dbid", Type::SmallInt),
          col("login_time", Type::DateTime),  col("status", Type::Char, 30),
          col("hostname", Type::Char, 128),   col("program_name", Type::Char, 128),
          col("hostprocess", Type::Char, 10), col("cmd", Type::Char, 16),
          col("loginame", Type::Char, 128)};
}

std::vector<Row> SessionsRows(const ServerState* server, int current_spid) {
  std::vector<Row> rows;
  if (!server) return rows;
  auto padded = [](std::string_view utf8, std::size_t n) {
    std::string s = text::Utf8ToGbk(utf8, text::Mode::kLossy);
    if (s.size() > n) s.resize(n);
    s.resize(n, ' ');
    return MakeString(std::move(s));
  };
  for (const auto& [spid, p] : server->sessions) {
    bool current = spid == current_spid;
    rows.push_back(Row{MakeInt(spid), MakeInt(0), MakeInt(0), MakeInt(ServerState::kDbid),
                       MakeDatetime(p.login_time), padded(current ? "runnable" : "sleeping", 30),
                       padded(p.info.host, 128), padded(p.info.program, 128), padded("", 10),
                       padded(current ? "SELECT" : "AWAITING COMMAND", 16),
                       padded(p.info.login, 128)});
  }
  return rows;
}

}  // namespace standin

// SET options, DBCC CHECKIDENT, and the dispatch of statements to their executors.
#include <algorithm>

#include "exec.h"
#include "text.h"

namespace standin {
namespace {

using err::StatementError;

template <class... F>
struct Overload : F... {
  using F::operator()...;
};
template <class... F>
Overload(F...) -> Overload<F...>;

}  // namespace

void ExecSet(SetOption& s, ExecContext& x, StatementOutcome& out) {
  switch (s.kind) {
    case SetOption::Kind::NoCount:
      x.session.nocount = s.on;
      return;
    case SetOption::Kind::DateFormat: {
      auto df = ParseDateformat(s.value);
      if (!df)
        throw StatementError(2741, 16, 1,
                             "SET DATEFORMAT date order '" + s.value + "' is invalid.");
      x.session.dateformat = *df;
      return;
    }
    case SetOption::Kind::Language: {
      std::string l = FoldName(s.value);
      if (l == "us_english" || l == "english")
        x.session.dateformat = DateFormat::mdy;
      else if (l == "british")
        x.session.dateformat = DateFormat::dmy;
      else if (s.value == "简体中文" || l == "simplified chinese")
        x.session.dateformat = DateFormat::ymd;
      else
        throw err::UnknownLanguage(s.value);
      // Number, severity and state of the report are guesses.
      out.messages.push_back(Message{5703, 0, 1, "Changed language setting to " + s.value + "."});
      return;
    }
    case SetOption::Kind::IdentityInsert: {
      Table* t = x.catalog.Find(s.value);
      if (!t) throw err::IdentityInsertMissingTable(s.value);
      if (t->IdentityColumn() < 0) {
        throw StatementError(8106, 16, 1,
                             "Table '" + t->name +
                                 "' does not have the identity property. Cannot perform SET "
                                 "operation.");
      }
      if (s.on) {
        if (!x.session.identity_insert.empty() && !SameName(x.session.identity_insert, t->name))
          throw err::IdentityInsertOther(x.session.identity_insert);
        x.session.identity_insert = t->name;
      } else if (SameName(x.session.identity_insert, t->name)) {
        x.session.identity_insert.clear();
      }
      return;
    }
    case SetOption::Kind::Other:
      return;  // accepted; the engine behaves as with ODBC's settings
  }
}

void ExecCheckident(CheckIdent& s, ExecContext& x, StatementOutcome& out) {
  Table* t = x.catalog.Find(s.table);
  if (!t) {
    throw StatementError(
        2501, 16, 45,
        "Cannot find a table or object with the name '" + s.table + "'. Check the system catalog.");
  }
  int c = t->IdentityColumn();
  if (c < 0) throw err::NoIdentity(s.table);
  const TableColumn& col = t->columns[static_cast<std::size_t>(c)];
  std::string before = t->identity_used ? std::to_string(t->identity_current) : "NULL";
  // Message numbers and severities of DBCC's report are guesses.
  if (s.reseed && s.has_value) {
    t->identity_current = s.value;
    out.messages.push_back(Message{
        7998, 10, 1, "Checking identity information: current identity value '" + before + "'."});
  } else {
    bool any = false;
    int64_t top = 0;
    for (const Row& r : t->rows) {
      const Value& v = r[static_cast<std::size_t>(c)];
      if (v.kind != Value::Kind::Int) continue;
      if (!any || (col.increment > 0 ? v.i > top : v.i < top)) top = v.i;
      any = true;
    }
    std::string column_value = any ? std::to_string(top) : "NULL";
    if (s.reseed && any &&
        (!t->identity_used ||
         (col.increment > 0 ? t->identity_current < top : t->identity_current > top))) {
      t->identity_current = top;
      t->identity_used = true;
    }
    out.messages.push_back(Message{7998, 10, 1,
                                   "Checking identity information: current identity value '" +
                                       before + "', current column value '" + column_value + "'."});
  }
  out.messages.push_back(Message{2528, 10, 1,
                                 "DBCC execution completed. If DBCC printed error messages, "
                                 "contact your system administrator."});
}

void CompileStatement(Statement& st, ExecContext& x) {
  std::visit(Overload{
                 [&](Insert& s) { BindInsert(s, x.catalog, true); },
                 [&](Update& s) { BindUpdate(s, x.catalog, true); },
                 [&](Delete& s) { BindDelete(s, x.catalog, true); },
                 [&](SelectStmt& s) { BindSelect(s, x.catalog, true); },
                 [&](auto&) {},
             },
             st.body);
}

StatementOutcome ExecuteStatement(Statement& st, ExecContext& x) {
  StatementOutcome out;
  auto counted = [&](int64_t n) {
    out.has_count = !x.session.nocount;
    out.count = out.has_count ? n : 0;
  };
  ResolveSessionValues(st, x);
  std::visit(Overload{
                 [&](CreateTable& s) { ExecCreateTable(s, x); },
                 [&](AlterAddColumn& s) { ExecAlterAddColumn(s, x); },
                 [&](AlterAddKey& s) { ExecAlterAddKey(s, x); },
                 [&](CreateIndex& s) { ExecCreateIndex(s, x); },
                 [&](DropTable& s) { ExecDropTable(s, x, out); },
                 [&](Insert& s) { counted(ExecInsert(s, x)); },
                 [&](Update& s) { counted(ExecUpdate(s, x)); },
                 [&](Delete& s) { counted(ExecDelete(s, x)); },
                 [&](SelectStmt& s) {
                   SelectResult r = RunSelect(s, x);
                   out.has_result = true;
                   out.columns = std::move(r.columns);
                   out.rows = std::move(r.rows);
                   counted(static_cast<int64_t>(out.rows.size()));
                 },
                 [&](SetOption& s) { ExecSet(s, x, out); },
                 [&](CheckIdent& s) { ExecCheckident(s, x, out); },
                 [&](Declare& s) { ExecDeclare(s, x); },
                 [&](ExecProc& s) { ExecProcedure(s, x, out); },
             },
             st.body);
  return out;
}

}  // namespace standin

// INSERT, UPDATE and DELETE. Each statement is atomic: when one row fails, none of its
// changes stay.
#include <algorithm>

#include "exec.h"
#include "text.h"

namespace standin {
namespace {

using err::BatchError;

Table* OpenTable(const Catalog& catalog, const std::string& name, bool compile) {
  if (IsSystemView(name))
    throw BatchError(259, 16, 1, "Ad hoc updates to system catalogs are not allowed.");
  Table* t = const_cast<Catalog&>(catalog).Find(name);
  if (!t) {
    if (compile) throw Deferred{};
    throw err::InvalidObject(name);
  }
  return t;
}

std::size_t SelectWidth(const SelectStmt& s, const Catalog& catalog) {
  std::size_t n = 0;
  for (const SelectItem& item : s.items)
    n += item.star ? OpenRelation(catalog, s.table, false, false).columns.size() : 1;
  return n;
}

// The columns an INSERT fills, in the order of its values. Throws the server's errors for a
// mismatch between columns and values.
std::vector<int> InsertTargets(const Insert& s, const Table& t, std::size_t width, bool values) {
  std::vector<int> targets;
  int identity = t.IdentityColumn();
  if (s.has_columns) {
    for (const std::string& c : s.columns) {
      int k = t.FindColumn(c);
      if (k < 0) throw err::InvalidColumn(c);
      if (std::find(targets.begin(), targets.end(), k) != targets.end())
        throw err::ColumnTwice(t.columns[static_cast<std::size_t>(k)].column.name);
      targets.push_back(k);
    }
    if (targets.size() != width) {
      if (values)
        throw targets.size() > width ? err::MoreInsertColumns() : err::FewerInsertColumns();
      throw BatchError(targets.size() > width ? 120 : 121, 15, 1,
                       std::string("The select list for the INSERT statement contains ") +
                           (targets.size() > width ? "fewer" : "more") +
                           " items than the insert list. The number of SELECT values must match "
                           "the number of INSERT columns.");
    }
    return targets;
  }
  if (identity >= 0 && width == t.columns.size()) throw err::ExplicitIdentityNeedsList(t.name);
  for (std::size_t i = 0; i < t.columns.size(); ++i)
    if (static_cast<int>(i) != identity) targets.push_back(static_cast<int>(i));
  if (targets.size() != width) throw err::InsertCountMismatch();
  return targets;
}

void CheckNulls(const Table& t, const Row& r, ExecContext& x, bool update) {
  for (std::size_t i = 0; i < t.columns.size(); ++i)
    if (!t.columns[i].column.nullable && r[i].IsNull())
      throw err::NullNotAllowed(t.columns[i].column.name, x.database_name, t.name, update);
}

SqlError DuplicateError(const Table& t, const Index& ix, const Row& r) {
  if (ix.primary_key) return err::DuplicateKey(ix.name, t.name, t.KeyText(ix, r));
  return err::DuplicateUniqueIndex(ix.name, t.name, t.KeyText(ix, r));
}

int64_t NextIdentity(Table& t, const TableColumn& c) {
  int64_t v = t.identity_used ? t.identity_current + c.increment : t.identity_current;
  t.identity_current = v;
  t.identity_used = true;
  return v;
}

void NoteExplicitIdentity(Table& t, const TableColumn& c, const Value& v) {
  if (v.kind != Value::Kind::Int) return;
  bool beyond = c.increment > 0 ? v.i > t.identity_current : v.i < t.identity_current;
  if (!t.identity_used || beyond) t.identity_current = v.i;
  t.identity_used = true;
}

// Appends rows to a table, keeping every index; undoes all of them when one fails.
class Appender {
 public:
  Appender(Table& t) : t_(t), start_(t.rows.size()) {}
  ~Appender() {
    if (!committed_) Rollback();
  }
  void Add(Row r) {
    std::vector<std::string> keys;
    keys.reserve(t_.indexes.size());
    for (const Index& ix : t_.indexes) {
      keys.push_back(t_.KeyOf(ix, r));
      auto it = ix.keys.find(keys.back());
      if (ix.unique && it != ix.keys.end() && it->second > 0) throw DuplicateError(t_, ix, r);
    }
    for (std::size_t i = 0; i < keys.size(); ++i) ++t_.indexes[i].keys[keys[i]];
    t_.rows.push_back(std::move(r));
  }
  void Commit() { committed_ = true; }

 private:
  void Rollback() {
    while (t_.rows.size() > start_) {
      for (Index& ix : t_.indexes) {
        auto it = ix.keys.find(t_.KeyOf(ix, t_.rows.back()));
        if (it != ix.keys.end() && --it->second == 0) ix.keys.erase(it);
      }
      t_.rows.pop_back();
    }
  }
  Table& t_;
  std::size_t start_;
  bool committed_ = false;
};

// The type of each column of a VALUES list: the type of highest precedence among its rows
// (NULL literals aside), so that with several rows a text can meet an int before any row is
// stored (guess).
std::vector<TypeSpec> ValuesTypes(const std::vector<std::vector<ExprPtr>>& rows) {
  std::vector<TypeSpec> types;
  std::vector<bool> known;
  for (const auto& e : rows[0]) {
    types.push_back(e->type);
    known.push_back(false);
  }
  for (const auto& row : rows) {
    for (std::size_t k = 0; k < types.size() && k < row.size(); ++k) {
      const Expr& e = *row[k];
      if (e.kind == Expr::Kind::Literal && e.literal.IsNull()) continue;
      TypeSpec& t = types[k];
      if (!known[k] || TypeRank(e.type.type) > TypeRank(t.type)) {
        int scale = known[k] && t.type == Type::Numeric ? t.scale : 0;
        t = e.type;
        if (t.type == Type::Numeric) t.scale = std::max(t.scale, scale);
        known[k] = true;
      } else if (t.type == Type::Numeric && e.type.type == Type::Numeric) {
        t.scale = std::max(t.scale, e.type.scale);
      } else if (IsStringType(t.type) && IsStringType(e.type.type)) {
        t.length = std::max(t.length, e.type.length);
      }
    }
  }
  for (TypeSpec& t : types)
    if (t.type == Type::Numeric) t.precision = 18;
  return types;
}

}  // namespace

Value DefaultValue(const TableColumn& c, ExecContext& x) {
  if (!c.default_constraint) return Value{};
  EvalContext ctx{x.session.dateformat, x.now, nullptr, {}};
  const Expr& e = *c.default_constraint->expr;
  return ConvertValue(Eval(e, nullptr, ctx), e.type, c.column.type, false, x.session.dateformat);
}

void BindInsert(Insert& s, const Catalog& catalog, bool compile) {
  Table* t = OpenTable(catalog, s.table, compile);
  if (s.select) {
    BindSelect(*s.select, catalog, compile);
    InsertTargets(s, *t, SelectWidth(*s.select, catalog), false);
    return;
  }
  for (auto& row : s.rows) {
    for (auto& e : row) {
      BindExpr(*e, Scope{}, catalog, compile);
      if (IsCondition(*e)) throw err::SyntaxNear("=");
    }
    InsertTargets(s, *t, row.size(), true);
  }
}

int64_t ExecInsert(Insert& s, ExecContext& x) {
  BindInsert(s, x.catalog, false);
  Table& t = *x.catalog.Find(s.table);
  std::vector<Row> source;
  std::vector<TypeSpec> types;
  if (s.select) {
    SelectResult r = RunSelect(*s.select, x);
    source = std::move(r.rows);
    for (const Column& c : r.columns) types.push_back(c.type);
  } else {
    types = ValuesTypes(s.rows);
    EvalContext ctx{x.session.dateformat, x.now, nullptr, {}};
    for (auto& exprs : s.rows) {
      Row r;
      for (std::size_t k = 0; k < exprs.size(); ++k) {
        Value v = Eval(*exprs[k], nullptr, ctx);
        if (!v.IsNull() && exprs[k]->type.type != types[k].type &&
            !(IsStringType(exprs[k]->type.type) && IsStringType(types[k].type)))
          v = ConvertValue(v, exprs[k]->type, types[k], false, x.session.dateformat);
        r.push_back(std::move(v));
      }
      source.push_back(std::move(r));
    }
  }
  std::size_t width =
      source.empty() ? (s.select ? SelectWidth(*s.select, x.catalog) : 0) : source[0].size();
  std::vector<int> targets = InsertTargets(s, t, width, !s.select);
  int identity = t.IdentityColumn();
  bool identity_given =
      identity >= 0 && std::find(targets.begin(), targets.end(), identity) != targets.end();
  bool identity_insert =
      !x.session.identity_insert.empty() && SameName(x.session.identity_insert, t.name);
  if (identity_given && !identity_insert) throw err::IdentityInsertOff(t.name);
  if (identity >= 0 && identity_insert && !identity_given) {
    throw SqlError{
        {Message{545, 16, 1,
                 "Explicit value must be specified for identity column in table '" + t.name +
                     "' either when IDENTITY_INSERT is set to ON or when a "
                     "replication user is inserting into a NOT FOR REPLICATION "
                     "identity column."}},
        Reach::Statement};
  }

  Appender appender(t);
  for (const Row& src : source) {
    Row r(t.columns.size());
    std::vector<bool> given(t.columns.size(), false);
    for (std::size_t k = 0; k < targets.size(); ++k) {
      auto c = static_cast<std::size_t>(targets[k]);
      r[c] = ConvertValue(src[k], types[k], t.columns[c].column.type, false, x.session.dateformat);
      given[c] = true;
    }
    for (std::size_t c = 0; c < t.columns.size(); ++c) {
      const TableColumn& col = t.columns[c];
      if (given[c]) {
        if (col.identity) NoteExplicitIdentity(t, col, r[c]);
        continue;
      }
      r[c] = col.identity ? MakeInt(NextIdentity(t, col)) : DefaultValue(col, x);
    }
    CheckNulls(t, r, x, false);
    appender.Add(std::move(r));
  }
  appender.Commit();
  return static_cast<int64_t>(source.size());
}

void BindUpdate(Update& s, const Catalog& catalog, bool compile) {
  Table* t = OpenTable(catalog, s.table, compile);
  std::vector<Column> cols = t->ResultColumns();
  Scope scope{&cols, t->name};
  std::vector<int> seen;
  for (Assignment& a : s.sets) {
    int k = t->FindColumn(a.column);
    if (k < 0) throw err::InvalidColumn(a.column);
    if (std::find(seen.begin(), seen.end(), k) != seen.end())
      throw err::ColumnTwice(t->columns[static_cast<std::size_t>(k)].column.name);
    seen.push_back(k);
    if (t->columns[static_cast<std::size_t>(k)].identity)
      throw err::UpdateIdentity(t->columns[static_cast<std::size_t>(k)].column.name);
    BindExpr(*a.value, scope, catalog, compile);
    if (IsCondition(*a.value)) throw err::SyntaxNear("=");
  }
  if (s.where) BindExpr(*s.where, scope, catalog, compile);
}

int64_t ExecUpdate(Update& s, ExecContext& x) {
  BindUpdate(s, x.catalog, false);
  Table& t = *x.catalog.Find(s.table);
  EvalContext ctx{x.session.dateformat, x.now, [&x](SelectStmt& q) { return RunSelect(q, x); }, {}};
  std::vector<int> targets;
  for (const Assignment& a : s.sets) targets.push_back(t.FindColumn(a.column));

  std::vector<std::pair<std::size_t, Row>> changes;
  for (std::size_t i = 0; i < t.rows.size(); ++i) {
    const Row& old = t.rows[i];
    if (s.where && Test(*s.where, &old, ctx) != Truth::True) continue;
    Row r = old;
    for (std::size_t k = 0; k < s.sets.size(); ++k) {
      auto c = static_cast<std::size_t>(targets[k]);
      r[c] = ConvertValue(Eval(*s.sets[k].value, &old, ctx), s.sets[k].value->type,
                          t.columns[c].column.type, false, x.session.dateformat);
    }
    CheckNulls(t, r, x, true);
    changes.emplace_back(i, std::move(r));
  }
  bool keys_touched = false;
  for (const Index& ix : t.indexes)
    for (int c : ix.columns)
      keys_touched = keys_touched || std::find(targets.begin(), targets.end(), c) != targets.end();
  for (auto& [i, r] : changes) std::swap(t.rows[i], r);  // `r` now holds the old row
  if (keys_touched && !changes.empty()) {
    const Row* dup = nullptr;
    if (const Index* ix = t.RebuildIndexes(&dup)) {
      SqlError e = DuplicateError(t, *ix, *dup);
      for (auto& [i, r] : changes) std::swap(t.rows[i], r);
      t.RebuildIndexes(nullptr);
      throw e;
    }
  }
  return static_cast<int64_t>(changes.size());
}

void BindDelete(Delete& s, const Catalog& catalog, bool compile) {
  Table* t = OpenTable(catalog, s.table, compile);
  std::vector<Column> cols = t->ResultColumns();
  if (s.where) BindExpr(*s.where, Scope{&cols, t->name}, catalog, compile);
}

int64_t ExecDelete(Delete& s, ExecContext& x) {
  BindDelete(s, x.catalog, false);
  Table& t = *x.catalog.Find(s.table);
  EvalContext ctx{x.session.dateformat, x.now, [&x](SelectStmt& q) { return RunSelect(q, x); }, {}};
  std::vector<bool> gone(t.rows.size(), false);
  int64_t n = 0;
  for (std::size_t i = 0; i < t.rows.size(); ++i) {
    if (!s.where || Test(*s.where, &t.rows[i], ctx) == Truth::True) {
      gone[i] = true;
      ++n;
    }
  }
  if (n == 0) return 0;
  std::vector<Row> kept;
  kept.reserve(t.rows.size() - static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < t.rows.size(); ++i)
    if (!gone[i]) kept.push_back(std::move(t.rows[i]));
  t.rows = std::move(kept);
  t.RebuildIndexes(nullptr);
  return n;
}

}  // namespace standin

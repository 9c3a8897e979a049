// CREATE TABLE, ALTER TABLE ... ADD, CREATE INDEX and DROP TABLE, keeping the catalog's
// objects (tables, key and default constraints) and indexes true.
#include <algorithm>

#include "exec.h"
#include "text.h"

namespace standin {
namespace {

SqlError StatementError(int number, int severity, int state, std::string text,
                        bool then_constraint_failed) {
  SqlError e;
  e.messages.push_back(Message{number, severity, state, std::move(text)});
  if (then_constraint_failed)
    e.messages.push_back(
        Message{1750, 16, 0, "Could not create constraint or index. See previous errors."});
  return e;
}

// The table an ALTER TABLE changes; missing, it is 4902 rather than the 208 of other statements.
Table* AlteredTable(Catalog& catalog, const std::string& name) {
  Table* t = catalog.Find(name);
  if (!t) throw err::AlterMissingTable(name);
  return t;
}

// Builds a column from its definition; the default's expression is bound (constants only).
TableColumn MakeColumn(const ColumnDef& d, const Catalog& catalog) {
  TableColumn c;
  c.column.name = d.name;
  c.column.type = d.type;
  // Without NULL / NOT NULL the column is nullable (ANSI_NULL_DFLT_ON); identity and key
  // columns are NOT NULL.
  c.column.nullable = d.nullable.value_or(!d.identity && !d.primary_key);
  c.identity = d.identity;
  c.seed = d.seed;
  c.increment = d.increment;
  if (d.identity && !IsIntegerType(d.type.type) &&
      !(d.type.type == Type::Numeric && d.type.scale == 0)) {
    throw StatementError(2749, 16, 2,
                         "Identity column '" + d.name +
                             "' must be of data type int, bigint, smallint, tinyint, or decimal "
                             "or numeric with a scale of 0, and constrained to be nonnullable.",
                         false);
  }
  if (d.has_default) {
    BindExpr(*d.default_expr, Scope{}, catalog, false);
    DefaultConstraint dc;
    dc.name = d.default_name;
    dc.text = d.default_text;
    c.default_constraint = std::move(dc);
  }
  return c;
}

// Names and registers a new default constraint.
void RegisterDefault(Catalog& catalog, const Table& t, TableColumn& c,
                     const std::shared_ptr<Expr>& expr, DateTime now) {
  DefaultConstraint& dc = *c.default_constraint;
  dc.object_id = catalog.AllocateId();
  if (dc.name.empty()) dc.name = DefaultConstraintName(t.name, c.column.name, dc.object_id);
  dc.created = now;
  dc.expr = expr;
  catalog.objects[FoldName(dc.name)] = dc.object_id;
}

int NextIndid(const Table& t, bool clustered) {
  if (clustered) return 1;
  int n = 2;
  for (const Index& ix : t.indexes) n = std::max(n, ix.indid + 1);
  return n;
}

std::vector<int> KeyColumns(const Table& t, const std::vector<std::string>& names,
                            bool constraint) {
  std::vector<int> cols;
  for (const std::string& n : names) {
    int k = t.FindColumn(n);
    if (k < 0) throw err::MissingKeyColumn(n, constraint);
    cols.push_back(k);
  }
  return cols;
}

// Adds an index (or a primary key's index) to a table with rows, checking uniqueness first.
// `written` is the table's name as the statement spells it, for messages.
void AddIndex(Table& t, Index ix, bool constraint, const std::string& written) {
  for (const Index& other : t.indexes) {
    if (SameName(other.name, ix.name)) {
      if (constraint) throw err::ConstraintExists(ix.name);
      throw err::IndexExists(ix.name, written);
    }
    if (ix.clustered && other.clustered) {
      throw StatementError(1902, 16, 3,
                           "Cannot create more than one clustered index on table '" + t.name +
                               "'. Drop the existing clustered index '" + other.name +
                               "' before creating another.",
                           constraint);
    }
  }
  for (const Row& r : t.rows) {
    int& n = ix.keys[t.KeyOf(ix, r)];
    if (++n > 1 && ix.unique)
      throw err::CreateUniqueDuplicate(t.name, ix.name, t.KeyText(ix, r), constraint);
  }
  t.indexes.push_back(std::move(ix));
}

void AddPrimaryKey(Catalog& catalog, Table& t, const KeyDef& key, const std::string& written_table,
                   DateTime now) {
  if (t.PrimaryKey()) throw err::HasPrimaryKey(written_table);
  if (!key.name.empty() && catalog.NameTaken(key.name)) throw err::ConstraintExists(key.name);
  Index ix;
  ix.columns = KeyColumns(t, key.columns, true);
  for (int c : ix.columns)
    if (t.columns[static_cast<std::size_t>(c)].column.nullable)
      throw err::NullablePrimaryKey(written_table);
  ix.constraint_id = catalog.AllocateId();
  ix.name = key.name.empty() ? PrimaryKeyName(t.name, ix.constraint_id) : key.name;
  ix.created = now;
  ix.unique = true;
  ix.primary_key = true;
  bool has_clustered = std::any_of(t.indexes.begin(), t.indexes.end(),
                                   [](const Index& other) { return other.clustered; });
  ix.clustered = key.clustered.value_or(!has_clustered);
  ix.fillfactor = key.fillfactor;
  ix.indid = NextIndid(t, ix.clustered);
  AddIndex(t, std::move(ix), true, written_table);
  catalog.objects[FoldName(t.PrimaryKey()->name)] = t.PrimaryKey()->constraint_id;
}

}  // namespace

void ExecCreateTable(CreateTable& s, ExecContext& x) {
  Catalog& catalog = x.catalog;
  if (catalog.NameTaken(s.table)) throw err::ObjectExists(s.table);
  auto t = std::make_unique<Table>();
  t->name = s.table;
  t->created = x.now;
  std::vector<KeyDef> keys = s.primary_keys;
  int identities = 0;
  for (ColumnDef& d : s.columns) {
    for (const TableColumn& c : t->columns)
      if (SameName(c.column.name, d.name)) throw err::DuplicateColumn(d.name, s.table);
    t->columns.push_back(MakeColumn(d, catalog));
    if (d.identity && ++identities > 1) throw err::MultipleIdentity(s.table);
    if (d.primary_key) {
      KeyDef k = *d.primary_key;
      k.columns = {d.name};
      keys.push_back(k);
    }
  }
  for (const KeyDef& k : keys) {
    // Key columns without NULL / NOT NULL become NOT NULL.
    for (const std::string& n : k.columns) {
      int c = t->FindColumn(n);
      if (c < 0) continue;
      auto idx = static_cast<std::size_t>(c);
      bool stated = false;
      for (const ColumnDef& d : s.columns)
        if (SameName(d.name, n)) stated = d.nullable.has_value();
      if (!stated) t->columns[idx].column.nullable = false;
    }
  }
  if (keys.size() > 1) {
    throw StatementError(8110, 16, 0,
                         "Cannot add multiple PRIMARY KEY constraints to table '" + s.table + "'.",
                         true);
  }
  // Constraint names must be new, also against the table's own name and each other.
  std::vector<std::string> names{FoldName(s.table)};
  auto claim = [&](const std::string& name) {
    if (name.empty()) return;
    std::string folded = FoldName(name);
    if (catalog.NameTaken(name) || std::find(names.begin(), names.end(), folded) != names.end())
      throw err::ConstraintExists(name);
    names.push_back(folded);
  };
  for (const TableColumn& c : t->columns)
    if (c.default_constraint) claim(c.default_constraint->name);
  for (const KeyDef& k : keys) claim(k.name);

  t->id = catalog.AllocateId();
  for (std::size_t i = 0; i < t->columns.size(); ++i) {
    TableColumn& c = t->columns[i];
    if (c.identity) t->identity_current = c.seed;
    if (c.default_constraint) {
      std::shared_ptr<Expr> expr(std::move(s.columns[i].default_expr));
      RegisterDefault(catalog, *t, c, expr, x.now);
    }
  }
  try {
    if (!keys.empty()) AddPrimaryKey(catalog, *t, keys[0], s.table, x.now);
  } catch (...) {
    for (const TableColumn& c : t->columns)
      if (c.default_constraint) catalog.objects.erase(FoldName(c.default_constraint->name));
    throw;
  }
  catalog.objects[FoldName(t->name)] = t->id;
  catalog.tables[FoldName(t->name)] = std::move(t);
}

void ExecAlterAddColumn(AlterAddColumn& s, ExecContext& x) {
  Catalog& catalog = x.catalog;
  Table& t = *AlteredTable(catalog, s.table);
  ColumnDef& d = s.column;
  if (t.FindColumn(d.name) >= 0) throw err::DuplicateColumn(d.name, s.table);
  TableColumn c = MakeColumn(d, catalog);
  if (c.identity && t.IdentityColumn() >= 0) throw err::MultipleIdentity(s.table);
  if (c.default_constraint && !c.default_constraint->name.empty() &&
      catalog.NameTaken(c.default_constraint->name))
    throw err::ConstraintExists(c.default_constraint->name);
  if (!c.column.nullable && !c.default_constraint && !c.identity && !t.rows.empty())
    throw err::AddNotNullColumn(d.name, s.table);
  if (d.primary_key && t.PrimaryKey()) throw err::HasPrimaryKey(s.table);
  // Existing rows: NULL in a nullable column (no WITH VALUES), the default in a NOT NULL one,
  // the next identity values for an identity column.
  Value fill;
  if (c.default_constraint) {
    std::shared_ptr<Expr> expr(std::move(d.default_expr));
    c.default_constraint->expr = expr;
    if (!c.column.nullable) fill = DefaultValue(c, x);
    RegisterDefault(catalog, t, c, expr, x.now);
  }
  if (c.identity) t.identity_current = c.seed;
  t.columns.push_back(c);
  for (Row& r : t.rows) {
    if (!c.identity) {
      r.push_back(fill);
      continue;
    }
    int64_t v = t.identity_used ? t.identity_current + c.increment : t.identity_current;
    t.identity_current = v;
    t.identity_used = true;
    r.push_back(MakeInt(v));
  }
  if (!d.primary_key) return;
  KeyDef k = *d.primary_key;
  k.columns = {d.name};
  try {
    AddPrimaryKey(catalog, t, k, s.table, x.now);
  } catch (...) {
    // The statement fails as a whole: the column goes again.
    t.columns.pop_back();
    for (Row& r : t.rows) r.pop_back();
    if (c.default_constraint) catalog.objects.erase(FoldName(c.default_constraint->name));
    if (c.identity) t.identity_used = false;
    throw;
  }
}

void ExecAlterAddKey(AlterAddKey& s, ExecContext& x) {
  Table& t = *AlteredTable(x.catalog, s.table);
  AddPrimaryKey(x.catalog, t, s.key, s.table, x.now);
}

void ExecCreateIndex(CreateIndex& s, ExecContext& x) {
  Table* t = x.catalog.Find(s.table);
  if (!t) throw err::IndexMissingTable(s.table);
  Index ix;
  ix.name = s.name;
  ix.created = x.now;
  ix.unique = s.unique;
  ix.clustered = s.clustered;
  ix.fillfactor = s.fillfactor;
  ix.pad_index = s.pad_index;
  ix.columns = KeyColumns(*t, s.columns, false);
  ix.indid = NextIndid(*t, s.clustered);
  AddIndex(*t, std::move(ix), false, s.table);
}

void ExecDropTable(DropTable& s, ExecContext& x, StatementOutcome& out) {
  bool failed = false;
  for (const std::string& name : s.tables) {
    Table* t = x.catalog.Find(name);
    if (!t) {
      SqlError e = err::CannotDropTable(name);
      out.messages.insert(out.messages.end(), e.messages.begin(), e.messages.end());
      failed = true;
      continue;
    }
    if (SameName(x.session.identity_insert, t->name)) x.session.identity_insert.clear();
    x.catalog.objects.erase(FoldName(t->name));
    for (const Index& ix : t->indexes)
      if (ix.primary_key) x.catalog.objects.erase(FoldName(ix.name));
    for (const TableColumn& c : t->columns)
      if (c.default_constraint) x.catalog.objects.erase(FoldName(c.default_constraint->name));
    x.catalog.tables.erase(FoldName(t->name));
  }
  out.failed = failed;
}

}  // namespace standin

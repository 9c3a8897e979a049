// The catalog compatibility views, computed from the catalog whenever they are read.
// Values of the columns the tool never reads (uid, info, status, ...) are plausible constants
// (guess): only name, id, xtype, type, parent_obj and crdate are meaningful in sysobjects.
#include <algorithm>

#include "catalog.h"
#include "text.h"
#include "text/text.h"
#include "values.h"

namespace standin {
namespace {

Column col(const char* name, Type t, bool nullable, int length = 0) {
  return Column{name, TypeSpec{t, length, t == Type::Numeric ? 18 : 0, 0}, nullable};
}

Value str(std::string_view utf8) { return make_string(text::Utf8ToGbk(utf8, text::Mode::kLossy)); }
Value i(int64_t v) { return make_int(v); }
Value null() { return Value{}; }

struct ObjectRow {
  std::string name;
  int32_t id;
  const char* xtype;
  const char* type;
  int32_t parent;
  DateTime created;
  int userstat, sysstat;
};

void object_rows(const Catalog& catalog, std::vector<ObjectRow>& out) {
  for (const Table* t : catalog.in_creation_order()) {
    out.push_back({t->name, t->id, "U ", "U ", 0, t->created, 1, 3});
    for (const Index& ix : t->indexes)
      if (ix.primary_key)
        out.push_back({ix.name, ix.constraint_id, "PK", "K ", t->id, ix.created, 0, 2});
    for (const TableColumn& c : t->columns)
      if (c.default_constraint)
        out.push_back({c.default_constraint->name, c.default_constraint->object_id, "D ", "D ",
                       t->id, c.default_constraint->created, 0, 2});
  }
  std::sort(out.begin(), out.end(),
            [](const ObjectRow& a, const ObjectRow& b) { return a.id < b.id; });
}

int storage_length(const TypeSpec& t) {
  switch (t.type) {
    case Type::Char:
    case Type::VarChar:
      return t.length;
    case Type::Int:
      return 4;
    case Type::SmallInt:
      return 2;
    case Type::DateTime:
      return 8;
    case Type::Numeric:
      return t.precision <= 9 ? 5 : t.precision <= 19 ? 9 : t.precision <= 28 ? 13 : 17;
  }
  return 0;
}

int xtype_code(Type t) {
  switch (t) {
    case Type::Char:
      return 175;
    case Type::VarChar:
      return 167;
    case Type::Int:
      return 56;
    case Type::SmallInt:
      return 52;
    case Type::Numeric:
      return 108;
    case Type::DateTime:
      return 61;
  }
  return 0;
}

std::vector<Row> sysobjects_rows(const Catalog& catalog) {
  std::vector<ObjectRow> objs;
  object_rows(catalog, objs);
  std::vector<Row> rows;
  for (const ObjectRow& o : objs) {
    rows.push_back(Row{str(o.name),   i(o.id),
                       str(o.xtype),  i(1),
                       i(0),          i(0),
                       i(0),          i(0),
                       i(o.parent),   make_datetime(o.created),
                       i(0),          i(0),
                       i(0),          str(o.type),
                       i(o.userstat), i(o.sysstat),
                       i(0),          make_datetime(o.created),
                       i(0),          i(0),
                       i(0),          i(0),
                       i(0),          i(0),
                       i(0)});
  }
  return rows;
}

std::vector<Row> syscolumns_rows(const Catalog& catalog) {
  std::vector<Row> rows;
  for (const Table* t : catalog.in_creation_order()) {
    for (std::size_t k = 0; k < t->columns.size(); ++k) {
      const TableColumn& c = t->columns[k];
      const TypeSpec& ty = c.column.type;
      bool str_type = is_string_type(ty.type);
      int prec = str_type                    ? ty.length
                 : ty.type == Type::Int      ? 10
                 : ty.type == Type::SmallInt ? 5
                 : ty.type == Type::DateTime ? 23
                                             : ty.precision;
      int scale = ty.type == Type::Numeric ? ty.scale : ty.type == Type::DateTime ? 3 : 0;
      rows.push_back(Row{str(c.column.name), i(t->id), i(xtype_code(ty.type)),
                         i(storage_length(ty)), i(str_type ? 0 : prec), i(scale),
                         i(static_cast<int64_t>(k) + 1), i(c.identity ? 1 : 0),
                         i(c.default_constraint ? c.default_constraint->object_id : 0), i(prec),
                         str_type ? null() : i(scale), i(c.column.nullable ? 1 : 0),
                         str_type ? str("Chinese_PRC_CI_AS") : null()});
    }
  }
  return rows;
}

std::vector<Row> sysindexes_rows(const Catalog& catalog) {
  std::vector<Row> rows;
  for (const Table* t : catalog.in_creation_order()) {
    auto n = static_cast<int64_t>(t->rows.size());
    bool clustered = std::any_of(t->indexes.begin(), t->indexes.end(),
                                 [](const Index& ix) { return ix.clustered; });
    if (!clustered) rows.push_back(Row{i(t->id), i(0), i(0), i(0), i(n), i(0), null(), i(n)});
    std::vector<const Index*> ixs;
    for (const Index& ix : t->indexes) ixs.push_back(&ix);
    std::sort(ixs.begin(), ixs.end(),
              [](const Index* a, const Index* b) { return a->indid < b->indid; });
    for (const Index* ix : ixs) {
      // status bits: 2 unique, 16 clustered, 2048 primary key (documented meanings).
      int status = (ix->unique ? 2 : 0) | (ix->clustered ? 16 : 0) | (ix->primary_key ? 2048 : 0);
      rows.push_back(Row{i(t->id), i(status), i(ix->indid),
                         i(static_cast<int64_t>(ix->columns.size())), i(n), i(ix->fillfactor),
                         str(ix->name), i(n)});
    }
  }
  return rows;
}

}  // namespace

bool is_system_view(std::string_view name) {
  return same_name(name, "sysobjects") || same_name(name, "syscolumns") ||
         same_name(name, "sysindexes");
}

std::vector<Column> system_view_columns(std::string_view name) {
  if (same_name(name, "sysobjects")) {
    return {col("name", Type::VarChar, false, 128),   col("id", Type::Int, false),
            col("xtype", Type::Char, false, 2),       col("uid", Type::SmallInt, true),
            col("info", Type::SmallInt, true),        col("status", Type::Int, true),
            col("base_schema_ver", Type::Int, true),  col("replinfo", Type::Int, true),
            col("parent_obj", Type::Int, false),      col("crdate", Type::DateTime, false),
            col("ftcatid", Type::SmallInt, true),     col("schema_ver", Type::Int, true),
            col("stats_schema_ver", Type::Int, true), col("type", Type::Char, true, 2),
            col("userstat", Type::SmallInt, true),    col("sysstat", Type::SmallInt, true),
            col("indexdel", Type::SmallInt, true),    col("refdate", Type::DateTime, false),
            col("version", Type::Int, true),          col("deltrig", Type::Int, true),
            col("instrig", Type::Int, true),          col("updtrig", Type::Int, true),
            col("seltrig", Type::Int, true),          col("category", Type::Int, true),
            col("cache", Type::SmallInt, true)};
  }
  if (same_name(name, "syscolumns")) {
    return {col("name", Type::VarChar, true, 128),
            col("id", Type::Int, false),
            col("xtype", Type::SmallInt, false),
            col("length", Type::SmallInt, false),
            col("xprec", Type::SmallInt, false),
            col("xscale", Type::SmallInt, false),
            col("colid", Type::SmallInt, true),
            col("colstat", Type::SmallInt, true),
            col("cdefault", Type::Int, false),
            col("prec", Type::SmallInt, true),
            col("scale", Type::Int, true),
            col("isnullable", Type::Int, true),
            col("collation", Type::VarChar, true, 128)};
  }
  return {col("id", Type::Int, false),           col("status", Type::Int, true),
          col("indid", Type::SmallInt, true),    col("keycnt", Type::SmallInt, true),
          col("rowcnt", Type::Int, true),        col("OrigFillFactor", Type::SmallInt, true),
          col("name", Type::VarChar, true, 128), col("rows", Type::Int, true)};
}

std::vector<Row> system_view_rows(std::string_view name, const Catalog& catalog) {
  if (same_name(name, "sysobjects")) return sysobjects_rows(catalog);
  if (same_name(name, "syscolumns")) return syscolumns_rows(catalog);
  return sysindexes_rows(catalog);
}

}  // namespace standin

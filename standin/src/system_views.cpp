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

Column Col(const char* name, Type t, bool nullable, int length = 0) {
  return Column{name, TypeSpec{t, length, t == Type::Numeric ? 18 : 0, 0}, nullable};
}

Value Str(std::string_view utf8) { return MakeString(text::Utf8ToGbk(utf8, text::Mode::kLossy)); }
Value I(int64_t v) { return MakeInt(v); }
Value Null() { return Value{}; }

struct ObjectRow {
  std::string name;
  int32_t id;
  const char* xtype;
  const char* type;
  int32_t parent;
  DateTime created;
  int userstat, sysstat;
};

void ObjectRows(const Catalog& catalog, std::vector<ObjectRow>& out) {
  for (const Table* t : catalog.InCreationOrder()) {
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

int StorageLength(const TypeSpec& t) {
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

int XtypeCode(Type t) {
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

std::vector<Row> SysobjectsRows(const Catalog& catalog) {
  std::vector<ObjectRow> objs;
  ObjectRows(catalog, objs);
  std::vector<Row> rows;
  for (const ObjectRow& o : objs) {
    rows.push_back(Row{Str(o.name),   I(o.id),
                       Str(o.xtype),  I(1),
                       I(0),          I(0),
                       I(0),          I(0),
                       I(o.parent),   MakeDatetime(o.created),
                       I(0),          I(0),
                       I(0),          Str(o.type),
                       I(o.userstat), I(o.sysstat),
                       I(0),          MakeDatetime(o.created),
                       I(0),          I(0),
                       I(0),          I(0),
                       I(0),          I(0),
                       I(0)});
  }
  return rows;
}

std::vector<Row> SyscolumnsRows(const Catalog& catalog) {
  std::vector<Row> rows;
  for (const Table* t : catalog.InCreationOrder()) {
    for (std::size_t k = 0; k < t->columns.size(); ++k) {
      const TableColumn& c = t->columns[k];
      const TypeSpec& ty = c.column.type;
      bool str_type = IsStringType(ty.type);
      int prec = str_type                    ? ty.length
                 : ty.type == Type::Int      ? 10
                 : ty.type == Type::SmallInt ? 5
                 : ty.type == Type::DateTime ? 23
                                             : ty.precision;
      int scale = ty.type == Type::Numeric ? ty.scale : ty.type == Type::DateTime ? 3 : 0;
      rows.push_back(Row{Str(c.column.name), I(t->id), I(XtypeCode(ty.type)), I(StorageLength(ty)),
                         I(str_type ? 0 : prec), I(scale), I(static_cast<int64_t>(k) + 1),
                         I(c.identity ? 1 : 0),
                         I(c.default_constraint ? c.default_constraint->object_id : 0), I(prec),
                         str_type ? Null() : I(scale), I(c.column.nullable ? 1 : 0),
                         str_type ? Str("Chinese_PRC_CI_AS") : Null()});
    }
  }
  return rows;
}

std::vector<Row> SysindexesRows(const Catalog& catalog) {
  std::vector<Row> rows;
  for (const Table* t : catalog.InCreationOrder()) {
    auto n = static_cast<int64_t>(t->rows.size());
    bool clustered = std::any_of(t->indexes.begin(), t->indexes.end(),
                                 [](const Index& ix) { return ix.clustered; });
    if (!clustered) rows.push_back(Row{I(t->id), I(0), I(0), I(0), I(n), I(0), Null(), I(n)});
    std::vector<const Index*> ixs;
    for (const Index& ix : t->indexes) ixs.push_back(&ix);
    std::sort(ixs.begin(), ixs.end(),
              [](const Index* a, const Index* b) { return a->indid < b->indid; });
    for (const Index* ix : ixs) {
      // status bits: 2 unique, 16 clustered, 2048 primary key (documented meanings).
      int status = (ix->unique ? 2 : 0) | (ix->clustered ? 16 : 0) | (ix->primary_key ? 2048 : 0);
      rows.push_back(Row{I(t->id), I(status), I(ix->indid),
                         I(static_cast<int64_t>(ix->columns.size())), I(n), I(ix->fillfactor),
                         Str(ix->name), I(n)});
    }
  }
  return rows;
}

}  // namespace

bool IsSystemView(std::string_view name) {
  return SameName(name, "sysobjects") || SameName(name, "syscolumns") ||
         SameName(name, "sysindexes");
}

std::vector<Column> SystemViewColumns(std::string_view name) {
  if (SameName(name, "sysobjects")) {
    return {Col("name", Type::VarChar, false, 128),   Col("id", Type::Int, false),
            Col("xtype", Type::Char, false, 2),       Col("uid", Type::SmallInt, true),
            Col("info", Type::SmallInt, true),        Col("status", Type::Int, true),
            Col("base_schema_ver", Type::Int, true),  Col("replinfo", Type::Int, true),
            Col("parent_obj", Type::Int, false),      Col("crdate", Type::DateTime, false),
            Col("ftcatid", Type::SmallInt, true),     Col("schema_ver", Type::Int, true),
            Col("stats_schema_ver", Type::Int, true), Col("type", Type::Char, true, 2),
            Col("userstat", Type::SmallInt, true),    Col("sysstat", Type::SmallInt, true),
            Col("indexdel", Type::SmallInt, true),    Col("refdate", Type::DateTime, false),
            Col("version", Type::Int, true),          Col("deltrig", Type::Int, true),
            Col("instrig", Type::Int, true),          Col("updtrig", Type::Int, true),
            Col("seltrig", Type::Int, true),          Col("category", Type::Int, true),
            Col("cache", Type::SmallInt, true)};
  }
  if (SameName(name, "syscolumns")) {
    return {Col("name", Type::VarChar, true, 128),
            Col("id", Type::Int, false),
            Col("xtype", Type::SmallInt, false),
            Col("length", Type::SmallInt, false),
            Col("xprec", Type::SmallInt, false),
            Col("xscale", Type::SmallInt, false),
            Col("colid", Type::SmallInt, true),
            Col("colstat", Type::SmallInt, true),
            Col("cdefault", Type::Int, false),
            Col("prec", Type::SmallInt, true),
            Col("scale", Type::Int, true),
            Col("isnullable", Type::Int, true),
            Col("collation", Type::VarChar, true, 128)};
  }
  return {Col("id", Type::Int, false),           Col("status", Type::Int, true),
          Col("indid", Type::SmallInt, true),    Col("keycnt", Type::SmallInt, true),
          Col("rowcnt", Type::Int, true),        Col("OrigFillFactor", Type::SmallInt, true),
          Col("name", Type::VarChar, true, 128), Col("rows", Type::Int, true)};
}

std::vector<Row> SystemViewRows(std::string_view name, const Catalog& catalog) {
  if (SameName(name, "sysobjects")) return SysobjectsRows(catalog);
  if (SameName(name, "syscolumns")) return SyscolumnsRows(catalog);
  return SysindexesRows(catalog);
}

}  // namespace standin

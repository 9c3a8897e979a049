// DumpScript and the script splitting of LoadScript.
#include <algorithm>
#include <cctype>

#include "database.h"
#include "lexer.h"
#include "text.h"

namespace standin {
namespace {

constexpr std::size_t kRowsPerInsert = 1000;  // the server's limit for one VALUES list

std::string Ident(const std::string& name) {
  bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0])) &&
               !IsReservedKeyword(FoldName(name));
  for (unsigned char c : name) plain = plain && (std::isalnum(c) || c == '_');
  return plain ? name : "[" + name + "]";
}

std::string SqlLiteral(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Null:
      return "NULL";
    case Value::Kind::Int:
    case Value::Kind::Numeric:
      return v.Text();
    case Value::Kind::DateTime:
      return "'" + DatetimeText(v.dt, 'T') + "'";
    case Value::Kind::String: {
      std::string out = "'";
      for (char c : v.Text()) {
        out += c;
        if (c == '\'') out += '\'';
      }
      return out + "'";
    }
  }
  return "NULL";
}

std::string ColumnList(const Table& t, const std::vector<int>& cols) {
  std::string out;
  for (std::size_t i = 0; i < cols.size(); ++i) {
    if (i) out += ", ";
    out += Ident(t.columns[static_cast<std::size_t>(cols[i])].column.name);
  }
  return out;
}

void DumpCreate(const Table& t, std::string& out) {
  out += "create table " + Ident(t.name) + " (\n";
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const TableColumn& c = t.columns[i];
    out += "\t" + Ident(c.column.name) + " " + c.column.type.Sql();
    if (c.identity)
      out += " IDENTITY (" + std::to_string(c.seed) + ", " + std::to_string(c.increment) + ")";
    out += c.column.nullable ? " NULL" : " NOT NULL";
    if (c.default_constraint) {
      out += " constraint " + Ident(c.default_constraint->name) + " default " +
             c.default_constraint->text;
    }
    out += i + 1 < t.columns.size() ? ",\n" : "\n";
  }
  out += ")\nGO\n";
}

void DumpRows(const Table& t, std::string& out) {
  if (t.rows.empty()) return;
  std::vector<int> all(t.columns.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
  bool identity = t.IdentityColumn() >= 0;
  if (identity) out += "set identity_insert " + Ident(t.name) + " on\nGO\n";
  for (std::size_t start = 0; start < t.rows.size(); start += kRowsPerInsert) {
    out += "insert into " + Ident(t.name) + " (" + ColumnList(t, all) + ") values\n";
    std::size_t end = std::min(t.rows.size(), start + kRowsPerInsert);
    for (std::size_t r = start; r < end; ++r) {
      out += "(";
      for (std::size_t c = 0; c < t.columns.size(); ++c) {
        if (c) out += ", ";
        out += SqlLiteral(t.rows[r][c]);
      }
      out += r + 1 < end ? "),\n" : ")\n";
    }
    out += "GO\n";
  }
  if (identity) out += "set identity_insert " + Ident(t.name) + " off\nGO\n";
}

// Restores the value the next row will get. After rows were loaded, RESEED n gives the next row
// n + increment; on a table that never had a row it gives n itself.
void DumpIdentity(const Table& t, std::string& out) {
  int c = t.IdentityColumn();
  if (c < 0) return;
  const TableColumn& col = t.columns[static_cast<std::size_t>(c)];
  int64_t next = t.identity_used ? t.identity_current + col.increment : t.identity_current;
  int64_t reseed = t.rows.empty() ? next : next - col.increment;
  if (t.rows.empty() && next == col.seed) return;
  out += "DBCC CHECKIDENT ('" + t.name + "', RESEED, " + std::to_string(reseed) + ")\nGO\n";
}

void DumpIndexes(const Table& t, std::string& out) {
  std::vector<const Index*> ixs;
  for (const Index& ix : t.indexes) ixs.push_back(&ix);
  std::sort(ixs.begin(), ixs.end(),
            [](const Index* a, const Index* b) { return a->indid < b->indid; });
  for (const Index* ix : ixs) {
    std::string kind = ix->clustered ? "clustered" : "nonclustered";
    std::string with;
    if (ix->pad_index || ix->fillfactor) {
      with = " with ";
      if (ix->pad_index) with += "pad_index";
      if (ix->pad_index && ix->fillfactor) with += ", ";
      if (ix->fillfactor) with += "fillfactor = " + std::to_string(ix->fillfactor);
    }
    if (ix->primary_key) {
      out += "alter table " + Ident(t.name) + " add constraint " + Ident(ix->name) +
             " primary key " + kind + " (" + ColumnList(t, ix->columns) + ")" + with + "\nGO\n";
    } else {
      out += std::string("create ") + (ix->unique ? "unique " : "") + kind + " index " +
             Ident(ix->name) + " on " + Ident(t.name) + " (" + ColumnList(t, ix->columns) + ")" +
             with + "\nGO\n";
    }
  }
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string DumpCatalog(const Catalog& catalog) {
  std::string out;
  for (const Table* t : catalog.InCreationOrder()) {
    DumpCreate(*t, out);
    DumpRows(*t, out);
    DumpIdentity(*t, out);
    DumpIndexes(*t, out);
  }
  return out;
}

std::vector<std::string> SplitScript(std::string_view script) {
  std::vector<std::string> batches;
  std::string current;
  std::size_t p = 0;
  while (p <= script.size()) {
    std::size_t nl = script.find('\n', p);
    std::size_t end = nl == std::string_view::npos ? script.size() : nl + 1;
    std::string_view line = script.substr(p, end - p);
    if (SameName(Trim(line), "go")) {
      if (!Trim(current).empty()) batches.push_back(current);
      current.clear();
    } else {
      current += line;
    }
    if (nl == std::string_view::npos) break;
    p = end;
  }
  if (!Trim(current).empty()) batches.push_back(current);
  return batches;
}

}  // namespace standin

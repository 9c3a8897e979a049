// dump_script and the script splitting of load_script.
#include <algorithm>
#include <cctype>

#include "database.h"
#include "lexer.h"
#include "text.h"

namespace standin {
namespace {

constexpr std::size_t kRowsPerInsert = 1000;  // the server's limit for one VALUES list

std::string ident(const std::string& name) {
  bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0])) &&
               !is_reserved_keyword(fold_name(name));
  for (unsigned char c : name) plain = plain && (std::isalnum(c) || c == '_');
  return plain ? name : "[" + name + "]";
}

std::string sql_literal(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Null:
      return "NULL";
    case Value::Kind::Int:
    case Value::Kind::Numeric:
      return v.text();
    case Value::Kind::DateTime:
      return "'" + datetime_text(v.dt, 'T') + "'";
    case Value::Kind::String: {
      std::string out = "'";
      for (char c : v.text()) {
        out += c;
        if (c == '\'') out += '\'';
      }
      return out + "'";
    }
  }
  return "NULL";
}

std::string column_list(const Table& t, const std::vector<int>& cols) {
  std::string out;
  for (std::size_t i = 0; i < cols.size(); ++i) {
    if (i) out += ", ";
    out += ident(t.columns[static_cast<std::size_t>(cols[i])].column.name);
  }
  return out;
}

void dump_create(const Table& t, std::string& out) {
  out += "create table " + ident(t.name) + " (\n";
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const TableColumn& c = t.columns[i];
    out += "\t" + ident(c.column.name) + " " + c.column.type.sql();
    if (c.identity)
      out += " IDENTITY (" + std::to_string(c.seed) + ", " + std::to_string(c.increment) + ")";
    out += c.column.nullable ? " NULL" : " NOT NULL";
    if (c.default_constraint) {
      out += " constraint " + ident(c.default_constraint->name) + " default " +
             c.default_constraint->text;
    }
    out += i + 1 < t.columns.size() ? ",\n" : "\n";
  }
  out += ")\nGO\n";
}

void dump_rows(const Table& t, std::string& out) {
  if (t.rows.empty()) return;
  std::vector<int> all(t.columns.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
  bool identity = t.identity_column() >= 0;
  if (identity) out += "set identity_insert " + ident(t.name) + " on\nGO\n";
  for (std::size_t start = 0; start < t.rows.size(); start += kRowsPerInsert) {
    out += "insert into " + ident(t.name) + " (" + column_list(t, all) + ") values\n";
    std::size_t end = std::min(t.rows.size(), start + kRowsPerInsert);
    for (std::size_t r = start; r < end; ++r) {
      out += "(";
      for (std::size_t c = 0; c < t.columns.size(); ++c) {
        if (c) out += ", ";
        out += sql_literal(t.rows[r][c]);
      }
      out += r + 1 < end ? "),\n" : ")\n";
    }
    out += "GO\n";
  }
  if (identity) out += "set identity_insert " + ident(t.name) + " off\nGO\n";
}

// Restores the value the next row will get. After rows were loaded, RESEED n gives the next row
// n + increment; on a table that never had a row it gives n itself.
void dump_identity(const Table& t, std::string& out) {
  int c = t.identity_column();
  if (c < 0) return;
  const TableColumn& col = t.columns[static_cast<std::size_t>(c)];
  int64_t next = t.identity_used ? t.identity_current + col.increment : t.identity_current;
  int64_t reseed = t.rows.empty() ? next : next - col.increment;
  if (t.rows.empty() && next == col.seed) return;
  out += "DBCC CHECKIDENT ('" + t.name + "', RESEED, " + std::to_string(reseed) + ")\nGO\n";
}

void dump_indexes(const Table& t, std::string& out) {
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
      out += "alter table " + ident(t.name) + " add constraint " + ident(ix->name) +
             " primary key " + kind + " (" + column_list(t, ix->columns) + ")" + with + "\nGO\n";
    } else {
      out += std::string("create ") + (ix->unique ? "unique " : "") + kind + " index " +
             ident(ix->name) + " on " + ident(t.name) + " (" + column_list(t, ix->columns) + ")" +
             with + "\nGO\n";
    }
  }
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string dump_catalog(const Catalog& catalog) {
  std::string out;
  for (const Table* t : catalog.in_creation_order()) {
    dump_create(*t, out);
    dump_rows(*t, out);
    dump_identity(*t, out);
    dump_indexes(*t, out);
  }
  return out;
}

std::vector<std::string> split_script(std::string_view script) {
  std::vector<std::string> batches;
  std::string current;
  std::size_t p = 0;
  while (p <= script.size()) {
    std::size_t nl = script.find('\n', p);
    std::size_t end = nl == std::string_view::npos ? script.size() : nl + 1;
    std::string_view line = script.substr(p, end - p);
    if (same_name(trim(line), "go")) {
      if (!trim(current).empty()) batches.push_back(current);
      current.clear();
    } else {
      current += line;
    }
    if (nl == std::string_view::npos) break;
    p = end;
  }
  if (!trim(current).empty()) batches.push_back(current);
  return batches;
}

}  // namespace standin

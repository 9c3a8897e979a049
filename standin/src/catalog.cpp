#include "catalog.h"

#include <algorithm>
#include <cstdio>

#include "text.h"
#include "values.h"

namespace standin {

int Table::FindColumn(std::string_view n) const {
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (SameName(columns[i].column.name, n)) return static_cast<int>(i);
  return -1;
}

int Table::IdentityColumn() const {
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (columns[i].identity) return static_cast<int>(i);
  return -1;
}

const Index* Table::PrimaryKey() const {
  for (const Index& ix : indexes)
    if (ix.primary_key) return &ix;
  return nullptr;
}

std::string Table::KeyOf(const Index& index, const Row& row) const {
  std::string key;
  for (int c : index.columns) {
    std::string part = ValueKey(row[static_cast<std::size_t>(c)]);
    key += std::to_string(part.size());
    key += ':';
    key += part;
  }
  return key;
}

std::string Table::KeyText(const Index& index, const Row& row) const {
  std::string out;
  for (std::size_t i = 0; i < index.columns.size(); ++i) {
    if (i) out += ", ";
    out += standin::KeyText(row[static_cast<std::size_t>(index.columns[i])]);
  }
  return out;
}

const Index* Table::RebuildIndexes(const Row** duplicate) {
  const Index* failed = nullptr;
  for (Index& ix : indexes) {
    ix.keys.clear();
    ix.keys.reserve(rows.size());
    for (const Row& r : rows) {
      int& n = ix.keys[KeyOf(ix, r)];
      if (++n > 1 && ix.unique && !failed) {
        failed = &ix;
        if (duplicate) *duplicate = &r;
      }
    }
  }
  return failed;
}

std::vector<Column> Table::ResultColumns() const {
  std::vector<Column> out;
  out.reserve(columns.size());
  for (const TableColumn& c : columns) out.push_back(c.column);
  return out;
}

Table* Catalog::Find(std::string_view name) {
  auto it = tables.find(FoldName(name));
  return it == tables.end() ? nullptr : it->second.get();
}

const Table* Catalog::Find(std::string_view name) const {
  auto it = tables.find(FoldName(name));
  return it == tables.end() ? nullptr : it->second.get();
}

bool Catalog::NameTaken(std::string_view name) const {
  return objects.count(FoldName(name)) != 0 || IsSystemView(name);
}

int32_t Catalog::AllocateId() {
  int32_t id = next_id;
  next_id += 16;
  return id;
}

std::vector<const Table*> Catalog::InCreationOrder() const {
  std::vector<const Table*> out;
  for (const auto& [key, t] : tables) out.push_back(t.get());
  std::sort(out.begin(), out.end(), [](const Table* a, const Table* b) { return a->id < b->id; });
  return out;
}

std::string DefaultConstraintName(std::string_view table, std::string_view column, int32_t id) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<uint32_t>(id));
  return "DF__" + Utf8Prefix(table, 9) + "__" + Utf8Prefix(column, 5) + "__" + hex;
}

std::string PrimaryKeyName(std::string_view table, int32_t id) {
  // The form of system-named keys is a guess: PK__ + 8 characters + __ + 16 hex digits.
  char hex[24];
  std::snprintf(hex, sizeof hex, "%08X%08X", static_cast<uint32_t>(id),
                static_cast<uint32_t>(id) ^ 0x5A5A5A5Au);
  return "PK__" + Utf8Prefix(table, 8) + "__" + hex;
}

}  // namespace standin

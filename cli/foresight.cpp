#include "foresight.h"

#include <cctype>
#include <cstdlib>
#include <functional>

#include "halfdone.h"
#include "sqltext.h"
#include "text/text.h"

namespace vrekcli {

namespace {

// Each row of the select's result, its fields found by column name.
void EachRow(platform::Connection& connection, const std::string& select,
             const std::function<void(const std::function<platform::Variant(const char*)>&)>& row) {
  const platform::ResultSet result = connection.Open(select);
  for (std::size_t r = 0; r < result.RowCount(); ++r)
    row([&](const char* name) {
      const std::size_t c = result.ColumnIndex(name);
      if (c == platform::ResultSet::npos)
        throw platform::EDatabaseError(std::string("Field '") + name + "' not found");
      return result.Value(r, c);
    });
}

ForeseenError Error(int number, std::string message) { return {number, std::move(message)}; }
std::string Q(const std::string& s) { return "'" + s + "'"; }
ForeseenError NoObject(int number, const std::string& table) {
  return Error(number, "Cannot find the object \"" + table +
                           "\" because it does not exist or you do not have permissions.");
}
ForeseenError MissingColumnOfIndex(const std::string& column) {
  return Error(1911, "Column name " + Q(column) + " does not exist in the target table or view.");
}

// The column a statement "update T set c=CONVERT(char(9),s)" copies: s; empty for a constant.
std::string CopiedColumn(const std::string& text) {
  const std::string lower = Lower(text);
  const std::size_t at = lower.find("convert(char(9),");
  if (at == std::string::npos) return "";
  const std::size_t from = at + std::string("convert(char(9),").size();
  return TrimBlanks(text.substr(from, text.find(')', from) - from));
}

// The key column of "... PRIMARY KEY NONCLUSTERED (c)" or of "create index I on T(c) ...".
std::string ParenthesizedColumn(const std::string& text, std::size_t from) {
  const std::size_t open = text.find('(', from);
  if (open == std::string::npos) return "";
  return TrimBlanks(text.substr(open + 1, text.find(')', open) - open - 1));
}

// A constraint the server refused is followed by this error (sqlserver-facts.md, section 1).
ForeseenError ConstraintFailed(ForeseenError e) {
  e.then.push_back("Could not create constraint or index. See previous errors.");
  return e;
}

}  // namespace

std::string ForeseenError::Text() const {
  std::string text = message;
  for (const std::string& m : then) text += "\n" + m;
  return text;
}

Foresight::Foresight(platform::Connection& connection) {
  EachRow(connection, "select id, name, xtype, parent_obj from sysobjects", [this](auto field) {
    const int id = field("id").AsInteger();
    Object o{TrimRight(field("name").AsString()), TrimRight(field("xtype").AsString()),
             field("parent_obj").AsInteger()};
    if (o.xtype == "U") tables_[Lower(o.name)] = Table{o.name, id, {}, {}, false};
    objects_[id] = std::move(o);
  });
  std::map<int, Table*> by_id;
  for (auto& [name, t] : tables_) by_id[t.id] = &t;
  for (const auto& [id, o] : objects_)
    if (o.xtype == "PK" && by_id.count(o.parent)) by_id[o.parent]->primary_key = true;
  EachRow(connection, "select id, name, xtype, length, isnullable from syscolumns",
          [&by_id](auto field) {
            const auto t = by_id.find(field("id").AsInteger());
            if (t == by_id.end()) return;
            t->second->columns.push_back({TrimRight(field("name").AsString()),
                                          field("xtype").AsInteger(), field("length").AsInteger(),
                                          field("isnullable").AsInteger() != 0});
          });
  EachRow(connection, "select id, name from sysindexes", [&by_id](auto field) {
    const auto t = by_id.find(field("id").AsInteger());
    if (t == by_id.end() || field("name").IsNull()) return;
    t->second->indexes.insert(Lower(TrimRight(field("name").AsString())));
  });

  auto add = [this](const upgrade::Block& block) {
    for (const upgrade::Statement& s : block.statements)
      if (s.kind != upgrade::Statement::Kind::Read) statements_[upgrade::BatchText(s.lines)] = &s;
    if (block.guard.kind == upgrade::Guard::Kind::Mark)
      mark_inserts_[upgrade::BatchText(upgrade::MarkInsertLines(block.guard.name))] =
          block.guard.name;
  };
  add(upgrade::LedgerBlock());
  for (const upgrade::Step* step : upgrade::Steps())
    for (const upgrade::Block& block : step->blocks) add(block);
}

std::optional<ForeseenError> Foresight::Execute(std::string_view batch) {
  const std::string text(batch);
  if (const auto s = statements_.find(text); s != statements_.end()) return Apply(*s->second);
  if (const auto m = mark_inserts_.find(text); m != mark_inserts_.end())
    return InsertMark(m->second);
  return std::nullopt;
}

Foresight::Table* Foresight::FindTable(const std::string& name) {
  const auto t = tables_.find(Lower(name));
  return t == tables_.end() ? nullptr : &t->second;
}

const Foresight::Column* Foresight::FindColumn(const Table& table, const std::string& name) const {
  for (const Column& c : table.columns)
    if (Lower(c.name) == Lower(name)) return &c;
  return nullptr;
}

bool Foresight::NameTaken(const std::string& name) const {
  for (const auto& [id, o] : objects_)
    if (Lower(o.name) == Lower(name)) return true;
  return false;
}

std::optional<ForeseenError> Foresight::Apply(const upgrade::Statement& statement) {
  // A statement's changes are checked and made in order; the upgrade's statements have one
  // change each, so a refused statement has changed nothing.
  for (const upgrade::Change& change : statement.changes)
    if (auto error = Apply(statement, change)) return error;
  return std::nullopt;
}

std::optional<ForeseenError> Foresight::Apply(const upgrade::Statement& statement,
                                              const upgrade::Change& change) {
  using Kind = upgrade::Change::Kind;
  const std::string text = upgrade::BatchText(statement.lines);
  Table* table = FindTable(change.table);
  switch (change.kind) {
    case Kind::CreateTable: {
      if (NameTaken(change.table))
        return Error(2714,
                     "There is already an object named " + Q(change.table) + " in the database.");
      Table created{change.table, NewId(), {}, {}, false};
      for (const upgrade::ColumnDef& def : upgrade::CreatedColumns(statement)) {
        // Each column is declared on a line of its own; NOT NULL or IDENTITY there makes it
        // refuse NULL.
        bool nullable = true;
        for (const std::string& line : statement.lines) {
          const std::string l = Lower(TrimBlanks(line));
          if (l.rfind(Lower(def.name), 0) == 0 &&
              (l.find("not null") != std::string::npos || l.find("identity") != std::string::npos))
            nullable = false;
        }
        const std::size_t open = def.type.find('(');
        const int length = open == std::string::npos ? 0 : std::atoi(def.type.c_str() + open + 1);
        const int xtype = def.type.rfind("char(", 0) == 0      ? 175
                          : def.type.rfind("varchar(", 0) == 0 ? 167
                                                               : 0;
        created.columns.push_back({def.name, xtype, length, nullable});
      }
      objects_[created.id] = {change.table, "U", 0};
      tables_[Lower(change.table)] = std::move(created);
      return std::nullopt;
    }
    case Kind::DropTable: {
      if (!table)
        return Error(3701, "Cannot drop the table " + Q(change.table) +
                               ", because it does not exist or you do not have permission.");
      const int id = table->id;
      for (auto o = objects_.begin(); o != objects_.end();)
        o = (o->first == id || o->second.parent == id) ? objects_.erase(o) : std::next(o);
      tables_.erase(Lower(change.table));
      return std::nullopt;
    }
    case Kind::AddColumn: {
      if (!table) return NoObject(4902, change.table);
      if (FindColumn(*table, change.name))
        return Error(2705, "Column names in each table must be unique. Column name " +
                               Q(change.name) + " in table " + Q(change.table) +
                               " is specified more than once.");
      table->columns.push_back({change.name, 0, 0, true});
      return std::nullopt;
    }
    case Kind::FillColumn: {
      if (!table) return Error(208, "Invalid object name " + Q(change.table) + ".");
      for (const std::string& column : {change.name, CopiedColumn(text)})
        if (!column.empty() && !FindColumn(*table, column))
          return Error(207, "Invalid column name " + Q(column) + ".");
      return std::nullopt;
    }
    case Kind::AddPrimaryKey: {
      if (!table) return NoObject(4902, change.table);
      if (table->primary_key)
        return ConstraintFailed(
            Error(1779, "Table " + Q(change.table) + " already has a primary key defined on it."));
      if (NameTaken(change.name))
        return ConstraintFailed(Error(
            2714, "There is already an object named " + Q(change.name) + " in the database."));
      const std::string key = ParenthesizedColumn(text, Lower(text).find("primary key"));
      const Column* column = FindColumn(*table, key);
      if (!column) return ConstraintFailed(MissingColumnOfIndex(key));
      if (column->nullable)
        return ConstraintFailed(
            Error(8111, "Cannot define PRIMARY KEY constraint on nullable column in table " +
                            Q(change.table) + "."));
      table->primary_key = true;
      table->indexes.insert(Lower(change.name));
      objects_[NewId()] = {change.name, "PK", table->id};
      return std::nullopt;
    }
    case Kind::CreateIndex: {
      if (!table) return NoObject(1088, change.table);
      const std::string key = ParenthesizedColumn(text, Lower(text).find(" on "));
      if (!FindColumn(*table, key)) return MissingColumnOfIndex(key);
      if (table->indexes.count(Lower(change.name)))
        return Error(1913, "The operation failed because an index or statistics with name " +
                               Q(change.name) + " already exists on table " + Q(change.table) +
                               ".");
      table->indexes.insert(Lower(change.name));
      return std::nullopt;
    }
    case Kind::InsertRows:
      if (!table) return Error(208, "Invalid object name " + Q(change.table) + ".");
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<ForeseenError> Foresight::InsertMark(const std::string& mark) {
  const Table* ledger = FindTable("ver_manage");
  if (!ledger) return Error(208, "Invalid object name 'ver_manage'.");
  const Column* column = FindColumn(*ledger, "vm_mess");
  if (!column) return Error(207, "Invalid column name 'vm_mess'.");
  if ((column->xtype == 175 || column->xtype == 167) &&
      text::Utf8ToGbk(mark, text::Mode::kLossy).size() > static_cast<std::size_t>(column->length))
    return Error(8152, "String or binary data would be truncated.");
  return std::nullopt;
}

}  // namespace vrekcli

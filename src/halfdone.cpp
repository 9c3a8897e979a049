#include "halfdone.h"

#include <cctype>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "people.h"
#include "sqltext.h"

namespace upgrade {

using platform::TQuery;
using platform::Variant;

namespace {

// The type of a column as its create statement would spell it, from its row of syscolumns:
// xtype is the type's system_type_id in sys.types, length its storage length in bytes (of code
// page 936 for char data), prec and scale a numeric's precision and scale.
std::string CatalogType(const TQuery& column) {
  const int length = column.FieldByName("length").AsInteger();
  switch (column.FieldByName("xtype").AsInteger()) {
    case 175:
      return "char(" + std::to_string(length) + ")";
    case 167:
      return "varchar(" + std::to_string(length) + ")";
    case 56:
      return "int";
    case 52:
      return "smallint";
    case 108:
      return "numeric(" + column.FieldByName("prec").AsString() + "," +
             column.FieldByName("scale").AsString() + ")";
    case 61:
      return "datetime";
  }
  return "xtype " + column.FieldByName("xtype").AsString();
}

// What the catalog and the ledger hold, read once.
class Snapshot {
 public:
  explicit Snapshot(TQuery& query) {
    EachRow(query, {"select id, name, xtype from sysobjects"}, [this](TQuery& q) {
      objects_.emplace(
          Lower(q.FieldByName("name").AsString()),
          Object{q.FieldByName("id").AsInteger(), TrimRight(q.FieldByName("xtype").AsString())});
    });
    EachRow(query, {"select id, name, xtype, length, prec, scale, colid from syscolumns"},
            [this](TQuery& q) {
              columns_[q.FieldByName("id").AsInteger()][q.FieldByName("colid").AsInteger()] = {
                  Lower(q.FieldByName("name").AsString()), CatalogType(q)};
            });
    EachRow(query, {"select name from sysindexes"}, [this](TQuery& q) {
      if (!q.FieldByName("name").IsNull()) indexes_.insert(Lower(q.FieldByName("name").AsString()));
    });
    if (IsTable("ver_manage"))
      EachRow(query, {"select vm_mess from ver_manage"}, [this](TQuery& q) {
        marks_.insert(Lower(TrimRight(q.FieldByName("vm_mess").AsString())));
      });
  }

  // Any object of that name, of whatever type: what a table probe finds.
  bool Exists(const std::string& name) const { return objects_.count(Lower(name)) > 0; }
  bool IsTable(const std::string& name) const { return Table(name) != nullptr; }
  // A column of any object of that name: what a column probe finds.
  bool HasColumn(const std::string& table, const std::string& column) const {
    auto [b, e] = objects_.equal_range(Lower(table));
    for (auto o = b; o != e; ++o) {
      auto cols = columns_.find(o->second.id);
      if (cols == columns_.end()) continue;
      for (const auto& [colid, c] : cols->second)
        if (c.name == Lower(column)) return true;
    }
    return false;
  }
  bool HasIndex(const std::string& name) const { return indexes_.count(Lower(name)) > 0; }
  bool HasMark(const std::string& mark) const { return marks_.count(Lower(mark)) > 0; }

  // The table's columns in order, when an object of that name is a user table.
  std::optional<std::vector<ColumnDef>> TableColumns(const std::string& name) const {
    const Object* t = Table(name);
    if (!t) return std::nullopt;
    std::vector<ColumnDef> out;
    auto cols = columns_.find(t->id);
    if (cols != columns_.end())
      for (const auto& [colid, c] : cols->second) out.push_back(c);
    return out;
  }

 private:
  struct Object {
    int id;
    std::string xtype;
  };
  const Object* Table(const std::string& name) const {
    auto [b, e] = objects_.equal_range(Lower(name));
    for (auto o = b; o != e; ++o)
      if (o->second.xtype == "U") return &o->second;
    return nullptr;
  }

  std::multimap<std::string, Object> objects_;
  std::map<int, std::map<int, ColumnDef>> columns_;
  std::set<std::string> indexes_;
  std::set<std::string> marks_;
};

// One literal of a VALUES list: its text without quotes, and whether it was quoted.
struct Literal {
  std::string text;
  bool quoted = false;
};

// One row that an insert statement of the upgrade adds, and the text that adds it alone.
struct Seed {
  std::vector<std::string> columns;  // empty: all columns of the table, in order
  std::vector<Literal> values;
  std::string text;
};

// Parses "insert into T [(a,b)] values (...)" as the upgrade writes its seed rows.
std::optional<Seed> ParseInsert(const std::string& text) {
  const std::string lower = Lower(text);
  const std::size_t values_at = lower.find("values");
  if (lower.find("insert into") == std::string::npos || values_at == std::string::npos)
    return std::nullopt;
  Seed seed;
  seed.text = text;
  const std::size_t open = lower.find('(');
  if (open < values_at) {
    std::string name;
    for (std::size_t i = open + 1; i < values_at && text[i] != ')'; ++i) {
      const char c = text[i];
      if (c == ',') {
        seed.columns.push_back(Lower(TrimBlanks(name)));
        name.clear();
      } else {
        name += c;
      }
    }
    seed.columns.push_back(Lower(TrimBlanks(name)));
  }
  std::size_t i = text.find('(', values_at);
  if (i == std::string::npos) return std::nullopt;
  Literal current;
  bool in_quote = false;
  for (++i; i < text.size(); ++i) {
    const char c = text[i];
    if (in_quote) {
      if (c == '\'' && i + 1 < text.size() && text[i + 1] == '\'') {
        current.text += '\'';
        ++i;
      } else if (c == '\'') {
        in_quote = false;
      } else {
        current.text += c;
      }
    } else if (c == '\'') {
      in_quote = true;
      current.quoted = true;
    } else if (c == ',' || c == ')') {
      if (!current.quoted) current.text = TrimBlanks(current.text);
      seed.values.push_back(current);
      current = {};
      if (c == ')') return seed;
    } else if (!std::isspace(static_cast<unsigned char>(c))) {
      current.text += c;
    }
  }
  return std::nullopt;
}

// The rows a statement inserts, each with the text that inserts it alone: a batch of one-line
// inserts is as many seeds as lines.
std::vector<Seed> SeedsOf(const Statement& s) {
  std::vector<Seed> seeds;
  bool per_line = s.lines.size() > 1;
  for (const std::string& line : s.lines)
    per_line = per_line && Lower(TrimBlanks(line)).rfind("insert into", 0) == 0;
  if (per_line) {
    for (const std::string& line : s.lines)
      if (auto seed = ParseInsert(line)) seeds.push_back(*seed);
  } else if (auto seed = ParseInsert(BatchText(s.lines))) {
    seeds.push_back(*seed);
  }
  return seeds;
}

bool Matches(const Literal& literal, const Variant& value) {
  if (value.IsNull()) return false;
  if (literal.quoted) return TrimRight(value.AsString()) == TrimRight(literal.text);
  return value.AsString() == literal.text;
}

// "update T set C=EXPR": the table, the column and the value expression.
struct Update {
  std::string table, column, value;
};
std::optional<Update> ParseUpdate(const std::string& text) {
  const std::string lower = Lower(text);
  const std::size_t set = lower.find(" set ");
  const std::size_t eq = text.find('=', set == std::string::npos ? 0 : set);
  if (lower.rfind("update ", 0) != 0 || set == std::string::npos || eq == std::string::npos)
    return std::nullopt;
  return Update{TrimBlanks(text.substr(7, set - 7)), TrimBlanks(text.substr(set + 5, eq - set - 5)),
                TrimBlanks(text.substr(eq + 1))};
}

// A person as the re-keying carries it: the eight fields as text, dates as yyyymmdd.
using Person = std::vector<std::string>;

// Person numbers compare as the char(9) key does: letter case and blanks around them aside.
std::string PersonKey(const std::string& number) {
  std::string key = TrimBlanks(number);
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

class Finder {
 public:
  explicit Finder(TQuery& query) : query_(query), cat_(query) {}

  HalfDoneBlock Analyze(const Block& block) {
    HalfDoneBlock out;
    out.block = &block;
    block_ = &block;
    created_.clear();
    added_.clear();
    replaced_.clear();
    inserts_.clear();
    if (!Entered(block, out)) return out;
    const auto& st = block.statements;
    for (std::size_t i = 0; i < st.size(); ++i) {
      const Statement& s = st[i];
      if (StartsPersonCopy(i)) {
        i = People(i, out);
        continue;
      }
      if (s.kind == Statement::Kind::Read) {
        if (s.use == RowUse::InsertNames) Names(s, out);
        continue;
      }
      for (const Change& c : s.changes) Apply(i, s, c, out);
    }
    if (!out.refusals.empty()) out.repair.clear();
    return out;
  }

 private:
  // Whether the rules consider the block done (or, for the unit dictionary, started).
  bool Entered(const Block& block, HalfDoneBlock& out) {
    const Guard& g = block.guard;
    switch (g.kind) {
      case Guard::Kind::Table: {
        if (!cat_.Exists(g.name)) return false;
        // An object the block did not create made the run skip it: nothing of it is ours.
        const Statement* create = CreateOf(g.name);
        return !create || Ours(g.name, *create);
      }
      case Guard::Kind::Column:
        if (cat_.HasColumn(g.table, g.name)) return true;
        if (Drops(g.table) && !cat_.Exists(g.table)) {
          out.missing.push_back("表 " + g.table + " 不存在：旧表已删除，新表未能创建");
          return true;
        }
        return false;
      case Guard::Kind::Index:
        return cat_.HasIndex(g.name);
      case Guard::Kind::Mark:
        return cat_.HasMark(g.name);
    }
    return false;
  }

  const Statement* CreateOf(const std::string& table) const {
    for (const Statement& s : block_->statements)
      for (const Change& c : s.changes)
        if (c.kind == Change::Kind::CreateTable && Lower(c.table) == Lower(table)) return &s;
    return nullptr;
  }
  bool Drops(const std::string& table) const {
    for (const Statement& s : block_->statements)
      for (const Change& c : s.changes)
        if (c.kind == Change::Kind::DropTable && Lower(c.table) == Lower(table)) return true;
    return false;
  }

  // A user table with at least the columns the create declares, with their types.
  bool Ours(const std::string& table, const Statement& create) const {
    const auto have = cat_.TableColumns(table);
    if (!have) return false;
    for (const ColumnDef& want : CreatedColumns(create)) {
      bool found = false;
      for (const ColumnDef& c : *have)
        found = found || (c.name == want.name && c.type == want.type);
      if (!found) return false;
    }
    return true;
  }
  std::string Form(const std::string& table) const {
    const auto have = cat_.TableColumns(table);
    if (!have) return "它不是表";
    std::string cols;
    for (const ColumnDef& c : *have) cols += (cols.empty() ? "" : ", ") + c.name + " " + c.type;
    return "它的列是 " + cols;
  }

  bool Created(const std::string& table) const { return created_.count(Lower(table)) > 0; }

  void Apply(std::size_t index, const Statement& s, const Change& c, HalfDoneBlock& out) {
    switch (c.kind) {
      case Change::Kind::DropTable: {
        // A table dropped to be created anew: still there in its old form means the drop, and
        // what follows it, never ran. The guarded dictionary's old form is the run's business.
        const Statement* create = CreateOf(c.table);
        if (!create || (block_->guard.kind == Guard::Kind::Column &&
                        Lower(block_->guard.table) == Lower(c.table)))
          return;
        if (cat_.Exists(c.table) && !Ours(c.table, *create)) {
          out.missing.push_back("表 " + c.table + " 仍是旧的形式（" + Form(c.table) + "）");
          out.repair.push_back(s);
          replaced_.insert(Lower(c.table));
        }
        return;
      }
      case Change::Kind::CreateTable:
        if (replaced_.count(Lower(c.table))) {
          out.repair.push_back(s);
          created_.insert(Lower(c.table));
        } else if (!cat_.Exists(c.table)) {
          if (block_->guard.kind != Guard::Kind::Column)
            out.missing.push_back("表 " + c.table + " 不存在");
          out.repair.push_back(s);
          created_.insert(Lower(c.table));
        } else if (!Ours(c.table, s)) {
          out.refusals.push_back("名为 " + c.table + " 的对象不是本程序创建的（" + Form(c.table) +
                                 "），不能向其中写入");
        }
        return;
      case Change::Kind::AddPrimaryKey:
        if (Created(c.table)) {
          out.repair.push_back(s);
        } else if (cat_.IsTable(c.table) && !cat_.Exists(c.name)) {
          out.missing.push_back("表 " + c.table + " 缺少主键 " + c.name);
          out.repair.push_back(s);
        }
        return;
      case Change::Kind::CreateIndex:
        if (Created(c.table)) {
          out.repair.push_back(s);
        } else if (cat_.IsTable(c.table) && !cat_.HasIndex(c.name)) {
          out.missing.push_back("表 " + c.table + " 缺少索引 " + c.name);
          out.repair.push_back(s);
        }
        return;
      case Change::Kind::AddColumn:
        if (!cat_.IsTable(c.table)) {
          out.refusals.push_back("表 " + c.table + " 不存在，无法增加列 " + c.name);
        } else if (!cat_.HasColumn(c.table, c.name)) {
          out.missing.push_back("列 " + c.table + "." + c.name + " 不存在");
          out.repair.push_back(s);
          added_.insert(Lower(c.table + "." + c.name));
        }
        return;
      case Change::Kind::FillColumn:
        Fill(s, c, out);
        return;
      case Change::Kind::InsertRows:
        Insert(index, s, c, out);
        return;
    }
  }

  // An added column is NULL in the rows that were there; its update sets them. Only rows that
  // are still NULL, and that the update would give a value, are unfilled; the completing update
  // touches only those.
  void Fill(const Statement& s, const Change& c, HalfDoneBlock& out) {
    if (added_.count(Lower(c.table + "." + c.name))) {
      out.repair.push_back(s);
      return;
    }
    if (!cat_.IsTable(c.table) || !cat_.HasColumn(c.table, c.name)) return;
    const std::string text = BatchText(s.lines);
    const auto update = ParseUpdate(text);
    if (!update) return;
    int unfilled = 0;
    EachRow(query_,
            {"select " + update->column + " from " + update->table + " where " + update->column +
             " is null and " + update->value + " is not null"},
            [&unfilled](TQuery&) { ++unfilled; });
    if (unfilled == 0) return;
    out.missing.push_back("列 " + c.table + "." + c.name + " 有 " + std::to_string(unfilled) +
                          " 行为 NULL：填充它的更新未执行");
    out.repair.push_back(Execute({text + " where " + update->column + " is null"}, s.changes));
  }

  // The rows a block inserts into a table it created earlier: missing while the table holds a
  // strict beginning of them and nothing else.
  void Insert(std::size_t index, const Statement& s, const Change& c, HalfDoneBlock& out) {
    if (Created(c.table)) {
      out.repair.push_back(s);
      return;
    }
    const Statement* create = CreateOf(c.table);
    if (!cat_.IsTable(c.table) || (create && !Ours(c.table, *create))) return;
    const std::string key = Lower(c.table);
    if (!inserts_.count(key)) inserts_[key] = MissingSeeds(c.table, out);
    auto& pending = inserts_[key];
    auto it = pending.find(index);
    if (it != pending.end()) out.repair.push_back(it->second);
  }

  // Per statement index of the block, what is left to send of its inserts into `table`.
  std::map<std::size_t, Statement> MissingSeeds(const std::string& table, HalfDoneBlock& out) {
    std::vector<std::pair<std::size_t, Seed>> seeds;
    const auto& st = block_->statements;
    for (std::size_t i = 0; i < st.size(); ++i) {
      if (st[i].kind == Statement::Kind::Read) continue;
      for (const Change& c : st[i].changes)
        if (c.kind == Change::Kind::InsertRows && Lower(c.table) == Lower(table))
          for (Seed& seed : SeedsOf(st[i])) seeds.emplace_back(i, std::move(seed));
    }
    const auto columns = cat_.TableColumns(table);
    if (seeds.empty() || !columns) return {};

    std::vector<std::vector<Variant>> rows;
    const std::size_t limit = seeds.size();
    EachRow(query_, {"select * from " + table}, [&](TQuery& q) {
      if (rows.size() > limit) return;
      std::vector<Variant> row;
      for (const ColumnDef& col : *columns) row.push_back(q.GetFieldValue(col.name));
      rows.push_back(std::move(row));
    });
    if (rows.size() >= seeds.size()) return {};
    std::vector<bool> used(rows.size(), false);
    for (std::size_t k = 0; k < rows.size(); ++k) {
      const Seed& seed = seeds[k].second;
      bool found = false;
      for (std::size_t r = 0; r < rows.size() && !found; ++r) {
        if (used[r]) continue;
        bool same = true;
        for (std::size_t v = 0; v < seed.values.size() && same; ++v) {
          std::size_t col = v;
          if (!seed.columns.empty()) {
            col = columns->size();
            for (std::size_t j = 0; j < columns->size(); ++j)
              if ((*columns)[j].name == seed.columns[v]) col = j;
          }
          same = col < rows[r].size() && Matches(seed.values[v], rows[r][col]);
        }
        if (same) found = used[r] = true;
      }
      if (!found) return {};  // a row the block did not insert: the client's, complete
    }
    out.missing.push_back(
        rows.empty()
            ? "表 " + table + " 没有初始数据（应有 " + std::to_string(seeds.size()) + " 行）"
            : "表 " + table + " 只有 " + std::to_string(rows.size()) + " 行初始数据，缺少其余 " +
                  std::to_string(seeds.size() - rows.size()) + " 行");
    // A statement all of whose rows are missing is sent as it is; of one that inserted some of
    // its rows (a batch of one-line inserts), the lines of the others.
    std::map<std::size_t, Statement> pending;
    for (std::size_t k = rows.size(); k < seeds.size(); ++k) {
      const std::size_t i = seeds[k].first;
      auto [it, fresh] = pending.emplace(i, Execute({}, st[i].changes));
      it->second.lines.push_back(seeds[k].second.text);
    }
    for (auto& [i, statement] : pending)
      if (statement.lines.size() == SeedsOf(st[i]).size()) statement = st[i];
    return pending;
  }

  // The asset names that lib_vrek holds and the name table lacks, inserted with their initials
  // as the step inserts them.
  void Names(const Statement& read, HalfDoneBlock& out) {
    std::string target;
    for (const Change& c : read.changes)
      if (c.kind == Change::Kind::InsertRows) target = c.table;
    if (Created(target)) {
      out.repair.push_back(read);
      return;
    }
    const Statement* create = CreateOf(target);
    if (!create || !cat_.IsTable(target) || !Ours(target, *create)) return;
    const std::string text = BatchText(read.lines);
    const std::string lower = Lower(text);
    const std::size_t from = lower.find(" from ");
    const std::size_t group = lower.find(" group by ");
    const std::vector<ColumnDef> target_columns = CreatedColumns(*create);
    if (lower.rfind("select ", 0) != 0 || from == std::string::npos || group == std::string::npos ||
        target_columns.empty())
      return;
    const std::string name = TrimBlanks(text.substr(7, from - 7));
    // The step stores a NULL name as the empty text.
    const std::string filtered = text.substr(0, group) + " where isnull(" + name +
                                 ",'') not in (select " + target_columns[0].name + " from " +
                                 target + ")" + text.substr(group);
    int lacking = 0;
    EachRow(query_, {filtered}, [&lacking](TQuery&) { ++lacking; });
    if (lacking == 0) return;
    out.missing.push_back("表 " + target + " 缺少 " + std::to_string(lacking) + " 个资产名称");
    out.repair.push_back(Read({filtered}, read.use, read.changes));
  }

  // The re-keying of the persons: from the creation of the work table to its drop.
  struct PersonSteps {
    std::size_t create_tmp, copy, drop_people, create_people, key, insert, drop_tmp;
    std::string tmp, people;
  };
  std::optional<PersonSteps> PersonCopy(std::size_t start) const {
    const auto& st = block_->statements;
    PersonSteps p{};
    if (st[start].kind != Statement::Kind::Execute || st[start].changes.size() != 1 ||
        st[start].changes[0].kind != Change::Kind::CreateTable)
      return std::nullopt;
    p.create_tmp = start;
    p.tmp = st[start].changes[0].table;
    std::size_t found = 0;
    for (std::size_t i = start + 1; i < st.size(); ++i) {
      if (st[i].kind == Statement::Kind::Read && st[i].use == RowUse::CopyPeople) {
        p.copy = i;
        found |= 1;
        continue;
      }
      for (const Change& c : st[i].changes) {
        if (c.kind == Change::Kind::DropTable && Lower(c.table) == Lower(p.tmp)) {
          p.drop_tmp = i;
          found |= 2;
        } else if (c.kind == Change::Kind::DropTable) {
          p.drop_people = i;
          p.people = c.table;
        } else if (c.kind == Change::Kind::CreateTable) {
          p.create_people = i;
        } else if (c.kind == Change::Kind::AddPrimaryKey) {
          p.key = i;
        } else if (c.kind == Change::Kind::InsertRows) {
          p.insert = i;
        }
      }
      if (found == 3) return p;
    }
    return std::nullopt;
  }
  bool StartsPersonCopy(std::size_t i) const {
    const auto p = PersonCopy(i);
    return p && p->copy > i;
  }

  std::map<std::string, Person> Persons(const std::string& table) {
    std::map<std::string, Person> persons;
    EachRow(query_, {"select * from " + table}, [&persons](TQuery& q) {
      Person p;
      for (const PersonField& f : kPersonFields) {
        const Variant v = q.GetFieldValue(f.column);
        if (v.IsNull())
          p.push_back("NULL");
        else if (f.kind == PersonField::Kind::Date)
          p.push_back(PersonValueText(q, f));
        else
          p.push_back(TrimBlanks(v.AsString()));
      }
      persons.emplace(PersonKey(p[0]), p);
    });
    return persons;
  }

  // Persons of `tmp` that `people` lacks or holds otherwise, as lines naming them.
  static std::vector<std::string> Differing(const std::map<std::string, Person>& tmp,
                                            const std::map<std::string, Person>& people,
                                            const std::string& tmp_name) {
    std::vector<std::string> lines;
    for (const auto& [key, person] : tmp) {
      auto other = people.find(key);
      if (other == people.end())
        lines.push_back("人员编号 " + person[0] + " 只在 " + tmp_name + " 中");
      else if (other->second != person)
        lines.push_back("人员编号 " + person[0] + " 在两个表中不同");
    }
    return lines;
  }

  static std::string Listed(const std::vector<std::string>& lines) {
    constexpr std::size_t kShown = 10;
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < kShown; ++i) text += "；" + lines[i];
    if (lines.size() > kShown) text += "；……另有 " + std::to_string(lines.size() - kShown) + " 名";
    return text;
  }

  // Returns the index of the last statement of the re-keying.
  std::size_t People(std::size_t start, HalfDoneBlock& out) {
    const PersonSteps p = *PersonCopy(start);
    const auto& st = block_->statements;
    const Statement* create_people = &st[p.create_people];
    const bool tmp_exists = cat_.Exists(p.tmp);
    const bool people_exists = cat_.Exists(p.people);
    const bool people_new = people_exists && Ours(p.people, *create_people);
    const std::string key_name = st[p.key].changes[0].name;
    const bool keyed = people_new && cat_.Exists(key_name);
    auto from = [&](std::size_t first) {
      for (std::size_t i = first; i <= p.drop_tmp; ++i) out.repair.push_back(st[i]);
    };

    if (!tmp_exists) {
      if (people_new) {
        if (!keyed) {
          out.missing.push_back("表 " + p.people + " 缺少主键 " + key_name);
          out.repair.push_back(st[p.key]);
        }
      } else if (!people_exists) {
        out.refusals.push_back("表 " + p.people + " 和 " + p.tmp + " 都不存在，找不到人员");
      } else if (CanCarry(out)) {
        out.missing.push_back("表 " + p.people + " 尚未按新的人员编号重建（" + Form(p.people) +
                              "）");
        from(p.create_tmp);
      }
      return p.drop_tmp;
    }

    const auto in_tmp = Persons(p.tmp);
    const std::string tmp_count = std::to_string(in_tmp.size());
    if (!people_exists) {
      out.missing.push_back("表 " + p.people + " 不存在，" + tmp_count + " 名人员只在 " + p.tmp +
                            " 中");
      from(p.create_people);
      return p.drop_tmp;
    }
    const auto in_people = Persons(p.people);
    if (!people_new) {
      // The old lib_people is the one the clients write to: a person it holds otherwise than the
      // copy was changed after being copied, and a new copy carries the change. A person only
      // in the copy was deleted from it since, and would be lost with the copy: refused.
      std::vector<std::string> only_in_tmp, changed;
      for (const std::string& line : Differing(in_tmp, in_people, p.tmp))
        (line.find(" 只在 ") != std::string::npos ? only_in_tmp : changed).push_back(line);
      if (!only_in_tmp.empty()) {
        out.refusals.push_back("表 " + p.tmp + " 中的人员与 " + p.people + " 不一致" +
                               Listed(only_in_tmp));
        return p.drop_tmp;
      }
      if (!CanCarry(out)) return p.drop_tmp;
      out.missing.push_back(
          "人员复制未完成：" + p.tmp + " 有 " + tmp_count + " 名人员，" + p.people + " 有 " +
          std::to_string(in_people.size()) + " 名，仍是旧的形式" +
          (changed.empty() ? std::string() : "；复制之后又有人员被修改" + Listed(changed)));
      out.repair.push_back(st[p.drop_tmp]);
      from(p.create_tmp);
      return p.drop_tmp;
    }
    if (in_people.empty()) {
      out.missing.push_back("表 " + p.people + " 没有人员，" + tmp_count + " 名人员都在 " + p.tmp +
                            " 中");
      if (!keyed) out.repair.push_back(st[p.key]);
      from(p.insert);
      return p.drop_tmp;
    }
    const std::vector<std::string> differ = Differing(in_tmp, in_people, p.tmp);
    if (!differ.empty()) {
      out.refusals.push_back("表 " + p.people + " 与 " + p.tmp + " 中的人员不同" + Listed(differ));
      return p.drop_tmp;
    }
    out.missing.push_back("表 " + p.tmp + " 未删除（其中的人员都已在 " + p.people + " 中）");
    if (!keyed) out.repair.push_back(st[p.key]);
    out.repair.push_back(st[p.drop_tmp]);
    return p.drop_tmp;
  }

  // The persons' check of the block, as the run makes it before the re-keying.
  bool CanCarry(HalfDoneBlock& out) {
    for (const Statement& s : block_->statements) {
      if (s.kind != Statement::Kind::Read || s.use != RowUse::CheckPeople) continue;
      std::vector<std::string> problems;
      query_.SQL.Clear();
      for (const std::string& line : s.lines) query_.SQL.Add(line);
      query_.Open();
      problems = UnconvertiblePeople(query_);
      query_.Close();
      if (!problems.empty()) {
        out.refusals.push_back("人员无法转换为新的人员编号" + Listed(problems));
        return false;
      }
    }
    return true;
  }

  TQuery& query_;
  Snapshot cat_;
  const Block* block_ = nullptr;
  std::set<std::string> created_, added_, replaced_;
  std::map<std::string, std::map<std::size_t, Statement>> inserts_;
};

}  // namespace

std::vector<ColumnDef> CreatedColumns(const Statement& create) {
  std::vector<ColumnDef> columns;
  if (create.lines.empty() || Lower(create.lines[0]).find("create table") == std::string::npos)
    return columns;
  for (std::size_t i = 1; i < create.lines.size(); ++i) {
    const std::string line = TrimBlanks(create.lines[i]);
    if (line.empty() || line[0] == ')') continue;
    std::size_t p = 0;
    auto word = [&]() {
      while (p < line.size() && std::isspace(static_cast<unsigned char>(line[p]))) ++p;
      std::string w;
      int depth = 0;
      for (; p < line.size(); ++p) {
        const char c = line[p];
        if (c == '(') ++depth;
        if (c == ')') {
          if (depth == 0) break;
          --depth;
        }
        if (depth == 0 && (std::isspace(static_cast<unsigned char>(c)) || c == ',')) break;
        w += c;
      }
      return Lower(w);
    };
    ColumnDef c;
    c.name = word();
    c.type = word();
    if (!c.name.empty() && !c.type.empty()) columns.push_back(c);
  }
  return columns;
}

void EachRow(TQuery& query, const Lines& select, const std::function<void(TQuery&)>& row) {
  query.SQL.Clear();
  for (const std::string& line : select) query.SQL.Add(line);
  query.Open();
  try {
    for (; !query.Eof(); query.Next()) row(query);
  } catch (...) {
    query.Close();
    throw;
  }
  query.Close();
}

std::vector<HalfDoneBlock> FindHalfDone(TQuery& query) {
  Finder finder(query);
  std::vector<HalfDoneBlock> found;
  auto look = [&](const Block& block) {
    HalfDoneBlock b = finder.Analyze(block);
    if (!b.missing.empty() || !b.refusals.empty()) found.push_back(std::move(b));
  };
  look(LedgerBlock());
  for (const Step* step : Steps())
    for (const Block& block : step->blocks) look(block);
  return found;
}

std::vector<std::string> DescribeHalfDone(const std::vector<HalfDoneBlock>& found) {
  std::vector<std::string> lines;
  for (const HalfDoneBlock& b : found) {
    for (const std::string& m : b.missing) lines.push_back(b.block->title + "：" + m);
    for (const std::string& r : b.refusals) lines.push_back(b.block->title + "：无法修复：" + r);
  }
  return lines;
}

}  // namespace upgrade

#include "parser.h"

#include "errors.h"
#include "parser_impl.h"
#include "text.h"

namespace standin {

std::vector<Statement> parse_batch(std::string_view batch_utf8) {
  return Parser(batch_utf8, tokenize(batch_utf8)).batch();
}

Parser::Parser(std::string_view text, std::vector<Token> tokens)
    : text_(text), tokens_(std::move(tokens)) {}

const Token& Parser::peek(std::size_t ahead) const {
  std::size_t i = pos_ + ahead;
  return i < tokens_.size() ? tokens_[i] : tokens_.back();
}

const Token& Parser::next() {
  const Token& t = tokens_[pos_];
  if (pos_ + 1 < tokens_.size()) ++pos_;
  return t;
}

bool Parser::accept_word(std::string_view w) {
  if (!peek().is(w)) return false;
  next();
  return true;
}

bool Parser::accept_symbol(std::string_view s) {
  if (!peek().is_symbol(s)) return false;
  next();
  return true;
}

void Parser::expect_word(std::string_view w) {
  if (!accept_word(w)) fail();
}

void Parser::expect_symbol(std::string_view s) {
  if (!accept_symbol(s)) fail();
}

void Parser::fail() const {
  // At the end of the batch the server names the last token it read.
  const Token* t = &tokens_[pos_];
  if (t->kind == Token::Kind::End) {
    if (pos_ == 0) throw err::syntax_near("");
    t = &tokens_[pos_ - 1];
  }
  if (t->kind == Token::Kind::Word && t->reserved) throw err::syntax_near_keyword(t->text);
  throw err::syntax_near(t->text);
}

std::string Parser::simple_name() {
  const Token& t = peek();
  if ((t.kind == Token::Kind::Word && !t.reserved) || t.kind == Token::Kind::QuotedName) {
    next();
    return t.text;
  }
  fail();
}

std::string Parser::name() {
  std::string n = simple_name();
  if (peek().is_symbol(".")) {
    if (!same_name(n, "dbo")) fail();  // only the dbo schema exists
    next();
    n = simple_name();
  }
  return n;
}

int64_t Parser::integer() {
  bool negative = accept_symbol("-");
  const Token& t = peek();
  if (t.kind != Token::Kind::Number || t.text.find('.') != std::string::npos || t.text.size() > 18)
    fail();
  next();
  int64_t v = std::stoll(t.text);
  return negative ? -v : v;
}

std::vector<Statement> Parser::batch() {
  std::vector<Statement> out;
  while (true) {
    while (accept_symbol(";")) {
    }
    if (peek().kind == Token::Kind::End) return out;
    out.push_back(statement());
    const Token& t = peek();
    bool boundary = t.kind == Token::Kind::End || t.is_symbol(";") ||
                    (t.kind == Token::Kind::Word && t.reserved);
    if (!boundary) fail();
  }
}

Statement Parser::statement() {
  Statement st;
  st.begin = here();
  const Token& t = peek();
  if (t.is("select")) {
    next();
    st.body = std::move(*select_body());
  } else if (t.is("insert")) {
    st.body = insert();
  } else if (t.is("update")) {
    st.body = update();
  } else if (t.is("delete")) {
    st.body = del();
  } else if (t.is("create")) {
    st.body = create();
  } else if (t.is("alter")) {
    st.body = alter();
  } else if (t.is("drop")) {
    st.body = drop();
  } else if (t.is("set")) {
    st.body = set();
  } else if (t.is("dbcc")) {
    st.body = dbcc();
  } else {
    fail();
  }
  st.end = last_end();
  return st;
}

StatementBody Parser::create() {
  expect_word("create");
  if (peek().is("table")) return create_table();
  bool unique = accept_word("unique");
  bool clustered = false;
  if (accept_word("clustered"))
    clustered = true;
  else
    accept_word("nonclustered");
  if (!peek().is("index")) fail();
  return create_index(unique, clustered);
}

CreateTable Parser::create_table() {
  expect_word("table");
  CreateTable ct;
  ct.table = name();
  expect_symbol("(");
  while (true) {
    ColumnDef col;
    if (column_definition(col, &ct.primary_keys)) ct.columns.push_back(std::move(col));
    if (accept_symbol(",")) continue;
    expect_symbol(")");
    break;
  }
  if (ct.columns.empty()) fail();
  return ct;
}

// Reads a column definition, or a table-level primary key into `table_keys` (returns false).
bool Parser::column_definition(ColumnDef& col, std::vector<KeyDef>* table_keys) {
  if (table_keys && (peek().is("constraint") || peek().is("primary"))) {
    std::string cname;
    if (accept_word("constraint")) cname = simple_name();
    if (peek().is("primary")) {
      table_keys->push_back(key_after_primary(cname));
      if (table_keys->back().columns.empty()) fail();
      return false;
    }
    fail();
  }
  col.name = simple_name();
  col.type = type_spec(false);
  column_constraints(col);
  return true;
}

void Parser::column_constraints(ColumnDef& col) {
  while (true) {
    const Token& t = peek();
    if (t.is("null")) {
      next();
      col.nullable = true;
    } else if (t.is("not")) {
      next();
      expect_word("null");
      col.nullable = false;
    } else if (t.is("identity")) {
      next();
      col.identity = true;
      if (accept_symbol("(")) {
        col.seed = integer();
        expect_symbol(",");
        col.increment = integer();
        expect_symbol(")");
      }
    } else if (t.is("constraint") || t.is("default") || t.is("primary")) {
      std::string cname;
      if (accept_word("constraint")) cname = simple_name();
      if (accept_word("default")) {
        if (col.has_default) fail();
        col.has_default = true;
        col.default_name = cname;
        std::size_t b = here();
        col.default_expr = value();
        col.default_text = std::string(source(b, last_end()));
      } else if (peek().is("primary")) {
        if (col.primary_key) fail();
        col.primary_key = key_after_primary(cname);
        if (!col.primary_key->columns.empty()) fail();  // a column's key names no columns
      } else {
        fail();
      }
    } else {
      return;
    }
  }
}

// PRIMARY KEY [CLUSTERED | NONCLUSTERED] [(columns)] [WITH FILLFACTOR = n]
KeyDef Parser::key_after_primary(std::string cname) {
  expect_word("primary");
  expect_word("key");
  KeyDef k;
  k.name = std::move(cname);
  if (accept_word("clustered"))
    k.clustered = true;
  else if (accept_word("nonclustered"))
    k.clustered = false;
  if (peek().is_symbol("(")) k.columns = column_list();
  bool pad = false;
  if (peek().is("with")) index_options(k.fillfactor, pad);
  return k;
}

std::vector<std::string> Parser::column_list() {
  expect_symbol("(");
  std::vector<std::string> cols;
  do {
    cols.push_back(simple_name());
    if (!accept_word("asc")) accept_word("desc");
  } while (accept_symbol(","));
  expect_symbol(")");
  return cols;
}

CreateIndex Parser::create_index(bool unique, bool clustered) {
  expect_word("index");
  CreateIndex ci;
  ci.unique = unique;
  ci.clustered = clustered;
  ci.name = simple_name();
  expect_word("on");
  ci.table = name();
  ci.columns = column_list();
  if (peek().is("with")) index_options(ci.fillfactor, ci.pad_index);
  return ci;
}

// WITH PAD_INDEX, FILLFACTOR = n (the old form) or WITH (PAD_INDEX = ON, FILLFACTOR = n).
void Parser::index_options(int& fillfactor, bool& pad_index) {
  expect_word("with");
  bool parenthesized = accept_symbol("(");
  do {
    if (accept_word("pad_index")) {
      pad_index = true;
      if (parenthesized) {
        expect_symbol("=");
        if (accept_word("on"))
          pad_index = true;
        else if (accept_word("off"))
          pad_index = false;
        else
          fail();
      }
    } else if (accept_word("fillfactor")) {
      expect_symbol("=");
      int64_t v = integer();
      if (v < 0 || v > 100) fail();
      fillfactor = static_cast<int>(v);
    } else {
      fail();
    }
  } while (accept_symbol(","));
  if (parenthesized) expect_symbol(")");
}

StatementBody Parser::alter() {
  expect_word("alter");
  expect_word("table");
  std::string table = name();
  expect_word("add");
  if (peek().is("constraint") || peek().is("primary")) {
    std::string cname;
    if (accept_word("constraint")) cname = simple_name();
    if (!peek().is("primary")) fail();
    AlterAddKey a;
    a.table = table;
    a.key = key_after_primary(cname);
    if (a.key.columns.empty()) fail();
    return a;
  }
  AlterAddColumn a;
  a.table = table;
  column_definition(a.column, nullptr);
  return a;
}

StatementBody Parser::drop() {
  expect_word("drop");
  expect_word("table");
  DropTable d;
  do {
    d.tables.push_back(name());
  } while (accept_symbol(","));
  return d;
}

StatementBody Parser::insert() {
  expect_word("insert");
  accept_word("into");
  Insert ins;
  ins.table = name();
  if (peek().is_symbol("(")) {
    ins.has_columns = true;
    expect_symbol("(");
    do {
      ins.columns.push_back(simple_name());
    } while (accept_symbol(","));
    expect_symbol(")");
  }
  if (accept_word("values")) {
    do {
      expect_symbol("(");
      std::vector<ExprPtr> row;
      do {
        row.push_back(value());
      } while (accept_symbol(","));
      expect_symbol(")");
      ins.rows.push_back(std::move(row));
    } while (accept_symbol(","));
  } else if (accept_word("select")) {
    ins.select = select_body();
  } else {
    fail();
  }
  return ins;
}

StatementBody Parser::update() {
  expect_word("update");
  Update u;
  u.table = name();
  expect_word("set");
  do {
    Assignment a;
    a.column = simple_name();
    expect_symbol("=");
    a.value = value();
    u.sets.push_back(std::move(a));
  } while (accept_symbol(","));
  if (accept_word("where")) u.where = condition();
  return u;
}

StatementBody Parser::del() {
  expect_word("delete");
  accept_word("from");
  Delete d;
  d.table = name();
  if (accept_word("where")) d.where = condition();
  return d;
}

StatementBody Parser::set() {
  expect_word("set");
  SetOption s;
  const Token& opt = peek();
  if (opt.is("identity_insert")) {
    next();
    s.kind = SetOption::Kind::IdentityInsert;
    s.value = name();
  } else if (opt.is("dateformat")) {
    next();
    s.kind = SetOption::Kind::DateFormat;
    const Token& v = peek();
    if (v.kind != Token::Kind::Word && v.kind != Token::Kind::String) fail();
    s.value = next().text;
    return s;
  } else if (opt.is("language")) {
    next();
    s.kind = SetOption::Kind::Language;
    const Token& v = peek();
    if (v.kind != Token::Kind::Word && v.kind != Token::Kind::String &&
        v.kind != Token::Kind::QuotedName)
      fail();
    s.value = next().text;
    return s;
  } else if (opt.is("textsize") || opt.is("datefirst") || opt.is("lock_timeout")) {
    next();
    integer();
    return s;
  } else if (opt.is("transaction")) {
    next();
    expect_word("isolation");
    expect_word("level");
    if (accept_word("read")) {
      if (!accept_word("committed") && !accept_word("uncommitted")) fail();
    } else if (accept_word("repeatable")) {
      expect_word("read");
    } else if (!accept_word("serializable") && !accept_word("snapshot")) {
      fail();
    }
    return s;
  } else {
    static constexpr std::string_view kOnOff[] = {"nocount",
                                                  "ansi_nulls",
                                                  "ansi_padding",
                                                  "ansi_warnings",
                                                  "ansi_null_dflt_on",
                                                  "ansi_defaults",
                                                  "quoted_identifier",
                                                  "concat_null_yields_null",
                                                  "arithabort",
                                                  "implicit_transactions",
                                                  "cursor_close_on_commit",
                                                  "xact_abort",
                                                  "numeric_roundabort"};
    bool nocount = false;
    do {
      bool known =
          peek().kind == Token::Kind::Word && fold_name(peek().text).rfind("ansi_", 0) == 0;
      for (auto o : kOnOff) known = known || peek().is(o);
      if (!known && peek().kind == Token::Kind::Word && !peek().reserved) {
        SqlError e;
        e.reach = Reach::Batch;
        e.messages.push_back(
            Message{195, 15, 1, "'" + peek().text + "' is not a recognized SET option."});
        throw e;
      }
      if (!known) fail();
      nocount = nocount || peek().is("nocount");
      next();
    } while (accept_symbol(","));
    if (nocount) s.kind = SetOption::Kind::NoCount;
  }
  if (accept_word("on"))
    s.on = true;
  else if (accept_word("off"))
    s.on = false;
  else
    fail();
  return s;
}

StatementBody Parser::dbcc() {
  expect_word("dbcc");
  expect_word("checkident");
  CheckIdent c;
  expect_symbol("(");
  const Token& t = peek();
  if (t.kind == Token::Kind::String) {
    c.table = next().text;
  } else {
    c.table = name();
  }
  if (accept_symbol(",")) {
    if (accept_word("reseed")) {
      c.reseed = true;
      if (accept_symbol(",")) {
        c.has_value = true;
        c.value = integer();
      }
    } else {
      expect_word("noreseed");
    }
  }
  expect_symbol(")");
  return c;
}

}  // namespace standin

#include "parser.h"

#include "errors.h"
#include "parser_impl.h"
#include "text.h"

namespace standin {

std::vector<Statement> ParseBatch(std::string_view batch_utf8) {
  return Parser(batch_utf8, Tokenize(batch_utf8)).ParseBatch();
}

Parser::Parser(std::string_view text, std::vector<Token> tokens)
    : text_(text), tokens_(std::move(tokens)) {}

const Token& Parser::Peek(std::size_t ahead) const {
  std::size_t i = pos_ + ahead;
  return i < tokens_.size() ? tokens_[i] : tokens_.back();
}

const Token& Parser::Next() {
  const Token& t = tokens_[pos_];
  if (pos_ + 1 < tokens_.size()) ++pos_;
  return t;
}

bool Parser::AcceptWord(std::string_view w) {
  if (!Peek().Is(w)) return false;
  Next();
  return true;
}

bool Parser::AcceptSymbol(std::string_view s) {
  if (!Peek().IsSymbol(s)) return false;
  Next();
  return true;
}

void Parser::ExpectWord(std::string_view w) {
  if (!AcceptWord(w)) Fail();
}

void Parser::ExpectSymbol(std::string_view s) {
  if (!AcceptSymbol(s)) Fail();
}

void Parser::Fail() const {
  // At the end of the batch the server names the last token it read.
  const Token* t = &tokens_[pos_];
  if (t->kind == Token::Kind::End && pos_ > 0) t = &tokens_[pos_ - 1];
  SqlError e = t->kind == Token::Kind::End                   ? err::SyntaxNear("")
               : t->kind == Token::Kind::Word && t->reserved ? err::SyntaxNearKeyword(t->text)
                                                             : err::SyntaxNear(t->text);
  e.at = t->begin;
  throw e;
}

std::string Parser::ParseSimpleName() {
  const Token& t = Peek();
  if ((t.kind == Token::Kind::Word && !t.reserved) || t.kind == Token::Kind::QuotedName) {
    Next();
    return t.text;
  }
  Fail();
}

std::string Parser::ParseName() {
  std::string n = ParseSimpleName();
  if (Peek().IsSymbol(".") && SameName(n, "master")) {  // master..name or master.dbo.name
    Next();
    if (!AcceptSymbol(".")) {
      if (!Peek().Is("dbo")) Fail();
      Next();
      ExpectSymbol(".");
    }
    return "master.dbo." + ParseSimpleName();
  }
  if (Peek().IsSymbol(".")) {
    if (!SameName(n, "dbo")) Fail();  // only the dbo schema exists
    Next();
    n = ParseSimpleName();
  }
  return n;
}

int64_t Parser::ParseInteger() {
  bool negative = AcceptSymbol("-");
  const Token& t = Peek();
  if (t.kind != Token::Kind::Number || t.text.find('.') != std::string::npos || t.text.size() > 18)
    Fail();
  Next();
  int64_t v = std::stoll(t.text);
  return negative ? -v : v;
}

std::vector<Statement> Parser::ParseBatch() {
  std::vector<Statement> out;
  while (true) {
    while (AcceptSymbol(";")) {
    }
    if (Peek().kind == Token::Kind::End) return out;
    const std::size_t begin = Here();
    try {
      out.push_back(ParseStatement());
    } catch (SqlError& e) {
      if (!e.at) e.at = begin;  // refused by a rule rather than at a token: the statement's line
      throw;
    }
    const Token& t = Peek();
    bool boundary = t.kind == Token::Kind::End || t.IsSymbol(";") ||
                    (t.kind == Token::Kind::Word && t.reserved);
    if (!boundary) Fail();
  }
}

Statement Parser::ParseStatement() {
  Statement st;
  st.begin = Here();
  const Token& t = Peek();
  if (t.Is("select")) {
    Next();
    st.body = std::move(*ParseSelectBody());
  } else if (t.Is("insert")) {
    st.body = ParseInsert();
  } else if (t.Is("update")) {
    st.body = ParseUpdate();
  } else if (t.Is("delete")) {
    st.body = ParseDelete();
  } else if (t.Is("create")) {
    st.body = ParseCreate();
  } else if (t.Is("alter")) {
    st.body = ParseAlter();
  } else if (t.Is("drop")) {
    st.body = ParseDrop();
  } else if (t.Is("set")) {
    st.body = ParseSet();
  } else if (t.Is("dbcc")) {
    st.body = ParseDbcc();
  } else if (t.Is("declare")) {
    st.body = ParseDeclare();
  } else if (t.Is("exec") || t.Is("execute")) {
    st.body = ParseExec();
  } else {
    Fail();
  }
  st.end = LastEnd();
  return st;
}

StatementBody Parser::ParseCreate() {
  ExpectWord("create");
  if (Peek().Is("table")) return ParseCreateTable();
  bool unique = AcceptWord("unique");
  bool clustered = false;
  if (AcceptWord("clustered"))
    clustered = true;
  else
    AcceptWord("nonclustered");
  if (!Peek().Is("index")) Fail();
  return ParseCreateIndex(unique, clustered);
}

CreateTable Parser::ParseCreateTable() {
  ExpectWord("table");
  CreateTable ct;
  ct.table = ParseName();
  ExpectSymbol("(");
  while (true) {
    ColumnDef col;
    if (ParseColumnDefinition(col, &ct.primary_keys)) ct.columns.push_back(std::move(col));
    if (AcceptSymbol(",")) continue;
    ExpectSymbol(")");
    break;
  }
  if (ct.columns.empty()) Fail();
  return ct;
}

// Reads a column definition, or a table-level primary key into `table_keys` (returns false).
bool Parser::ParseColumnDefinition(ColumnDef& col, std::vector<KeyDef>* table_keys) {
  if (table_keys && (Peek().Is("constraint") || Peek().Is("primary"))) {
    std::string cname;
    if (AcceptWord("constraint")) cname = ParseSimpleName();
    if (Peek().Is("primary")) {
      table_keys->push_back(ParseKeyAfterPrimary(cname));
      if (table_keys->back().columns.empty()) Fail();
      return false;
    }
    Fail();
  }
  col.name = ParseSimpleName();
  col.type = ParseTypeSpec(false);
  ParseColumnConstraints(col);
  return true;
}

void Parser::ParseColumnConstraints(ColumnDef& col) {
  while (true) {
    const Token& t = Peek();
    if (t.Is("null")) {
      Next();
      col.nullable = true;
    } else if (t.Is("not")) {
      Next();
      ExpectWord("null");
      col.nullable = false;
    } else if (t.Is("identity")) {
      Next();
      col.identity = true;
      if (AcceptSymbol("(")) {
        col.seed = ParseInteger();
        ExpectSymbol(",");
        col.increment = ParseInteger();
        ExpectSymbol(")");
      }
    } else if (t.Is("constraint") || t.Is("default") || t.Is("primary")) {
      std::string cname;
      if (AcceptWord("constraint")) cname = ParseSimpleName();
      if (AcceptWord("default")) {
        if (col.has_default) Fail();
        col.has_default = true;
        col.default_name = cname;
        std::size_t b = Here();
        col.default_expr = ParseValue();
        col.default_text = std::string(SourceText(b, LastEnd()));
      } else if (Peek().Is("primary")) {
        if (col.primary_key) Fail();
        col.primary_key = ParseKeyAfterPrimary(cname);
        if (!col.primary_key->columns.empty()) Fail();  // a column's key names no columns
      } else {
        Fail();
      }
    } else {
      return;
    }
  }
}

// PRIMARY KEY [CLUSTERED | NONCLUSTERED] [(columns)] [WITH FILLFACTOR = n]
KeyDef Parser::ParseKeyAfterPrimary(std::string cname) {
  ExpectWord("primary");
  ExpectWord("key");
  KeyDef k;
  k.name = std::move(cname);
  if (AcceptWord("clustered"))
    k.clustered = true;
  else if (AcceptWord("nonclustered"))
    k.clustered = false;
  if (Peek().IsSymbol("(")) k.columns = ParseColumnList();
  bool pad = false;
  if (Peek().Is("with")) ParseIndexOptions(k.fillfactor, pad);
  return k;
}

std::vector<std::string> Parser::ParseColumnList() {
  ExpectSymbol("(");
  std::vector<std::string> cols;
  do {
    cols.push_back(ParseSimpleName());
    if (!AcceptWord("asc")) AcceptWord("desc");
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  return cols;
}

CreateIndex Parser::ParseCreateIndex(bool unique, bool clustered) {
  ExpectWord("index");
  CreateIndex ci;
  ci.unique = unique;
  ci.clustered = clustered;
  ci.name = ParseSimpleName();
  ExpectWord("on");
  ci.table = ParseName();
  ci.columns = ParseColumnList();
  if (Peek().Is("with")) ParseIndexOptions(ci.fillfactor, ci.pad_index);
  return ci;
}

// WITH PAD_INDEX, FILLFACTOR = n (the old form) or WITH (PAD_INDEX = ON, FILLFACTOR = n).
void Parser::ParseIndexOptions(int& fillfactor, bool& pad_index) {
  ExpectWord("with");
  bool parenthesized = AcceptSymbol("(");
  do {
    if (AcceptWord("pad_index")) {
      pad_index = true;
      if (parenthesized) {
        ExpectSymbol("=");
        if (AcceptWord("on"))
          pad_index = true;
        else if (AcceptWord("off"))
          pad_index = false;
        else
          Fail();
      }
    } else if (AcceptWord("fillfactor")) {
      ExpectSymbol("=");
      int64_t v = ParseInteger();
      if (v < 0 || v > 100) Fail();
      fillfactor = static_cast<int>(v);
    } else {
      Fail();
    }
  } while (AcceptSymbol(","));
  if (parenthesized) ExpectSymbol(")");
}

StatementBody Parser::ParseAlter() {
  ExpectWord("alter");
  ExpectWord("table");
  std::string table = ParseName();
  ExpectWord("add");
  if (Peek().Is("constraint") || Peek().Is("primary")) {
    std::string cname;
    if (AcceptWord("constraint")) cname = ParseSimpleName();
    if (!Peek().Is("primary")) Fail();
    AlterAddKey a;
    a.table = table;
    a.key = ParseKeyAfterPrimary(cname);
    if (a.key.columns.empty()) Fail();
    return a;
  }
  AlterAddColumn a;
  a.table = table;
  ParseColumnDefinition(a.column, nullptr);
  return a;
}

StatementBody Parser::ParseDrop() {
  ExpectWord("drop");
  ExpectWord("table");
  DropTable d;
  do {
    d.tables.push_back(ParseName());
  } while (AcceptSymbol(","));
  return d;
}

StatementBody Parser::ParseInsert() {
  ExpectWord("insert");
  AcceptWord("into");
  Insert ins;
  ins.table = ParseName();
  if (Peek().IsSymbol("(")) {
    ins.has_columns = true;
    ExpectSymbol("(");
    do {
      ins.columns.push_back(ParseSimpleName());
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
  }
  if (AcceptWord("values")) {
    do {
      ExpectSymbol("(");
      std::vector<ExprPtr> row;
      do {
        row.push_back(ParseValue());
      } while (AcceptSymbol(","));
      ExpectSymbol(")");
      ins.rows.push_back(std::move(row));
    } while (AcceptSymbol(","));
  } else if (AcceptWord("select")) {
    ins.select = ParseSelectBody();
  } else {
    Fail();
  }
  return ins;
}

StatementBody Parser::ParseUpdate() {
  ExpectWord("update");
  Update u;
  u.table = ParseName();
  ExpectWord("set");
  do {
    Assignment a;
    a.column = ParseSimpleName();
    ExpectSymbol("=");
    a.value = ParseValue();
    u.sets.push_back(std::move(a));
  } while (AcceptSymbol(","));
  if (AcceptWord("where")) u.where = ParseCondition();
  return u;
}

StatementBody Parser::ParseDelete() {
  ExpectWord("delete");
  AcceptWord("from");
  Delete d;
  d.table = ParseName();
  if (AcceptWord("where")) d.where = ParseCondition();
  return d;
}

StatementBody Parser::ParseSet() {
  ExpectWord("set");
  SetOption s;
  const Token& opt = Peek();
  if (opt.Is("identity_insert")) {
    Next();
    s.kind = SetOption::Kind::IdentityInsert;
    s.value = ParseName();
  } else if (opt.Is("dateformat")) {
    Next();
    s.kind = SetOption::Kind::DateFormat;
    const Token& v = Peek();
    if (v.kind != Token::Kind::Word && v.kind != Token::Kind::String) Fail();
    s.value = Next().text;
    return s;
  } else if (opt.Is("language")) {
    Next();
    s.kind = SetOption::Kind::Language;
    const Token& v = Peek();
    if (v.kind != Token::Kind::Word && v.kind != Token::Kind::String &&
        v.kind != Token::Kind::QuotedName)
      Fail();
    s.value = Next().text;
    return s;
  } else if (opt.Is("textsize") || opt.Is("datefirst") || opt.Is("lock_timeout")) {
    Next();
    ParseInteger();
    return s;
  } else if (opt.Is("transaction")) {
    Next();
    ExpectWord("isolation");
    ExpectWord("level");
    if (AcceptWord("read")) {
      if (!AcceptWord("committed") && !AcceptWord("uncommitted")) Fail();
    } else if (AcceptWord("repeatable")) {
      ExpectWord("read");
    } else if (!AcceptWord("serializable") && !AcceptWord("snapshot")) {
      Fail();
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
      bool known = Peek().kind == Token::Kind::Word && FoldName(Peek().text).rfind("ansi_", 0) == 0;
      for (auto o : kOnOff) known = known || Peek().Is(o);
      if (!known && Peek().kind == Token::Kind::Word && !Peek().reserved) {
        SqlError e;
        e.reach = Reach::Batch;
        e.messages.push_back(
            Message{195, 15, 1, "'" + Peek().text + "' is not a recognized SET option."});
        throw e;
      }
      if (!known) Fail();
      nocount = nocount || Peek().Is("nocount");
      Next();
    } while (AcceptSymbol(","));
    if (nocount) s.kind = SetOption::Kind::NoCount;
  }
  if (AcceptWord("on"))
    s.on = true;
  else if (AcceptWord("off"))
    s.on = false;
  else
    Fail();
  return s;
}

StatementBody Parser::ParseDbcc() {
  ExpectWord("dbcc");
  ExpectWord("checkident");
  CheckIdent c;
  ExpectSymbol("(");
  const Token& t = Peek();
  if (t.kind == Token::Kind::String) {
    c.table = Next().text;
  } else {
    c.table = ParseName();
  }
  if (AcceptSymbol(",")) {
    if (AcceptWord("reseed")) {
      c.reseed = true;
      if (AcceptSymbol(",")) {
        c.has_value = true;
        c.value = ParseInteger();
      }
    } else {
      ExpectWord("noreseed");
    }
  }
  ExpectSymbol(")");
  return c;
}

StatementBody Parser::ParseDeclare() {
  ExpectWord("declare");
  Declare d;
  do {
    const Token& t = Peek();
    if (t.kind != Token::Kind::Word || t.text.size() < 2 || t.text[0] != '@' || t.text[1] == '@')
      Fail();
    Next();
    AcceptWord("as");
    std::string name = FoldName(t.text);
    TypeSpec type = ParseTypeSpec(false);
    if (variables_.count(name)) {
      SqlError e;
      e.reach = Reach::Batch;
      e.messages.push_back(Message{
          134, 15, 1,
          "The variable name '" + t.text +
              "' has already been declared. Variable names must be unique within a query batch "
              "or stored procedure."});
      throw e;
    }
    variables_[name] = type;
    d.variables.emplace_back(name, type);
  } while (AcceptSymbol(","));
  return d;
}

StatementBody Parser::ParseExec() {
  Next();  // EXEC or EXECUTE
  ExecProc p;
  const Token& first = Peek();
  if (first.kind == Token::Kind::Word && first.text.size() > 1 && first.text[0] == '@' &&
      Peek(1).IsSymbol("=")) {
    ExprPtr v = ParseAtName(Next());
    if (v->kind != Expr::Kind::Variable) Fail();
    p.return_variable = v->name;
    ExpectSymbol("=");
  }
  p.procedure = ParseSimpleName();
  while (AcceptSymbol(".")) {  // sys.sp_x, master..sp_x: the schema and database do not matter
    if (Peek().IsSymbol(".")) continue;
    p.procedure = ParseSimpleName();
  }
  const Token& t = Peek();
  if (t.kind == Token::Kind::End || t.IsSymbol(";") || (t.kind == Token::Kind::Word && t.reserved))
    return p;
  do {
    ExecProc::Argument a;
    const Token& n = Peek();
    if (n.kind == Token::Kind::Word && n.text.size() > 1 && n.text[0] == '@' &&
        Peek(1).IsSymbol("=")) {
      a.parameter = Next().text;
      Next();
    }
    a.value = ParseValue();
    p.arguments.push_back(std::move(a));
  } while (AcceptSymbol(","));
  return p;
}

}  // namespace standin

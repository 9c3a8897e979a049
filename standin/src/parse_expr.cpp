// Expressions, data types and SELECT bodies.
#include <algorithm>
#include <array>

#include "errors.h"
#include "parser_impl.h"
#include "text.h"
#include "text/text.h"
#include "values.h"

namespace standin {

namespace {

ExprPtr Make(Expr::Kind k) {
  auto e = std::make_unique<Expr>();
  e->kind = k;
  return e;
}

bool ComparisonOperator(const Token& t) {
  static constexpr std::array<std::string_view, 9> ops = {"=",  "<>", "!=", "<", ">",
                                                          "<=", ">=", "!<", "!>"};
  if (t.kind != Token::Kind::Symbol) return false;
  for (auto op : ops)
    if (t.text == op) return true;
  return false;
}

}  // namespace

// OR binds loosest, then AND, then NOT.
ExprPtr Parser::ParseCondition() {
  ExprPtr left = ParseConjunction();
  while (AcceptWord("or")) {
    ExprPtr e = Make(Expr::Kind::Or);
    e->args.push_back(std::move(left));
    e->args.push_back(ParseConjunction());
    left = std::move(e);
  }
  return left;
}

ExprPtr Parser::ParseConjunction() {
  ExprPtr left = ParseNegation();
  while (AcceptWord("and")) {
    ExprPtr e = Make(Expr::Kind::And);
    e->args.push_back(std::move(left));
    e->args.push_back(ParseNegation());
    left = std::move(e);
  }
  return left;
}

ExprPtr Parser::ParseNegation() {
  if (!AcceptWord("not")) return ParsePredicate();
  ExprPtr e = Make(Expr::Kind::Not);
  e->args.push_back(ParseNegation());
  return e;
}

ExprPtr Parser::ParsePredicate() {
  ExprPtr left = ParseValue();
  const Token& t = Peek();
  if (ComparisonOperator(t)) {
    ExprPtr e = Make(Expr::Kind::Compare);
    e->name = Next().text;
    e->args.push_back(std::move(left));
    e->args.push_back(ParseValue());
    return e;
  }
  if (t.Is("is")) {
    Next();
    ExprPtr e = Make(Expr::Kind::IsNull);
    e->negated = AcceptWord("not");
    ExpectWord("null");
    e->args.push_back(std::move(left));
    return e;
  }
  bool negated = false;
  if (t.Is("not") && Peek(1).Is("in")) {
    Next();
    negated = true;
  }
  if (AcceptWord("in")) {
    ExpectSymbol("(");
    if (AcceptWord("select")) {
      ExprPtr e = Make(Expr::Kind::InSelect);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->subquery = ParseSelectBody();
      ExpectSymbol(")");
      return e;
    }
    ExprPtr e = Make(Expr::Kind::InList);
    e->negated = negated;
    e->args.push_back(std::move(left));
    do {
      e->args.push_back(ParseValue());
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    return e;
  }
  return left;
}

ExprPtr Parser::ParseValue() {
  if (AcceptSymbol("-")) {
    const Token& t = Peek();
    if (t.kind != Token::Kind::Number) Fail();
    Next();
    return ParseLiteralNumber(t, true);
  }
  return ParsePrimary();
}

ExprPtr Parser::ParseLiteralNumber(const Token& t, bool negative) {
  ExprPtr e = Make(Expr::Kind::Literal);
  e->nullable = false;
  std::size_t dot = t.text.find('.');
  std::string digits = t.text;
  int scale = 0;
  if (dot != std::string::npos) {
    scale = static_cast<int>(digits.size() - dot - 1);
    digits.erase(dot, 1);
  }
  std::size_t first = digits.find_first_not_of('0');
  std::size_t significant = first == std::string::npos ? 0 : digits.size() - first;
  if (significant > 18) Fail();  // beyond the engine's 64-bit numerics
  int64_t v = digits.empty() ? 0 : std::stoll(digits);
  if (negative) v = -v;
  if (dot == std::string::npos && v >= INT32_MIN && v <= INT32_MAX) {
    e->literal = MakeInt(v);
    e->type = TypeSpec{Type::Int, 0, 10, 0};
  } else {
    int precision = static_cast<int>(significant > static_cast<std::size_t>(scale)
                                         ? significant
                                         : static_cast<std::size_t>(scale));
    if (precision == 0) precision = 1;
    e->literal = MakeNumeric(v, scale);
    e->type = TypeSpec{Type::Numeric, 0, precision, scale};
  }
  return e;
}

ExprPtr Parser::ParsePrimary() {
  const Token& t = Peek();
  switch (t.kind) {
    case Token::Kind::Number:
      Next();
      return ParseLiteralNumber(t, false);
    case Token::Kind::String: {
      Next();
      ExprPtr e = Make(Expr::Kind::Literal);
      // As the server does: what the code page lacks becomes '?'.
      e->literal = MakeString(text::Utf8ToGbk(t.text, text::Mode::kLossy));
      int n = static_cast<int>(e->literal.s.size());
      e->type = TypeSpec{Type::VarChar, n == 0 ? 1 : n, 0, 0};
      e->nullable = false;
      return e;
    }
    case Token::Kind::Symbol:
      if (t.text == "(") {
        Next();
        ExprPtr e = ParseCondition();
        ExpectSymbol(")");
        return e;
      }
      Fail();
    case Token::Kind::Word:
    case Token::Kind::QuotedName:
      break;
    case Token::Kind::End:
      Fail();
  }
  if (t.kind == Token::Kind::Word && t.text[0] == '@') {
    Next();
    return ParseAtName(t);
  }
  if (t.Is("null")) {
    Next();
    ExprPtr e = Make(Expr::Kind::Literal);
    e->type = TypeSpec{Type::Int, 0, 10, 0};
    return e;
  }
  if (t.kind == Token::Kind::Word && Peek(1).IsSymbol("(") && (!t.reserved || t.Is("convert"))) {
    Next();
    return ParseFunctionCall(t);
  }
  if (t.kind == Token::Kind::Word && t.reserved) Fail();
  Next();
  ExprPtr e = Make(Expr::Kind::Column);
  e->name = t.text;
  if (AcceptSymbol(".")) {
    e->qualifier = e->name;
    e->name = ParseSimpleName();
  }
  return e;
}

ExprPtr Parser::ParseAtName(const Token& t) {
  std::string name = FoldName(t.text);
  if (name == "@@spid") {
    ExprPtr e = Make(Expr::Kind::Function);
    e->name = name;
    e->type = TypeSpec{Type::SmallInt, 0, 5, 0};
    e->nullable = false;
    return e;
  }
  auto it = variables_.find(name);
  if (it == variables_.end()) {
    SqlError err;
    err.reach = Reach::Batch;
    err.messages.push_back(
        Message{137, 15, 2, "Must declare the scalar variable \"" + t.text + "\"."});
    throw err;
  }
  ExprPtr e = Make(Expr::Kind::Variable);
  e->name = name;
  e->type = it->second;
  e->nullable = true;
  return e;
}

ExprPtr Parser::ParseFunctionCall(const Token& fname) {
  ExpectSymbol("(");
  std::string f = FoldName(fname.text);
  if (f == "convert") {
    ExprPtr e = Make(Expr::Kind::Convert);
    e->target = ParseTypeSpec(true);
    ExpectSymbol(",");
    e->args.push_back(ParseValue());
    if (AcceptSymbol(",")) e->style = static_cast<int>(ParseInteger());
    ExpectSymbol(")");
    return e;
  }
  if (f == "cast") {
    ExprPtr e = Make(Expr::Kind::Convert);
    e->args.push_back(ParseValue());
    ExpectWord("as");
    e->target = ParseTypeSpec(true);
    ExpectSymbol(")");
    return e;
  }
  if (f == "count") {
    ExpectSymbol("*");
    ExpectSymbol(")");
    return Make(Expr::Kind::CountStar);
  }
  if (f == "checksum_agg") {
    ExprPtr e = Make(Expr::Kind::Aggregate);
    e->name = f;
    AcceptWord("all");
    e->args.push_back(ParseValue());
    ExpectSymbol(")");
    return e;
  }
  if (f == "binary_checksum") {
    ExprPtr e = Make(Expr::Kind::Function);
    e->name = f;
    if (AcceptSymbol("*")) {
      e->star = true;
    } else {
      do {
        e->args.push_back(ParseValue());
      } while (AcceptSymbol(","));
    }
    ExpectSymbol(")");
    return e;
  }
  static constexpr std::array<std::string_view, 10> known = {
      "getdate", "rtrim", "ltrim",  "len",   "datalength",
      "upper",   "lower", "isnull", "db_id", "applock_test"};
  bool is_known = false;
  for (auto k : known) is_known = is_known || f == k;
  if (!is_known) {
    SqlError e;
    e.reach = Reach::Batch;
    e.messages.push_back(
        Message{195, 15, 10, "'" + fname.text + "' is not a recognized built-in function name."});
    throw e;
  }
  ExprPtr e = Make(Expr::Kind::Function);
  e->name = f;
  if (!Peek().IsSymbol(")")) {
    do {
      e->args.push_back(ParseValue());
    } while (AcceptSymbol(","));
  }
  ExpectSymbol(")");
  std::size_t want = f == "getdate"        ? 0
                     : f == "isnull"       ? 2
                     : f == "applock_test" ? 4
                     : f == "db_id"        ? std::min<std::size_t>(e->args.size(), 1)
                                           : 1;
  if (e->args.size() != want) {
    SqlError err;
    err.reach = Reach::Batch;
    err.messages.push_back(Message{174, 15, 1,
                                   "The " + FoldName(fname.text) + " function requires " +
                                       std::to_string(want) + " argument(s)."});
    throw err;
  }
  return e;
}

TypeSpec Parser::ParseTypeSpec(bool in_convert) {
  const Token& t = Peek();
  if (t.kind != Token::Kind::Word) Fail();
  std::string w = FoldName(t.text);
  TypeSpec ts;
  if (w == "char" || w == "character" || w == "varchar") {
    Next();
    ts.type = w == "varchar" ? Type::VarChar : Type::Char;
    ts.length = in_convert ? 30 : 1;
    if (AcceptSymbol("(")) {
      int64_t n = ParseInteger();
      if (n < 1 || n > 8000) Fail();
      ts.length = static_cast<int>(n);
      ExpectSymbol(")");
    }
  } else if (w == "int" || w == "integer") {
    Next();
    ts.type = Type::Int;
  } else if (w == "smallint") {
    Next();
    ts.type = Type::SmallInt;
  } else if (w == "numeric" || w == "decimal" || w == "dec") {
    Next();
    ts.type = Type::Numeric;
    ts.precision = 18;
    ts.scale = 0;
    if (AcceptSymbol("(")) {
      int64_t p = ParseInteger();
      int64_t s = 0;
      if (AcceptSymbol(",")) s = ParseInteger();
      ExpectSymbol(")");
      if (p < 1 || p > 38 || s < 0 || s > p) Fail();
      ts.precision = static_cast<int>(p);
      ts.scale = static_cast<int>(s);
    }
  } else if (w == "datetime") {
    Next();
    ts.type = Type::DateTime;
  } else {
    SqlError e;
    e.reach = Reach::Batch;
    e.messages.push_back(Message{
        2715, 16, 6, "Column, parameter, or variable #1: Cannot find data type " + t.text + "."});
    throw e;
  }
  return ts;
}

std::shared_ptr<SelectStmt> Parser::ParseSelectBody() {
  auto s = std::make_shared<SelectStmt>();
  do {
    SelectItem item;
    if (AcceptSymbol("*")) {
      item.star = true;
    } else {
      item.expr = ParseValue();  // column and table aliases are outside the subset
    }
    s->items.push_back(std::move(item));
  } while (AcceptSymbol(","));
  if (AcceptWord("from")) {
    s->has_from = true;
    s->table = ParseName();
  }
  if (AcceptWord("where")) s->where = ParseCondition();
  if (AcceptWord("group")) {
    ExpectWord("by");
    do {
      s->group_by.push_back(ParseValue());
    } while (AcceptSymbol(","));
  }
  if (AcceptWord("order")) {
    ExpectWord("by");
    do {
      OrderItem o;
      o.expr = ParseValue();
      if (AcceptWord("desc"))
        o.descending = true;
      else
        AcceptWord("asc");
      s->order_by.push_back(std::move(o));
    } while (AcceptSymbol(","));
  }
  return s;
}

}  // namespace standin

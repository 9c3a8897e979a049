// Expressions, data types and SELECT bodies.
#include <array>

#include "errors.h"
#include "parser_impl.h"
#include "text.h"
#include "text/text.h"
#include "values.h"

namespace standin {

namespace {

ExprPtr make(Expr::Kind k) {
  auto e = std::make_unique<Expr>();
  e->kind = k;
  return e;
}

bool comparison_operator(const Token& t) {
  static constexpr std::array<std::string_view, 9> ops = {"=",  "<>", "!=", "<", ">",
                                                          "<=", ">=", "!<", "!>"};
  if (t.kind != Token::Kind::Symbol) return false;
  for (auto op : ops)
    if (t.text == op) return true;
  return false;
}

}  // namespace

// OR binds loosest, then AND, then NOT.
ExprPtr Parser::condition() {
  ExprPtr left = conjunction();
  while (accept_word("or")) {
    ExprPtr e = make(Expr::Kind::Or);
    e->args.push_back(std::move(left));
    e->args.push_back(conjunction());
    left = std::move(e);
  }
  return left;
}

ExprPtr Parser::conjunction() {
  ExprPtr left = negation();
  while (accept_word("and")) {
    ExprPtr e = make(Expr::Kind::And);
    e->args.push_back(std::move(left));
    e->args.push_back(negation());
    left = std::move(e);
  }
  return left;
}

ExprPtr Parser::negation() {
  if (!accept_word("not")) return predicate();
  ExprPtr e = make(Expr::Kind::Not);
  e->args.push_back(negation());
  return e;
}

ExprPtr Parser::predicate() {
  ExprPtr left = value();
  const Token& t = peek();
  if (comparison_operator(t)) {
    ExprPtr e = make(Expr::Kind::Compare);
    e->name = next().text;
    e->args.push_back(std::move(left));
    e->args.push_back(value());
    return e;
  }
  if (t.is("is")) {
    next();
    ExprPtr e = make(Expr::Kind::IsNull);
    e->negated = accept_word("not");
    expect_word("null");
    e->args.push_back(std::move(left));
    return e;
  }
  bool negated = false;
  if (t.is("not") && peek(1).is("in")) {
    next();
    negated = true;
  }
  if (accept_word("in")) {
    expect_symbol("(");
    if (accept_word("select")) {
      ExprPtr e = make(Expr::Kind::InSelect);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->subquery = select_body();
      expect_symbol(")");
      return e;
    }
    ExprPtr e = make(Expr::Kind::InList);
    e->negated = negated;
    e->args.push_back(std::move(left));
    do {
      e->args.push_back(value());
    } while (accept_symbol(","));
    expect_symbol(")");
    return e;
  }
  return left;
}

ExprPtr Parser::value() {
  if (accept_symbol("-")) {
    const Token& t = peek();
    if (t.kind != Token::Kind::Number) fail();
    next();
    return literal_number(t, true);
  }
  return primary();
}

ExprPtr Parser::literal_number(const Token& t, bool negative) {
  ExprPtr e = make(Expr::Kind::Literal);
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
  if (significant > 18) fail();  // beyond the engine's 64-bit numerics
  int64_t v = digits.empty() ? 0 : std::stoll(digits);
  if (negative) v = -v;
  if (dot == std::string::npos && v >= INT32_MIN && v <= INT32_MAX) {
    e->literal = make_int(v);
    e->type = TypeSpec{Type::Int, 0, 10, 0};
  } else {
    int precision = static_cast<int>(significant > static_cast<std::size_t>(scale)
                                         ? significant
                                         : static_cast<std::size_t>(scale));
    if (precision == 0) precision = 1;
    e->literal = make_numeric(v, scale);
    e->type = TypeSpec{Type::Numeric, 0, precision, scale};
  }
  return e;
}

ExprPtr Parser::primary() {
  const Token& t = peek();
  switch (t.kind) {
    case Token::Kind::Number:
      next();
      return literal_number(t, false);
    case Token::Kind::String: {
      next();
      ExprPtr e = make(Expr::Kind::Literal);
      // As the server does: what the code page lacks becomes '?'.
      e->literal = make_string(text::Utf8ToGbk(t.text, text::Mode::kLossy));
      int n = static_cast<int>(e->literal.s.size());
      e->type = TypeSpec{Type::VarChar, n == 0 ? 1 : n, 0, 0};
      e->nullable = false;
      return e;
    }
    case Token::Kind::Symbol:
      if (t.text == "(") {
        next();
        ExprPtr e = condition();
        expect_symbol(")");
        return e;
      }
      fail();
    case Token::Kind::Word:
    case Token::Kind::QuotedName:
      break;
    case Token::Kind::End:
      fail();
  }
  if (t.is("null")) {
    next();
    ExprPtr e = make(Expr::Kind::Literal);
    e->type = TypeSpec{Type::Int, 0, 10, 0};
    return e;
  }
  if (t.kind == Token::Kind::Word && peek(1).is_symbol("(") && (!t.reserved || t.is("convert"))) {
    next();
    return function_call(t);
  }
  if (t.kind == Token::Kind::Word && t.reserved) fail();
  next();
  ExprPtr e = make(Expr::Kind::Column);
  e->name = t.text;
  if (accept_symbol(".")) {
    e->qualifier = e->name;
    e->name = simple_name();
  }
  return e;
}

ExprPtr Parser::function_call(const Token& fname) {
  expect_symbol("(");
  std::string f = fold_name(fname.text);
  if (f == "convert") {
    ExprPtr e = make(Expr::Kind::Convert);
    e->target = type_spec(true);
    expect_symbol(",");
    e->args.push_back(value());
    if (accept_symbol(",")) e->style = static_cast<int>(integer());
    expect_symbol(")");
    return e;
  }
  if (f == "cast") {
    ExprPtr e = make(Expr::Kind::Convert);
    e->args.push_back(value());
    expect_word("as");
    e->target = type_spec(true);
    expect_symbol(")");
    return e;
  }
  if (f == "count") {
    expect_symbol("*");
    expect_symbol(")");
    return make(Expr::Kind::CountStar);
  }
  static constexpr std::array<std::string_view, 8> known = {
      "getdate", "rtrim", "ltrim", "len", "datalength", "upper", "lower", "isnull"};
  bool is_known = false;
  for (auto k : known) is_known = is_known || f == k;
  if (!is_known) {
    SqlError e;
    e.reach = Reach::Batch;
    e.messages.push_back(
        Message{195, 15, 10, "'" + fname.text + "' is not a recognized built-in function name."});
    throw e;
  }
  ExprPtr e = make(Expr::Kind::Function);
  e->name = f;
  if (!peek().is_symbol(")")) {
    do {
      e->args.push_back(value());
    } while (accept_symbol(","));
  }
  expect_symbol(")");
  std::size_t want = f == "getdate" ? 0 : f == "isnull" ? 2 : 1;
  if (e->args.size() != want) {
    SqlError err;
    err.reach = Reach::Batch;
    err.messages.push_back(Message{174, 15, 1,
                                   "The " + fold_name(fname.text) + " function requires " +
                                       std::to_string(want) + " argument(s)."});
    throw err;
  }
  return e;
}

TypeSpec Parser::type_spec(bool in_convert) {
  const Token& t = peek();
  if (t.kind != Token::Kind::Word) fail();
  std::string w = fold_name(t.text);
  TypeSpec ts;
  if (w == "char" || w == "character" || w == "varchar") {
    next();
    ts.type = w == "varchar" ? Type::VarChar : Type::Char;
    ts.length = in_convert ? 30 : 1;
    if (accept_symbol("(")) {
      int64_t n = integer();
      if (n < 1 || n > 8000) fail();
      ts.length = static_cast<int>(n);
      expect_symbol(")");
    }
  } else if (w == "int" || w == "integer") {
    next();
    ts.type = Type::Int;
  } else if (w == "smallint") {
    next();
    ts.type = Type::SmallInt;
  } else if (w == "numeric" || w == "decimal" || w == "dec") {
    next();
    ts.type = Type::Numeric;
    ts.precision = 18;
    ts.scale = 0;
    if (accept_symbol("(")) {
      int64_t p = integer();
      int64_t s = 0;
      if (accept_symbol(",")) s = integer();
      expect_symbol(")");
      if (p < 1 || p > 38 || s < 0 || s > p) fail();
      ts.precision = static_cast<int>(p);
      ts.scale = static_cast<int>(s);
    }
  } else if (w == "datetime") {
    next();
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

std::shared_ptr<SelectStmt> Parser::select_body() {
  auto s = std::make_shared<SelectStmt>();
  do {
    SelectItem item;
    if (accept_symbol("*")) {
      item.star = true;
    } else {
      item.expr = value();  // column and table aliases are outside the subset
    }
    s->items.push_back(std::move(item));
  } while (accept_symbol(","));
  if (accept_word("from")) {
    s->has_from = true;
    s->table = name();
  }
  if (accept_word("where")) s->where = condition();
  if (accept_word("group")) {
    expect_word("by");
    do {
      s->group_by.push_back(value());
    } while (accept_symbol(","));
  }
  if (accept_word("order")) {
    expect_word("by");
    do {
      OrderItem o;
      o.expr = value();
      if (accept_word("desc"))
        o.descending = true;
      else
        accept_word("asc");
      s->order_by.push_back(std::move(o));
    } while (accept_symbol(","));
  }
  return s;
}

}  // namespace standin

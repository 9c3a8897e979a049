// Evaluation of bound expressions over one row.
#include "exec.h"
#include "text.h"

namespace standin {
namespace {

Truth negate(Truth t) {
  return t == Truth::True ? Truth::False : t == Truth::False ? Truth::True : Truth::Unknown;
}

Truth from_bool(bool b) { return b ? Truth::True : Truth::False; }

Truth compare_op(const std::string& op, int c) {
  if (op == "=") return from_bool(c == 0);
  if (op == "<>" || op == "!=") return from_bool(c != 0);
  if (op == "<") return from_bool(c < 0);
  if (op == ">") return from_bool(c > 0);
  if (op == "<=" || op == "!>") return from_bool(c <= 0);
  return from_bool(c >= 0);  // ">=", "!<"
}

// Membership of `v` in `list` under SQL's three-valued logic.
Truth member(const Value& v, Type v_type, const std::vector<Value>& list, Type list_type,
             DateFormat df) {
  if (v.is_null()) return Truth::Unknown;
  bool saw_null = false;
  for (const Value& x : list) {
    if (x.is_null()) {
      saw_null = true;
      continue;
    }
    if (compare_values(v, v_type, x, list_type, df) == 0) return Truth::True;
  }
  return saw_null ? Truth::Unknown : Truth::False;
}

Value as_string(const Value& v, const Expr& arg, DateFormat df) {
  if (v.kind == Value::Kind::String || v.is_null()) return v;
  return convert_value(v, arg.type, TypeSpec{Type::VarChar, 30, 0, 0}, true, df);
}

std::size_t gbk_characters(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); ++n)
    i += static_cast<unsigned char>(s[i]) >= 0x81 && i + 1 < s.size() ? 2 : 1;
  return n;
}

std::string change_case(std::string s, bool upper) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x81 && i + 1 < s.size()) {
      ++i;
    } else if (upper && c >= 'a' && c <= 'z') {
      s[i] = static_cast<char>(c - 'a' + 'A');
    } else if (!upper && c >= 'A' && c <= 'Z') {
      s[i] = static_cast<char>(c - 'A' + 'a');
    }
  }
  return s;
}

int64_t data_length(const Value& v, const TypeSpec& t) {
  switch (v.kind) {
    case Value::Kind::String:
      return static_cast<int64_t>(v.s.size());
    case Value::Kind::DateTime:
      return 8;
    case Value::Kind::Numeric:
      return t.precision <= 9 ? 5 : t.precision <= 19 ? 9 : t.precision <= 28 ? 13 : 17;
    default:
      return t.type == Type::SmallInt ? 2 : 4;
  }
}

Value call(const Expr& e, const Row* row, EvalContext& ctx) {
  const std::string& f = e.name;
  if (f == "getdate") return make_datetime(ctx.now);
  Value a = eval(*e.args[0], row, ctx);
  if (f == "isnull") {
    if (!a.is_null()) return a;
    Value b = eval(*e.args[1], row, ctx);
    return convert_value(b, e.args[1]->type, e.type, true, ctx.dateformat);
  }
  if (a.is_null()) return a;
  if (f == "datalength") return make_int(data_length(a, e.args[0]->type));
  Value s = as_string(a, *e.args[0], ctx.dateformat);
  if (f == "rtrim") {
    s.s.resize(s.s.find_last_not_of(' ') == std::string::npos ? 0 : s.s.find_last_not_of(' ') + 1);
    return s;
  }
  if (f == "ltrim") {
    std::size_t p = s.s.find_first_not_of(' ');
    s.s.erase(0, p == std::string::npos ? s.s.size() : p);
    return s;
  }
  if (f == "len") {
    return make_int(
        static_cast<int64_t>(gbk_characters(std::string_view(s.s).substr(0, trimmed_size(s.s)))));
  }
  if (f == "upper" || f == "lower") return make_string(change_case(std::move(s.s), f == "upper"));
  return Value{};
}

}  // namespace

Value eval(const Expr& e, const Row* row, EvalContext& ctx) {
  switch (e.kind) {
    case Expr::Kind::Literal:
      return e.literal;
    case Expr::Kind::Column:
      return (*row)[static_cast<std::size_t>(e.column)];
    case Expr::Kind::Function:
      return call(e, row, ctx);
    case Expr::Kind::Convert: {
      Value v = eval(*e.args[0], row, ctx);
      if (e.style >= 0 && v.kind == Value::Kind::DateTime && is_string_type(e.target.type)) {
        std::string text = e.style == 120 || e.style == 20   ? datetime_text(v.dt).substr(0, 19)
                           : e.style == 121 || e.style == 21 ? datetime_text(v.dt)
                           : e.style == 23                   ? datetime_text(v.dt).substr(0, 10)
                           : e.style == 126                  ? datetime_text(v.dt, 'T')
                                                             : datetime_style0(v.dt);
        return convert_value(make_string(text), TypeSpec{Type::VarChar, 30, 0, 0}, e.target, true,
                             ctx.dateformat);
      }
      return convert_value(v, e.args[0]->type, e.target, true, ctx.dateformat);
    }
    case Expr::Kind::CountStar:
      return Value{};  // aggregates are computed by the query
    default: {
      Truth t = test(e, row, ctx);
      return t == Truth::Unknown ? Value{} : make_int(t == Truth::True ? 1 : 0);
    }
  }
}

Truth test(const Expr& e, const Row* row, EvalContext& ctx) {
  switch (e.kind) {
    case Expr::Kind::And: {
      Truth a = test(*e.args[0], row, ctx);
      if (a == Truth::False) return a;
      Truth b = test(*e.args[1], row, ctx);
      if (b == Truth::False) return b;
      return a == Truth::True && b == Truth::True ? Truth::True : Truth::Unknown;
    }
    case Expr::Kind::Or: {
      Truth a = test(*e.args[0], row, ctx);
      if (a == Truth::True) return a;
      Truth b = test(*e.args[1], row, ctx);
      if (b == Truth::True) return b;
      return a == Truth::False && b == Truth::False ? Truth::False : Truth::Unknown;
    }
    case Expr::Kind::Not:
      return negate(test(*e.args[0], row, ctx));
    case Expr::Kind::IsNull: {
      bool null = eval(*e.args[0], row, ctx).is_null();
      return from_bool(e.negated ? !null : null);
    }
    case Expr::Kind::Compare: {
      Value a = eval(*e.args[0], row, ctx);
      Value b = eval(*e.args[1], row, ctx);
      if (a.is_null() || b.is_null()) return Truth::Unknown;
      int c = compare_values(a, e.args[0]->type.type, b, e.args[1]->type.type, ctx.dateformat);
      return compare_op(e.name, c);
    }
    case Expr::Kind::InList: {
      Value v = eval(*e.args[0], row, ctx);
      std::vector<Value> list;
      Type list_type = e.args.size() > 1 ? e.args[1]->type.type : Type::Int;
      for (std::size_t i = 1; i < e.args.size(); ++i) {
        list.push_back(eval(*e.args[i], row, ctx));
        if (type_rank(e.args[i]->type.type) > type_rank(list_type))
          list_type = e.args[i]->type.type;
      }
      Truth t = member(v, e.args[0]->type.type, list, list_type, ctx.dateformat);
      return e.negated ? negate(t) : t;
    }
    case Expr::Kind::InSelect: {
      auto it = ctx.subqueries.find(&e);
      if (it == ctx.subqueries.end()) {
        SelectResult r = ctx.run_subquery(*e.subquery);
        EvalContext::Subquery q;
        q.type = r.columns[0].type.type;
        q.values.reserve(r.rows.size());
        for (Row& x : r.rows) q.values.push_back(std::move(x[0]));
        it = ctx.subqueries.emplace(&e, std::move(q)).first;
      }
      Value v = eval(*e.args[0], row, ctx);
      Truth t = member(v, e.args[0]->type.type, it->second.values, it->second.type, ctx.dateformat);
      return e.negated ? negate(t) : t;
    }
    default: {
      SqlError err;
      err.reach = Reach::Batch;
      err.messages.push_back(Message{4145, 15, 1,
                                     "An expression of non-boolean type specified in a context "
                                     "where a condition is expected."});
      throw err;
    }
  }
}

}  // namespace standin

// Evaluation of bound expressions over one row.
#include "exec.h"
#include "text.h"

namespace standin {
namespace {

Truth Negate(Truth t) {
  return t == Truth::True ? Truth::False : t == Truth::False ? Truth::True : Truth::Unknown;
}

Truth FromBool(bool b) { return b ? Truth::True : Truth::False; }

Truth CompareOp(const std::string& op, int c) {
  if (op == "=") return FromBool(c == 0);
  if (op == "<>" || op == "!=") return FromBool(c != 0);
  if (op == "<") return FromBool(c < 0);
  if (op == ">") return FromBool(c > 0);
  if (op == "<=" || op == "!>") return FromBool(c <= 0);
  return FromBool(c >= 0);  // ">=", "!<"
}

// Membership of `v` in `list` under SQL's three-valued logic.
Truth Member(const Value& v, Type v_type, const std::vector<Value>& list, Type list_type,
             DateFormat df) {
  if (v.IsNull()) return Truth::Unknown;
  bool saw_null = false;
  for (const Value& x : list) {
    if (x.IsNull()) {
      saw_null = true;
      continue;
    }
    if (CompareValues(v, v_type, x, list_type, df) == 0) return Truth::True;
  }
  return saw_null ? Truth::Unknown : Truth::False;
}

Value AsString(const Value& v, const Expr& arg, DateFormat df) {
  if (v.kind == Value::Kind::String || v.IsNull()) return v;
  return ConvertValue(v, arg.type, TypeSpec{Type::VarChar, 30, 0, 0}, true, df);
}

std::size_t GbkCharacters(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); ++n)
    i += static_cast<unsigned char>(s[i]) >= 0x81 && i + 1 < s.size() ? 2 : 1;
  return n;
}

std::string ChangeCase(std::string s, bool upper) {
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

int64_t DataLength(const Value& v, const TypeSpec& t) {
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

// BINARY_CHECKSUM. What Microsoft's page documents: an int, the same for two lists whose values
// have the same types and are equal under = (NULLs of a type count as equal), different for most
// changes, case-sensitive for text. Its algorithm is not documented, so this one is a guess
// built on those properties: every byte is folded in by a 4-bit left rotation and XOR (the step
// published ports of it use for text), text without its trailing blanks (= ignores them),
// numbers and datetimes by their stored bytes, NULL as a byte no value starts with here, and a
// 0 byte closing each value so that neighbours cannot trade characters unnoticed.
int32_t BinaryChecksum(const std::vector<Value>& values, const std::vector<TypeSpec>& types) {
  uint32_t h = 0;
  auto fold = [&h](unsigned char b) { h = ((h << 4) | (h >> 28)) ^ b; };
  auto fold_le = [&fold](uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) fold(static_cast<unsigned char>(v >> (8 * i)));
  };
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Value& v = values[i];
    switch (v.kind) {
      case Value::Kind::Null:
        fold(0xFF);
        break;
      case Value::Kind::String:
        for (std::size_t k = 0; k < TrimmedSize(v.s); ++k) fold(static_cast<unsigned char>(v.s[k]));
        break;
      case Value::Kind::Int:
        fold_le(static_cast<uint64_t>(v.i), types[i].type == Type::SmallInt ? 2 : 4);
        break;
      case Value::Kind::Numeric:
        fold_le(static_cast<uint64_t>(v.i), 8);
        break;
      case Value::Kind::DateTime:
        fold_le(static_cast<uint32_t>(v.dt.days), 4);
        fold_le(v.dt.ticks, 4);
        break;
    }
    fold(0);
  }
  return static_cast<int32_t>(h);
}

// CHECKSUM_AGG: the XOR of the values that are not NULL (not on Microsoft's page, which only says
// NULLs are ignored and row order does not matter, but shown by public examples: 2, 3, 4, 5
// give 0). NULL when there are none, as other aggregates but COUNT (guess).
Value ChecksumAgg(const Expr& e, EvalContext& ctx) {
  uint32_t acc = 0;
  bool any = false;
  if (ctx.group) {
    for (const Row* r : *ctx.group) {
      Value v = Eval(*e.args[0], r, ctx);
      if (v.IsNull()) continue;
      acc ^= static_cast<uint32_t>(v.i);
      any = true;
    }
  }
  return any ? MakeInt(static_cast<int32_t>(acc)) : Value{};
}

Value Call(const Expr& e, const Row* row, EvalContext& ctx) {
  const std::string& f = e.name;
  if (f == "getdate") return MakeDatetime(ctx.now);
  if (f == "binary_checksum") {
    std::vector<Value> values;
    std::vector<TypeSpec> types;
    for (const auto& a : e.args) {
      values.push_back(Eval(*a, row, ctx));
      types.push_back(a->type);
    }
    return MakeInt(BinaryChecksum(values, types));
  }
  Value a = Eval(*e.args[0], row, ctx);
  if (f == "isnull") {
    if (!a.IsNull()) return a;
    Value b = Eval(*e.args[1], row, ctx);
    return ConvertValue(b, e.args[1]->type, e.type, true, ctx.dateformat);
  }
  if (a.IsNull()) return a;
  if (f == "datalength") return MakeInt(DataLength(a, e.args[0]->type));
  Value s = AsString(a, *e.args[0], ctx.dateformat);
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
    return MakeInt(
        static_cast<int64_t>(GbkCharacters(std::string_view(s.s).substr(0, TrimmedSize(s.s)))));
  }
  if (f == "upper" || f == "lower") return MakeString(ChangeCase(std::move(s.s), f == "upper"));
  return Value{};
}

}  // namespace

Value Eval(const Expr& e, const Row* row, EvalContext& ctx) {
  switch (e.kind) {
    case Expr::Kind::Literal:
      return e.literal;
    case Expr::Kind::Column:
      return (*row)[static_cast<std::size_t>(e.column)];
    case Expr::Kind::Function:
      return Call(e, row, ctx);
    case Expr::Kind::Convert: {
      Value v = Eval(*e.args[0], row, ctx);
      if (e.style >= 0 && v.kind == Value::Kind::DateTime && IsStringType(e.target.type)) {
        std::string text = e.style == 120 || e.style == 20   ? DatetimeText(v.dt).substr(0, 19)
                           : e.style == 121 || e.style == 21 ? DatetimeText(v.dt)
                           : e.style == 23                   ? DatetimeText(v.dt).substr(0, 10)
                           : e.style == 126                  ? DatetimeText(v.dt, 'T')
                                                             : DatetimeStyle0(v.dt);
        return ConvertValue(MakeString(text), TypeSpec{Type::VarChar, 30, 0, 0}, e.target, true,
                            ctx.dateformat);
      }
      return ConvertValue(v, e.args[0]->type, e.target, true, ctx.dateformat);
    }
    case Expr::Kind::CountStar:
      return ctx.group ? MakeInt(static_cast<int64_t>(ctx.group->size())) : Value{};
    case Expr::Kind::Aggregate:
      return ChecksumAgg(e, ctx);
    default: {
      Truth t = Test(e, row, ctx);
      return t == Truth::Unknown ? Value{} : MakeInt(t == Truth::True ? 1 : 0);
    }
  }
}

Truth Test(const Expr& e, const Row* row, EvalContext& ctx) {
  switch (e.kind) {
    case Expr::Kind::And: {
      Truth a = Test(*e.args[0], row, ctx);
      if (a == Truth::False) return a;
      Truth b = Test(*e.args[1], row, ctx);
      if (b == Truth::False) return b;
      return a == Truth::True && b == Truth::True ? Truth::True : Truth::Unknown;
    }
    case Expr::Kind::Or: {
      Truth a = Test(*e.args[0], row, ctx);
      if (a == Truth::True) return a;
      Truth b = Test(*e.args[1], row, ctx);
      if (b == Truth::True) return b;
      return a == Truth::False && b == Truth::False ? Truth::False : Truth::Unknown;
    }
    case Expr::Kind::Not:
      return Negate(Test(*e.args[0], row, ctx));
    case Expr::Kind::IsNull: {
      bool null = Eval(*e.args[0], row, ctx).IsNull();
      return FromBool(e.negated ? !null : null);
    }
    case Expr::Kind::Compare: {
      Value a = Eval(*e.args[0], row, ctx);
      Value b = Eval(*e.args[1], row, ctx);
      if (a.IsNull() || b.IsNull()) return Truth::Unknown;
      int c = CompareValues(a, e.args[0]->type.type, b, e.args[1]->type.type, ctx.dateformat);
      return CompareOp(e.name, c);
    }
    case Expr::Kind::InList: {
      Value v = Eval(*e.args[0], row, ctx);
      std::vector<Value> list;
      Type list_type = e.args.size() > 1 ? e.args[1]->type.type : Type::Int;
      for (std::size_t i = 1; i < e.args.size(); ++i) {
        list.push_back(Eval(*e.args[i], row, ctx));
        if (TypeRank(e.args[i]->type.type) > TypeRank(list_type)) list_type = e.args[i]->type.type;
      }
      Truth t = Member(v, e.args[0]->type.type, list, list_type, ctx.dateformat);
      return e.negated ? Negate(t) : t;
    }
    case Expr::Kind::InSelect: {
      auto it = ctx.subqueries.find(&e);
      if (it == ctx.subqueries.end()) {
        SelectResult r = ctx.run_subquery(*e.subquery);
        EvalContext::Subquery q;
        q.type = r.columns[0].type.type;
        q.values.reserve(r.rows.size());
        for (Row& x : r.rows) q.values.push_back(std::move(x[0]));
        if (IsStringType(q.type))
          for (const Value& x : q.values) {
            if (x.IsNull())
              q.has_null = true;
            else
              q.text_keys.insert(ValueKey(x));
          }
        it = ctx.subqueries.emplace(&e, std::move(q)).first;
      }
      Value v = Eval(*e.args[0], row, ctx);
      const EvalContext::Subquery& q = it->second;
      Truth t;
      if (IsStringType(e.args[0]->type.type) && IsStringType(q.type))
        t = v.IsNull()                       ? Truth::Unknown
            : q.text_keys.count(ValueKey(v)) ? Truth::True
            : q.has_null                     ? Truth::Unknown
                                             : Truth::False;
      else
        t = Member(v, e.args[0]->type.type, q.values, q.type, ctx.dateformat);
      return e.negated ? Negate(t) : t;
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

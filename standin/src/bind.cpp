// Name resolution and static typing of expressions and SELECTs.
#include "exec.h"
#include "text.h"

namespace standin {
namespace {

using err::BatchError;

void BindColumn(Expr& e, const Scope& scope) {
  if (!scope.columns) {
    throw BatchError(128, 15, 1,
                     "The name \"" + e.name +
                         "\" is not permitted in this context. Valid expressions are constants, "
                         "constant expressions, and (in some contexts) variables. Column names "
                         "are not permitted.");
  }
  if (!e.qualifier.empty() && !SameName(e.qualifier, scope.table)) {
    throw BatchError(
        4104, 16, 1,
        "The multi-part identifier \"" + e.qualifier + "." + e.name + "\" could not be bound.");
  }
  const auto& cols = *scope.columns;
  for (std::size_t i = 0; i < cols.size(); ++i) {
    if (SameName(cols[i].name, e.name)) {
      e.column = static_cast<int>(i);
      e.type = cols[i].type;
      e.nullable = cols[i].nullable;
      return;
    }
  }
  throw err::InvalidColumn(e.name);
}

bool HasSubquery(const Expr& e) {
  if (e.kind == Expr::Kind::InSelect) return true;
  for (const auto& a : e.args)
    if (HasSubquery(*a)) return true;
  return false;
}

TypeSpec StringResult(const Expr& arg) {
  if (IsStringType(arg.type.type)) return TypeSpec{Type::VarChar, arg.type.length, 0, 0};
  return TypeSpec{Type::VarChar, 30, 0, 0};
}

void BindFunction(Expr& e) {
  const std::string& f = e.name;
  if (f == "binary_checksum") {
    e.type = TypeSpec{Type::Int, 0, 10, 0};
    e.nullable = false;  // NULL arguments are hashed like values
    return;
  }
  if (f == "getdate") {
    e.type = TypeSpec{Type::DateTime, 0, 0, 0};
    e.nullable = false;
    return;
  }
  if (f == "@@spid" || f == "applock_test") {
    e.type = TypeSpec{Type::SmallInt, 0, 5, 0};
    e.nullable = f == "applock_test";
    return;
  }
  if (f == "db_id") {
    e.type = TypeSpec{Type::SmallInt, 0, 5, 0};
    e.nullable = true;
    return;
  }
  const Expr& a = *e.args[0];
  e.nullable = a.nullable;
  if (f == "rtrim" || f == "ltrim") {
    e.type = StringResult(a);
  } else if (f == "upper" || f == "lower") {
    e.type = IsStringType(a.type.type) ? a.type : StringResult(a);
  } else if (f == "len" || f == "datalength") {
    e.type = TypeSpec{Type::Int, 0, 10, 0};
  } else if (f == "isnull") {
    e.type = a.type;
    e.nullable = a.nullable && e.args[1]->nullable;
  }
}

}  // namespace

bool IsCondition(const Expr& e) {
  switch (e.kind) {
    case Expr::Kind::Compare:
    case Expr::Kind::And:
    case Expr::Kind::Or:
    case Expr::Kind::Not:
    case Expr::Kind::IsNull:
    case Expr::Kind::InList:
    case Expr::Kind::InSelect:
      return true;
    default:
      return false;
  }
}

bool HasAggregate(const Expr& e) {
  if (e.kind == Expr::Kind::CountStar || e.kind == Expr::Kind::Aggregate) return true;
  for (const auto& a : e.args)
    if (HasAggregate(*a)) return true;
  return false;
}

Relation OpenRelation(const Catalog& catalog, const std::string& name, bool compile,
                      bool with_rows) {
  Relation r;
  if (IsSessionsView(name)) {
    r.name = name;
    r.columns = SessionsColumns();
    return r;  // its rows come from the server (RunSelect)
  }
  if (IsSystemView(name)) {
    r.name = name;
    r.columns = SystemViewColumns(name);
    if (with_rows) r.owned = SystemViewRows(name, catalog);
    return r;
  }
  const Table* t = catalog.Find(name);
  if (!t) {
    if (compile) throw Deferred{};
    throw err::InvalidObject(name);
  }
  r.name = t->name;
  r.columns = t->ResultColumns();
  r.rows = &t->rows;
  return r;
}

// binary_checksum(*): every column of the table, in the table's order.
void ExpandStar(Expr& e, const Scope& scope) {
  if (!scope.columns) throw BatchError(263, 16, 1, "Must specify table to select from.");
  for (std::size_t i = 0; i < scope.columns->size(); ++i) {
    auto c = std::make_unique<Expr>();
    c->kind = Expr::Kind::Column;
    c->name = (*scope.columns)[i].name;
    e.args.push_back(std::move(c));
  }
  e.star = false;
}

void BindExpr(Expr& e, const Scope& scope, const Catalog& catalog, bool compile) {
  if (e.star) ExpandStar(e, scope);
  for (auto& a : e.args) BindExpr(*a, scope, catalog, compile);
  auto value_operand = [](const Expr& a) {
    if (IsCondition(a)) throw err::SyntaxNear("=");  // a condition where a value belongs
  };
  switch (e.kind) {
    case Expr::Kind::Literal:
    case Expr::Kind::Variable:
      break;
    case Expr::Kind::Column:
      BindColumn(e, scope);
      break;
    case Expr::Kind::Function:
      for (auto& a : e.args) value_operand(*a);
      BindFunction(e);
      break;
    case Expr::Kind::Convert:
      value_operand(*e.args[0]);
      e.type = e.target;
      e.nullable = e.args[0]->nullable;
      break;
    case Expr::Kind::CountStar:
      // The server describes aggregate columns as nullable (guess).
      e.type = TypeSpec{Type::Int, 0, 10, 0};
      e.nullable = true;
      break;
    case Expr::Kind::Aggregate: {
      const Expr& a = *e.args[0];
      value_operand(a);
      if (HasAggregate(a) || HasSubquery(a)) {
        throw BatchError(130, 15, 1,
                         "Cannot perform an aggregate function on an expression containing an "
                         "aggregate or a subquery.");
      }
      if (!IsIntegerType(a.type.type)) {
        // The state and the spelling of the operator are guesses.
        throw BatchError(8117, 16, 1,
                         "Operand data type " + TypeName(a.type.type) + " is invalid for " +
                             e.name + " operator.");
      }
      e.type = TypeSpec{Type::Int, 0, 10, 0};
      e.nullable = true;  // NULL over no rows
      break;
    }
    case Expr::Kind::InSelect: {
      BindSelect(*e.subquery, catalog, compile);
      const SelectStmt& q = *e.subquery;
      bool one = q.items.size() == 1 && !q.items[0].star;
      if (q.items.size() == 1 && q.items[0].star) {
        Relation r = OpenRelation(catalog, q.table, compile, false);
        one = r.columns.size() == 1;
      }
      if (!one) {
        throw BatchError(116, 16, 1,
                         "Only one expression can be specified in the select list when the "
                         "subquery is not introduced with EXISTS.");
      }
      [[fallthrough]];
    }
    default:
      e.type = TypeSpec{Type::Int, 0, 10, 0};
      e.nullable = true;
      break;
  }
}

void BindSelect(SelectStmt& s, const Catalog& catalog, bool compile) {
  Relation r;
  Scope scope;
  if (s.has_from) {
    r = OpenRelation(catalog, s.table, compile, false);
    scope.columns = &r.columns;
    scope.table = s.table;
  }
  for (SelectItem& item : s.items) {
    if (item.star) {
      if (!s.has_from) throw BatchError(263, 16, 1, "Must specify table to select from.");
      continue;
    }
    BindExpr(*item.expr, scope, catalog, compile);
    if (IsCondition(*item.expr)) throw err::SyntaxNear("=");
  }
  if (s.where) {
    BindExpr(*s.where, scope, catalog, compile);
    if (HasAggregate(*s.where)) {
      throw BatchError(147, 15, 1,
                       "An aggregate may not appear in the WHERE clause unless it is in a "
                       "subquery contained in a HAVING clause or a select list, and the column "
                       "being aggregated is an outer reference.");
    }
    if (!IsCondition(*s.where)) {
      throw BatchError(4145, 15, 1,
                       "An expression of non-boolean type specified in a context where a "
                       "condition is expected, near 'where'.");
    }
  }
  for (auto& g : s.group_by) BindExpr(*g, scope, catalog, compile);
  for (OrderItem& o : s.order_by) {
    o.item = -1;
    Expr& e = *o.expr;
    if (e.kind == Expr::Kind::Literal && e.literal.kind == Value::Kind::Int) {
      auto n = e.literal.i;
      if (n < 1 || n > static_cast<int64_t>(s.items.size()) ||
          s.items[static_cast<std::size_t>(n - 1)].star) {
        throw BatchError(108, 15, 1,
                         "The ORDER BY position number " + std::to_string(n) +
                             " is out of range of the number of items in the select list.");
      }
      o.item = static_cast<int>(n - 1);
      continue;
    }
    BindExpr(e, scope, catalog, compile);
  }
}

}  // namespace standin

// SELECT: filtering, grouping, ordering and the shape of the result.
#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "exec.h"
#include "text.h"

namespace standin {
namespace {

// True when `e` can be computed from the grouping columns alone.
bool Grouped(const Expr& e, const std::vector<int>& group_columns) {
  switch (e.kind) {
    case Expr::Kind::Literal:
    case Expr::Kind::CountStar:
    case Expr::Kind::Aggregate:  // its columns are read row by row within the group
      return true;
    case Expr::Kind::Column:
      return std::find(group_columns.begin(), group_columns.end(), e.column) != group_columns.end();
    default:
      for (const auto& a : e.args)
        if (!Grouped(*a, group_columns)) return false;
      return true;
  }
}

const Expr* FirstUngroupedColumn(const Expr& e, const std::vector<int>& group_columns) {
  if (e.kind == Expr::Kind::Aggregate) return nullptr;
  if (e.kind == Expr::Kind::Column) return Grouped(e, group_columns) ? nullptr : &e;
  for (const auto& a : e.args)
    if (const Expr* c = FirstUngroupedColumn(*a, group_columns)) return c;
  return nullptr;
}

struct Source {
  const Row* row;                 // the row (or the group's first row)
  int64_t count;                  // rows in the group
  std::vector<const Row*> group;  // a grouped query: the group's rows
};

Value EvalItem(const Expr& e, const Source& src, bool grouped, EvalContext& ctx) {
  if (e.kind == Expr::Kind::CountStar) return MakeInt(src.count);
  ctx.group = grouped ? &src.group : nullptr;
  return Eval(e, src.row, ctx);
}

// A value as it sorts: strings replaced by their collation keys, compared bytewise.
Value SortKey(Value v) {
  if (v.kind == Value::Kind::String) v.s = CollationKey(v.s);
  return v;
}

}  // namespace

SelectResult RunSelect(SelectStmt& s, ExecContext& x) {
  BindSelect(s, x.catalog, false);
  Relation rel;
  static const std::vector<Row> kOneEmptyRow{Row{}};
  if (s.has_from) rel = OpenRelation(x.catalog, s.table, false, true);
  if (s.has_from && IsSessionsView(s.table)) rel.owned = SessionsRows(x.server, x.session.spid);
  const std::vector<Row>& rows = s.has_from ? rel.Data() : kOneEmptyRow;

  EvalContext ctx{x.session.dateformat, x.now, [&x](SelectStmt& q) { return RunSelect(q, x); }, {}};

  std::vector<const Row*> kept;
  kept.reserve(rows.size());
  for (const Row& r : rows)
    if (!s.where || Test(*s.where, &r, ctx) == Truth::True) kept.push_back(&r);

  bool aggregate = !s.group_by.empty();
  for (const SelectItem& item : s.items)
    aggregate = aggregate || (item.expr && HasAggregate(*item.expr));

  std::vector<Source> sources;
  if (aggregate) {
    std::vector<int> group_columns;
    for (const auto& g : s.group_by) {
      if (g->kind != Expr::Kind::Column) throw err::SyntaxNear("(");  // only columns group
      group_columns.push_back(g->column);
    }
    auto check = [&](const Expr& e) {
      if (const Expr* c = FirstUngroupedColumn(e, group_columns))
        throw err::NotInGroupBy(rel.name, rel.columns[static_cast<std::size_t>(c->column)].name);
    };
    for (const SelectItem& item : s.items) {
      if (item.star) {
        for (std::size_t i = 0; i < rel.columns.size(); ++i)
          if (std::find(group_columns.begin(), group_columns.end(), static_cast<int>(i)) ==
              group_columns.end())
            throw err::NotInGroupBy(rel.name, rel.columns[i].name);
      } else {
        check(*item.expr);
      }
    }
    for (const OrderItem& o : s.order_by)
      if (o.item < 0) check(*o.expr);
    if (s.group_by.empty()) {
      sources.push_back(
          Source{kept.empty() ? nullptr : kept.front(), static_cast<int64_t>(kept.size()), kept});
    } else {
      std::unordered_map<std::string, std::size_t> groups;
      for (const Row* r : kept) {
        std::string key;
        for (int c : group_columns) {
          std::string part = ValueKey((*r)[static_cast<std::size_t>(c)]);
          key += std::to_string(part.size()) + ":" + part;
        }
        auto [it, fresh] = groups.emplace(std::move(key), sources.size());
        if (fresh) sources.push_back(Source{r, 0, {}});
        ++sources[it->second].count;
        sources[it->second].group.push_back(r);
      }
    }
  } else {
    sources.reserve(kept.size());
    for (const Row* r : kept) sources.push_back(Source{r, 1, {}});
  }

  SelectResult out;
  for (const SelectItem& item : s.items) {
    if (item.star) {
      out.columns.insert(out.columns.end(), rel.columns.begin(), rel.columns.end());
    } else {
      Column c;
      // An expression's column has no name (aliases are outside the subset).
      if (item.expr->kind == Expr::Kind::Column)
        c.name = rel.columns[static_cast<std::size_t>(item.expr->column)].name;
      c.type = item.expr->type;
      c.nullable = item.expr->nullable;
      out.columns.push_back(c);
    }
  }
  out.rows.reserve(sources.size());
  for (const Source& src : sources) {
    Row r;
    r.reserve(out.columns.size());
    for (const SelectItem& item : s.items) {
      if (item.star) {
        r.insert(r.end(), src.row->begin(), src.row->end());
      } else if (!src.row && !HasAggregate(*item.expr) && item.expr->kind != Expr::Kind::Literal) {
        r.push_back(Value{});  // no rows to compute it from
      } else {
        r.push_back(EvalItem(*item.expr, src, aggregate, ctx));
      }
    }
    out.rows.push_back(std::move(r));
  }

  if (!s.order_by.empty() && out.rows.size() > 1) {
    // Sort keys are computed once per row; the sort is stable so ties keep the source order.
    std::vector<std::vector<Value>> keys(out.rows.size());
    for (std::size_t i = 0; i < out.rows.size(); ++i) {
      for (const OrderItem& o : s.order_by) {
        if (o.item >= 0) {
          std::size_t pos = 0;
          for (int k = 0; k < o.item; ++k)
            pos += s.items[static_cast<std::size_t>(k)].star ? rel.columns.size() : 1;
          keys[i].push_back(SortKey(out.rows[i][pos]));
        } else {
          keys[i].push_back(SortKey(EvalItem(*o.expr, sources[i], aggregate, ctx)));
        }
      }
    }
    std::vector<std::size_t> order(out.rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      for (std::size_t k = 0; k < s.order_by.size(); ++k) {
        const Value& x = keys[a][k];
        const Value& y = keys[b][k];
        int c = x.kind == Value::Kind::String && y.kind == Value::Kind::String ? x.s.compare(y.s)
                                                                               : OrderValues(x, y);
        if (c != 0) return s.order_by[k].descending ? c > 0 : c < 0;
      }
      return false;
    });
    std::vector<Row> sorted;
    sorted.reserve(out.rows.size());
    for (std::size_t i : order) sorted.push_back(std::move(out.rows[i]));
    out.rows = std::move(sorted);
  }
  return out;
}

}  // namespace standin

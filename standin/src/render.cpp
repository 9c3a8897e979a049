#include <string>

#include "standin/engine.h"

namespace standin {
namespace {

std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string Literal(const Value& v) {
  if (v.kind == Value::Kind::String || v.kind == Value::Kind::DateTime) return Quoted(v.Text());
  return v.Text();
}

void RenderStatement(const StatementOutcome& st, std::string& out) {
  for (const Message& m : st.messages) {
    out += m.IsError() ? "error " : "info ";
    out += std::to_string(m.number) + "/" + std::to_string(m.severity) + "/" +
           std::to_string(m.state) + ": " + m.text + "\n";
  }
  if (st.has_result) {
    out += "columns ";
    for (std::size_t i = 0; i < st.columns.size(); ++i) {
      const Column& c = st.columns[i];
      if (i) out += ", ";
      out += c.name + " " + c.type.Sql() + (c.nullable ? " null" : " not null");
    }
    out += "\n";
    for (const auto& row : st.rows) {
      out += "row ";
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) out += ", ";
        out += Literal(row[i]);
      }
      out += "\n";
    }
  }
  if (st.failed)
    out += "done error\n";
  else if (st.has_count)
    out += "done count " + std::to_string(st.count) + "\n";
  else
    out += "done\n";
}

}  // namespace

const Message* BatchOutcome::FirstError() const {
  for (const StatementOutcome& st : statements)
    for (const Message& m : st.messages)
      if (m.IsError()) return &m;
  return nullptr;
}

std::string Render(const BatchOutcome& outcome) {
  std::string out;
  for (const StatementOutcome& st : outcome.statements) RenderStatement(st, out);
  if (outcome.cancelled) out += "cancelled\n";
  return out;
}

}  // namespace standin

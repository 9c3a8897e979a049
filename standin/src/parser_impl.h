// The recursive-descent parser shared by parser.cpp (statements) and parse_expr.cpp
// (expressions and types). Internal to the engine.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ast.h"
#include "lexer.h"

namespace standin {

class Parser {
 public:
  Parser(std::string_view text, std::vector<Token> tokens);
  std::vector<Statement> ParseBatch();

  // Expressions (parse_expr.cpp).
  ExprPtr ParseCondition();  // OR / AND / NOT and predicates
  ExprPtr ParseValue();      // a value expression (no boolean operators at the top)
  TypeSpec ParseTypeSpec(bool in_convert);
  std::shared_ptr<SelectStmt> ParseSelectBody();  // after SELECT

 private:
  // Statements (parser.cpp).
  Statement ParseStatement();
  StatementBody ParseCreate();
  CreateTable ParseCreateTable();
  bool ParseColumnDefinition(ColumnDef& col, std::vector<KeyDef>* table_keys);
  void ParseColumnConstraints(ColumnDef& col);
  KeyDef ParseKeyAfterPrimary(std::string name);
  CreateIndex ParseCreateIndex(bool unique, bool clustered);
  StatementBody ParseAlter();
  StatementBody ParseDrop();
  StatementBody ParseInsert();
  StatementBody ParseUpdate();
  StatementBody ParseDelete();
  StatementBody ParseSet();
  StatementBody ParseDbcc();
  StatementBody ParseDeclare();
  StatementBody ParseExec();
  void ParseIndexOptions(int& fillfactor, bool& pad_index);
  std::vector<std::string> ParseColumnList();

  // Expression helpers (parse_expr.cpp).
  ExprPtr ParseConjunction();
  ExprPtr ParseNegation();
  ExprPtr ParsePredicate();
  ExprPtr ParsePrimary();
  ExprPtr ParseFunctionCall(const Token& name);
  ExprPtr ParseLiteralNumber(const Token& t, bool negative);
  ExprPtr ParseAtName(const Token& t);  // @variable or @@spid

 public:
  // Token access.
  const Token& Peek(std::size_t ahead = 0) const;
  const Token& Next();
  bool AcceptWord(std::string_view w);
  bool AcceptSymbol(std::string_view s);
  void ExpectWord(std::string_view w);
  void ExpectSymbol(std::string_view s);
  // An identifier, optionally dbo-qualified; master's sysprocesses as "master.dbo.sysprocesses".
  std::string ParseName();
  std::string ParseSimpleName();   // an identifier without qualifier
  int64_t ParseInteger();          // [-]digits
  [[noreturn]] void Fail() const;  // syntax error at the current token
  std::string_view SourceText(std::size_t begin, std::size_t end) const {
    return text_.substr(begin, end - begin);
  }
  std::size_t LastEnd() const { return pos_ == 0 ? 0 : tokens_[pos_ - 1].end; }
  std::size_t Here() const { return tokens_[pos_].begin; }

 private:
  std::string_view text_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  std::map<std::string, TypeSpec> variables_;  // declared so far in the batch, by folded name
};

}  // namespace standin

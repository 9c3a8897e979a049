// The recursive-descent parser shared by parser.cpp (statements) and parse_expr.cpp
// (expressions and types). Internal to the engine.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ast.h"
#include "lexer.h"

namespace standin {

class Parser {
 public:
  Parser(std::string_view text, std::vector<Token> tokens);
  std::vector<Statement> batch();

  // Expressions (parse_expr.cpp).
  ExprPtr condition();  // OR / AND / NOT and predicates
  ExprPtr value();      // a value expression (no boolean operators at the top)
  TypeSpec type_spec(bool in_convert);
  std::shared_ptr<SelectStmt> select_body();  // after SELECT

 private:
  // Statements (parser.cpp).
  Statement statement();
  StatementBody create();
  CreateTable create_table();
  bool column_definition(ColumnDef& col, std::vector<KeyDef>* table_keys);
  void column_constraints(ColumnDef& col);
  KeyDef key_after_primary(std::string name);
  CreateIndex create_index(bool unique, bool clustered);
  StatementBody alter();
  StatementBody drop();
  StatementBody insert();
  StatementBody update();
  StatementBody del();
  StatementBody set();
  StatementBody dbcc();
  void index_options(int& fillfactor, bool& pad_index);
  std::vector<std::string> column_list();

  // Expression helpers (parse_expr.cpp).
  ExprPtr conjunction();
  ExprPtr negation();
  ExprPtr predicate();
  ExprPtr primary();
  ExprPtr function_call(const Token& name);
  ExprPtr literal_number(const Token& t, bool negative);

 public:
  // Token access.
  const Token& peek(std::size_t ahead = 0) const;
  const Token& next();
  bool accept_word(std::string_view w);
  bool accept_symbol(std::string_view s);
  void expect_word(std::string_view w);
  void expect_symbol(std::string_view s);
  std::string name();              // an identifier, optionally dbo-qualified
  std::string simple_name();       // an identifier without qualifier
  int64_t integer();               // [-]digits
  [[noreturn]] void fail() const;  // syntax error at the current token
  std::string_view source(std::size_t begin, std::size_t end) const {
    return text_.substr(begin, end - begin);
  }
  std::size_t last_end() const { return pos_ == 0 ? 0 : tokens_[pos_ - 1].end; }
  std::size_t here() const { return tokens_[pos_].begin; }

 private:
  std::string_view text_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
};

}  // namespace standin

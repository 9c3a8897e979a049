// Every error and message the engine raises, with the server's number, severity, state and text.
// The texts are kept here and nowhere else.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standin/engine.h"

namespace standin {

// How far an error reaches (XACT_ABORT OFF).
enum class Reach {
  Statement,  // the statement fails, the batch goes on with the next statement
  Batch,      // the statement fails and the rest of the batch is skipped
};

// Thrown while compiling or executing a statement. `messages` holds the error and whatever
// follows it (1750 after a constraint error, 3621 after a terminated statement).
struct SqlError {
  std::vector<Message> messages;
  Reach reach = Reach::Statement;
  // Where in the batch (a byte offset) an error found before any statement runs was found:
  // set by the lexer and the parser. Errors of a statement take the statement's start.
  std::optional<std::size_t> at = std::nullopt;
};

namespace err {

SqlError SyntaxNear(std::string_view token);                 // 102
SqlError SyntaxNearKeyword(std::string_view keyword);        // 156
SqlError UnclosedQuote(std::string_view rest);               // 105, then 102
SqlError InvalidObject(std::string_view name);               // 208
SqlError InvalidColumn(std::string_view name);               // 207
SqlError CannotDropTable(std::string_view name);             // 3701
SqlError AlterMissingTable(std::string_view name);           // 4902: ALTER TABLE on a missing table
SqlError IndexMissingTable(std::string_view name);           // 1088 state 12: CREATE INDEX
SqlError IdentityInsertMissingTable(std::string_view name);  // 1088 state 11
// 1911: a key or index column the table does not have; 1750 follows for a constraint only.
SqlError MissingKeyColumn(std::string_view column, bool constraint);
SqlError ObjectExists(std::string_view name);      // 2714 state 6 (a table)
SqlError ConstraintExists(std::string_view name);  // 2714 state 5, then 1750
SqlError DuplicateColumn(std::string_view column, std::string_view table);  // 2705
SqlError DuplicateKey(std::string_view constraint, std::string_view table,
                      std::string_view key);  // 2627, then 3621
SqlError DuplicateUniqueIndex(std::string_view index, std::string_view table,
                              std::string_view key);  // 2601, then 3621
SqlError CreateUniqueDuplicate(std::string_view table, std::string_view index, std::string_view key,
                               bool constraint);  // 1505
SqlError NullNotAllowed(std::string_view column, std::string_view db, std::string_view table,
                        bool update);  // 515, then 3621
SqlError Truncated();                  // 8152, then 3621
SqlError ConversionFailed(std::string_view from_type, std::string_view value_utf8,
                          std::string_view to_type);                          // 245
SqlError DatetimeSyntax();                                                    // 241
SqlError DatetimeRange();                                                     // 242
SqlError NumericConversion();                                                 // 8114
SqlError IntOverflow(std::string_view value_utf8, std::string_view to_type);  // 248
SqlError ArithmeticOverflow(std::string_view from, std::string_view to);      // 8115
SqlError HasPrimaryKey(std::string_view table);                               // 1779, then 1750
SqlError IndexExists(std::string_view index, std::string_view table);         // 1913
SqlError ColumnTwice(std::string_view column);                                // 264
SqlError InsertCountMismatch();                                               // 213
SqlError MoreInsertColumns();                                                 // 109
SqlError FewerInsertColumns();                                                // 110
SqlError NullablePrimaryKey(std::string_view table);                          // 8111, then 1750
SqlError ExplicitIdentityNeedsList(std::string_view table);                   // 8101
SqlError IdentityInsertOff(std::string_view table);                           // 544
SqlError IdentityInsertOther(std::string_view on_table);                      // 8107
SqlError UpdateIdentity(std::string_view column);                             // 8102
SqlError NoIdentity(std::string_view table);                                  // 7997
SqlError NotInGroupBy(std::string_view table, std::string_view column);       // 8120
SqlError AddNotNullColumn(std::string_view column, std::string_view table);   // 4901
SqlError MultipleIdentity(std::string_view table);                            // 2744
SqlError UnknownLanguage(std::string_view language);                          // 2732
SqlError Injected(int number, std::string text);  // a fault from the test plan
// One message of the server's number, severity, state and text, for the errors whose text stays
// next to the one statement that raises it; the first fails the statement, the second the batch.
SqlError StatementError(int number, int severity, int state, std::string text);
SqlError BatchError(int number, int severity, int state, std::string text);

Message StatementTerminated();  // 3621

}  // namespace err
}  // namespace standin

// Every error and message the engine raises, with the server's number, severity, state and text.
// The texts are kept here and nowhere else.
#pragma once

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
};

namespace err {

SqlError syntax_near(std::string_view token);            // 102
SqlError syntax_near_keyword(std::string_view keyword);  // 156
SqlError unclosed_quote(std::string_view rest);          // 105, then 102
SqlError invalid_object(std::string_view name);          // 208
SqlError invalid_column(std::string_view name);          // 207
SqlError cannot_drop_table(std::string_view name);       // 3701
SqlError object_exists(std::string_view name);           // 2714 state 6 (a table)
SqlError constraint_exists(std::string_view name);       // 2714 state 5, then 1750
SqlError duplicate_column(std::string_view column, std::string_view table);  // 2705
SqlError duplicate_key(std::string_view constraint, std::string_view table,
                       std::string_view key);  // 2627, then 3621
SqlError duplicate_unique_index(std::string_view index, std::string_view table,
                                std::string_view key);  // 2601, then 3621
SqlError create_unique_duplicate(std::string_view table, std::string_view index,
                                 std::string_view key, bool constraint);  // 1505
SqlError null_not_allowed(std::string_view column, std::string_view db, std::string_view table,
                          bool update);  // 515, then 3621
SqlError truncated();                    // 8152, then 3621
SqlError conversion_failed(std::string_view from_type, std::string_view value_utf8,
                           std::string_view to_type);                           // 245
SqlError datetime_syntax();                                                     // 241
SqlError datetime_range();                                                      // 242
SqlError numeric_conversion();                                                  // 8114
SqlError int_overflow(std::string_view value_utf8, std::string_view to_type);   // 248
SqlError arithmetic_overflow(std::string_view from, std::string_view to);       // 8115
SqlError has_primary_key(std::string_view table);                               // 1779, then 1750
SqlError index_exists(std::string_view index, std::string_view table);          // 1913
SqlError column_twice(std::string_view column);                                 // 264
SqlError insert_count_mismatch();                                               // 213
SqlError more_insert_columns();                                                 // 109
SqlError fewer_insert_columns();                                                // 110
SqlError nullable_primary_key(std::string_view table);                          // 8111, then 1750
SqlError explicit_identity_needs_list(std::string_view table);                  // 8101
SqlError identity_insert_off(std::string_view table);                           // 544
SqlError identity_insert_other(std::string_view on_table);                      // 8107
SqlError update_identity(std::string_view column);                              // 8102
SqlError no_identity(std::string_view table);                                   // 7997
SqlError not_in_group_by(std::string_view table, std::string_view column);      // 8120
SqlError add_not_null_column(std::string_view column, std::string_view table);  // 4901
SqlError multiple_identity(std::string_view table);                             // 2744
SqlError unknown_language(std::string_view language);                           // 2732
SqlError injected(int number, std::string text);  // a fault from the test plan

Message statement_terminated();  // 3621

}  // namespace err
}  // namespace standin

#include "errors.h"

namespace standin::err {
namespace {

Message msg(int number, int severity, int state, std::string text) {
  return Message{number, severity, state, std::move(text)};
}

SqlError one(Reach reach, Message m) { return SqlError{{std::move(m)}, reach}; }

SqlError terminated(Message m) {
  return SqlError{{std::move(m), statement_terminated()}, Reach::Statement};
}

Message constraint_failed() {
  return msg(1750, 16, 0, "Could not create constraint or index. See previous errors.");
}

std::string q(std::string_view s) { return "'" + std::string(s) + "'"; }

}  // namespace

Message statement_terminated() {
  // Severity 0 and state 0 are guesses: the message is informational.
  return msg(3621, 0, 0, "The statement has been terminated.");
}

SqlError syntax_near(std::string_view token) {
  return one(Reach::Batch, msg(102, 15, 1, "Incorrect syntax near " + q(token) + "."));
}
SqlError syntax_near_keyword(std::string_view keyword) {
  return one(Reach::Batch,
             msg(156, 15, 1, "Incorrect syntax near the keyword " + q(keyword) + "."));
}
SqlError unclosed_quote(std::string_view rest) {
  SqlError e =
      one(Reach::Batch,
          msg(105, 15, 1, "Unclosed quotation mark after the character string " + q(rest) + "."));
  e.messages.push_back(msg(102, 15, 1, "Incorrect syntax near " + q(rest) + "."));
  return e;
}
SqlError invalid_object(std::string_view name) {
  return one(Reach::Batch, msg(208, 16, 1, "Invalid object name " + q(name) + "."));
}
SqlError invalid_column(std::string_view name) {
  return one(Reach::Batch, msg(207, 16, 1, "Invalid column name " + q(name) + "."));
}
SqlError cannot_drop_table(std::string_view name) {
  return one(Reach::Statement,
             msg(3701, 11, 5,
                 "Cannot drop the table " + q(name) +
                     ", because it does not exist or you do not have permission."));
}
SqlError object_exists(std::string_view name) {
  return one(Reach::Statement,
             msg(2714, 16, 6, "There is already an object named " + q(name) + " in the database."));
}
SqlError constraint_exists(std::string_view name) {
  return SqlError{
      {msg(2714, 16, 5, "There is already an object named " + q(name) + " in the database."),
       constraint_failed()},
      Reach::Statement};
}
SqlError duplicate_column(std::string_view column, std::string_view table) {
  return one(Reach::Statement,
             msg(2705, 16, 4,
                 "Column names in each table must be unique. Column name " + q(column) +
                     " in table " + q(table) + " is specified more than once."));
}
SqlError duplicate_key(std::string_view constraint, std::string_view table, std::string_view key) {
  return terminated(msg(2627, 14, 1,
                        "Violation of PRIMARY KEY constraint " + q(constraint) +
                            ". Cannot insert duplicate key in object 'dbo." + std::string(table) +
                            "'. The duplicate key value is (" + std::string(key) + ")."));
}
SqlError duplicate_unique_index(std::string_view index, std::string_view table,
                                std::string_view key) {
  return terminated(msg(2601, 14, 1,
                        "Cannot insert duplicate key row in object 'dbo." + std::string(table) +
                            "' with unique index " + q(index) + ". The duplicate key value is (" +
                            std::string(key) + ")."));
}
SqlError create_unique_duplicate(std::string_view table, std::string_view index,
                                 std::string_view key, bool constraint) {
  SqlError e = one(Reach::Statement,
                   msg(1505, 16, 1,
                       "The CREATE UNIQUE INDEX statement terminated because a duplicate key was "
                       "found for the object name 'dbo." +
                           std::string(table) + "' and the index name " + q(index) +
                           ". The duplicate key value is (" + std::string(key) + ")."));
  e.messages.push_back(constraint ? constraint_failed() : statement_terminated());
  return e;
}
SqlError null_not_allowed(std::string_view column, std::string_view db, std::string_view table,
                          bool update) {
  return terminated(msg(515, 16, 2,
                        "Cannot insert the value NULL into column " + q(column) + ", table '" +
                            std::string(db) + ".dbo." + std::string(table) +
                            "'; column does not allow nulls. " +
                            (update ? "UPDATE fails." : "INSERT fails.")));
}
SqlError truncated() {
  return terminated(msg(8152, 16, 14, "String or binary data would be truncated."));
}
SqlError conversion_failed(std::string_view from_type, std::string_view value_utf8,
                           std::string_view to_type) {
  return one(Reach::Batch,
             msg(245, 16, 1,
                 "Conversion failed when converting the " + std::string(from_type) + " value " +
                     q(value_utf8) + " to data type " + std::string(to_type) + "."));
}
SqlError datetime_syntax() {
  return one(
      Reach::Batch,
      msg(241, 16, 1, "Conversion failed when converting date and/or time from character string."));
}
SqlError datetime_range() {
  return one(Reach::Batch,
             msg(242, 16, 3,
                 "The conversion of a varchar data type to a datetime data type resulted in an "
                 "out-of-range value."));
}
SqlError int_overflow(std::string_view value_utf8, std::string_view to_type) {
  // State and reach are guesses.
  return one(Reach::Batch,
             msg(248, 16, 1,
                 "The conversion of the varchar value " + q(value_utf8) + " overflowed " +
                     (to_type == "int" ? "an " : "a ") + std::string(to_type) + " column."));
}
SqlError numeric_conversion() {
  return one(Reach::Batch, msg(8114, 16, 5, "Error converting data type varchar to numeric."));
}
SqlError arithmetic_overflow(std::string_view from, std::string_view to) {
  // Number, state and reach are guesses: the message is outside the documented set.
  return terminated(msg(8115, 16, 8,
                        "Arithmetic overflow error converting " + std::string(from) +
                            " to data type " + std::string(to) + "."));
}
SqlError has_primary_key(std::string_view table) {
  return SqlError{
      {msg(1779, 16, 0, "Table " + q(table) + " already has a primary key defined on it."),
       constraint_failed()},
      Reach::Statement};
}
SqlError index_exists(std::string_view index, std::string_view table) {
  return one(Reach::Statement,
             msg(1913, 16, 1,
                 "The operation failed because an index or statistics with name " + q(index) +
                     " already exists on table " + q(table) + "."));
}
SqlError column_twice(std::string_view column) {
  return one(Reach::Batch,
             msg(264, 16, 1,
                 "The column name " + q(column) +
                     " is specified more than once in the SET clause or column list of an "
                     "INSERT. A column cannot be assigned more than one value in the same clause. "
                     "Modify the clause to make sure that a column is updated only once. If this "
                     "statement updates or inserts columns into a view, column aliasing can "
                     "conceal the duplication in your code."));
}
SqlError insert_count_mismatch() {
  return one(
      Reach::Batch,
      msg(213, 16, 1, "Column name or number of supplied values does not match table definition."));
}
SqlError more_insert_columns() {
  return one(Reach::Batch,
             msg(109, 15, 1,
                 "There are more columns in the INSERT statement than values specified in the "
                 "VALUES clause. The number of values in the VALUES clause must match the number "
                 "of columns specified in the INSERT statement."));
}
SqlError fewer_insert_columns() {
  return one(Reach::Batch,
             msg(110, 15, 1,
                 "There are fewer columns in the INSERT statement than values specified in the "
                 "VALUES clause. The number of values in the VALUES clause must match the number "
                 "of columns specified in the INSERT statement."));
}
SqlError nullable_primary_key(std::string_view table) {
  return SqlError{
      {msg(8111, 16, 1,
           "Cannot define PRIMARY KEY constraint on nullable column in table " + q(table) + "."),
       constraint_failed()},
      Reach::Statement};
}
SqlError explicit_identity_needs_list(std::string_view table) {
  // Reach is a guess.
  return one(Reach::Statement,
             msg(8101, 16, 1,
                 "An explicit value for the identity column in table " + q(table) +
                     " can only be specified when a column list is used and IDENTITY_INSERT is "
                     "ON."));
}
SqlError identity_insert_off(std::string_view table) {
  return one(Reach::Statement, msg(544, 16, 1,
                                   "Cannot insert explicit value for identity column in table " +
                                       q(table) + " when IDENTITY_INSERT is set to OFF."));
}
SqlError identity_insert_other(std::string_view on_table) {
  return one(Reach::Statement,
             msg(8107, 16, 1,
                 "IDENTITY_INSERT is already ON for table 'vrek.dbo." + std::string(on_table) +
                     "'. Cannot perform SET operation for table."));
}
SqlError update_identity(std::string_view column) {
  return one(Reach::Batch, msg(8102, 16, 1, "Cannot update identity column " + q(column) + "."));
}
SqlError no_identity(std::string_view table) {
  return one(Reach::Statement,
             msg(7997, 16, 1, q(table) + " does not contain an identity column."));
}
SqlError not_in_group_by(std::string_view table, std::string_view column) {
  return one(Reach::Batch,
             msg(8120, 16, 1,
                 "Column '" + std::string(table) + "." + std::string(column) +
                     "' is invalid in the select list because it is not contained in either an "
                     "aggregate function or the GROUP BY clause."));
}
SqlError add_not_null_column(std::string_view column, std::string_view table) {
  return one(Reach::Statement,
             msg(4901, 16, 1,
                 "ALTER TABLE only allows columns to be added that can contain nulls, or have a "
                 "DEFAULT definition specified, or the column being added is an identity or "
                 "timestamp column, or alternatively if none of the previous conditions are "
                 "satisfied the table must be empty to allow addition of this column. Column " +
                     q(column) + " cannot be added to non-empty table " + q(table) +
                     " because it does not satisfy these conditions."));
}
SqlError multiple_identity(std::string_view table) {
  return one(Reach::Statement, msg(2744, 16, 2,
                                   "Multiple identity columns specified for table " + q(table) +
                                       ". Only one identity column per table is allowed."));
}
SqlError unknown_language(std::string_view language) {
  return one(
      Reach::Statement,
      msg(2732, 16, 1, "Error 2732: Language " + std::string(language) + " is not supported."));
}
SqlError injected(int number, std::string text) {
  return one(Reach::Batch, msg(number, 16, 1, std::move(text)));
}

}  // namespace standin::err

#include "errors.h"

namespace standin::err {
namespace {

Message Msg(int number, int severity, int state, std::string text) {
  return Message{number, severity, state, std::move(text)};
}

SqlError One(Reach reach, Message m) { return SqlError{{std::move(m)}, reach}; }

SqlError Terminated(Message m) {
  return SqlError{{std::move(m), StatementTerminated()}, Reach::Statement};
}

Message ConstraintFailed() {
  return Msg(1750, 16, 0, "Could not create constraint or index. See previous errors.");
}

std::string Q(std::string_view s) { return "'" + std::string(s) + "'"; }

// The text of 4902 and 1088: the name as written, between double quotes.
std::string CannotFind(std::string_view name) {
  return "Cannot find the object \"" + std::string(name) +
         "\" because it does not exist or you do not have permissions.";
}

}  // namespace

Message StatementTerminated() {
  // Severity 0 and state 0 are guesses: the message is informational.
  return Msg(3621, 0, 0, "The statement has been terminated.");
}

SqlError SyntaxNear(std::string_view token) {
  return One(Reach::Batch, Msg(102, 15, 1, "Incorrect syntax near " + Q(token) + "."));
}
SqlError SyntaxNearKeyword(std::string_view keyword) {
  return One(Reach::Batch,
             Msg(156, 15, 1, "Incorrect syntax near the keyword " + Q(keyword) + "."));
}
SqlError UnclosedQuote(std::string_view rest) {
  SqlError e =
      One(Reach::Batch,
          Msg(105, 15, 1, "Unclosed quotation mark after the character string " + Q(rest) + "."));
  e.messages.push_back(Msg(102, 15, 1, "Incorrect syntax near " + Q(rest) + "."));
  return e;
}
SqlError InvalidObject(std::string_view name) {
  return One(Reach::Batch, Msg(208, 16, 1, "Invalid object name " + Q(name) + "."));
}
SqlError InvalidColumn(std::string_view name) {
  return One(Reach::Batch, Msg(207, 16, 1, "Invalid column name " + Q(name) + "."));
}
SqlError CannotDropTable(std::string_view name) {
  return One(Reach::Statement,
             Msg(3701, 11, 5,
                 "Cannot drop the table " + Q(name) +
                     ", because it does not exist or you do not have permission."));
}
SqlError AlterMissingTable(std::string_view name) {
  // Microsoft's 4000-4999 list has 4902 for ALTER TABLE; that it ends the batch, as 208 does for
  // other statements, is a guess.
  return One(Reach::Batch, Msg(4902, 16, 1, CannotFind(name)));
}
SqlError IndexMissingTable(std::string_view name) {
  // State 12 is a guess; SET IDENTITY_INSERT's 1088 is another case with its own state.
  return One(Reach::Statement, Msg(1088, 16, 12, CannotFind(name)));
}
SqlError IdentityInsertMissingTable(std::string_view name) {
  return One(Reach::Statement, Msg(1088, 16, 11, CannotFind(name)));
}
SqlError MissingKeyColumn(std::string_view column, bool constraint) {
  // Whether 1750 also follows 1911 for CREATE INDEX is a guess: here it does not, as no
  // constraint is being created.
  SqlError e = One(Reach::Statement, Msg(1911, 16, 1,
                                         "Column name " + Q(column) +
                                             " does not exist in the target table or view."));
  if (constraint) e.messages.push_back(ConstraintFailed());
  return e;
}
SqlError ObjectExists(std::string_view name) {
  return One(Reach::Statement,
             Msg(2714, 16, 6, "There is already an object named " + Q(name) + " in the database."));
}
SqlError ConstraintExists(std::string_view name) {
  return SqlError{
      {Msg(2714, 16, 5, "There is already an object named " + Q(name) + " in the database."),
       ConstraintFailed()},
      Reach::Statement};
}
SqlError DuplicateColumn(std::string_view column, std::string_view table) {
  return One(Reach::Statement,
             Msg(2705, 16, 4,
                 "Column names in each table must be unique. Column name " + Q(column) +
                     " in table " + Q(table) + " is specified more than once."));
}
SqlError DuplicateKey(std::string_view constraint, std::string_view table, std::string_view key) {
  return Terminated(Msg(2627, 14, 1,
                        "Violation of PRIMARY KEY constraint " + Q(constraint) +
                            ". Cannot insert duplicate key in object 'dbo." + std::string(table) +
                            "'. The duplicate key value is (" + std::string(key) + ")."));
}
SqlError DuplicateUniqueIndex(std::string_view index, std::string_view table,
                              std::string_view key) {
  return Terminated(Msg(2601, 14, 1,
                        "Cannot insert duplicate key row in object 'dbo." + std::string(table) +
                            "' with unique index " + Q(index) + ". The duplicate key value is (" +
                            std::string(key) + ")."));
}
SqlError CreateUniqueDuplicate(std::string_view table, std::string_view index, std::string_view key,
                               bool constraint) {
  SqlError e = One(Reach::Statement,
                   Msg(1505, 16, 1,
                       "The CREATE UNIQUE INDEX statement terminated because a duplicate key was "
                       "found for the object name 'dbo." +
                           std::string(table) + "' and the index name " + Q(index) +
                           ". The duplicate key value is (" + std::string(key) + ")."));
  e.messages.push_back(constraint ? ConstraintFailed() : StatementTerminated());
  return e;
}
SqlError NullNotAllowed(std::string_view column, std::string_view db, std::string_view table,
                        bool update) {
  return Terminated(Msg(515, 16, 2,
                        "Cannot insert the value NULL into column " + Q(column) + ", table '" +
                            std::string(db) + ".dbo." + std::string(table) +
                            "'; column does not allow nulls. " +
                            (update ? "UPDATE fails." : "INSERT fails.")));
}
SqlError Truncated() {
  return Terminated(Msg(8152, 16, 14, "String or binary data would be truncated."));
}
SqlError ConversionFailed(std::string_view from_type, std::string_view value_utf8,
                          std::string_view to_type) {
  return One(Reach::Batch,
             Msg(245, 16, 1,
                 "Conversion failed when converting the " + std::string(from_type) + " value " +
                     Q(value_utf8) + " to data type " + std::string(to_type) + "."));
}
SqlError DatetimeSyntax() {
  return One(
      Reach::Batch,
      Msg(241, 16, 1, "Conversion failed when converting date and/or time from character string."));
}
SqlError DatetimeRange() {
  return One(Reach::Batch,
             Msg(242, 16, 3,
                 "The conversion of a varchar data type to a datetime data type resulted in an "
                 "out-of-range value."));
}
SqlError IntOverflow(std::string_view value_utf8, std::string_view to_type) {
  // State and reach are guesses.
  return One(Reach::Batch,
             Msg(248, 16, 1,
                 "The conversion of the varchar value " + Q(value_utf8) + " overflowed " +
                     (to_type == "int" ? "an " : "a ") + std::string(to_type) + " column."));
}
SqlError NumericConversion() {
  return One(Reach::Batch, Msg(8114, 16, 5, "Error converting data type varchar to numeric."));
}
SqlError ArithmeticOverflow(std::string_view from, std::string_view to) {
  // Number, state and reach are guesses: the message is outside the documented set.
  return Terminated(Msg(8115, 16, 8,
                        "Arithmetic overflow error converting " + std::string(from) +
                            " to data type " + std::string(to) + "."));
}
SqlError HasPrimaryKey(std::string_view table) {
  return SqlError{
      {Msg(1779, 16, 0, "Table " + Q(table) + " already has a primary key defined on it."),
       ConstraintFailed()},
      Reach::Statement};
}
SqlError IndexExists(std::string_view index, std::string_view table) {
  return One(Reach::Statement,
             Msg(1913, 16, 1,
                 "The operation failed because an index or statistics with name " + Q(index) +
                     " already exists on table " + Q(table) + "."));
}
SqlError ColumnTwice(std::string_view column) {
  return One(Reach::Batch,
             Msg(264, 16, 1,
                 "The column name " + Q(column) +
                     " is specified more than once in the SET clause or column list of an "
                     "INSERT. A column cannot be assigned more than one value in the same clause. "
                     "Modify the clause to make sure that a column is updated only once. If this "
                     "statement updates or inserts columns into a view, column aliasing can "
                     "conceal the duplication in your code."));
}
SqlError InsertCountMismatch() {
  return One(
      Reach::Batch,
      Msg(213, 16, 1, "Column name or number of supplied values does not match table definition."));
}
SqlError MoreInsertColumns() {
  return One(Reach::Batch,
             Msg(109, 15, 1,
                 "There are more columns in the INSERT statement than values specified in the "
                 "VALUES clause. The number of values in the VALUES clause must match the number "
                 "of columns specified in the INSERT statement."));
}
SqlError FewerInsertColumns() {
  return One(Reach::Batch,
             Msg(110, 15, 1,
                 "There are fewer columns in the INSERT statement than values specified in the "
                 "VALUES clause. The number of values in the VALUES clause must match the number "
                 "of columns specified in the INSERT statement."));
}
SqlError NullablePrimaryKey(std::string_view table) {
  return SqlError{
      {Msg(8111, 16, 1,
           "Cannot define PRIMARY KEY constraint on nullable column in table " + Q(table) + "."),
       ConstraintFailed()},
      Reach::Statement};
}
SqlError ExplicitIdentityNeedsList(std::string_view table) {
  // Reach is a guess.
  return One(Reach::Statement,
             Msg(8101, 16, 1,
                 "An explicit value for the identity column in table " + Q(table) +
                     " can only be specified when a column list is used and IDENTITY_INSERT is "
                     "ON."));
}
SqlError IdentityInsertOff(std::string_view table) {
  return One(Reach::Statement, Msg(544, 16, 1,
                                   "Cannot insert explicit value for identity column in table " +
                                       Q(table) + " when IDENTITY_INSERT is set to OFF."));
}
SqlError IdentityInsertOther(std::string_view on_table) {
  return One(Reach::Statement,
             Msg(8107, 16, 1,
                 "IDENTITY_INSERT is already ON for table 'vrek.dbo." + std::string(on_table) +
                     "'. Cannot perform SET operation for table."));
}
SqlError UpdateIdentity(std::string_view column) {
  return One(Reach::Batch, Msg(8102, 16, 1, "Cannot update identity column " + Q(column) + "."));
}
SqlError NoIdentity(std::string_view table) {
  return One(Reach::Statement,
             Msg(7997, 16, 1, Q(table) + " does not contain an identity column."));
}
SqlError NotInGroupBy(std::string_view table, std::string_view column) {
  return One(Reach::Batch,
             Msg(8120, 16, 1,
                 "Column '" + std::string(table) + "." + std::string(column) +
                     "' is invalid in the select list because it is not contained in either an "
                     "aggregate function or the GROUP BY clause."));
}
SqlError AddNotNullColumn(std::string_view column, std::string_view table) {
  return One(Reach::Statement,
             Msg(4901, 16, 1,
                 "ALTER TABLE only allows columns to be added that can contain nulls, or have a "
                 "DEFAULT definition specified, or the column being added is an identity or "
                 "timestamp column, or alternatively if none of the previous conditions are "
                 "satisfied the table must be empty to allow addition of this column. Column " +
                     Q(column) + " cannot be added to non-empty table " + Q(table) +
                     " because it does not satisfy these conditions."));
}
SqlError MultipleIdentity(std::string_view table) {
  return One(Reach::Statement, Msg(2744, 16, 2,
                                   "Multiple identity columns specified for table " + Q(table) +
                                       ". Only one identity column per table is allowed."));
}
SqlError UnknownLanguage(std::string_view language) {
  return One(
      Reach::Statement,
      Msg(2732, 16, 1, "Error 2732: Language " + std::string(language) + " is not supported."));
}
SqlError Injected(int number, std::string text) {
  return One(Reach::Batch, Msg(number, 16, 1, std::move(text)));
}

SqlError StatementError(int number, int severity, int state, std::string text) {
  return One(Reach::Statement, Msg(number, severity, state, std::move(text)));
}

SqlError BatchError(int number, int severity, int state, std::string text) {
  return One(Reach::Batch, Msg(number, severity, state, std::move(text)));
}

}  // namespace standin::err

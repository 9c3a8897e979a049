// Database access: one connection component (TDatabase) and query components (TQuery) that send
// T-SQL text over it. The upgrade core sees only this header; the transport behind it is a
// Driver picked by the program's entry (ODBC in the product, the stand-in engine in tests).
//
// Text is UTF-8 on this side of the interface; drivers convert at their boundary.
// Every failure is thrown as EDatabaseError carrying the server's message text and number.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// An error reported by the server or the access layer. what() is the text a user is shown;
// the number and the SQLSTATE are for logs and tests and never reach that text.
class EDatabaseError : public std::runtime_error {
 public:
  explicit EDatabaseError(const std::string& message, int number = 0, std::string state = "")
      : std::runtime_error(message), number_(number), state_(std::move(state)) {}
  // The server's native error number of the first error, 0 when the access layer raised it.
  int Number() const { return number_; }
  // The SQLSTATE of the first error ("42S02"), empty when the driver reports none.
  const std::string& State() const { return state_; }

 private:
  int number_;
  std::string state_;
};

// A field value could not be converted to the type the caller asked for (NULL to an integer or
// a date-time, text that is no number, ...).
class EVariantError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A calendar date and time of day as the server stores datetime (to the millisecond).
struct TDateTime {
  int Year = 1900, Month = 1, Day = 1;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  bool operator==(const TDateTime&) const = default;
};

// A field value as it came from the server. The caller converts it to the type it needs.
class Variant {
  friend class ResultSet;

 public:
  enum class Kind : std::uint8_t { Null, Integer, Numeric, Text, DateTime };

  Variant() = default;
  static Variant Integer(int64_t v);
  // mantissa / 10^scale
  static Variant Numeric(int64_t mantissa, int scale);
  static Variant Text(std::string utf8);
  static Variant DateTime(const TDateTime& dt);

  Kind DataType() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::Null; }

  // Conversions. AsString of NULL is the empty text; AsInteger and AsDateTime of NULL, and any
  // conversion the value does not admit, throw EVariantError. AsInteger rounds a numeric half to
  // even and refuses values outside the 32-bit range.
  std::string AsString() const;
  int32_t AsInteger() const;
  TDateTime AsDateTime() const;

 private:
  // A date-time is packed into i_ (see DateTime).
  Kind kind_ = Kind::Null;
  std::int16_t scale_ = 0;
  int64_t i_ = 0;
  std::string s_;
};

// A complete result: column names and every row, read before the driver returns.
//
// Large registers give results of 100,000s of rows, held whole while the caller sends a statement
// per row, so a result is stored packed: each row's cells one after another in large blocks, each
// cell a kind byte followed by its value (integers as variable-length numbers, text as length and
// bytes). A row costs its values' bytes plus a few bytes of its own; Variants are made when a
// field is read.
//
// Rows are built in order: AddRow with the values of a row, or BeginRow followed by one Append per
// column. Every row has exactly as many fields as there are columns.
class ResultSet {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  ResultSet() = default;
  explicit ResultSet(std::vector<std::string> columns);
  // Columns and the rows given as values, one per column.
  ResultSet(std::vector<std::string> columns, std::initializer_list<std::vector<Variant>> rows);
  ResultSet(ResultSet&&) noexcept = default;
  ResultSet& operator=(ResultSet&&) noexcept = default;
  ResultSet(const ResultSet& other);
  ResultSet& operator=(const ResultSet& other);

  const std::vector<std::string>& Columns() const { return columns_; }
  size_t ColumnCount() const { return columns_.size(); }
  size_t RowCount() const { return rows_.size(); }
  // The first column of that name, compared without regard to letter case; npos when none.
  size_t ColumnIndex(std::string_view name) const;
  // The same, trying column guess first: readers mostly ask for the fields of a row in the same
  // order row after row, so the column after the last one found is a good guess. The guess is
  // taken only when no two columns share a name, so that the answer is always the first.
  size_t ColumnIndex(std::string_view name, size_t guess) const;

  // Field column of row row; both must be in range (checked, std::out_of_range).
  Variant Value(size_t row, size_t column) const;
  bool IsNull(size_t row, size_t column) const;
  // The fields of a row, in column order.
  std::vector<Variant> Row(size_t row) const;

  // Appends a row of these values; throws std::invalid_argument unless there is one per column.
  void AddRow(const std::vector<Variant>& values);
  // Appends a row whose fields are all NULL.
  void AddRow();

  // Starts a row filled by the Append calls that follow, one per column in column order. The
  // row is complete when the last column has been appended; BeginRow with the previous row
  // incomplete, or an Append beyond the last column, throws std::logic_error.
  void BeginRow();
  void Append(const Variant& value);
  void AppendNull();
  void AppendInteger(int64_t value);
  void AppendNumeric(int64_t mantissa, int scale);
  void AppendText(std::string_view utf8);
  void AppendDateTime(const TDateTime& value);

 private:
  // A row is stored in one block and never moves once complete; a row under construction moves
  // to a new block when the current one is full.
  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t size = 0, capacity = 0;
  };
  const char* Cell(size_t row, size_t column) const;
  char* Reserve(size_t bytes);
  void AppendTag(std::uint8_t tag, uint64_t payload);
  void Copy(const ResultSet& other);

  std::vector<std::string> columns_;
  bool distinct_names_ = true;     // no two columns share a name
  std::vector<const char*> rows_;  // the first byte of each row
  std::vector<Block> blocks_;
  size_t pending_ = 0;  // fields still to append to the last row
};

// One open connection of a driver.
class Connection {
 public:
  virtual ~Connection() = default;
  // Sends one batch and returns once the server has finished every statement of it. Throws
  // EDatabaseError when any statement of the batch failed, with every error message the server
  // sent for the batch (joined by line breaks) and the number of the first.
  virtual void Execute(std::string_view batch) = 0;
  // Sends one batch holding a select and returns its (last) result, read completely. Throws like
  // Execute, and also when the batch produced no result.
  virtual ResultSet Open(std::string_view batch) = 0;
};

// The SQLSTATE of a batch that ran out of the time SetBatchTimeout gives it: ODBC's "Timeout
// expired".
inline constexpr char kTimeoutExpired[] = "HYT00";

class Driver {
 public:
  virtual ~Driver() = default;
  // Throws EDatabaseError when the alias is unknown, the server unreachable or the login refused.
  virtual std::unique_ptr<Connection> Connect(const std::string& alias, const std::string& user,
                                              const std::string& password) = 0;
  // Bounds the wait for every batch of the connections opened after the call: when the server
  // has not finished a batch after `seconds`, the batch is cancelled (the server stops it before
  // its next statement, and the connection stays usable) and Execute or Open throw
  // EDatabaseError with State() kTimeoutExpired. 0, the default, waits for ever. The time a
  // connection attempt may take is not affected. A driver that cannot bound its batches throws
  // EDatabaseError for any other value than 0.
  virtual void SetBatchTimeout(int seconds);
};

// An ordered list of text lines, as the statement text of a query or the Params of a database.
class TStrings {
 public:
  void Clear() { lines_.clear(); }
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& operator[](int i) const { return lines_.at(static_cast<size_t>(i)); }
  // The lines joined by line breaks, without a break after the last.
  std::string Text() const;
  // For "name=value" lines: the value of the first line whose name matches, else "".
  std::string Value(std::string_view name) const;
  // Overwrites the value of every line with that name (text/wipe.h), leaving "name=".
  void WipeValue(std::string_view name);
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

// The connection component. While it exists it can be found by its DatabaseName, the name by
// which queries select it. Setting Connected to true runs BeforeConnect, connects through the
// driver with AliasName and the Params "USER NAME" and "PASSWORD", then runs AfterConnect. Once
// the driver has returned, connected or not, the password is wiped from Params and from the copy
// handed to the driver: Params then holds "PASSWORD=" with nothing after it.
class TDatabase {
 public:
  explicit TDatabase(Driver& driver);
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  std::string AliasName;
  std::string DatabaseName;
  TStrings Params;
  bool LoginPrompt = true;  // no driver of ours ever prompts; kept for the stored settings
  std::string SessionName = "Default";
  std::function<void(TDatabase& sender)> BeforeConnect;
  std::function<void(TDatabase& sender)> AfterConnect;

  bool Connected() const { return connection_ != nullptr; }
  void SetConnected(bool value);

  // The open connection; throws EDatabaseError when not connected.
  Connection& Link();

  // The database registered under that DatabaseName, or nullptr.
  static TDatabase* Find(std::string_view database_name);

 private:
  Driver& driver_;
  std::unique_ptr<Connection> connection_;
};

// A field of the current row, read when FieldByName was called.
class TField {
 public:
  explicit TField(Variant v) : v_(std::move(v)) {}
  std::string AsString() const { return v_.AsString(); }
  int32_t AsInteger() const { return v_.AsInteger(); }
  TDateTime AsDateTime() const { return v_.AsDateTime(); }
  bool IsNull() const { return v_.IsNull(); }

 private:
  Variant v_;
};

// A query component. Its SQL lines, joined by line breaks, are sent as one batch to the database
// named DatabaseName. Open keeps the complete result, so another query may execute on the same
// connection while this one is iterated.
class TQuery {
 public:
  std::string DatabaseName;
  TStrings SQL;

  void ExecSQL();
  void Open();
  void Close();
  bool Active() const { return active_; }
  bool Eof() const;
  void Next();
  // Throw EDatabaseError when the query is not open, positioned after the last row, or has no
  // column of that name (compared without regard to letter case).
  TField FieldByName(std::string_view name) const;
  Variant GetFieldValue(std::string_view name) const;

 private:
  Variant Current(std::string_view name) const;
  Connection& Link() const;

  bool active_ = false;
  ResultSet result_;
  size_t row_ = 0;
  mutable size_t next_column_ = 0;  // the column after the last one looked up
};

}  // namespace platform

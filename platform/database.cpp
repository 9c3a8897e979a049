#include "platform/database.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>

#include "text/wipe.h"

namespace platform {

namespace {

const char* KindName(Variant::Kind k) {
  switch (k) {
    case Variant::Kind::Null:
      return "Null";
    case Variant::Kind::Integer:
      return "Integer";
    case Variant::Kind::Numeric:
      return "BCD";
    case Variant::Kind::Text:
      return "String";
    case Variant::Kind::DateTime:
      return "Date";
  }
  return "Unknown";
}

[[noreturn]] void CannotConvert(Variant::Kind from, const char* to) {
  throw EVariantError(std::string("Could not convert variant of type (") + KindName(from) +
                      ") into type (" + to + ")");
}

int32_t Narrow(int64_t v, Variant::Kind from) {
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    CannotConvert(from, "Integer");
  return static_cast<int32_t>(v);
}

// Names compare as the server compares identifiers here: ASCII letters without regard to case,
// every other byte as it is. Looked up for every field read, so kept free of locale calls.
char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

std::map<std::string, TDatabase*, std::less<>>& Registry() {
  static std::map<std::string, TDatabase*, std::less<>> databases;
  return databases;
}

}  // namespace

Variant Variant::Integer(int64_t v) {
  Variant r;
  r.kind_ = Kind::Integer;
  r.i_ = v;
  return r;
}

Variant Variant::Numeric(int64_t mantissa, int scale) {
  Variant r;
  r.kind_ = Kind::Numeric;
  r.i_ = mantissa;
  r.scale_ = static_cast<std::int16_t>(scale);
  return r;
}

Variant Variant::Text(std::string utf8) {
  Variant r;
  r.kind_ = Kind::Text;
  r.s_ = std::move(utf8);
  return r;
}

Variant Variant::DateTime(const TDateTime& dt) {
  Variant r;
  r.kind_ = Kind::DateTime;
  // Fields in fixed bit ranges, the millisecond lowest; every field of a server datetime fits.
  auto field = [](int v, int bits) { return static_cast<int64_t>(v) & ((int64_t{1} << bits) - 1); };
  r.i_ = field(dt.Year, 16) << 42 | field(dt.Month, 4) << 38 | field(dt.Day, 5) << 33 |
         field(dt.Hour, 5) << 28 | field(dt.Minute, 6) << 22 | field(dt.Second, 6) << 16 |
         field(dt.Millisecond, 16);
  return r;
}

std::string Variant::AsString() const {
  switch (kind_) {
    case Kind::Null:
      return "";
    case Kind::Integer:
      return std::to_string(i_);
    case Kind::Text:
      return s_;
    case Kind::Numeric: {
      std::string digits = std::to_string(i_ < 0 ? -i_ : i_);
      if (scale_ > 0) {
        if (digits.size() <= static_cast<size_t>(scale_))
          digits.insert(0, static_cast<size_t>(scale_) + 1 - digits.size(), '0');
        digits.insert(digits.size() - static_cast<size_t>(scale_), ".");
      }
      return (i_ < 0 ? "-" : "") + digits;
    }
    case Kind::DateTime: {
      char buf[32];
      const TDateTime dt = AsDateTime();
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", dt.Year, dt.Month, dt.Day,
                    dt.Hour, dt.Minute, dt.Second);
      return buf;
    }
  }
  return "";
}

int32_t Variant::AsInteger() const {
  switch (kind_) {
    case Kind::Integer:
      return Narrow(i_, kind_);
    case Kind::Numeric: {
      int64_t p = 1;
      for (int k = 0; k < scale_; ++k) p *= 10;
      int64_t q = i_ / p, r = i_ % p;
      int64_t twice = 2 * (r < 0 ? -r : r);
      if (twice > p || (twice == p && q % 2 != 0)) q += (i_ < 0 ? -1 : 1);
      return Narrow(q, kind_);
    }
    case Kind::Text: {
      std::string_view t = s_;
      while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.remove_prefix(1);
      while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.remove_suffix(1);
      int64_t v = 0;
      auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
      if (t.empty() || ec != std::errc() || end != t.data() + t.size())
        throw EVariantError("'" + s_ + "' is not a valid integer value");
      return Narrow(v, kind_);
    }
    case Kind::Null:
    case Kind::DateTime:
      break;
  }
  CannotConvert(kind_, "Integer");
}

TDateTime Variant::AsDateTime() const {
  if (kind_ != Kind::DateTime) CannotConvert(kind_, "Date");
  auto field = [this](int shift, int bits) {
    return static_cast<int>((i_ >> shift) & ((int64_t{1} << bits) - 1));
  };
  return TDateTime{field(42, 16), field(38, 4), field(33, 5), field(28, 5),
                   field(22, 6),  field(16, 6), field(0, 16)};
}

namespace {

// Cell kinds as stored in a packed result; the values are part of the layout.
enum Tag : std::uint8_t { kNull = 0, kInteger = 1, kNumeric = 2, kText = 3, kDateTime = 4 };

// Rows are packed into blocks of this size (a larger row gets a block of its own), small enough
// that the last block's unused tail does not matter and large enough that allocations are rare.
constexpr size_t kBlockBytes = size_t{64} << 10;
// The most bytes one variable-length number takes.
constexpr size_t kMaxVarint = 10;

uint64_t ZigZag(int64_t v) {
  return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63);
}
int64_t UnZigZag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

char* PutVarint(char* out, uint64_t v) {
  while (v >= 0x80) {
    *out++ = static_cast<char>((v & 0x7f) | 0x80);
    v >>= 7;
  }
  *out++ = static_cast<char>(v);
  return out;
}

uint64_t GetVarint(const char*& in) {
  uint64_t v = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*in++);
    v |= static_cast<uint64_t>(byte & 0x7f) << shift;
    if (!(byte & 0x80)) return v;
  }
}

// The byte after the cell that starts at p.
const char* SkipCell(const char* p) {
  switch (static_cast<unsigned char>(*p++)) {
    case kNull:
      return p;
    case kNumeric:
      GetVarint(p);
      GetVarint(p);
      return p;
    case kText: {
      const uint64_t length = GetVarint(p);
      return p + length;
    }
    default:  // kInteger, kDateTime
      GetVarint(p);
      return p;
  }
}

}  // namespace

namespace {

bool DistinctNames(const std::vector<std::string>& columns) {
  for (size_t a = 0; a < columns.size(); ++a)
    for (size_t b = a + 1; b < columns.size(); ++b)
      if (SameName(columns[a], columns[b])) return false;
  return true;
}

}  // namespace

ResultSet::ResultSet(std::vector<std::string> columns)
    : columns_(std::move(columns)), distinct_names_(DistinctNames(columns_)) {}

ResultSet::ResultSet(std::vector<std::string> columns,
                     std::initializer_list<std::vector<Variant>> rows)
    : ResultSet(std::move(columns)) {
  for (const auto& row : rows) AddRow(row);
}

ResultSet::ResultSet(const ResultSet& other) { Copy(other); }

ResultSet& ResultSet::operator=(const ResultSet& other) {
  if (this != &other) {
    ResultSet copy(other);
    *this = std::move(copy);
  }
  return *this;
}

void ResultSet::Copy(const ResultSet& other) {
  columns_ = other.columns_;
  distinct_names_ = other.distinct_names_;
  rows_.reserve(other.rows_.size());
  for (size_t r = 0; r < other.rows_.size(); ++r) {
    const char* begin = other.rows_[r];
    const size_t cells = columns_.size() - (r + 1 == other.rows_.size() ? other.pending_ : 0);
    const size_t bytes = cells == 0 ? 0 : static_cast<size_t>(other.Cell(r, cells) - begin);
    BeginRow();
    pending_ = 0;
    if (bytes == 0) continue;
    char* out = Reserve(bytes);
    rows_.back() = out;
    std::memcpy(out, begin, bytes);
    blocks_.back().size += bytes;
  }
  pending_ = other.pending_;
}

size_t ResultSet::ColumnIndex(std::string_view name) const {
  for (size_t c = 0; c < columns_.size(); ++c)
    if (SameName(columns_[c], name)) return c;
  return npos;
}

size_t ResultSet::ColumnIndex(std::string_view name, size_t guess) const {
  if (distinct_names_ && guess < columns_.size() && SameName(columns_[guess], name)) return guess;
  return ColumnIndex(name);
}

const char* ResultSet::Cell(size_t row, size_t column) const {
  const char* p = rows_[row];
  for (size_t c = 0; c < column; ++c) p = SkipCell(p);
  return p;
}

Variant ResultSet::Value(size_t row, size_t column) const {
  if (row >= rows_.size() || column >= columns_.size() ||
      (row + 1 == rows_.size() && pending_ > columns_.size() - 1 - column))
    throw std::out_of_range("No field " + std::to_string(column) + " in row " +
                            std::to_string(row) + " of the result");
  const char* p = Cell(row, column);
  Variant v;
  switch (static_cast<unsigned char>(*p++)) {
    case kNull:
      break;
    case kInteger:
      v.kind_ = Variant::Kind::Integer;
      v.i_ = UnZigZag(GetVarint(p));
      break;
    case kNumeric:
      v.kind_ = Variant::Kind::Numeric;
      v.scale_ = static_cast<std::int16_t>(UnZigZag(GetVarint(p)));
      v.i_ = UnZigZag(GetVarint(p));
      break;
    case kText: {
      v.kind_ = Variant::Kind::Text;
      const auto length = static_cast<size_t>(GetVarint(p));
      v.s_.assign(p, length);
      break;
    }
    case kDateTime:
      v.kind_ = Variant::Kind::DateTime;
      v.i_ = static_cast<int64_t>(GetVarint(p));
      break;
  }
  return v;
}

bool ResultSet::IsNull(size_t row, size_t column) const { return Value(row, column).IsNull(); }

std::vector<Variant> ResultSet::Row(size_t row) const {
  std::vector<Variant> values;
  values.reserve(columns_.size());
  for (size_t c = 0; c < columns_.size(); ++c) values.push_back(Value(row, c));
  return values;
}

void ResultSet::AddRow(const std::vector<Variant>& values) {
  if (values.size() != columns_.size())
    throw std::invalid_argument("A row of " + std::to_string(values.size()) +
                                " values for a result of " + std::to_string(columns_.size()) +
                                " columns");
  BeginRow();
  for (const Variant& v : values) Append(v);
}

void ResultSet::AddRow() {
  BeginRow();
  while (pending_ > 0) AppendNull();
}

void ResultSet::BeginRow() {
  if (pending_ > 0) throw std::logic_error("The previous row of the result is incomplete");
  rows_.push_back(blocks_.empty() ? nullptr : blocks_.back().bytes.get() + blocks_.back().size);
  pending_ = columns_.size();
}

char* ResultSet::Reserve(size_t bytes) {
  if (!blocks_.empty() && blocks_.back().capacity - blocks_.back().size >= bytes)
    return blocks_.back().bytes.get() + blocks_.back().size;
  // The row under construction moves to the new block whole, so that its cells stay together.
  size_t partial = 0;
  if (!blocks_.empty() && !rows_.empty() && pending_ > 0 && pending_ < columns_.size()) {
    Block& last = blocks_.back();
    partial = static_cast<size_t>(last.bytes.get() + last.size - rows_.back());
    last.size -= partial;
  }
  Block block;
  block.capacity = std::max(kBlockBytes, partial + bytes);
  block.bytes.reset(new char[block.capacity]);
  if (partial > 0) std::memcpy(block.bytes.get(), rows_.back(), partial);
  block.size = partial;
  if (!rows_.empty() && pending_ > 0) rows_.back() = block.bytes.get();
  blocks_.push_back(std::move(block));
  return blocks_.back().bytes.get() + blocks_.back().size;
}

void ResultSet::Append(const Variant& value) {
  switch (value.kind_) {
    case Variant::Kind::Null:
      return AppendNull();
    case Variant::Kind::Integer:
      return AppendInteger(value.i_);
    case Variant::Kind::Numeric:
      return AppendNumeric(value.i_, value.scale_);
    case Variant::Kind::Text:
      return AppendText(value.s_);
    case Variant::Kind::DateTime: {
      // Already packed: stored as it is.
      if (pending_ == 0) throw std::logic_error("More fields than columns in a result row");
      char* out = Reserve(1 + kMaxVarint);
      char* end = PutVarint(out + 1, static_cast<uint64_t>(value.i_));
      *out = static_cast<char>(kDateTime);
      blocks_.back().size += static_cast<size_t>(end - out);
      --pending_;
      return;
    }
  }
}

void ResultSet::AppendNull() {
  if (pending_ == 0) throw std::logic_error("More fields than columns in a result row");
  *Reserve(1) = static_cast<char>(kNull);
  ++blocks_.back().size;
  --pending_;
}

void ResultSet::AppendInteger(int64_t value) {
  if (pending_ == 0) throw std::logic_error("More fields than columns in a result row");
  char* out = Reserve(1 + kMaxVarint);
  *out = static_cast<char>(kInteger);
  blocks_.back().size += static_cast<size_t>(PutVarint(out + 1, ZigZag(value)) - out);
  --pending_;
}

void ResultSet::AppendNumeric(int64_t mantissa, int scale) {
  if (pending_ == 0) throw std::logic_error("More fields than columns in a result row");
  char* out = Reserve(1 + 2 * kMaxVarint);
  *out = static_cast<char>(kNumeric);
  char* end = PutVarint(out + 1, ZigZag(static_cast<std::int16_t>(scale)));
  end = PutVarint(end, ZigZag(mantissa));
  blocks_.back().size += static_cast<size_t>(end - out);
  --pending_;
}

void ResultSet::AppendText(std::string_view utf8) {
  if (pending_ == 0) throw std::logic_error("More fields than columns in a result row");
  char* out = Reserve(1 + kMaxVarint + utf8.size());
  *out = static_cast<char>(kText);
  char* end = PutVarint(out + 1, utf8.size());
  if (!utf8.empty()) std::memcpy(end, utf8.data(), utf8.size());
  blocks_.back().size += static_cast<size_t>(end + utf8.size() - out);
  --pending_;
}

void ResultSet::AppendDateTime(const TDateTime& value) { Append(Variant::DateTime(value)); }

std::string TStrings::Text() const {
  std::string out;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i) out += "\n";
    out += lines_[i];
  }
  return out;
}

std::string TStrings::Value(std::string_view name) const {
  for (const auto& line : lines_) {
    auto eq = line.find('=');
    if (eq != std::string::npos && SameName(std::string_view(line).substr(0, eq), name))
      return line.substr(eq + 1);
  }
  return "";
}

void TStrings::WipeValue(std::string_view name) {
  for (auto& line : lines_) {
    auto eq = line.find('=');
    if (eq == std::string::npos || !SameName(std::string_view(line).substr(0, eq), name)) continue;
    line.resize(line.capacity());  // the spare capacity may hold an older value
    text::Wipe(line.data() + eq + 1, line.size() - eq - 1);
    line.resize(eq + 1);
  }
}

void Driver::SetBatchTimeout(int seconds) {
  if (seconds != 0) throw EDatabaseError("This database driver cannot bound the time of a batch");
}

TDatabase::TDatabase(Driver& driver) : driver_(driver) {}

TDatabase::~TDatabase() {
  auto& reg = Registry();
  for (auto it = reg.begin(); it != reg.end(); ++it)
    if (it->second == this) {
      reg.erase(it);
      break;
    }
}

void TDatabase::SetConnected(bool value) {
  if (value == Connected()) return;
  if (!value) {
    connection_.reset();
    return;
  }
  if (BeforeConnect) BeforeConnect(*this);
  {
    struct WipeParams {
      TStrings& params;
      ~WipeParams() { params.WipeValue("PASSWORD"); }
    } wipe_params{Params};
    std::string password = Params.Value("PASSWORD");
    text::WipeOnExit wipe_copy(password);
    connection_ = driver_.Connect(AliasName, Params.Value("USER NAME"), password);
  }
  Registry()[DatabaseName] = this;
  if (AfterConnect) AfterConnect(*this);
}

Connection& TDatabase::Link() {
  if (!connection_) throw EDatabaseError("Database '" + DatabaseName + "' is not connected");
  return *connection_;
}

TDatabase* TDatabase::Find(std::string_view database_name) {
  auto& reg = Registry();
  auto it = reg.find(database_name);
  return it == reg.end() ? nullptr : it->second;
}

Connection& TQuery::Link() const {
  TDatabase* db = TDatabase::Find(DatabaseName);
  if (!db) throw EDatabaseError("Database '" + DatabaseName + "' not found");
  return db->Link();
}

void TQuery::ExecSQL() { Link().Execute(SQL.Text()); }

void TQuery::Open() {
  Close();
  result_ = Link().Open(SQL.Text());
  row_ = 0;
  active_ = true;
}

void TQuery::Close() {
  active_ = false;
  result_ = ResultSet{};
  row_ = 0;
}

bool TQuery::Eof() const { return !active_ || row_ >= result_.RowCount(); }

void TQuery::Next() {
  if (!Eof()) ++row_;
}

Variant TQuery::Current(std::string_view name) const {
  if (!active_) throw EDatabaseError("Cannot perform this operation on a closed dataset");
  const size_t column = result_.ColumnIndex(name, next_column_);
  if (column == ResultSet::npos)
    throw EDatabaseError("Field '" + std::string(name) + "' not found");
  next_column_ = column + 1 < result_.ColumnCount() ? column + 1 : 0;
  if (row_ >= result_.RowCount())
    throw EDatabaseError("Cannot perform this operation on an empty dataset");
  return result_.Value(row_, column);
}

TField TQuery::FieldByName(std::string_view name) const { return TField(Current(name)); }

Variant TQuery::GetFieldValue(std::string_view name) const { return Current(name); }

}  // namespace platform

#include "platform/database.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>
#include <map>

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

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
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
  connection_ = driver_.Connect(AliasName, Params.Value("USER NAME"), Params.Value("PASSWORD"));
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

bool TQuery::Eof() const { return !active_ || row_ >= result_.rows.size(); }

void TQuery::Next() {
  if (!Eof()) ++row_;
}

const Variant& TQuery::Current(std::string_view name) const {
  if (!active_) throw EDatabaseError("Cannot perform this operation on a closed dataset");
  for (size_t c = 0; c < result_.columns.size(); ++c)
    if (SameName(result_.columns[c], name)) {
      if (row_ >= result_.rows.size())
        throw EDatabaseError("Cannot perform this operation on an empty dataset");
      return result_.rows[row_][c];
    }
  throw EDatabaseError("Field '" + std::string(name) + "' not found");
}

TField TQuery::FieldByName(std::string_view name) const { return TField(Current(name)); }

Variant TQuery::GetFieldValue(std::string_view name) const { return Current(name); }

}  // namespace platform

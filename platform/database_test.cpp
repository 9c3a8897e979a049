// Field conversions and statement text of the database components.
#include "platform/database.h"

#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <optional>

using platform::EVariantError;
using platform::ResultSet;
using platform::Variant;

namespace {

TEST(Variant, Conversions) {
  struct Case {
    Variant v;
    std::string text;
    bool has_int;
    int32_t i;
  };
  const Case cases[] = {
      {Variant(), "", false, 0},
      {Variant::Integer(-7), "-7", true, -7},
      {Variant::Numeric(685000, 2), "6850.00", true, 6850},
      {Variant::Numeric(-5, 2), "-0.05", true, 0},
      {Variant::Numeric(25, 1), "2.5", true, 2},
      {Variant::Numeric(35, 1), "3.5", true, 4},
      {Variant::Text(" 12 "), " 12 ", true, 12},
      {Variant::Text("12a"), "12a", false, 0},
      {Variant::Integer(int64_t{3000000000}), "3000000000", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.v.AsString(), c.text);
    if (c.has_int)
      EXPECT_EQ(c.v.AsInteger(), c.i);
    else
      EXPECT_THROW(c.v.AsInteger(), EVariantError);
  }
  EXPECT_THROW(Variant().AsDateTime(), EVariantError);
  EXPECT_EQ(Variant::DateTime({1975, 3, 3, 10, 30, 0, 0}).AsString(), "1975-03-03 10:30:00");
  // The whole range of the server's datetime comes back field for field.
  for (const platform::TDateTime& dt : {platform::TDateTime{1753, 1, 1, 0, 0, 0, 0},
                                        platform::TDateTime{9999, 12, 31, 23, 59, 59, 997}})
    EXPECT_EQ(Variant::DateTime(dt).AsDateTime(), dt);
}

// Every kind of value, with the edges of its range, comes back from a result as it went in.
TEST(ResultSet, ValuesComeBackAsStored) {
  const std::string long_text(100000, 'x');
  struct Case {
    const char* what;
    Variant v;
  };
  const Case cases[] = {
      {"NULL", Variant()},
      {"zero", Variant::Integer(0)},
      {"negative", Variant::Integer(-7)},
      {"int64 max", Variant::Integer(std::numeric_limits<int64_t>::max())},
      {"int64 min", Variant::Integer(std::numeric_limits<int64_t>::min())},
      {"numeric", Variant::Numeric(685025, 2)},
      {"negative numeric", Variant::Numeric(-5, 2)},
      {"numeric of scale 0", Variant::Numeric(12, 0)},
      {"empty text", Variant::Text("")},
      {"char padding", Variant::Text("张三    ")},
      {"blanks only", Variant::Text("   ")},
      {"text with a NUL", Variant::Text(std::string("a\0b", 3))},
      {"long text", Variant::Text(long_text)},
      {"earliest datetime", Variant::DateTime({1753, 1, 1, 0, 0, 0, 0})},
      {"latest datetime", Variant::DateTime({9999, 12, 31, 23, 59, 59, 997})},
  };
  ResultSet rs({"v"});
  for (const Case& c : cases) rs.AddRow({c.v});
  ASSERT_EQ(rs.RowCount(), std::size(cases));
  for (size_t r = 0; r < std::size(cases); ++r) {
    SCOPED_TRACE(cases[r].what);
    const Variant v = rs.Value(r, 0);
    EXPECT_EQ(v.DataType(), cases[r].v.DataType());
    EXPECT_EQ(v.IsNull(), rs.IsNull(r, 0));
    EXPECT_EQ(v.AsString(), cases[r].v.AsString());
    if (v.DataType() == Variant::Kind::DateTime) {
      EXPECT_EQ(v.AsDateTime(), cases[r].v.AsDateTime());
    }
  }
}

// Many rows of mixed kinds, filled field by field as a driver does, span many storage blocks and
// read back in any order; a copy reads the same and outlives the original.
TEST(ResultSet, ManyRowsBuiltFieldByField) {
  constexpr int kRows = 100000;
  auto expected = [](int i) {
    return std::vector<Variant>{Variant::Integer(200000000 + i),
                                i % 7 == 0 ? Variant() : Variant::Text("P" + std::to_string(i)),
                                Variant::Text(i % 3 == 0 ? "" : "男"),
                                Variant::DateTime({1980, 1 + i % 12, 1 + i % 28, 0, 0, 0, 0}),
                                i % 5 == 0
                                    ? Variant::Text(std::string(static_cast<size_t>(i % 300), 'c'))
                                    : Variant::Numeric(i, 2)};
  };
  auto text = [](const std::vector<Variant>& row) {
    std::string out;
    for (const Variant& v : row)
      out += std::to_string(static_cast<int>(v.DataType())) + ":" + v.AsString() + "|";
    return out;
  };
  std::optional<ResultSet> copy;
  {
    ResultSet rs({"pe_no", "pe_name", "pe_sex", "pe_bdate", "pe_memo"});
    for (int i = 0; i < kRows; ++i) {
      rs.BeginRow();
      for (const Variant& v : expected(i)) {
        switch (v.DataType()) {
          case Variant::Kind::Null:
            rs.AppendNull();
            break;
          case Variant::Kind::Integer:
            rs.AppendInteger(200000000 + i);
            break;
          case Variant::Kind::Text:
            rs.AppendText(v.AsString());
            break;
          case Variant::Kind::DateTime:
            rs.AppendDateTime(v.AsDateTime());
            break;
          case Variant::Kind::Numeric:
            rs.AppendNumeric(i, 2);
            break;
        }
      }
    }
    ASSERT_EQ(rs.RowCount(), static_cast<size_t>(kRows));
    for (int i : {kRows - 1, 0, 4999, 5000, 77777})
      EXPECT_EQ(text(rs.Row(static_cast<size_t>(i))), text(expected(i))) << i;
    copy = rs;
  }
  ASSERT_TRUE(copy.has_value());
  ASSERT_EQ(copy->RowCount(), static_cast<size_t>(kRows));
  for (int i = 0; i < kRows; ++i)
    ASSERT_EQ(text(copy->Row(static_cast<size_t>(i))), text(expected(i))) << i;
}

TEST(ResultSet, ColumnsAreFoundByNameWithoutRegardToCase) {
  const ResultSet rs({"pe_no", "PE_Name", "pe_no", "名称"},
                     {{Variant::Integer(1), Variant(), Variant(), Variant()}});
  EXPECT_EQ(rs.Columns(), (std::vector<std::string>{"pe_no", "PE_Name", "pe_no", "名称"}));
  EXPECT_EQ(rs.ColumnIndex("PE_NO"), 0u);  // the first of equal names
  EXPECT_EQ(rs.ColumnIndex("pe_name"), 1u);
  EXPECT_EQ(rs.ColumnIndex("名称"), 3u);
  EXPECT_EQ(rs.ColumnIndex("名"), ResultSet::npos);
  EXPECT_EQ(rs.ColumnIndex("pe_"), ResultSet::npos);
  EXPECT_EQ(rs.ColumnIndex(""), ResultSet::npos);
  // A guess is only a shortcut: wrong, out of range or on a repeated name, the answer stays the
  // first column of the name.
  for (size_t guess : {0u, 1u, 2u, 3u, 99u}) {
    EXPECT_EQ(rs.ColumnIndex("PE_NO", guess), 0u) << guess;
    EXPECT_EQ(rs.ColumnIndex("名称", guess), 3u) << guess;
    EXPECT_EQ(rs.ColumnIndex("名", guess), ResultSet::npos) << guess;
  }
  const ResultSet distinct({"a", "B"});
  EXPECT_EQ(distinct.ColumnIndex("b", 1), 1u);
  EXPECT_EQ(distinct.ColumnIndex("A", 1), 0u);
  EXPECT_EQ(distinct.ColumnIndex("c", 0), ResultSet::npos);
}

// Rows must match the columns: a short or long row is refused, a row of no values (as a plan
// answers a probe) is all NULLs, and fields are read only where they exist.
TEST(ResultSet, RowsHaveOneFieldPerColumn) {
  ResultSet rs({"a", "b"});
  EXPECT_THROW(rs.AddRow({Variant::Integer(1)}), std::invalid_argument);
  EXPECT_THROW(rs.AddRow({Variant(), Variant(), Variant()}), std::invalid_argument);
  EXPECT_EQ(rs.RowCount(), 0u);
  rs.AddRow();
  ASSERT_EQ(rs.RowCount(), 1u);
  EXPECT_TRUE(rs.IsNull(0, 0));
  EXPECT_TRUE(rs.IsNull(0, 1));
  rs.BeginRow();
  rs.AppendText("x");
  EXPECT_EQ(rs.Value(1, 0).AsString(), "x");
  EXPECT_THROW(rs.Value(1, 1), std::out_of_range);
  EXPECT_THROW(rs.BeginRow(), std::logic_error);
  rs.AppendInteger(2);
  EXPECT_THROW(rs.AppendNull(), std::logic_error);
  EXPECT_EQ(rs.Value(1, 1).AsInteger(), 2);
  EXPECT_THROW(rs.Value(2, 0), std::out_of_range);
  EXPECT_THROW(rs.Value(0, 2), std::out_of_range);

  ResultSet none;
  none.AddRow();
  EXPECT_EQ(none.RowCount(), 1u);
  EXPECT_TRUE(none.Row(0).empty());
}

TEST(TStrings, TextAndValues) {
  platform::TStrings s;
  s.Add("USER NAME=sa");
  s.Add("PASSWORD=a=b");
  EXPECT_EQ(s.Text(), "USER NAME=sa\nPASSWORD=a=b");
  EXPECT_EQ(s.Value("user name"), "sa");
  EXPECT_EQ(s.Value("PASSWORD"), "a=b");
  EXPECT_EQ(s.Value("ALIAS"), "");
}

}  // namespace

namespace {

class RecordingDriver : public platform::Driver {
 public:
  std::vector<std::string> connects;
  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override {
    connects.push_back(alias + "|" + user + "|" + password);
    if (alias == "missing") throw platform::EDatabaseError("Data source name not found", 0);
    struct Null : platform::Connection {
      void Execute(std::string_view) override {}
      platform::ResultSet Open(std::string_view) override {
        return {{"Name", "n"}, {{Variant::Text("a"), Variant()}}};
      }
    };
    return std::make_unique<Null>();
  }
};

TEST(TDatabase, ConnectsWithWhatBeforeConnectSets) {
  RecordingDriver driver;
  std::vector<std::string> events;
  {
    platform::TDatabase db(driver);
    db.DatabaseName = "VrekDB";
    db.BeforeConnect = [&](platform::TDatabase& d) {
      events.push_back("before");
      d.AliasName = "Vrek";
      d.Params.Add("USER NAME=u1");
      d.Params.Add("PASSWORD=p1");
    };
    db.AfterConnect = [&](platform::TDatabase& d) {
      events.push_back(d.Connected() ? "after, connected" : "after");
    };
    EXPECT_EQ(platform::TDatabase::Find("VrekDB"), nullptr);
    db.SetConnected(true);
    EXPECT_EQ(platform::TDatabase::Find("VrekDB"), &db);
    EXPECT_EQ(driver.connects, std::vector<std::string>{"Vrek|u1|p1"});
    EXPECT_EQ(events, (std::vector<std::string>{"before", "after, connected"}));

    platform::TQuery q;
    q.DatabaseName = "VrekDB";
    q.SQL.Add("select 1");
    q.Open();
    EXPECT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldByName("name").AsString(), "a");
    EXPECT_EQ(q.FieldByName("N").AsString(), "");
    EXPECT_THROW(q.FieldByName("n").AsInteger(), EVariantError);
    EXPECT_THROW(q.FieldByName("other"), platform::EDatabaseError);
    q.Next();
    EXPECT_TRUE(q.Eof());
    EXPECT_THROW(q.FieldByName("name"), platform::EDatabaseError);
    q.Close();
    EXPECT_TRUE(q.Eof());
  }
  EXPECT_EQ(platform::TDatabase::Find("VrekDB"), nullptr);
}

TEST(TDatabase, AFailedConnectRaisesAndSkipsAfterConnect) {
  RecordingDriver driver;
  platform::TDatabase db(driver);
  db.AliasName = "missing";
  bool after = false;
  db.AfterConnect = [&](platform::TDatabase&) { after = true; };
  EXPECT_THROW(db.SetConnected(true), platform::EDatabaseError);
  EXPECT_FALSE(db.Connected());
  EXPECT_FALSE(after);
  platform::TQuery q;
  q.DatabaseName = "nowhere";
  EXPECT_THROW(q.ExecSQL(), platform::EDatabaseError);
}

// The driver gets the password; once it has returned, connected or refused, the line of Params
// that held it is "PASSWORD=" over the same storage, the rest of which is zero.
TEST(TDatabase, ThePasswordIsWipedFromParamsOnceTheDriverReturns) {
  for (const std::string alias : {"Vrek", "missing"}) {
    for (const std::string password : {"Pw 9", "a password longer than the inner buffer"}) {
      SCOPED_TRACE(alias + ", " + password);
      RecordingDriver driver;
      platform::TDatabase db(driver);
      db.AliasName = alias;
      db.Params.Add("USER NAME=u1");
      db.Params.Add("PASSWORD=" + password);
      const std::string& line = db.Params.Lines()[1];
      const char* const data = line.data();
      const std::size_t capacity = line.capacity();
      try {
        db.SetConnected(true);
      } catch (const platform::EDatabaseError&) {
      }
      EXPECT_EQ(db.Connected(), alias == "Vrek");
      EXPECT_EQ(driver.connects, std::vector<std::string>{alias + "|u1|" + password});
      ASSERT_EQ(db.Params.Count(), 2);
      EXPECT_EQ(db.Params.Text(), "USER NAME=u1\nPASSWORD=");
      ASSERT_EQ(line.data(), data);
      ASSERT_EQ(line.capacity(), capacity);
      EXPECT_EQ(std::string(data + 9, capacity - 9), std::string(capacity - 9, '\0'));
    }
  }
}

}  // namespace

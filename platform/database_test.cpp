// Field conversions and statement text of the database components.
#include "platform/database.h"

#include <gtest/gtest.h>

using platform::EVariantError;
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

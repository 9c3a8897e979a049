#include "vrekdb_connect.h"

#include <stdexcept>
#include <string>

#include "platform/registry.h"
#include "unTools.h"

namespace vrekcli {

namespace {

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// VrekDB with its stored properties and its before-connect handler, without the splash window.
class Session : public VrekConnection {
 public:
  explicit Session(platform::Driver& driver) : db_(driver) {
    db_.AliasName = "VrekODBC";
    db_.DatabaseName = "VrekDB";
    db_.LoginPrompt = false;
    db_.Params.Add("USER NAME=sa");
    db_.Params.Add("PASSWORD=");
    db_.BeforeConnect = [](platform::TDatabase& db) { ReadSettings(db); };
    db_.AfterConnect = [](platform::TDatabase&) { ConnectMessage = "OK"; };
    db_.SetConnected(true);
    if (ConnectMessage != "OK") throw std::runtime_error("connection not completed");
  }

 private:
  static void ReadSettings(platform::TDatabase& db) {
    const char* const kKey = "SOFTWARE\\Brantelvoss\\Vrek";
    std::unique_ptr<platform::TRegistry> reg = platform::CreateRegistry();
    if (reg->KeyExists(kKey)) {
      reg->OpenKeyReadOnly(kKey);
      db.AliasName = Trim(reg->ReadString("ODBCNAME"));
      db.Params.Clear();
      db.Params.Add("USER NAME=" + DecodeDigitText(Trim(reg->ReadString("USERNAME"))));
      db.Params.Add("PASSWORD=" + DecodeDigitText(Trim(reg->ReadString("PASSWORD"))));
      reg->CloseKey();
    }
    ConnectMessage = "系统正在连接数据库，请稍候...";
  }

  platform::TDatabase db_;
};

}  // namespace

std::unique_ptr<VrekConnection> ConnectVrekDB(platform::TApplication&, platform::Driver& driver) {
  return std::make_unique<Session>(driver);
}

}  // namespace vrekcli

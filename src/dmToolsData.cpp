#include "dmToolsData.h"

#include <string_view>

#include "unTools.h"

TFlashTools* FlashTools = nullptr;

namespace {

// Settings values may carry blanks and control characters around them.
std::string Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return std::string(s);
}

}  // namespace

TdbToolsMain::TdbToolsMain(platform::TApplication& application, platform::Driver& driver,
                           RegistryFactory registry)
    : VrekDB(driver), application_(application), registry_(std::move(registry)) {
  VrekDB.AliasName = "VrekODBC";
  VrekDB.DatabaseName = "VrekDB";
  VrekDB.LoginPrompt = false;
  VrekDB.Params.Add("USER NAME=sa");
  VrekDB.Params.Add("PASSWORD=");
  VrekDB.SessionName = "Default";
  VrekDB.BeforeConnect = [this](platform::TDatabase& sender) { VrekDBBeforeConnect(sender); };
  VrekDB.AfterConnect = [this](platform::TDatabase& sender) { VrekDBAfterConnect(sender); };
  VrekDB.SetConnected(true);
}

void TdbToolsMain::VrekDBBeforeConnect(platform::TDatabase&) {
  {
    std::unique_ptr<platform::TRegistry> Registry = registry_();
    const std::string_view key = "SOFTWARE\\Brantelvoss\\Vrek";
    if (Registry->KeyExists(key)) {
      Registry->OpenKeyReadOnly(key);
      VrekDB.AliasName = Trim(Registry->ReadString("ODBCNAME"));
      VrekDB.Params.Clear();
      // The decoded bytes are code page 936 and go into the lines unchanged.
      VrekDB.Params.Add("USER NAME=" + DecodeDigitText(Trim(Registry->ReadString("USERNAME"))));
      VrekDB.Params.Add("PASSWORD=" + DecodeDigitText(Trim(Registry->ReadString("PASSWORD"))));
      Registry->CloseKey();
    }
  }
  ConnectMessage = "系统正在连接数据库，请稍候...";
  FlashTools = InsertComponent(std::make_unique<TFlashTools>());
  // The connection blocks the thread: draw the splash now, not from the message loop.
  application_.Show(*FlashTools);
  application_.Repaint(*FlashTools);
}

void TdbToolsMain::VrekDBAfterConnect(platform::TDatabase&) {
  FreeComponent(FlashTools);
  ConnectMessage = "OK";
}

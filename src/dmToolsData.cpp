#include "dmToolsData.h"

#include <algorithm>
#include <string_view>

#include "text/wipe.h"
#include "unTools.h"

TFlashTools* FlashTools = nullptr;

namespace {

// Settings values may carry blanks and control characters around them.
std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

// A credential of the open key, decoded. The stored text is wiped here; the decoded one is the
// caller's to wipe.
std::string ReadCoded(platform::TRegistry& registry, std::string_view name) {
  std::string stored = registry.ReadString(name);
  text::WipeOnExit wipe(stored);
  try {
    return DecodeDigitText(Trim(stored));
  } catch (const EConvertError&) {
    // The character is not named: it is part of the credential.
    throw platform::ESettingsError("'" + std::string(name) + "' holds a character that is no digit",
                                   registry.ValuePlace(name) + "：数字编码含有数字以外的字符");
  }
}

// The parameter line "name=" + value, in storage of its own beyond the string's inner buffer, so
// that handing it on moves no characters; value is wiped.
std::string ParamLine(std::string_view name, std::string value) {
  text::WipeOnExit wipe(value);
  std::string line;
  line.reserve(std::max<std::size_t>(name.size() + value.size(), 32));
  line += name;
  line += value;
  return line;
}

}  // namespace

TdbToolsMain::TdbToolsMain(platform::TApplication& application, platform::Driver& driver,
                           RegistryFactory registry, SettingsWarning warn)
    : VrekDB(driver),
      application_(application),
      registry_(std::move(registry)),
      warn_(std::move(warn)) {
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
      // Params holds the one copy of the password; VrekDB wipes it once connected.
      VrekDB.Params.Add(ParamLine("USER NAME=", ReadCoded(*Registry, "USERNAME")));
      VrekDB.Params.Add(ParamLine("PASSWORD=", ReadCoded(*Registry, "PASSWORD")));
      Registry->CloseKey();
    } else if (warn_) {
      warn_(Registry->KeyAbsence(key) + "，使用默认设置：数据源 " + VrekDB.AliasName + "，用户 " +
            VrekDB.Params.Value("USER NAME") +
            (VrekDB.Params.Value("PASSWORD").empty() ? "，空密码" : "，所存的密码"));
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

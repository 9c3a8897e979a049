// The upgrade window bound to the real pinyin library: the initials stored are the library's for
// the name's GBK bytes. Leaks of the results are caught by the sanitizer build.
#include <gtest/gtest.h>

#include <cstdlib>

#include "PinYin.h"
#include "pinyin_spy.h"
#include "text/text.h"
#include "upgrade_fixture.h"

namespace {

std::string LibraryInitials(const std::string& utf8) {
  std::string gbk = text::Utf8ToGbk(utf8, text::Mode::kStrict);
  char* out = nullptr;
  GetPinYinFirstChar(gbk.c_str(), gbk.size(), &out);
  std::string r = out ? out : "";
  std::free(out);
  return r;
}

TEST(PinYinLibrary, StoresTheLibrarysInitials) {
  Upgrade up(ReadFixture("old_register.sql"));
  up.use_library_pinyin = true;
  const RunResult r = up.Run();
  ASSERT_EQ(r.shown, std::vector<platform::ShownMessageBox>{kDoneBox});
  const std::vector<std::string> names = up.AssetNames();
  const Table stored = up.Select("select gn_name, gn_pinyin from lib_vrek_name");
  ASSERT_EQ(stored.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    std::string initials = LibraryInitials(names[i]);
    while (!initials.empty() && initials.back() == ' ') initials.pop_back();
    EXPECT_EQ(stored[i][1], initials);
  }
}

}  // namespace

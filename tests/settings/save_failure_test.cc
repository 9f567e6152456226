// A save that fails part-way (a full disk, a refused close, a refused
// replace) reports 0 and leaves the old file as it was, in both formats.
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/text.h"
#include "settings/secure_ini_document.h"
#include "tests/support/temp_env.h"

namespace qorlog {
namespace {

using platform::fault::Call;
using platform::fault::ScopedPlan;

TEST(SettingsSaveFailure, OldFileStaysWhole) {
  testing::TempDir dir;
  const auto path = dir.path() / "s.ui";
  const std::u16string upath = platform::Utf8ToUtf16(path.string());
  struct Case {
    const char* what;
    Call call;
    DWORD error;
    std::uint32_t cut;  // bytes the write moves before the failure (0: none)
  } cases[] = {
      {"disk full part-way", Call::kWrite, platform::kErrorDiskFull, 7},
      {"disk full at once", Call::kWrite, platform::kErrorDiskFull, 0},
      {"close fails", Call::kClose, platform::kErrorDiskFull, 0},
      {"replace refused", Call::kRename, platform::kErrorAccessDenied, 0},
  };
  for (DWORD format : {INI_FORMAT_HEX, INI_FORMAT_CONTAINER}) {
    for (const auto& c : cases) {
      CSecureIniDocument old_doc;
      old_doc.SetText(u"[s]\nk=old\n");
      ASSERT_EQ(old_doc.Save(upath, format), 1);
      const std::string before = testing::ReadFile(path);

      CSecureIniDocument doc;
      doc.SetText(u"[s]\nk=new and longer than before\n");
      {
        ScopedPlan plan;
        if (c.cut != 0) {
          plan.Cut(c.call, 1, c.cut).Fail(c.call, 2, c.error);
        } else {
          plan.Fail(c.call, 1, c.error);
        }
        EXPECT_EQ(doc.Save(upath, format), 0) << c.what;
      }
      EXPECT_EQ(testing::ReadFile(path), before) << c.what;
      CSecureIniDocument back;
      ASSERT_EQ(back.LoadFile(upath, 0), 1) << c.what;
      EXPECT_EQ(back.GetString(u"s", u"k"), u"old") << c.what;
      // Nothing is left beside it, and the next save goes through.
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << c.what;
      ASSERT_EQ(doc.Save(upath, format), 1) << c.what;
      ASSERT_EQ(back.LoadFile(upath, 0), 1);
      EXPECT_EQ(back.GetString(u"s", u"k"), u"new and longer than before") << c.what;
    }
  }
}

}  // namespace
}  // namespace qorlog

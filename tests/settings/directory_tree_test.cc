// Creating a folder together with its missing parents.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text.h"
#include "settings/secure_ini_document.h"
#include "tests/support/temp_env.h"

namespace qorlog {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

BOOL MakeTree(const fs::path& path) {
  return CSecureIniDocument::MakeDirectoryTree(platform::Utf8ToUtf16(path.string()));
}

TEST(MakeDirectoryTree, CreatesMissingParentsOnceAndFailsBelowAFile) {
  TempDir dir;
  EXPECT_EQ(MakeTree(dir.path() / "a" / "b" / "c"), 1);
  EXPECT_TRUE(fs::is_directory(dir.path() / "a" / "b" / "c"));
  EXPECT_EQ(MakeTree(dir.path() / "x" / "y" / ""), 1);  // trailing separator
  EXPECT_TRUE(fs::is_directory(dir.path() / "x" / "y"));
  // An existing folder is not created again.
  EXPECT_EQ(MakeTree(dir.path()), 0);
  EXPECT_EQ(MakeTree(dir.path() / "a" / "b" / "c"), 0);
  // Below a file, and a relative name without a parent.
  testing::WriteFile(dir.path() / "file", "x");
  EXPECT_EQ(MakeTree(dir.path() / "file" / "sub" / "deeper"), 0);
  EXPECT_FALSE(fs::exists(dir.path() / "file" / "sub"));
  EXPECT_EQ(CSecureIniDocument::MakeDirectoryTree(u""), 0);
}

}  // namespace
}  // namespace qorlog

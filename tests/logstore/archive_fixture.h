// Test helpers for the archive and the record objects: store through an
// archive into a temporary file and get its bytes back, or load from a file
// that holds given bytes.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "logstore/archive.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {

// Builds a byte string from a list of byte values.
inline std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

class ArchiveFixture : public ::testing::Test {
 public:
  std::filesystem::path FilePath(const std::string& name = "data.log") const { return dir_.path() / name; }

  // Runs `body` on a store archive over a fresh file, closes it, and returns
  // the file's bytes.
  std::string Store(const std::function<void(Archive&)>& body) {
    platform::File file;
    const auto path = platform::Utf8ToUtf16(FilePath("stored.log").string());
    EXPECT_TRUE(file.Open(path, platform::File::modeCreate | platform::File::modeReadWrite));
    {
      Archive ar(file, Archive::kStore);
      body(ar);
      ar.Close();
    }
    file.Close();
    return ReadFile(FilePath("stored.log"));
  }

  // Writes `bytes` to the file and opens it for reading in `file_`.
  platform::File& OpenWith(const std::string& bytes) {
    WriteFile(FilePath(), bytes);
    file_.Close();
    EXPECT_TRUE(file_.Open(platform::Utf8ToUtf16(FilePath().string()),
                           platform::File::modeRead | platform::File::shareDenyNone));
    return file_;
  }

  TempDir dir_;
  platform::File file_;
};

}  // namespace qorlog::testing

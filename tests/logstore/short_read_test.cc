// A reader that meets the end of a file inside a record's time stamp, while
// the writer goes on appending: the array read ends at the last whole
// record, and the rest of the cut time stamp is never read as the fields
// that follow it.
#include <cstdlib>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "logstore/log_reader.h"
#include "platform/fault_injection.h"
#include "tests/logstore/log_file_builder.h"

namespace qorlog {
namespace {

using platform::fault::Call;
using platform::fault::ScopedPlan;

void* Alloc(std::size_t bytes) {
  static std::vector<std::unique_ptr<void, decltype(&std::free)>> blocks;
  void* p = std::calloc(1, bytes == 0 ? 1 : bytes);
  blocks.emplace_back(p, &std::free);
  return p;
}

TEST(ShortReadTest, TimeStampCutShortEndsTheArrayRead) {
  testing::TempDir dir;
  const auto path = dir.path() / "2024030500.log";
  const std::string first = testing::RecordBytes(testing::Simple(1, 10));
  testing::WriteFile(path, testing::HeaderBytes(2) + first + testing::RecordBytes(testing::Simple(2, 20)));
  CLogReader reader;
  ASSERT_EQ(reader.Open(platform::Utf8ToUtf16(path.string())), 0u);

  stSIMPLE_LOG_W* array = nullptr;
  DWORD count = 0;
  {
    // At the moment of reading, the file ends 5 bytes into the second
    // record's time stamp (two reads see that end); later reads find it
    // grown to its full length.
    ScopedPlan plan;
    plan.Cut(Call::kRead, 1, static_cast<std::uint32_t>(first.size() + 5))
        .Cut(Call::kRead, 2, 0)
        .Cut(Call::kRead, 3, 0);
    ASSERT_EQ(reader.ReadSimpleLogArray(&Alloc, &array, &count), 0u);
  }
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(array[0].dwCode, 1u);
  EXPECT_EQ(array[0].dwSubCode, 10u);

  // Once the record is whole, the next array read has both.
  ASSERT_EQ(reader.ReadSimpleLogArray(&Alloc, &array, &count), 0u);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(array[0].dwCode, 2u);
}

}  // namespace
}  // namespace qorlog

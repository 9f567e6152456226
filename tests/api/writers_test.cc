// The six writers through the shared library: conversion and truncation,
// identical bytes from narrow and wide writers, every field in its place,
// null records, and pruning by kind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "api/qorlog.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace {

using qorlog::testing::ReadFile;

class WritersTest : public ::testing::Test {
 protected:
  void SetUp() override { QORLOG_SKIP_UNLESS_USABLE(program_files_); }
  // The path of the only file of a category.
  std::filesystem::path OnlyPath(const std::string& category) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(program_files_.CategoryFolder(category))) {
      files.push_back(e.path());
    }
    EXPECT_EQ(files.size(), 1u);
    return files.empty() ? std::filesystem::path() : files[0];
  }
  // After a narrow and a wide write of the same values, the category's file
  // holds two records that differ only in their 16 time bytes; returns them
  // as the array read hands them out.
  template <typename Record>
  std::vector<Record> Twins(const std::string& category, DWORD (*read)(void*, Record**, DWORD*),
                            DWORD (*free)(Record*)) {
    const std::string bytes = ReadFile(OnlyPath(category));
    const std::size_t length = (bytes.size() - 12) / 2;
    EXPECT_EQ(bytes.substr(12 + 16, length - 16), bytes.substr(12 + length + 16));
    void* log = nullptr;
    EXPECT_EQ(QORLOG_OpenLogFile(qorlog::platform::Utf8ToUtf16(OnlyPath(category).string()).c_str(), &log), 0u);
    Record* array = nullptr;
    DWORD count = 0;
    EXPECT_EQ(read(log, &array, &count), 0u);
    std::vector<Record> records(array, array + (array == nullptr ? 0 : count));
    if (array != nullptr) free(array);
    QORLOG_CloseLog(log);
    EXPECT_EQ(records.size(), 2u);
    return records;
  }
  qorlog::testing::IsolatedEnv env_;
  qorlog::testing::ProgramFilesScope program_files_{env_};
};

// Field values of each kind, the same through the narrow and the wide
// writer; the texts hold two- and three-byte UTF-8 characters. On Windows
// narrow text is in the ANSI code page (its conversion is the platform
// tests' affair): plain ASCII there.
#ifdef _WIN32
const std::string kText = "hello world";
#else
const std::string kText = "h\xC3\xA9llo w\xE2\x82\xACrld";
#endif
void Text(char* field, std::size_t size, const std::string& tag) {
  std::snprintf(field, size, "%s %s", tag.c_str(), kText.c_str());
}
void Text(WCHAR* field, std::size_t size, const std::string& tag) {
  qorlog::platform::CopyTruncated(field, size, qorlog::platform::Utf8ToUtf16(tag + " " + kText));
}
std::u16string Expected(const std::string& tag) { return qorlog::platform::Utf8ToUtf16(tag + " " + kText); }
std::u16string Field(const WCHAR* text) { return text; }

// The same values for a narrow and a wide record of a kind, a value of its
// own in every field.
template <typename Record>
Record Filled() {
  Record r = {};
  r.dwCode = 11;
  r.dwSubCode = 12;
  Text(r.szText260, 260, "t260");
  if constexpr (requires { r.szText64; }) Text(r.szText64, 64, "t64");
  if constexpr (requires { r.szText64b; }) {
    r.dwParam = 0xFFFFFFFF;
    Text(r.szText64b, 64, "t64b");
  }
  return r;
}

TEST_F(WritersTest, NarrowAndWideWritersStoreEveryFieldInItsPlace) {
  const auto pa = Filled<stPC_SCAN_LOG_A>();
  const auto pw = Filled<stPC_SCAN_LOG_W>();
  ASSERT_EQ(QORLOG_WritePCScanLogA(&pa), 0u);
  ASSERT_EQ(QORLOG_WritePCScanLogW(&pw), 0u);
  for (const auto& r : Twins("pc scan", &QORLOG_ReadPCScanLogArray, &QORLOG_FreePCScanLogArray)) {
    EXPECT_EQ(std::tuple(r.dwCode, r.dwSubCode, Field(r.szText64), Field(r.szText260)),
              std::tuple(11u, 12u, Expected("t64"), Expected("t260")));
  }
  const auto fa = Filled<stFW_LOG_A>();
  const auto fw = Filled<stFW_LOG_W>();
  ASSERT_EQ(QORLOG_WriteFWLogA(&fa), 0u);
  ASSERT_EQ(QORLOG_WriteFWLogW(&fw), 0u);
  for (const auto& r : Twins("firewall", &QORLOG_ReadFWLogArray, &QORLOG_FreeFWLogArray)) {
    EXPECT_EQ(std::tuple(r.dwCode, r.dwSubCode, r.dwParam, Field(r.szText64), Field(r.szText260), Field(r.szText64b)),
              std::tuple(11u, 12u, 0xFFFFFFFFu, Expected("t64"), Expected("t260"), Expected("t64b")));
  }
  const auto sa = Filled<stSIMPLE_LOG_A>();
  const auto sw = Filled<stSIMPLE_LOG_W>();
  ASSERT_EQ(QORLOG_WriteSimpleLogA(1003, &sa), 0u);
  ASSERT_EQ(QORLOG_WriteSimpleLogW(1003, &sw), 0u);
  for (const auto& r : Twins("secure browser", &QORLOG_ReadSimpleLogArray, &QORLOG_FreeSimpleLogArray)) {
    EXPECT_EQ(std::tuple(r.dwCode, r.dwSubCode, Field(r.szText260)), std::tuple(11u, 12u, Expected("t260")));
  }
}

TEST_F(WritersTest, TextsAreCutToTheirFields) {
  // 63 and 259 characters fill a field; longer texts are cut there, and a
  // narrow field without a NUL is read no further than its end.
  stPC_SCAN_LOG_A a;
  std::memset(&a, 'x', sizeof a);  // no NUL anywhere in the texts
  a.dwCode = 1;
  a.dwSubCode = 2;
  ASSERT_EQ(QORLOG_WritePCScanLogA(&a), 0u);
  const std::string bytes = ReadFile(OnlyPath("pc scan"));
  // time 16, code 4, text64: FF FE FF 3F + 126 bytes, subcode 4, text260: FF FE FF FF 03 01 + 518 bytes
  ASSERT_EQ(bytes.size(), 12u + 16 + 4 + 4 + 126 + 4 + 6 + 518);
  EXPECT_EQ(bytes.substr(12 + 20, 4), std::string("\xFF\xFE\xFF\x3F"));
  EXPECT_EQ(bytes.substr(12 + 20 + 4 + 126 + 4, 6), std::string("\xFF\xFE\xFF\xFF\x03\x01", 6));

  std::filesystem::remove_all(program_files_.CategoryFolder("pc scan"));
  stPC_SCAN_LOG_W w;
  std::memset(&w, 0x41, sizeof w);  // unterminated wide texts of U+4141
  ASSERT_EQ(QORLOG_WritePCScanLogW(&w), 0u);
  EXPECT_EQ(ReadFile(OnlyPath("pc scan")).size(), bytes.size());
}

TEST_F(WritersTest, NullRecordDoesNothingAndCallerRecordIsOnlyRead) {
  // The six writers share the check: a narrow and a wide one stand for all.
  EXPECT_EQ(QORLOG_WritePCScanLogA(nullptr), QORLOG_STATUS_NULL_RECORD);
  EXPECT_EQ(QORLOG_WriteSimpleLogW(1002, nullptr), QORLOG_STATUS_NULL_RECORD);
  EXPECT_FALSE(std::filesystem::exists(program_files_.path() / "Varnok"));

  stSIMPLE_LOG_W w = {};
  w.stTime.wYear = 1999;
  const stSIMPLE_LOG_W before = w;
  ASSERT_EQ(QORLOG_WriteSimpleLogW(5000, &w), 0u);
  EXPECT_EQ(std::memcmp(&w, &before, sizeof w), 0);
  const std::string bytes = ReadFile(OnlyPath("etc"));         // kind 5000 goes to "etc"
  EXPECT_NE(bytes.substr(12, 2), std::string("\xCF\x07", 2));  // 1999 never reaches the file
}

TEST_F(WritersTest, ReduceLogByKind) {
  EXPECT_EQ(QORLOG_ReduceLog(1001), QORLOG_STATUS_PATH_NOT_FOUND);
  stFW_LOG_W w = {};
  ASSERT_EQ(QORLOG_WriteFWLogW(&w), 0u);
  EXPECT_EQ(QORLOG_ReduceLog(1001), 0u);
  EXPECT_EQ(QORLOG_ReduceLog(999), QORLOG_STATUS_PATH_NOT_FOUND);  // "etc", not made yet
}

}  // namespace

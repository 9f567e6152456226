// The six writers through the shared library: conversion and truncation,
// identical bytes from narrow and wide writers, every field in its place,
// null records, and pruning by kind.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/qorlog.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace {

using qorlog::testing::ReadFile;

class WritersTest : public ::testing::Test {
 protected:
  // The bytes of the only file of a category.
  std::string OnlyFile(const std::string& category) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(env_.CategoryFolder(category))) files.push_back(e.path());
    EXPECT_EQ(files.size(), 1u);
    return files.empty() ? std::string() : ReadFile(files[0]);
  }
  void Reset(const std::string& category) { std::filesystem::remove_all(env_.CategoryFolder(category)); }
  // The path of the only file of a category.
  std::filesystem::path OnlyPath(const std::string& category) {
    std::filesystem::path found;
    for (const auto& e : std::filesystem::directory_iterator(env_.CategoryFolder(category))) found = e.path();
    return found;
  }
  // Records carry the time of the append; blank the 16 time bytes of each
  // record at `offsets` so two files can be compared.
  static std::string WithoutTimes(std::string bytes, std::initializer_list<std::size_t> offsets) {
    for (std::size_t off : offsets) bytes.replace(off, 16, 16, '\0');
    return bytes;
  }
  qorlog::testing::IsolatedEnv env_;
};

TEST_F(WritersTest, NarrowAndWideWritersStoreTheSameBytes) {
  const std::string text = "h\xC3\xA9llo w\xE2\x82\xACrld";  // UTF-8 with two- and three-byte characters
  stSIMPLE_LOG_A a = {};
  a.dwCode = 3;
  a.dwSubCode = 4;
  std::snprintf(a.szText260, sizeof a.szText260, "%s", text.c_str());
  stSIMPLE_LOG_W w = {};
  w.dwCode = 3;
  w.dwSubCode = 4;
  qorlog::platform::CopyTruncated(w.szText260, 260, qorlog::platform::Utf8ToUtf16(text));
  ASSERT_EQ(QORLOG_WriteSimpleLogA(1002, &a), 0u);
  const std::string narrow = OnlyFile("anti keylogger");
  Reset("anti keylogger");
  ASSERT_EQ(QORLOG_WriteSimpleLogW(1002, &w), 0u);
  EXPECT_EQ(WithoutTimes(OnlyFile("anti keylogger"), {12}), WithoutTimes(narrow, {12}));

  stFW_LOG_A fa = {};
  stFW_LOG_W fw = {};
  fa.dwParam = fw.dwParam = 0xFFFFFFFF;
  fa.dwSubCode = fw.dwSubCode = 7;
  std::snprintf(fa.szText64, 64, "in");
  std::snprintf(fa.szText64b, 64, "out");
  qorlog::platform::CopyTruncated(fw.szText64, 64, u"in");
  qorlog::platform::CopyTruncated(fw.szText64b, 64, u"out");
  ASSERT_EQ(QORLOG_WriteFWLogA(&fa), 0u);
  const std::string fw_narrow = OnlyFile("firewall");
  Reset("firewall");
  ASSERT_EQ(QORLOG_WriteFWLogW(&fw), 0u);
  EXPECT_EQ(WithoutTimes(OnlyFile("firewall"), {12}), WithoutTimes(fw_narrow, {12}));

  stPC_SCAN_LOG_A pa = {};
  stPC_SCAN_LOG_W pw = {};
  std::snprintf(pa.szText260, 260, "%s", text.c_str());
  qorlog::platform::CopyTruncated(pw.szText260, 260, qorlog::platform::Utf8ToUtf16(text));
  ASSERT_EQ(QORLOG_WritePCScanLogA(&pa), 0u);
  const std::string pc_narrow = OnlyFile("pc scan");
  Reset("pc scan");
  ASSERT_EQ(QORLOG_WritePCScanLogW(&pw), 0u);
  EXPECT_EQ(WithoutTimes(OnlyFile("pc scan"), {12}), WithoutTimes(pc_narrow, {12}));
}

TEST_F(WritersTest, TextsAreCutToTheirFields) {
  // 63 and 259 characters fill a field; longer texts are cut there, and a
  // narrow field without a NUL is read no further than its end.
  stPC_SCAN_LOG_A a;
  std::memset(&a, 'x', sizeof a);  // no NUL anywhere in the texts
  a.dwCode = 1;
  a.dwSubCode = 2;
  ASSERT_EQ(QORLOG_WritePCScanLogA(&a), 0u);
  const std::string bytes = OnlyFile("pc scan");
  // time 16, code 4, text64: FF FE FF 3F + 126 bytes, subcode 4, text260: FF FE FF FF 03 01 + 518 bytes
  ASSERT_EQ(bytes.size(), 12u + 16 + 4 + 4 + 126 + 4 + 6 + 518);
  EXPECT_EQ(bytes.substr(12 + 20, 4), std::string("\xFF\xFE\xFF\x3F"));
  EXPECT_EQ(bytes.substr(12 + 20 + 4 + 126 + 4, 6), std::string("\xFF\xFE\xFF\xFF\x03\x01", 6));

  Reset("pc scan");
  stPC_SCAN_LOG_W w;
  std::memset(&w, 0x41, sizeof w);  // unterminated wide texts of U+4141
  ASSERT_EQ(QORLOG_WritePCScanLogW(&w), 0u);
  EXPECT_EQ(OnlyFile("pc scan").size(), bytes.size());
}

TEST_F(WritersTest, NullRecordDoesNothingAndCallerRecordIsOnlyRead) {
  EXPECT_EQ(QORLOG_WritePCScanLogA(nullptr), QORLOG_STATUS_NULL_RECORD);
  EXPECT_EQ(QORLOG_WritePCScanLogW(nullptr), QORLOG_STATUS_NULL_RECORD);
  EXPECT_EQ(QORLOG_WriteFWLogA(nullptr), QORLOG_STATUS_NULL_RECORD);
  EXPECT_EQ(QORLOG_WriteFWLogW(nullptr), QORLOG_STATUS_NULL_RECORD);
  EXPECT_EQ(QORLOG_WriteSimpleLogA(1002, nullptr), QORLOG_STATUS_NULL_RECORD);
  EXPECT_EQ(QORLOG_WriteSimpleLogW(1002, nullptr), QORLOG_STATUS_NULL_RECORD);
  EXPECT_FALSE(std::filesystem::exists(env_.program_files()));

  stSIMPLE_LOG_W w = {};
  w.stTime.wYear = 1999;
  const stSIMPLE_LOG_W before = w;
  ASSERT_EQ(QORLOG_WriteSimpleLogW(5000, &w), 0u);
  EXPECT_EQ(std::memcmp(&w, &before, sizeof w), 0);
  const std::string bytes = OnlyFile("etc");  // kind 5000 goes to "etc"
  EXPECT_NE(bytes.substr(12, 2), std::string("\xCF\x07", 2));  // 1999 never reaches the file
}

// Every field reaches the file in its own place, from the narrow and from the
// wide writer alike: distinct values in, read back through the array reads.
template <typename Record>
std::vector<Record> ReadBack(const std::filesystem::path& file, DWORD (*read)(void*, Record**, DWORD*),
                             DWORD (*free)(Record*)) {
  void* log = nullptr;
  EXPECT_EQ(QORLOG_OpenLogFile(qorlog::platform::Utf8ToUtf16(file.string()).c_str(), &log), 0u);
  Record* array = nullptr;
  DWORD count = 0;
  EXPECT_EQ(read(log, &array, &count), 0u);
  std::vector<Record> records(array, array + (array == nullptr ? 0 : count));
  if (array != nullptr) free(array);
  QORLOG_CloseLog(log);
  return records;
}

TEST_F(WritersTest, EveryFieldKeepsItsPlace) {
  using qorlog::platform::CopyTruncated;
  stPC_SCAN_LOG_A pa = {};
  pa.dwCode = 11;
  pa.dwSubCode = 12;
  std::snprintf(pa.szText64, 64, "p64");
  std::snprintf(pa.szText260, 260, "p260");
  stPC_SCAN_LOG_W pw = {};
  pw.dwCode = 11;
  pw.dwSubCode = 12;
  CopyTruncated(pw.szText64, 64, u"p64");
  CopyTruncated(pw.szText260, 260, u"p260");
  ASSERT_EQ(QORLOG_WritePCScanLogA(&pa), 0u);
  ASSERT_EQ(QORLOG_WritePCScanLogW(&pw), 0u);
  const auto pc = ReadBack(OnlyPath("pc scan"), &QORLOG_ReadPCScanLogArray, &QORLOG_FreePCScanLogArray);
  EXPECT_EQ(pc.size(), 2u);
  for (const auto& r : pc) {
    EXPECT_EQ(r.dwCode, 11u);
    EXPECT_EQ(r.dwSubCode, 12u);
    EXPECT_EQ(std::u16string_view(r.szText64), u"p64");
    EXPECT_EQ(std::u16string_view(r.szText260), u"p260");
  }

  stFW_LOG_A fa = {};
  fa.dwCode = 21;
  fa.dwSubCode = 22;
  fa.dwParam = 23;
  std::snprintf(fa.szText64, 64, "f64");
  std::snprintf(fa.szText260, 260, "f260");
  std::snprintf(fa.szText64b, 64, "f64b");
  stFW_LOG_W fw = {};
  fw.dwCode = 21;
  fw.dwSubCode = 22;
  fw.dwParam = 23;
  CopyTruncated(fw.szText64, 64, u"f64");
  CopyTruncated(fw.szText260, 260, u"f260");
  CopyTruncated(fw.szText64b, 64, u"f64b");
  ASSERT_EQ(QORLOG_WriteFWLogA(&fa), 0u);
  ASSERT_EQ(QORLOG_WriteFWLogW(&fw), 0u);
  const auto firewall = ReadBack(OnlyPath("firewall"), &QORLOG_ReadFWLogArray, &QORLOG_FreeFWLogArray);
  EXPECT_EQ(firewall.size(), 2u);
  for (const auto& r : firewall) {
    EXPECT_EQ(r.dwCode, 21u);
    EXPECT_EQ(r.dwSubCode, 22u);
    EXPECT_EQ(r.dwParam, 23u);
    EXPECT_EQ(std::u16string_view(r.szText64), u"f64");
    EXPECT_EQ(std::u16string_view(r.szText260), u"f260");
    EXPECT_EQ(std::u16string_view(r.szText64b), u"f64b");
  }

  stSIMPLE_LOG_A sa = {};
  sa.dwCode = 31;
  sa.dwSubCode = 32;
  std::snprintf(sa.szText260, 260, "s260");
  stSIMPLE_LOG_W sw = {};
  sw.dwCode = 31;
  sw.dwSubCode = 32;
  CopyTruncated(sw.szText260, 260, u"s260");
  ASSERT_EQ(QORLOG_WriteSimpleLogA(1003, &sa), 0u);
  ASSERT_EQ(QORLOG_WriteSimpleLogW(1003, &sw), 0u);
  const auto simple = ReadBack(OnlyPath("secure browser"), &QORLOG_ReadSimpleLogArray, &QORLOG_FreeSimpleLogArray);
  EXPECT_EQ(simple.size(), 2u);
  for (const auto& r : simple) {
    EXPECT_EQ(r.dwCode, 31u);
    EXPECT_EQ(r.dwSubCode, 32u);
    EXPECT_EQ(std::u16string_view(r.szText260), u"s260");
  }
}

TEST_F(WritersTest, ReduceLogByKind) {
  EXPECT_EQ(QORLOG_ReduceLog(1001), QORLOG_STATUS_PATH_NOT_FOUND);
  stFW_LOG_W w = {};
  ASSERT_EQ(QORLOG_WriteFWLogW(&w), 0u);
  EXPECT_EQ(QORLOG_ReduceLog(1001), 0u);
  EXPECT_EQ(QORLOG_ReduceLog(999), QORLOG_STATUS_PATH_NOT_FOUND);  // "etc", not made yet
}

}  // namespace

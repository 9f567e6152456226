// The library's exported surface and the Program Files export.
#include <cstdio>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "api/qorlog.h"
#include "tests/support/temp_env.h"

namespace {

const std::set<std::string> kExports = {
    "QORLOG_WritePCScanLogA", "QORLOG_WritePCScanLogW", "QORLOG_WriteFWLogA",
    "QORLOG_WriteFWLogW", "QORLOG_WriteSimpleLogA", "QORLOG_WriteSimpleLogW",
    "QORLOG_GetLogFileCnt", "QORLOG_OpenLogFile", "QORLOG_OpenLogFiles",
    "QORLOG_GetLogItemCnt", "_Z20QORLOG_ReadPCScanLogPvP15stPC_SCAN_LOG_W",
    "QORLOG_ReadPCScanLogArray", "QORLOG_ReadFWLogArray", "QORLOG_ReadSimpleLogArray",
    "QORLOG_FreePCScanLogArray", "QORLOG_FreeFWLogArray", "QORLOG_FreeSimpleLogArray",
    "QORLOG_FreeLogHeader", "QORLOG_CloseLog", "QORLOG_GetProgramFilesPath",
    "QORLOG_ReduceLog"};

TEST(ExportsTest, OnlyTheQorlogFunctionsAreExported) {
  const std::string cmd = std::string("nm -D --defined-only ") + QORLOG_LIBRARY_FILE;
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512];
  std::set<std::string> found;
  while (fgets(line, sizeof line, pipe) != nullptr) {
    char type = 0;
    char name[400] = {};
    if (sscanf(line, "%*s %c %399s", &type, name) == 2) found.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  // Exactly the 21 functions: nothing missing, nothing extra.
  EXPECT_EQ(found, kExports);
}

// The registry's error passes through; the codes are log_util_test's, the
// path itself the guard test's.
TEST(ExportsTest, ProgramFilesPathPassesTheRegistryErrorOn) {
  qorlog::testing::IsolatedEnv env;
  WCHAR buf[260];
  qorlog::testing::WriteFile(env.registry_file(), "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\n");
  EXPECT_EQ(QORLOG_GetProgramFilesPath(buf, 260), QORLOG_STATUS_INVALID_DATA);
}

}  // namespace

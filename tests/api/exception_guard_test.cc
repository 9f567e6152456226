// No exception leaves an export. The guard's own rule (which exception gives
// which status), then each family of exports with every one of its
// allocations failing in turn: the first, the second, ... until a call runs
// through. Each such call must come back with one of the export's statuses,
// never with an exception, and leak nothing (the sanitizer build checks).
#include <cstring>
#include <functional>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/guard.h"
#include "api/qorlog.h"
#include "platform/text.h"
#include "tests/support/failing_allocation.h"
#include "tests/support/temp_env.h"

namespace qorlog {
namespace {

using testing::AllocationFailed;
using testing::FailAllocation;

TEST(GuardTest, ExceptionsBecomeStatuses) {
  struct Case {
    const char* what;
    std::function<DWORD()> body;
    DWORD status;
  };
  const Case cases[] = {
      {"a status passes", [] { return DWORD{234}; }, 234},
      {"bad_alloc", []() -> DWORD { throw std::bad_alloc(); }, QORLOG_STATUS_OUT_OF_MEMORY},
      {"derived from bad_alloc", []() -> DWORD { throw std::bad_array_new_length(); }, QORLOG_STATUS_OUT_OF_MEMORY},
      {"another std::exception", []() -> DWORD { throw std::runtime_error("x"); }, QORLOG_STATUS_LOG_ERROR},
      {"not a std::exception", []() -> DWORD { throw 7; }, QORLOG_STATUS_LOG_ERROR},
  };
  for (const Case& c : cases) EXPECT_EQ(api::Guarded(c.body), c.status) << c.what;
}

// One export call of a family, with the outcomes it may have when an
// allocation fails and the one it must have when none does.
struct ExportCase {
  const char* name;
  std::function<DWORD()> call;
  std::set<DWORD> when_memory_fails;
  DWORD when_all_goes_well = QORLOG_STATUS_OK;
};

// Runs the call with its 1st, 2nd, ... allocation failing until one run
// reaches no failing allocation, and checks every outcome. Every case of the
// tables allocates, so a run that fails nothing at the first allocation
// means the failure did not reach the library. The calls themselves must not
// allocate outside the library.
void FailEachAllocationInTurn(const ExportCase& c) {
  SCOPED_TRACE(c.name);
  for (long n = 1;; ++n) {
    FailAllocation(n);
    DWORD outcome = 0;
    try {
      outcome = c.call();
    } catch (...) {
      FailAllocation(0);
      ADD_FAILURE() << "an exception left the library when allocation " << n << " failed";
      return;
    }
    const bool failed = AllocationFailed();
    FailAllocation(0);
    if (!failed) {
      EXPECT_GT(n, 1) << "no allocation failed";
      EXPECT_EQ(outcome, c.when_all_goes_well) << "with every allocation served";
      return;
    }
    EXPECT_TRUE(c.when_memory_fails.count(outcome) != 0) << "allocation " << n << " failed, outcome " << outcome;
  }
}

constexpr DWORD kOk = QORLOG_STATUS_OK;
constexpr DWORD kNoMemory = QORLOG_STATUS_OUT_OF_MEMORY;
constexpr DWORD kLogError = QORLOG_STATUS_LOG_ERROR;
// A read that reported success with other data than was written.
constexpr DWORD kWrongData = 0xBAD;

class ExportFamilyTest : public ::testing::Test {
 protected:
  // One file per record kind, with one record each.
  void WriteOneOfEachKind() {
    stPC_SCAN_LOG_W pc = {};
    stFW_LOG_W fw = {};
    stSIMPLE_LOG_W simple = {};
    platform::CopyTruncated(simple.szText260, 260, u"simple");
    ASSERT_EQ(QORLOG_WritePCScanLogW(&pc), 0u);
    ASSERT_EQ(QORLOG_WriteFWLogW(&fw), 0u);
    ASSERT_EQ(QORLOG_WriteSimpleLogW(QORLOG_KIND_ANTIKEYLOGGER, &simple), 0u);
  }
  std::u16string OnlyFile(const std::string& category) const {
    for (const auto& e : std::filesystem::directory_iterator(env_.CategoryFolder(category))) {
      return platform::Utf8ToUtf16(e.path().string());
    }
    return {};
  }
  testing::IsolatedEnv env_;
};

TEST_F(ExportFamilyTest, Writers) {
  // Narrow texts long enough that converting them allocates.
  stPC_SCAN_LOG_A pa = {};
  std::strcpy(pa.szText260, "a narrow text");
  stPC_SCAN_LOG_W pw = {};
  stFW_LOG_A fa = {};
  std::strcpy(fa.szText64b, "a narrow text");
  stFW_LOG_W fw = {};
  stSIMPLE_LOG_A sa = {};
  std::strcpy(sa.szText260, "a narrow text");
  stSIMPLE_LOG_W sw = {};
  // The append reports its own failures as 1627; memory that runs out
  // outside it (converting a narrow text, reading the log policy) is 8.
  const std::set<DWORD> statuses = {kNoMemory, kLogError};
  const ExportCase cases[] = {
      {"QORLOG_WritePCScanLogA", [&] { return QORLOG_WritePCScanLogA(&pa); }, statuses},
      {"QORLOG_WritePCScanLogW", [&] { return QORLOG_WritePCScanLogW(&pw); }, statuses},
      {"QORLOG_WriteFWLogA", [&] { return QORLOG_WriteFWLogA(&fa); }, statuses},
      {"QORLOG_WriteFWLogW", [&] { return QORLOG_WriteFWLogW(&fw); }, statuses},
      {"QORLOG_WriteSimpleLogA", [&] { return QORLOG_WriteSimpleLogA(1002, &sa); }, statuses},
      {"QORLOG_WriteSimpleLogW", [&] { return QORLOG_WriteSimpleLogW(1002, &sw); }, statuses},
  };
  for (const ExportCase& c : cases) FailEachAllocationInTurn(c);
}

// Opens `path`, runs `read` on the handle and closes it: the first status
// that is not 0.
template <typename Read>
DWORD WithHandle(const std::u16string& path, Read read) {
  void* log = nullptr;
  DWORD status = QORLOG_OpenLogFile(path.c_str(), &log);
  if (status == kOk) status = read(log);
  QORLOG_CloseLog(log);
  return status;
}

// The reader reports memory it could not get as 8 and a read that an
// exception ended as 1627; neither hands anything out.
const std::set<DWORD> kReadStatuses = {kNoMemory, kLogError};

// An array read of `path`, which holds one record, and the free of the array.
template <typename Record>
ExportCase ArrayRead(const char* name, const std::u16string& path, DWORD (*read)(void*, Record**, DWORD*),
                     DWORD (*free)(Record*)) {
  return {name,
          [&path, read, free] {
            return WithHandle(path, [read, free](void* log) {
              Record* array = nullptr;
              DWORD count = 0;
              const DWORD status = read(log, &array, &count);
              if (status != kOk) return status;
              return count == 1 && array != nullptr && free(array) == kOk ? kOk : kWrongData;
            });
          },
          kReadStatuses};
}

TEST_F(ExportFamilyTest, ReadersLocationsAndPruning) {
  WriteOneOfEachKind();
  const std::u16string pc = OnlyFile("pc scan");
  const std::u16string fw = OnlyFile("firewall");
  const std::u16string simple = OnlyFile("anti keylogger");
  const std::u16string program_files = platform::Utf8ToUtf16(env_.program_files().string());
  stLOG_FILE_ITEM* files = nullptr;
  ASSERT_EQ(QORLOG_GetLogFileCnt(QORLOG_KIND_FIREWALL, &files), 1u);
  const ExportCase cases[] = {
      // The result is a count; a list that could not be made is empty.
      {"QORLOG_GetLogFileCnt",
       [] {
         stLOG_FILE_ITEM* list = nullptr;
         const DWORD count = QORLOG_GetLogFileCnt(QORLOG_KIND_FIREWALL, &list);
         if (list != nullptr) QORLOG_FreeFWLogArray(reinterpret_cast<stFW_LOG_W*>(list));
         return count;
       },
       {0, 1},
       1},
      {"QORLOG_OpenLogFile and QORLOG_CloseLog", [&] { return WithHandle(fw, [](void*) { return kOk; }); },
       {kNoMemory}},
      {"QORLOG_OpenLogFiles and QORLOG_CloseLog",
       [&] {
         void* log = nullptr;
         const DWORD status = QORLOG_OpenLogFiles(0, &files, &log);
         QORLOG_CloseLog(log);
         return status;
       },
       {kNoMemory}},
      {"QORLOG_GetLogItemCnt, QORLOG_FreeLogHeader and QORLOG_ReadPCScanLog",
       [&] {
         return WithHandle(pc, [](void* log) {
           stLOG_HEADER* header = nullptr;
           const DWORD status = QORLOG_GetLogItemCnt(log, &header);
           if (status != kOk) return status;
           if (header == nullptr || header->dwItemCount != 1 || QORLOG_FreeLogHeader(header) != kOk) return kWrongData;
           stPC_SCAN_LOG_W record;
           return QORLOG_ReadPCScanLog(log, &record);
         });
       },
       kReadStatuses},
      ArrayRead("QORLOG_ReadPCScanLogArray", pc, &QORLOG_ReadPCScanLogArray, &QORLOG_FreePCScanLogArray),
      ArrayRead("QORLOG_ReadFWLogArray", fw, &QORLOG_ReadFWLogArray, &QORLOG_FreeFWLogArray),
      ArrayRead("QORLOG_ReadSimpleLogArray", simple, &QORLOG_ReadSimpleLogArray, &QORLOG_FreeSimpleLogArray),
      {"QORLOG_GetProgramFilesPath",
       [&] {
         WCHAR buffer[260] = {};
         const DWORD status = QORLOG_GetProgramFilesPath(buffer, 260);
         if (status != kOk) return status;
         return std::u16string_view(buffer) == program_files ? kOk : kWrongData;
       },
       {kNoMemory}},
      {"QORLOG_ReduceLog", [] { return QORLOG_ReduceLog(QORLOG_KIND_FIREWALL); }, {kNoMemory}},
  };
  for (const ExportCase& c : cases) FailEachAllocationInTurn(c);
  EXPECT_EQ(QORLOG_FreeFWLogArray(reinterpret_cast<stFW_LOG_W*>(files)), 0u);
}

}  // namespace
}  // namespace qorlog

// Loading and unloading the shared library: the service helper is loaded by
// the first append that needs it and freed when the library is unloaded; a
// process that never appends never loads it. This program does not link the
// library; it opens it with dlopen, as a component of the suite would.
#include <dlfcn.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/qorlog.h"
#include "tests/support/temp_env.h"
#include "tests/svchelper/fake_helper.h"

// Opening a sanitized library makes the UBSan runtime run initialisers of its
// own (frames wholly inside libubsan, under the loader's call_init) that
// allocate; after dlclose nothing points at those blocks and LeakSanitizer
// reports them. Its frames carry no symbols, so the suppression names the
// loader's frame; the other test programs link the library and still catch
// leaks of its own initialisers.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:call_init\n";
}

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using qorlog::testing::FakeHelperEnv;

class LibraryLifetimeTest : public ::testing::Test {
 protected:
  void SetUp() override { qorlog::testing::InstallHelper(env_.program_files(), qorlog::testing::FakeHelperFile()); }
  qorlog::testing::IsolatedEnv env_;
  FakeHelperEnv helper_{env_.root() / "calls.txt"};
};

TEST_F(LibraryLifetimeTest, UnloadFreesTheHelperThatAnAppendLoaded) {
  void* lib = dlopen(QORLOG_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto write = reinterpret_cast<DWORD (*)(DWORD, const stSIMPLE_LOG_A*)>(dlsym(lib, "QORLOG_WriteSimpleLogA"));
  ASSERT_NE(write, nullptr);
  stSIMPLE_LOG_A record = {};
  ASSERT_EQ(write(1002, &record), 0u);
  ASSERT_EQ(write(1002, &record), 0u);
  auto calls = helper_.Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "load"), 1);
  EXPECT_THAT(calls, ::testing::Not(Contains("unload")));
  ASSERT_EQ(dlclose(lib), 0);
  calls = helper_.Calls();
  EXPECT_EQ(calls.back(), "unload");
}

TEST_F(LibraryLifetimeTest, LibraryThatNeverAppendsNeverLoadsTheHelper) {
  void* lib = dlopen(QORLOG_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  // The writers' mutex was created at load.
  EXPECT_TRUE(std::filesystem::exists(env_.root() / "run/qorlog/mutex-QorLog-4B60CD43-7103-4475-B2A4-FC24CFEB5BD3"));
  ASSERT_EQ(dlclose(lib), 0);
  EXPECT_TRUE(helper_.Calls().empty());
}

}  // namespace

// A stand-in for the suite's service helper library, for tests. It exports the
// 26 entry points; every call is appended as a line to the file that
// QORLOG_FAKE_HELPER_LOG names ("IsUserMode", "TouchSubFileW <path>", ...),
// and so are loading and unloading ("load", "unload"). The gates answer 1
// unless QORLOG_FAKE_HELPER_USER_MODE or QORLOG_FAKE_HELPER_INSTALLED is "0".
// Built with QORLOG_FAKE_HELPER_PARTIAL it lacks qor2svcIsInstalled.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

void Record(const std::string& line) {
  const char* log = std::getenv("QORLOG_FAKE_HELPER_LOG");
  if (log == nullptr || *log == 0) return;
  std::FILE* file = std::fopen(log, "ab");
  if (file == nullptr) return;
  std::fputs((line + "\n").c_str(), file);
  std::fclose(file);
}

std::uint32_t Gate(const char* name, const char* variable) {
  Record(name);
  const char* value = std::getenv(variable);
  return value != nullptr && std::strcmp(value, "0") == 0 ? 0 : 1;
}

// The path for the log line; the tests' paths are ASCII.
std::string Narrow(const char16_t* path) {
  std::string out;
  for (; path != nullptr && *path != 0; ++path) out.push_back(*path < 0x80 ? static_cast<char>(*path) : '?');
  return out;
}

__attribute__((constructor)) void OnLoad() { Record("load"); }
__attribute__((destructor)) void OnUnload() { Record("unload"); }

}  // namespace

FAKE_EXPORT std::uint32_t qor2svcIsUserMode() { return Gate("IsUserMode", "QORLOG_FAKE_HELPER_USER_MODE"); }
#ifndef QORLOG_FAKE_HELPER_PARTIAL
FAKE_EXPORT std::uint32_t qor2svcIsInstalled() { return Gate("IsInstalled", "QORLOG_FAKE_HELPER_INSTALLED"); }
#endif
FAKE_EXPORT std::uint32_t qor2svcTouchSubPathW(const char16_t* path) {
  Record("TouchSubPathW " + Narrow(path));
  return 1;
}
FAKE_EXPORT std::uint32_t qor2svcTouchSubFileW(const char16_t* path) {
  Record("TouchSubFileW " + Narrow(path));
  return 1;
}

// The entries the log library binds but never calls: each records its call,
// so a test would see one that is called by mistake.
#define FAKE_UNUSED(name) \
  FAKE_EXPORT std::uint32_t name() {  \
    Record(#name);                     \
    return 0;                          \
  }
FAKE_UNUSED(qor2svcDllVer)
FAKE_UNUSED(qor2svcIsUserModeSupport)
FAKE_UNUSED(qor2svcInstall)
FAKE_UNUSED(qor2svcUninstall)
FAKE_UNUSED(qor2svcStart)
FAKE_UNUSED(qor2svcStop)
FAKE_UNUSED(qor2svcMakeEveryoneFileW)
FAKE_UNUSED(qor2svcMakeEveryonePathW)
FAKE_UNUSED(qor2svcExecuteW)
FAKE_UNUSED(qor2svcExecuteExitW)
FAKE_UNUSED(qor2svcExecuteAsAdminW)
FAKE_UNUSED(qor2svcExecuteAsAdminExitW)
FAKE_UNUSED(qor2svcExecuteThreadW)
FAKE_UNUSED(qor2svcExecuteThreadExitW)
FAKE_UNUSED(qor2svcElevationAppW)
FAKE_UNUSED(qor2svcCopyFileW)
FAKE_UNUSED(qor2svcMakePathW)
FAKE_UNUSED(qor2svcMakeFileMapW)
FAKE_UNUSED(qor2svcTouchSubKeyW)
FAKE_UNUSED(qor2svcRegSvrW)
FAKE_UNUSED(qor2svcRegSetValueStrW)
FAKE_UNUSED(qor2svcRegSetValueIntW)

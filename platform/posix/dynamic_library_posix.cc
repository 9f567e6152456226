#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/errors.h"
#include "platform/text.h"

namespace qorlog::platform {

namespace {
constexpr DWORD kErrorModNotFound = 126;
}  // namespace

ModuleHandle LoadModule(std::u16string_view path) {
  if (path.empty()) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  const std::string native = Utf16ToUtf8(path);
  // A library named by a path that is not there fails at once: a failed
  // dlopen costs the same open and much more work around it (its locks and
  // the error text), and a missing helper is looked for on every append.
  if (native.find('/') != std::string::npos && ::access(native.c_str(), F_OK) != 0 && errno == ENOENT) {
    SetLastError(kErrorModNotFound);
    return nullptr;
  }
  void* module = ::dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    // dlerror() gives text only. Telling a missing file from a bad one would
    // cost a stat() on every retry of a missing helper, so both report 126.
    ::dlerror();
    SetLastError(kErrorModNotFound);
  }
  return module;
}

void* GetModuleSymbol(ModuleHandle module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return ::dlsym(module, name);
}

bool FreeModule(ModuleHandle module) { return module != nullptr && ::dlclose(module) == 0; }

}  // namespace qorlog::platform

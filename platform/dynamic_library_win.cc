// LoadLibraryExW with LOAD_WITH_ALTERED_SEARCH_PATH: a library loaded by its
// full path finds the DLLs it depends on in its own folder first, as the
// service helper next to its dependencies expects.
#include <windows.h>
// <windows.h> defines FreeModule as a macro for FreeLibrary; the name is ours.
#undef FreeModule

#include <string>

#include "platform/dynamic_library.h"
#include "platform/errors.h"

namespace qorlog::platform {

ModuleHandle LoadModule(std::u16string_view path) {
  if (path.empty()) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  const std::wstring native(path.begin(), path.end());
  // The system's own error dialogs (a missing dependency, a damaged file)
  // would stop a library that runs without a desktop; the failure is
  // reported through the last error instead.
  const UINT old_mode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryExW(native.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ::SetErrorMode(old_mode);
  return module;
}

void* GetModuleSymbol(ModuleHandle module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

bool FreeModule(ModuleHandle module) {
  return module != nullptr && ::FreeLibrary(static_cast<HMODULE>(module)) != 0;
}

}  // namespace qorlog::platform

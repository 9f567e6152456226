// Loading a shared library at run time, binding its exports by name and
// freeing it again: the stand-in for LoadLibraryExW, GetProcAddress and
// FreeLibrary.
//
// Libraries are loaded with every symbol resolved at once (RTLD_NOW), so a
// library that cannot be fully linked fails to load instead of failing later
// in a call, and with their symbols kept to themselves (RTLD_LOCAL). A path
// with a separator is loaded from exactly there; no search path is used.
// Loads are reference-counted by the system: each successful LoadModule needs
// one FreeModule.
// Thread rules: any thread.
#pragma once

#include <string_view>

#include "platform/types.h"

namespace qorlog::platform {

// How the file name of a shared library ends.
#ifdef _WIN32
inline constexpr std::u16string_view kModuleFileSuffix = u".dll";
#else
inline constexpr std::u16string_view kModuleFileSuffix = u".so";
#endif

// An opaque handle of a loaded library; null for none.
using ModuleHandle = void*;

// Loads the library at `path`. Null on failure, with GetLastError() set to
// 126 (the module could not be found or loaded).
ModuleHandle LoadModule(std::u16string_view path);

// The address of the export `name`, or null when the library has none.
void* GetModuleSymbol(ModuleHandle module, const char* name);

// Releases one load of the library. False for a null handle or a failure.
bool FreeModule(ModuleHandle module);

}  // namespace qorlog::platform

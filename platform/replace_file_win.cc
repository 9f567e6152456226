// Replacing a file's contents on Windows: the bytes go to a temporary file
// beside the target (made by this process alone, shared with nobody), are
// flushed with FlushFileBuffers, and MoveFileExW puts the temporary file in
// the target's place in one step, writing through to the disk before it
// returns. The new file takes the folder's inherited permissions: Windows
// has no mode bits to give it.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/replace_file.h"

namespace qorlog::platform {

DWORD ReplaceFileContents(std::u16string_view path, std::string_view bytes) {
  const std::wstring target(path.begin(), path.end());
  const std::wstring temp = target + L".tmp" + std::to_wstring(::GetCurrentProcessId());
  HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
  auto fail = [&](DWORD error) {
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    ::DeleteFileW(temp.c_str());
    return error;
  };
  for (std::string_view rest = bytes; !rest.empty();) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, rest.data(), chunk, &written, nullptr)) return fail(::GetLastError());
    if (written == 0) return fail(ERROR_DISK_FULL);
    rest.remove_prefix(written);
  }
  if (!::FlushFileBuffers(file)) return fail(::GetLastError());
  const BOOL closed = ::CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
  if (!closed) return fail(::GetLastError());
  if (!::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fail(::GetLastError());
  }
  return 0;
}

}  // namespace qorlog::platform

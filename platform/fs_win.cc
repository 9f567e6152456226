// Folders, attributes, deletion and renaming on Windows. The system refuses
// to delete or rename a file that a handle holds open (no handle of the
// library shares deletion), so these calls are the plain Win32 ones; only the
// codes are brought to what fs.h promises where Windows words them otherwise.
#include <windows.h>

#include <string>

#include "platform/errors.h"
#include "platform/fault_point.h"
#include "platform/fs.h"

namespace qorlog::platform {

namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// The library's last error (platform/errors.h), which need not be the
// system's own.
DWORD Report(DWORD err) {
  if (err != 0) SetLastError(err);
  return err;
}

// Windows refuses to rename over a file that is open with 5, as it does for a
// read-only one or a folder; fs.h promises 32 for the open file. An open for
// deletion that every share mode allows tells them apart: only a handle
// that does not share deletion (every handle of ours) makes it fail with 32.
DWORD HeldOpenOr(DWORD err, const std::wstring& target) {
  if (err != kErrorAccessDenied) return err;
  const HANDLE probe = ::CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    ::CloseHandle(probe);
    return err;
  }
  return ::GetLastError() == kErrorSharingViolation ? kErrorSharingViolation : err;
}

}  // namespace

DWORD CreateFolder(std::u16string_view path) {
  if (auto f = fault::Check(fault::Call::kCreateFolder); f.error != 0) [[unlikely]] return Report(f.error);
  if (::CreateDirectoryW(Wide(path).c_str(), nullptr)) return kErrorSuccess;
  return Report(::GetLastError());
}

bool SetAttributesNormal(std::u16string_view path) {
  if (::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL)) return true;
  SetLastError(::GetLastError());
  return false;
}

DWORD DeleteFileNamed(std::u16string_view path) {
  if (auto f = fault::Check(fault::Call::kDelete); f.error != 0) [[unlikely]] return Report(f.error);
  if (::DeleteFileW(Wide(path).c_str())) return kErrorSuccess;
  return Report(::GetLastError());
}

DWORD MoveFileNamed(std::u16string_view from, std::u16string_view to) {
  if (auto f = fault::Check(fault::Call::kRename); f.error != 0) [[unlikely]] return Report(f.error);
  if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0)) return kErrorSuccess;
  const DWORD err = ::GetLastError();
  // Windows says 183 for an existing target; a file's rename promises 80.
  return Report(err == kErrorAlreadyExists ? kErrorFileExists : err);
}

DWORD ReplaceFileNamed(std::u16string_view from, std::u16string_view to) {
  if (auto f = fault::Check(fault::Call::kRename); f.error != 0) [[unlikely]] return Report(f.error);
  const std::wstring target = Wide(to);
  if (::MoveFileExW(Wide(from).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return kErrorSuccess;
  return Report(HeldOpenOr(::GetLastError(), target));
}

bool PathExists(std::u16string_view path) { return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(std::u16string_view path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace qorlog::platform

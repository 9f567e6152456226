// Files on CreateFileW: the system keeps the share modes, between handles
// and processes alike. Reads and writes name their offset (as pread and
// pwrite do), so the position is the object's own and a handle's system
// file pointer is never used.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/errors.h"
#include "platform/fault_point.h"
#include "platform/file.h"

namespace qorlog::platform {

namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

HANDLE HandleOf(const NativeHandle& handle) { return reinterpret_cast<HANDLE>(handle.get()); }

DWORD AccessFor(unsigned flags) {
  switch (flags & 0x3) {
    case File::modeWrite:
      return GENERIC_WRITE;
    case File::modeReadWrite:
      return GENERIC_READ | GENERIC_WRITE;
    default:
      return GENERIC_READ;
  }
}

// What other handles may do beside this one. Deleting and renaming are never
// shared: a file held open keeps its name.
DWORD ShareFor(unsigned flags) {
  switch (flags & 0x70) {
    case File::shareDenyNone:
      return FILE_SHARE_READ | FILE_SHARE_WRITE;
    case File::shareDenyRead:
      return FILE_SHARE_WRITE;
    case File::shareDenyWrite:
      return FILE_SHARE_READ;
    default:  // shareExclusive and shareCompat
      return 0;
  }
}

DWORD DispositionFor(unsigned flags) {
  if (flags & File::modeCreateNew) return CREATE_NEW;
  // OPEN_ALWAYS and a truncation of our own rather than CREATE_ALWAYS, which
  // would also reset the attributes of an existing file.
  if (flags & File::modeCreate) return OPEN_ALWAYS;
  return OPEN_EXISTING;
}

// Opens `path` as the flags say, without following a reparse point (a
// symbolic link) at the last component; refuses folders and links with 5.
NativeHandle OpenHandle(const std::wstring& path, unsigned flags, DWORD* error) {
  if (auto f = fault::Check(fault::Call::kOpen); f.error != 0) [[unlikely]] {
    *error = f.error;
    return NativeHandle();
  }
  NativeHandle handle(reinterpret_cast<NativeHandle::Value>(
      ::CreateFileW(path.c_str(), AccessFor(flags), ShareFor(flags), nullptr, DispositionFor(flags),
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  if (!handle.IsValid()) {
    *error = ::GetLastError();
    return handle;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(HandleOf(handle), &info)) {
    *error = ::GetLastError();
    return NativeHandle();
  }
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
    *error = kErrorAccessDenied;
    return NativeHandle();
  }
  return handle;
}

[[noreturn]] void ThrowLastError(const std::u16string& path) {
  throw FileException::FromOsError(::GetLastError(), path);
}

[[noreturn]] void ThrowClosed(const std::u16string& path) {
  throw FileException(FileException::invalidFile, kErrorInvalidHandle, path);
}

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

}  // namespace

File::~File() { Close(); }

bool File::Open(std::u16string_view path, unsigned flags, DWORD* error) {
  Close();
  auto fail = [&](DWORD code) {
    if (error != nullptr) *error = code;
    SetLastError(code);
    return false;
  };
  DWORD code = 0;
  NativeHandle handle = OpenHandle(Wide(path), flags, &code);
  if (!handle.IsValid()) return fail(code);
  if ((flags & modeCreate) && !(flags & (modeNoTruncate | modeCreateNew))) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(HandleOf(handle), &size)) return fail(::GetLastError());
    if (size.QuadPart != 0) {
      if (auto f = fault::Check(fault::Call::kSetLength); f.error != 0) [[unlikely]] return fail(f.error);
      FILE_END_OF_FILE_INFO eof = {};
      if (!::SetFileInformationByHandle(HandleOf(handle), FileEndOfFileInfo, &eof, sizeof eof)) {
        return fail(::GetLastError());
      }
    }
  }
  handle_ = std::move(handle);
  flags_ = flags;
  position_ = 0;
  path_.assign(path);
  return true;
}

// A handle's share mode is fixed when it is opened, and a second handle with
// the relaxed share mode cannot be opened beside the first (the first one
// denies what the second would do). So the file is first pinned by a handle
// without data access, which share modes never refuse and which keeps the
// name from being deleted or renamed; then the first handle is closed and the
// file opened again by its name with the relaxed share mode. Between the
// close and the new open another opener may come in that the new share mode
// lets in but that denies our own access; the new open then fails with 32,
// the file is opened again as it was, and only when that fails too is the
// File left closed.
bool File::RelaxShare(unsigned share, DWORD* error) {
  auto fail = [&](DWORD code) {
    if (error != nullptr) *error = code;
    SetLastError(code);
    return false;
  };
  if (!IsOpen()) return fail(kErrorInvalidHandle);
  const DWORD from = ShareFor(flags_);
  const DWORD to = ShareFor(share);
  if ((to & from) != from) return fail(kErrorInvalidParameter);
  if (to == from) {
    flags_ = (flags_ & ~0x70u) | (share & 0x70);
    return true;
  }
  const std::wstring path = Wide(path_);
  if (auto f = fault::Check(fault::Call::kOpen); f.error != 0) [[unlikely]] return fail(f.error);
  NativeHandle pin(reinterpret_cast<NativeHandle::Value>(
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  if (!pin.IsValid()) return fail(::GetLastError());
  const unsigned old_flags = flags_;
  const unsigned relaxed = (flags_ & ~(0x70u | modeCreate | modeCreateNew)) | (share & 0x70);
  const std::uint64_t position = position_;
  handle_.Close();
  DWORD code = 0;
  NativeHandle handle = OpenHandle(path, relaxed, &code);
  if (!handle.IsValid()) {
    DWORD ignored = 0;
    handle = OpenHandle(path, old_flags & ~(modeCreate | modeCreateNew), &ignored);
    if (handle.IsValid()) {
      handle_ = std::move(handle);
      position_ = position;
    } else {
      position_ = 0;
    }
    return fail(code);
  }
  handle_ = std::move(handle);
  flags_ = (old_flags & ~0x70u) | (share & 0x70);
  position_ = position;
  return true;
}

DWORD File::Close() {
  position_ = 0;
  return handle_.Close();
}

std::uint32_t File::Read(void* buffer, std::uint32_t count) {
  if (!IsOpen()) ThrowClosed(path_);
  auto* out = static_cast<char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    DWORD ask = count - done;
    if (auto f = fault::Check(fault::Call::kRead); f.error != 0 || f.cut) [[unlikely]] {
      if (f.error != 0) {
        position_ += done;
        throw FileException::FromOsError(f.error, path_);
      }
      ask = std::min<DWORD>(ask, f.limit);
      if (ask == 0) break;
    }
    OVERLAPPED at = At(position_ + done);
    DWORD n = 0;
    if (!::ReadFile(HandleOf(handle_), out + done, ask, &n, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      position_ += done;
      ThrowLastError(path_);
    }
    if (n == 0) break;
    done += n;
  }
  position_ += done;
  return done;
}

void File::Write(const void* buffer, std::uint32_t count) {
  if (!IsOpen()) ThrowClosed(path_);
  const auto* in = static_cast<const char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    DWORD ask = count - done;
    if (auto f = fault::Check(fault::Call::kWrite); f.error != 0 || f.cut) [[unlikely]] {
      if (f.error != 0) {
        position_ += done;
        throw FileException::FromOsError(f.error, path_);
      }
      ask = std::min<DWORD>(ask, f.limit);
      if (ask == 0) continue;  // a write that moved nothing: the rest goes with the next
    }
    OVERLAPPED at = At(position_ + done);
    DWORD n = 0;
    if (!::WriteFile(HandleOf(handle_), in + done, ask, &n, &at)) {
      position_ += done;
      ThrowLastError(path_);
    }
    done += n;
  }
  position_ += done;
}

std::uint64_t File::GetLength() const {
  if (!IsOpen()) ThrowClosed(path_);
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(HandleOf(handle_), &size)) ThrowLastError(path_);
  return static_cast<std::uint64_t>(size.QuadPart);
}

void File::SetLength(std::uint64_t length) {
  if (!IsOpen()) ThrowClosed(path_);
  if (auto f = fault::Check(fault::Call::kSetLength); f.error != 0) [[unlikely]] {
    throw FileException::FromOsError(f.error, path_);
  }
  FILE_END_OF_FILE_INFO eof = {};
  eof.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (!::SetFileInformationByHandle(HandleOf(handle_), FileEndOfFileInfo, &eof, sizeof eof)) ThrowLastError(path_);
}

}  // namespace qorlog::platform

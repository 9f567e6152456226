// Named file mappings and events on Windows are the system's own
// (CreateFileMappingW, OpenFileMappingW, CreateEventW, OpenEventW): the
// system keeps an object while any handle to it is open and closes the
// handles of a process that ends, so a crashed holder leaves nothing behind.
// "Global\" and "Local\" are the system's name spaces.
#include <windows.h>

#include <string>

#include "platform/errors.h"
#include "platform/named_object.h"

namespace qorlog::platform {

namespace {

// The system's codes for a name it cannot take (a missing name space, a
// second backslash) become the one code of named_object.h. A name space
// prefix without a name is refused before the call.
DWORD NameError(DWORD error) {
  return error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_PATHNAME ? kErrorInvalidName : error;
}

bool EmptyAfterScope(std::u16string_view name) {
  const std::size_t slash = name.find(u'\\');
  return name.empty() || (slash != std::u16string_view::npos && slash + 1 == name.size());
}

std::wstring Native(std::u16string_view name) { return std::wstring(name.begin(), name.end()); }

}  // namespace

struct FileMapping::Impl {
  void Close() {
    if (view != nullptr) ::UnmapViewOfFile(view);
    if (mapping != nullptr) ::CloseHandle(mapping);
    view = nullptr;
    mapping = nullptr;
    size = 0;
    existed = false;
  }
  DWORD Map(DWORD access, std::size_t bytes) {
    view = ::MapViewOfFile(mapping, access, 0, 0, bytes);
    if (view == nullptr) {
      const DWORD rc = ::GetLastError();
      Close();
      return rc;
    }
    size = bytes;
    return kErrorSuccess;
  }

  HANDLE mapping = nullptr;
  void* view = nullptr;
  std::size_t size = 0;
  bool existed = false;
};

FileMapping::FileMapping() : impl_(std::make_unique<Impl>()) {}
FileMapping::~FileMapping() { impl_->Close(); }

DWORD FileMapping::Create(std::u16string_view name, std::size_t size) {
  impl_->Close();
  if (EmptyAfterScope(name)) return kErrorInvalidName;
  const std::wstring native = Native(name);
  const auto bytes = static_cast<std::uint64_t>(size);
  impl_->mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
                                        static_cast<DWORD>(bytes), native.c_str());
  if (impl_->mapping == nullptr) return NameError(::GetLastError());
  const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  if (DWORD rc = impl_->Map(FILE_MAP_READ | FILE_MAP_WRITE, size); rc != 0) return rc;
  impl_->existed = existed;
  return kErrorSuccess;
}

DWORD FileMapping::OpenForRead(std::u16string_view name, std::size_t size) {
  impl_->Close();
  if (EmptyAfterScope(name)) return kErrorInvalidName;
  impl_->mapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, Native(name).c_str());
  if (impl_->mapping == nullptr) return NameError(::GetLastError());
  if (DWORD rc = impl_->Map(FILE_MAP_READ, size); rc != 0) return rc;
  impl_->existed = true;
  return kErrorSuccess;
}

void FileMapping::Close() { impl_->Close(); }
bool FileMapping::already_existed() const { return impl_->existed; }
void* FileMapping::data() const { return impl_->view; }
std::size_t FileMapping::size() const { return impl_->size; }

struct NamedEvent::Impl {
  void Close() {
    if (event != nullptr) ::CloseHandle(event);
    event = nullptr;
    existed = false;
  }

  HANDLE event = nullptr;
  bool existed = false;
};

NamedEvent::NamedEvent() : impl_(std::make_unique<Impl>()) {}
NamedEvent::~NamedEvent() { impl_->Close(); }

DWORD NamedEvent::Create(std::u16string_view name) {
  impl_->Close();
  if (EmptyAfterScope(name)) return kErrorInvalidName;
  impl_->event = ::CreateEventW(nullptr, TRUE, FALSE, Native(name).c_str());
  if (impl_->event == nullptr) return NameError(::GetLastError());
  impl_->existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  return kErrorSuccess;
}

DWORD NamedEvent::Open(std::u16string_view name) {
  impl_->Close();
  if (EmptyAfterScope(name)) return kErrorInvalidName;
  impl_->event = ::OpenEventW(SYNCHRONIZE, FALSE, Native(name).c_str());
  if (impl_->event == nullptr) return NameError(::GetLastError());
  impl_->existed = true;
  return kErrorSuccess;
}

void NamedEvent::Close() { impl_->Close(); }
bool NamedEvent::already_existed() const { return impl_->existed; }
bool NamedEvent::is_open() const { return impl_->event != nullptr; }

}  // namespace qorlog::platform

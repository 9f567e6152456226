// Named objects of the POSIX backend: the held file behind every named
// mapping and named event. Internal to the backend.
//
// The promise (platform/named_object.h): an object can be opened by name only
// while a handle made by Create or Open is held by a live process.
//
// The primitive: one small file per object in the scope's folder
// (posix/session_paths.h). Every handle holds a shared open-file-description
// lock on byte 0 of its file; an opener asks with F_OFD_GETLK whether any
// handle still holds one, and treats a file that nobody holds as absent.
// Creating, opening and closing run under a short flock() on the file, so a
// check and the step that follows it are one.
//
// The traps:
// - A crashed owner cannot delete its file, so the file alone proves nothing;
//   only a lock proves a live holder, and the kernel drops locks with the
//   process. Stale files are reused by the next creator (their contents
//   zeroed) and ignored by openers; openers never delete them, because the
//   file may be a creator's that has not taken its lock yet.
// - Classic POSIX record locks belong to the process and vanish when any
//   descriptor of the file is closed; open-file-description locks belong to
//   the handle, so two handles in one process are two holders.
// - A closer removes the file when it was the last holder; a creator that
//   opened the path just before that removal would lock a nameless file. After
//   taking the guard every creator and opener checks that the path still names
//   the file it holds, and otherwise starts again.
// - Descriptors are close-on-exec, so a started program does not hold the
//   caller's objects alive.
//
// Thread rules: a handle is used by one thread at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/native_handle.h"
#include "platform/types.h"

namespace qorlog::platform::posix {

// A held named object. Movable, not copyable; closing drops the hold and, for
// the last holder, removes the object.
class NamedObject {
 public:
  NamedObject() = default;
  ~NamedObject() { Close(); }
  NamedObject(NamedObject&& other) noexcept { *this = std::move(other); }
  NamedObject& operator=(NamedObject&& other) noexcept;
  NamedObject(const NamedObject&) = delete;
  NamedObject& operator=(const NamedObject&) = delete;

  // Creates the object, or opens it when a live holder already has it (then
  // already_existed() is true). `size` is the size of a mapping's data (0 for
  // events); a fresh object's data is zero. 0 or a system error code.
  DWORD Create(std::u16string_view name, std::string_view kind, std::size_t size);
  // Opens an object that a live process holds. 2 when there is none.
  DWORD Open(std::u16string_view name, std::string_view kind);
  void Close();

  bool is_open() const { return handle_.IsValid(); }
  bool already_existed() const { return already_existed_; }
  // The descriptor of the object's file, for mapping its data.
  int fd() const { return static_cast<int>(handle_.get()); }

 private:
  NativeHandle handle_;
  bool already_existed_ = false;
  std::string path_;
};

}  // namespace qorlog::platform::posix

// Named file mappings and named events: objects that several processes find
// by name, and that exist only while some process holds them.
//
// Names are those of the code above: a bare name lives in the user's session
// (SessionFolder()); a name that begins with "Global\" lives machine-wide
// (MachineFolder(), which QORLOG_GLOBAL_DIR overrides). Mappings and events
// have separate name spaces.
//
// The promise: an object can be opened by name only while a handle made by
// Create or Open is held by a live process. A process that crashed leaves
// nothing behind that an opener would find, as on Windows.
//
// The primitive: one small file per object in the scope's folder. Every handle
// holds a shared open-file-description lock on byte 0 of its file; an opener
// asks with F_OFD_GETLK whether any handle still holds one, and treats a file
// that nobody holds as absent. Creating, opening and closing run under a short
// flock() on the file, so a check and the step that follows it are one.
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
// Thread rules: a handle is used by one thread at a time; any number of
// handles may exist in one process.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace qorlog::platform {

// The file that holds a named object of `kind` ("map", "event"), or an empty
// string when the name is not valid (empty, or containing '/' or '\' after
// the scope prefix) or the scope's folder cannot be made.
std::string NamedObjectPath(std::u16string_view name, std::string_view kind);

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

  bool is_open() const { return fd_ >= 0; }
  bool already_existed() const { return already_existed_; }
  // The descriptor of the object's file, for mapping its data.
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  bool already_existed_ = false;
  std::string path_;
};

// A named file mapping: Create/Open plus a view of its data.
class FileMapping {
 public:
  FileMapping() = default;
  ~FileMapping() { Close(); }
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  // CreateFileMappingW: makes (or opens, see already_existed) a mapping of
  // `size` bytes, mapped for reading and writing.
  DWORD Create(std::u16string_view name, std::size_t size);
  // OpenFileMappingW + MapViewOfFile for reading: the first `size` bytes of
  // a mapping that a live process holds. 2 when there is none.
  DWORD OpenForRead(std::u16string_view name, std::size_t size);
  void Close();

  bool already_existed() const { return object_.already_existed(); }
  void* data() const { return view_; }
  std::size_t size() const { return size_; }

 private:
  NamedObject object_;
  void* view_ = nullptr;
  std::size_t size_ = 0;
};

// A named event. Only its presence is used here (CreateEventW by the owner,
// OpenEventW by those who look for it); it is never signalled.
class NamedEvent {
 public:
  DWORD Create(std::u16string_view name) { return object_.Create(name, "event", 0); }
  DWORD Open(std::u16string_view name) { return object_.Open(name, "event"); }
  void Close() { object_.Close(); }
  bool already_existed() const { return object_.already_existed(); }
  bool is_open() const { return object_.is_open(); }

 private:
  NamedObject object_;
};

}  // namespace qorlog::platform

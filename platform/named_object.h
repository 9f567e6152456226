// Named file mappings and named events: objects that several processes find
// by name, and that exist only while some process holds them.
//
// Names are those of the code above: a bare name lives in the user's
// session; a name that begins with "Global\" lives machine-wide. On POSIX
// mappings and events have separate name spaces; on Windows they share one
// (an event cannot take a mapping's name), so no name is used for both.
//
// The promise: an object can be opened by name only while a handle made by
// Create or Open is held by a live process. A process that crashed leaves
// nothing behind that an opener would find, as on Windows. (How the POSIX
// backend keeps it: platform/posix/named_object.h.)
//
// Thread rules: a handle is used by one thread at a time; any number of
// handles may exist in one process.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/types.h"

namespace qorlog::platform {

// A named file mapping: CreateFileMappingW / OpenFileMappingW plus a view of
// its data. Closing drops the hold and, for the last holder, the object.
class FileMapping {
 public:
  FileMapping();
  ~FileMapping();
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  // Makes a mapping of `size` bytes, mapped for reading and writing, or
  // opens it when a live holder already has it (then already_existed() is
  // true). A fresh mapping's data is zero. 0 or a system error code; 123 for
  // a name that cannot be an object's name.
  DWORD Create(std::u16string_view name, std::size_t size);
  // Maps the first `size` bytes of a mapping that a live process holds, for
  // reading. 2 when there is none.
  DWORD OpenForRead(std::u16string_view name, std::size_t size);
  void Close();

  bool already_existed() const;
  void* data() const;
  std::size_t size() const;

  struct Impl;  // defined by the backend

 private:
  std::unique_ptr<Impl> impl_;
};

// A named event. Only its presence is used here (CreateEventW by the owner,
// OpenEventW by those who look for it); it is never signalled.
class NamedEvent {
 public:
  NamedEvent();
  ~NamedEvent();
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  // Creates the event, or opens it when a live holder has it (then
  // already_existed() is true). 0 or a system error code.
  DWORD Create(std::u16string_view name);
  // Opens an event that a live process holds. 2 when there is none.
  DWORD Open(std::u16string_view name);
  void Close();
  bool already_existed() const;
  bool is_open() const;

  struct Impl;  // defined by the backend

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace qorlog::platform

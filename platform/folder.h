// A folder held open for the calls made inside it: the search of its names,
// the description of one entry and the open of a file by name.
//
// The promise: Open walks down from a base folder that the caller trusts and
// never passes through a symbolic link below it, making missing folders on
// the way; the calls inside the folder then reach the very folder that was
// checked, whatever is renamed or replaced in the tree meanwhile. So a link
// planted in a tree of log folders can lead neither a writer nor the folders
// it makes outside that tree.
//
// Where the system gives no folder handle (or the folder could not be
// opened), the same calls work by path name, as the path-based calls of
// find_names.h and file.h do.
// Thread rules: one object is used by one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"
#include "platform/native_handle.h"
#include "platform/types.h"

namespace qorlog::platform {

// What Open answers when a component below the base is a symbolic link (to a
// folder or not) or a file: nothing was made or opened through it.
inline constexpr DWORD kErrorStoppedOnLink = 681;

class Folder {
 public:
  // A folder known by its path (trailing separators are ignored); until
  // Open succeeds, the calls below work by path.
  explicit Folder(std::u16string_view path);
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  // Opens the folder, making it and its missing parents. Its first
  // `base_size` code units name the base folder, which is reached as any
  // path (links included) and made with its parents when missing. Every
  // component after the base must be a folder itself: 681 when one is a
  // link or a file. Else 0, or the system error that kept a folder from
  // being made or opened (the object then works by path).
  DWORD Open(std::size_t base_size);

  bool IsOpen() const { return handle().IsValid(); }
  // The folder's path, without trailing separators.
  const std::u16string& path() const { return path_; }
  // The path of `name` inside the folder.
  std::u16string PathOf(std::u16string_view name) const;

  // For the backend: the handle (its own, or one the backend keeps between
  // opens of the same folder and shares), whether a listing may have moved
  // its read position from the start, and whether the open just confirmed
  // that the folder is unchanged (taken by the first listing).
  const NativeHandle& handle() const { return shared_ != nullptr ? *shared_ : handle_; }
  bool listed() const { return listed_; }
  void set_listed() { listed_ = true; }
  bool TakeConfirmed() { return std::exchange(confirmed_, false); }

 private:
  std::u16string path_;
  NativeHandle handle_;
  std::shared_ptr<const NativeHandle> shared_;
  bool listed_ = false;
  bool confirmed_ = false;
};

// The searches and the entry description of find_names.h, over the names of
// `folder` (`pattern` is a name pattern, no separator). The same answers,
// codes and last error; with an open folder they read it through its handle.
DWORD FindFileNames(Folder& folder, std::u16string_view pattern, std::vector<std::u16string>* names);
DWORD FindGreatestFileName(Folder& folder, std::u16string_view pattern, std::u16string* greatest);
bool QueryFileEntry(Folder& folder, std::u16string_view name, FindData* out);

}  // namespace qorlog::platform

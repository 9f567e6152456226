#include "platform/replace_file.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/errors.h"
#include "platform/posix/errno_table.h"
#include "platform/text.h"

namespace qorlog::platform {

DWORD ReplaceFileContents(std::u16string_view path, std::string_view bytes) {
  const std::string target = Utf16ToUtf8(path);
  const std::string temp = target + ".tmp" + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return posix::ErrorFromErrno(errno, temp);
  auto fail = [&](int err) {
    ::close(fd);
    ::unlink(temp.c_str());
    return posix::ErrorFromErrno(err, target);
  };
  for (std::string_view rest = bytes; !rest.empty();) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(n < 0 ? errno : ENOSPC);
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::fsync(fd) != 0) return fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return posix::ErrorFromErrno(err, target);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return posix::ErrorFromErrno(err, target);
  }
  // The rename itself lives in the folder: flush the folder too, so the new
  // name survives a power cut.
  const auto slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return 0;
}

}  // namespace qorlog::platform

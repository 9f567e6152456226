// Archive: the buffered binary stream through which every log file is read
// and written, and ArchiveException, the error it raises.
//
// An archive is bound to an open platform::File and one direction. In store
// direction bytes collect in the buffer and go to the file when it is full
// and at Close(). In load direction the buffer is refilled from the file as
// needed; Close() moves the file back to just after the last byte consumed,
// so the next archive (or plain read) continues exactly there.
//
// Errors: a u32 or string that the file cannot supply completely raises
// ArchiveException with cause endOfFile; failures of the file itself arrive
// as platform::FileException. Destroying an archive without Close() discards
// it: nothing more is written and the file position is not touched.
//
// Thread rules: an archive and its file belong to one thread at a time.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "logstore/log_format.h"
#include "platform/file.h"

namespace qorlog::inline logstore {

class ArchiveException : public std::exception {
 public:
  enum Cause {
    none = 0,
    genericException,
    readOnly,   // a store operation on a loading archive
    endOfFile,  // the file ended inside a value
    writeOnly,  // a load operation on a storing archive
    badIndex,
    badClass,
    badSchema,
  };

  explicit ArchiveException(Cause cause) : cause_(cause) {}
  Cause cause() const { return cause_; }
  const char* what() const noexcept override;

 private:
  Cause cause_;
};

class Archive {
 public:
  enum Mode { kLoad, kStore };

  // Binds to `file`, which must stay open and alive until Close() or
  // destruction. Loading starts at the file's current position.
  Archive(platform::File& file, Mode mode, std::size_t buffer_size = kArchiveBufferSize);
  ~Archive() = default;
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  bool IsLoading() const { return mode_ == kLoad; }
  bool IsStoring() const { return mode_ == kStore; }

  // Store direction.
  void Write(const void* data, std::uint32_t count);
  void WriteU16(std::uint16_t value);
  void WriteU32(std::uint32_t value);
  // Writes the UTF-16 form: 0xFF, marker 0xFFFE, length, code units.
  void WriteString(std::u16string_view text);

  // Load direction. Read() returns how many bytes it could read (fewer only
  // at the end of the file) and never fails at the end of the file.
  std::uint32_t Read(void* data, std::uint32_t count);
  std::uint8_t ReadU8();
  std::uint16_t ReadU16();
  std::uint32_t ReadU32();
  // Reads every stored string form: UTF-16 with the marker, or 8-bit text
  // (converted from the narrow code page). A length that the rest of the
  // file cannot supply raises endOfFile before anything is allocated.
  std::u16string ReadString();
  // Reads a string as ReadString does into a fixed field of `capacity` (> 0)
  // units: cut to capacity - 1 units, a NUL after them and the rest of the
  // field cleared, so that every unit of the field is written.
  void ReadStringInto(char16_t* field, std::size_t capacity);

  // Store: writes out the buffer. Load: moves the file back over the bytes
  // read ahead but not consumed. The archive is unusable afterwards.
  void Close();

  // Load direction: the file offset just after the last byte consumed.
  std::uint64_t ConsumedPosition() const;

 private:
  void Flush();
  // Makes at least `count` bytes available in the buffer if the file has
  // them; returns how many are available (may be fewer at the end).
  std::size_t Fill(std::size_t count);
  // Bytes the buffer and the rest of the file can still supply.
  std::uint64_t Remaining() const;
  std::uint32_t ReadLength(bool* is_marker);
  // The start of a stored string: its length in units, and whether they are
  // UTF-16. Raises endOfFile when the file cannot hold that many.
  std::uint32_t ReadStringStart(bool* utf16);
  // Reads exactly `count` bytes, or raises endOfFile.
  void ReadExactly(void* data, std::uint64_t count);
  // Consumes `count` bytes without keeping them, or raises endOfFile.
  void Skip(std::uint64_t count);
  void RequireOpen(Mode mode) const;

  platform::File* file_;
  Mode mode_;
  std::size_t capacity_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t pos_ = 0;  // next byte to consume (load) or to fill (store)
  std::size_t end_ = 0;  // load: one past the last valid buffered byte
  bool closed_ = false;
};

}  // namespace qorlog::logstore

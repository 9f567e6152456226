#include "logstore/archive.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>
#include <string>

#include "platform/text.h"

namespace qorlog::inline logstore {

namespace {

// Large raw reads go to the file in pieces of at most this size, so that a
// 32-bit byte count never overflows.
constexpr std::uint64_t kMaxChunk = 1u << 30;

}  // namespace

const char* ArchiveException::what() const noexcept {
  switch (cause_) {
    case none:
      return "archive: no error";
    case readOnly:
      return "archive: write to a loading archive";
    case endOfFile:
      return "archive: unexpected end of file";
    case writeOnly:
      return "archive: read from a storing archive";
    case badIndex:
      return "archive: bad index";
    case badClass:
      return "archive: bad class";
    case badSchema:
      return "archive: bad schema";
    case genericException:
      break;
  }
  return "archive: error";
}

Archive::Archive(platform::File& file, Mode mode, std::size_t buffer_size)
    : file_(&file),
      mode_(mode),
      capacity_(std::max<std::size_t>(buffer_size, 16)),
      // Only bytes written or read in are ever used, so the buffer is not
      // cleared (three archives per append would clear 12 KiB).
      buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(capacity_)) {}

void Archive::RequireOpen(Mode mode) const {
  if (closed_) throw ArchiveException(ArchiveException::genericException);
  if (mode_ != mode) throw ArchiveException(mode == kStore ? ArchiveException::readOnly : ArchiveException::writeOnly);
}

// ---- Store direction ---------------------------------------------------------

void Archive::Flush() {
  if (pos_ == 0) return;
  const std::size_t count = pos_;
  // The buffer counts as written even when the write fails: the caller
  // abandons the archive on a file error and must not write it twice.
  pos_ = 0;
  file_->Write(buffer_.get(), static_cast<std::uint32_t>(count));
}

void Archive::Write(const void* data, std::uint32_t count) {
  RequireOpen(kStore);
  const auto* in = static_cast<const std::uint8_t*>(data);
  while (count > 0) {
    if (pos_ == capacity_) Flush();
    const std::size_t n = std::min<std::size_t>(count, capacity_ - pos_);
    std::memcpy(buffer_.get() + pos_, in, n);
    pos_ += n;
    in += n;
    count -= static_cast<std::uint32_t>(n);
  }
}

void Archive::WriteU16(std::uint16_t value) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
  Write(bytes, 2);
}

void Archive::WriteU32(std::uint32_t value) {
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  Write(bytes, 4);
}

void Archive::WriteString(std::u16string_view text) {
  if (text.size() > 0xFFFFFFFFu) throw ArchiveException(ArchiveException::genericException);
  const auto n = static_cast<std::uint32_t>(text.size());
  const std::uint8_t escape = kLengthEscape;
  Write(&escape, 1);
  WriteU16(kUtf16Marker);
  if (n < kLengthEscape) {
    const auto b = static_cast<std::uint8_t>(n);
    Write(&b, 1);
  } else if (n < kUtf16Marker) {
    Write(&escape, 1);
    WriteU16(static_cast<std::uint16_t>(n));
  } else {
    Write(&escape, 1);
    WriteU16(kLength32Escape);
    WriteU32(n);
  }
  for (char16_t unit : text) WriteU16(static_cast<std::uint16_t>(unit));
}

// ---- Load direction ----------------------------------------------------------

std::size_t Archive::Fill(std::size_t count) {
  if (end_ - pos_ >= count) return end_ - pos_;
  if (pos_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  while (end_ < count) {
    const std::uint32_t got =
        file_->Read(buffer_.get() + end_, static_cast<std::uint32_t>(capacity_ - end_));
    if (got == 0) break;
    end_ += got;
  }
  return end_;
}

std::uint64_t Archive::Remaining() const {
  const std::uint64_t length = file_->GetLength();
  const std::uint64_t position = file_->GetPosition();
  return (end_ - pos_) + (length > position ? length - position : 0);
}

std::uint32_t Archive::Read(void* data, std::uint32_t count) {
  RequireOpen(kLoad);
  auto* out = static_cast<std::uint8_t*>(data);
  std::uint32_t done = 0;
  while (done < count) {
    if (pos_ == end_) {
      pos_ = end_ = 0;
      // A request as large as the buffer skips it; nothing is read ahead.
      if (count - done >= capacity_) {
        const std::uint32_t got = file_->Read(out + done, count - done);
        done += got;
        break;
      }
      if (Fill(1) == 0) break;
    }
    const std::size_t n = std::min<std::size_t>(count - done, end_ - pos_);
    std::memcpy(out + done, buffer_.get() + pos_, n);
    pos_ += n;
    done += static_cast<std::uint32_t>(n);
  }
  return done;
}

std::uint8_t Archive::ReadU8() {
  RequireOpen(kLoad);
  if (Fill(1) < 1) throw ArchiveException(ArchiveException::endOfFile);
  return buffer_[pos_++];
}

std::uint16_t Archive::ReadU16() {
  RequireOpen(kLoad);
  if (Fill(2) < 2) throw ArchiveException(ArchiveException::endOfFile);
  const std::uint8_t* p = buffer_.get() + pos_;
  pos_ += 2;
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Archive::ReadU32() {
  RequireOpen(kLoad);
  if (Fill(4) < 4) throw ArchiveException(ArchiveException::endOfFile);
  const std::uint8_t* p = buffer_.get() + pos_;
  pos_ += 4;
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// One length: a byte below 0xFF; else a u16, where 0xFFFE is the UTF-16
// marker (only where `is_marker` may report it) and 0xFFFF announces a u32.
std::uint32_t Archive::ReadLength(bool* is_marker) {
  const std::uint8_t b = ReadU8();
  if (b < kLengthEscape) return b;
  const std::uint16_t w = ReadU16();
  if (w == kUtf16Marker && is_marker != nullptr) {
    *is_marker = true;
    return 0;
  }
  if (w == kLength32Escape) return ReadU32();
  return w;
}

std::uint32_t Archive::ReadStringStart(bool* utf16) {
  *utf16 = false;
  std::uint32_t length = ReadLength(utf16);
  // After the marker comes the real length; a second marker value there is
  // simply the length 0xFFFE.
  if (*utf16) length = ReadLength(nullptr);

  // The length comes from the file and may be anything: refuse it before
  // allocating when the file cannot hold that many characters.
  const std::uint64_t bytes = static_cast<std::uint64_t>(length) * (*utf16 ? 2 : 1);
  // (Only a string that reaches past the buffer needs to ask the file.)
  if (bytes > end_ - pos_ && bytes > Remaining()) throw ArchiveException(ArchiveException::endOfFile);
  return length;
}

void Archive::ReadExactly(void* data, std::uint64_t count) {
  auto* out = static_cast<std::uint8_t*>(data);
  while (count > 0) {
    const auto piece = static_cast<std::uint32_t>(std::min(count, kMaxChunk));
    // The file may shrink under a concurrent writer's truncation.
    if (Read(out, piece) != piece) throw ArchiveException(ArchiveException::endOfFile);
    out += piece;
    count -= piece;
  }
}

void Archive::Skip(std::uint64_t count) {
  std::uint8_t scratch[512];
  while (count > 0) {
    const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, sizeof scratch));
    ReadExactly(scratch, piece);
    count -= piece;
  }
}

namespace {

void ToNativeOrder(std::span<char16_t> units) {
  if constexpr (std::endian::native == std::endian::big) {
    for (char16_t& unit : units) unit = static_cast<char16_t>((unit >> 8) | (unit << 8));
  }
}

}  // namespace

std::u16string Archive::ReadString() {
  bool utf16 = false;
  const std::uint32_t length = ReadStringStart(&utf16);
  if (!utf16) {
    std::string narrow(length, '\0');
    ReadExactly(narrow.data(), length);
    return platform::Utf8ToUtf16(narrow);
  }
  std::u16string text(length, u'\0');
  ReadExactly(text.data(), std::uint64_t{length} * 2);
  ToNativeOrder(text);
  return text;
}

void Archive::ReadStringInto(char16_t* field, std::size_t capacity) {
  bool utf16 = false;
  const std::uint32_t length = ReadStringStart(&utf16);
  std::size_t kept = 0;
  if (utf16) {
    // Straight into the field; the units that do not fit are passed over.
    kept = std::min<std::size_t>(length, capacity - 1);
    ReadExactly(field, kept * 2);
    ToNativeOrder({field, kept});
    Skip((std::uint64_t{length} - kept) * 2);
  } else {
    std::string narrow(length, '\0');
    ReadExactly(narrow.data(), length);
    const std::u16string text = platform::Utf8ToUtf16(narrow);
    kept = std::min(text.size(), capacity - 1);
    std::copy_n(text.data(), kept, field);
  }
  std::fill(field + kept, field + capacity, u'\0');
}

std::uint64_t Archive::ConsumedPosition() const { return file_->GetPosition() - (end_ - pos_); }

void Archive::Close() {
  if (closed_) return;
  closed_ = true;
  if (mode_ == kStore) {
    Flush();
  } else if (end_ > pos_) {
    const auto unread = static_cast<std::int64_t>(end_ - pos_);
    pos_ = end_ = 0;
    file_->Seek(-unread, platform::File::current);
  }
}

}  // namespace qorlog::logstore

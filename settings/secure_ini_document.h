// CSecureIniDocument: a settings document stored in one of two protection
// formats, never as plain text.
//
//   INI_FORMAT_HEX        DES-CBC cipher text of the UTF-8 settings text as
//                         upper-case hex digits, nothing else in the file.
//   INI_FORMAT_CONTAINER  binary: magic 0xAAA00001, digest length D, payload
//                         length P (little-endian 32-bit each), the D-byte
//                         HAS-160 digest of the payload, then the P-byte
//                         payload (SEED-ECB cipher text of the UTF-8 text).
//
// Both are keyed by kSettingsKeyString. Loading classifies the file image,
// removes the protection and parses; saving writes either format and can
// stamp the time of writing into section "common", key "writetime".
// docs/settings.md describes both layouts byte by byte.
//
// Thread rules: as CIniDocument, one thread at a time per document. The
// static operations keep no state and may run on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"
#include "settings/ini_document.h"

namespace qorlog {

inline constexpr DWORD INI_FORMAT_HEX = 0xAAA00000;
inline constexpr DWORD INI_FORMAT_CONTAINER = 0xAAA00001;  // also the container's magic
// A file image in neither format. Passed to Save or SaveStamped it means the
// format of the document as loaded.
inline constexpr DWORD INI_FORMAT_NONE = 0xAAA00002;

// The key string of every protected settings file the suite exchanges. DES
// takes its first 8 bytes; SEED takes all 13, extended with zero bytes.
inline constexpr std::u16string_view kSettingsKeyString = u"Qor#Settings1";
inline constexpr char kSettingsKeyNarrow[] = "Qor#Settings1";

// The write-time stamp: section and key, read case-insensitively.
inline constexpr std::u16string_view kStampSection = u"common";
inline constexpr std::u16string_view kStampKey = u"writetime";

// Files larger than this are not taken for settings files and fail to load.
inline constexpr std::uint64_t kMaxSettingsFileBytes = 16u << 20;

class CSecureIniDocument : public CIniDocument {
 public:
  CSecureIniDocument() = default;
  ~CSecureIniDocument() override = default;

  // Reads the whole file (denying writers meanwhile) and loads it with
  // LoadFromBytes. With `delete_after_read` the file is then made writable
  // and deleted, whether or not it loaded. 0 when it cannot be opened or
  // read, or does not load.
  BOOL LoadFile(std::u16string_view path, BOOL delete_after_read);
  // Classifies the image, stores the class as the document's format, removes
  // the protection and parses the text. On failure the text and sections are
  // unchanged. Never reads outside [image, image + length).
  BOOL LoadFromBytes(const std::uint8_t* image, std::size_t length);
  // LoadFile without deleting; on success copies the whole settings text.
  BOOL LoadFileText(std::u16string_view path, std::u16string* text);
  // 0 when loading fails or there is no (or an empty) write-time stamp; 1
  // when the stamp is not older than `max_age_seconds`; -1 when it is older
  // or is not a time.
  int LoadAndCheckAge(std::u16string_view path, std::int64_t max_age_seconds,
                      BOOL delete_after_read);

  // Writes the document in `format` (INI_FORMAT_NONE: the format loaded;
  // anything but INI_FORMAT_CONTAINER writes hex text), creating missing
  // folders and overwriting a read-only file. 1 after a complete write. A
  // container whose encryption or digest fails leaves the file untouched.
  BOOL Save(std::u16string_view path, DWORD format);
  // As Save, after setting the write-time stamp to the local time when
  // `stamp` is set.
  BOOL SaveStamped(std::u16string_view path, BOOL stamp, DWORD format);

  DWORD format() const { return format_; }

  static DWORD ClassifyBytes(const std::uint8_t* image, std::size_t length);
  // 1 when the image has the container magic, a digest of at least 20 bytes,
  // lengths that stay inside the image, and a digest that matches the
  // payload.
  static BOOL IsValidContainer(const std::uint8_t* image, std::size_t length);

  // "YYYY.MM.DD.hh.mm.ss" of a local time.
  static std::u16string FormatStamp(const SYSTEMTIME& time);
  // 1 when the stamp names a time no earlier than now minus the maximum age
  // (a future time is fresh); 0 when older, or not six numeric fields of a
  // possible date and time. Fields beyond the sixth are ignored.
  static BOOL IsStampFresh(std::u16string_view stamp, std::int64_t max_age_seconds);
  // The same against a given current local time.
  static BOOL IsStampFresh(std::u16string_view stamp, std::int64_t max_age_seconds,
                           const SYSTEMTIME& now);

  // Creates a folder and its missing parents. 1 when this call created it;
  // 0 when it exists already or could not be made.
  static BOOL MakeDirectoryTree(std::u16string_view path);

 private:
  BOOL WriteHex(std::u16string_view path);
  BOOL WriteContainer(std::u16string_view path);

  DWORD format_ = INI_FORMAT_HEX;
};

}  // namespace qorlog

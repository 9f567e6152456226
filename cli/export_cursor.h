// The cursor of export and forward: where a run stopped, kept in a small
// JSON file so that the next run goes on after the last record written out.
//
// For each kind it marks the files of the newest day read so far (writers
// may still append to any file of the current day, so each keeps its own
// place). A file is named by its name and a digest of its first record, so a
// file that was removed and made again under the same name is not mistaken
// for the old one. `next` is the index of the first record not yet taken;
// `seen` the records the file held when last read.
// Thread rules: none.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "api/qorlog.h"

namespace qorlog::cli {

struct FileMark {
  std::string name;
  std::string digest;
  std::uint32_t next = 0;
  std::uint32_t seen = 0;
  std::string last_time;  // the local time of the last record taken, for people
};

struct Cursor {
  std::map<DWORD, std::vector<FileMark>> kinds;  // marks in name order
};

enum class CursorLoad { kLoaded, kMissing, kUnreadable, kMalformed };

// Reads the cursor at `path`; a missing file gives an empty cursor. *why
// says what is wrong for kUnreadable and kMalformed.
CursorLoad LoadCursor(const std::string& path, Cursor* cursor, std::string* why);

// Replaces the cursor file atomically. 0 or a system error code.
DWORD SaveCursor(const std::string& path, const Cursor& cursor);

// One line per kind: the category, the file and the record index after which
// the next run goes on.
std::string DescribeCursor(const Cursor& cursor);

}  // namespace qorlog::cli

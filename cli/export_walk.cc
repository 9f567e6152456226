#include "cli/export_walk.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include "cli/export_cursor.h"
#include "cli/export_time.h"
#include "cli/status_text.h"
#include "cli/log_kind.h"
#include "cli/log_locations.h"
#include "platform/folder_watch.h"
#include "platform/process.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

// A wake-up without a change, in case a notice was lost (the watch limit
// reached, a folder replaced): a slow look, not the way changes are found.
constexpr DWORD kSafetyNetMs = 30'000;

// The day a file belongs to: the date part of YYYYMMDDnn.log.
std::string DayOf(const std::string& name) { return name.substr(0, 8); }

class Walk {
 public:
  Walk(const WalkOptions& options, RecordSink& sink) : options_(options), sink_(sink) {}

  ExitCode Run() {
    if (!options_.cursor_path.empty()) {
      std::string why;
      switch (LoadCursor(options_.cursor_path, &cursor_, &why)) {
        case CursorLoad::kLoaded:
          break;
        case CursorLoad::kMissing:
          // Made at once, so that a cursor that cannot be kept is found out
          // before anything is written out.
          if (!SaveNow()) return ExitCode::kFailed;
          break;
        case CursorLoad::kUnreadable:
          std::cerr << options_.command << ": cannot read the cursor file " << options_.cursor_path << ": " << why
                    << "\n";
          return ExitCode::kUsage;
        case CursorLoad::kMalformed:
          std::cerr << options_.command << ": the cursor file " << options_.cursor_path << " is not usable: " << why
                    << "\n";
          return ExitCode::kUsage;
      }
    }
    std::optional<platform::FolderWatch> watch;
    if (options_.follow) watch.emplace();
    for (;;) {
      if (watch) WatchFolders(*watch);
      const RecordSink::Result result = Pass();
      if (result == RecordSink::Result::kFailed) return ExitCode::kFailed;
      if (result == RecordSink::Result::kStopped || !watch) break;
      if (watch->Wait(kSafetyNetMs) == platform::FolderWatch::Wake::kStopped) break;
    }
    if (!SaveNow()) return ExitCode::kFailed;
    return gap_ ? ExitCode::kDamaged : ExitCode::kSuccess;
  }

 private:
  // Watches each category folder, or the nearest folder above it that
  // exists, so that a folder made later is noticed too.
  void WatchFolders(platform::FolderWatch& watch) {
    const LogLocations locations = FindLogLocations();
    for (DWORD kind : options_.kinds) {
      std::filesystem::path folder = locations.CategoryFolder(kind);
      if (watched_.count(folder.string()) != 0) continue;
      for (std::filesystem::path f = folder; !f.empty(); f = f.parent_path()) {
        if (watch.Watch(platform::Utf8ToUtf16(f.string())) == 0) {
          if (f == folder) watched_.insert(folder.string());
          break;
        }
        if (f == f.parent_path()) break;
      }
    }
  }

  RecordSink::Result Pass() {
    for (DWORD kind : options_.kinds) {
      const RecordSink::Result r = PassKind(kind);
      if (r != RecordSink::Result::kTaken) return r;
    }
    return RecordSink::Result::kTaken;
  }

  void Note(const ExportFile& f, const std::string& text) {
    std::cerr << options_.command << ": " << f.category << ": " << text << "\n";
  }

  // Marks of files that are gone: reported as skipped, then dropped.
  void DropVanished(DWORD kind, std::vector<FileMark>& marks, const std::vector<ExportFile>& files) {
    for (auto it = marks.begin(); it != marks.end();) {
      const bool listed = std::any_of(files.begin(), files.end(), [&](const ExportFile& f) { return f.name == it->name; });
      if (listed) {
        ++it;
        continue;
      }
      const auto next = std::find_if(files.begin(), files.end(), [&](const ExportFile& f) { return f.name > it->name; });
      std::cerr << options_.command << ": " << CategoryName(kind) << ": "
                << it->name << " was removed before it was read to its end: records from number " << it->next + 1
                << " on were skipped (at least " << it->seen - it->next << ", more if any were added later); "
                << (next == files.end() ? "going on with the next file that appears" : "going on with " + next->name)
                << "\n";
      gap_ = true;
      it = marks.erase(it);
    }
  }

  RecordSink::Result PassKind(DWORD kind) {
    const std::vector<ExportFile> files = ListExportFiles(kind, options_.host);
    std::vector<FileMark>& marks = cursor_.kinds[kind];
    // Files up to the greatest one marked were finished before (or are
    // marked): only marked files and newer ones are read.
    const std::string greatest = marks.empty() ? std::string() : marks.back().name;
    DropVanished(kind, marks, files);
    for (const ExportFile& file : files) {
      auto mark = std::find_if(marks.begin(), marks.end(), [&](const FileMark& m) { return m.name == file.name; });
      if (mark == marks.end() && !greatest.empty() && file.name <= greatest) continue;
      std::error_code ec;
      const auto size = std::filesystem::file_size(file.path, ec);
      if (!ec && mark != marks.end() && sizes_[file.path] == size && mark->next >= mark->seen) continue;

      FileRecords read = ReadFileRecords(file);
      if (read.open_status != 0 || read.status != 0) {
        if (reported_.insert(file.path).second) {
          Note(file, file.name + " cannot be exported: " +
                         (read.open_status != 0 ? "cannot open it (" + StatusText(read.open_status) + ")"
                          : read.status == QORLOG_STATUS_LOG_ERROR
                              ? std::string("it is damaged (a record value out of bounds, or a file error)")
                              : StatusText(read.status)));
          gap_ = true;
        }
        continue;
      }
      if (!ec) sizes_[file.path] = size;
      if (mark == marks.end()) {
        marks.push_back(FileMark{file.name, read.digest, 0, 0, {}});
        std::sort(marks.begin(), marks.end(), [](const FileMark& a, const FileMark& b) { return a.name < b.name; });
        mark = std::find_if(marks.begin(), marks.end(), [&](const FileMark& m) { return m.name == file.name; });
      } else if (!mark->digest.empty() && mark->digest != read.digest) {
        Note(file, file.name + " was replaced by another file of the same name: " + std::to_string(mark->seen - mark->next) +
                       " or more records of the old one were skipped; reading the new one from its start");
        gap_ = true;
        mark->next = 0;
      } else if (read.records.size() < mark->next) {
        Note(file, file.name + " holds fewer records than were taken from it (" + std::to_string(read.records.size()) +
                       " < " + std::to_string(mark->next) + "); waiting for new ones");
        continue;
      }
      mark->digest = read.digest;
      mark->seen = static_cast<std::uint32_t>(read.records.size());
      const RecordSink::Result r = SendFrom(file, read, *mark);
      if (r != RecordSink::Result::kTaken) return r;
    }
    // Writers append only to files of the current day: once a newer day has
    // files, the older days' files were read to their end above.
    if (!marks.empty()) {
      const std::string day = DayOf(marks.back().name);
      std::erase_if(marks, [&](const FileMark& m) { return DayOf(m.name) < day; });
    }
    return RecordSink::Result::kTaken;
  }

  RecordSink::Result SendFrom(const ExportFile& file, const FileRecords& read, FileMark& mark) {
    const std::uint32_t total = static_cast<std::uint32_t>(read.records.size());
    while (mark.next < total) {
      const std::uint32_t end = static_cast<std::uint32_t>(std::min<std::size_t>(total, mark.next + options_.batch_size));
      Batch batch;
      batch.file = &file;
      batch.records = read.records;
      for (std::uint32_t i = mark.next; i < end; ++i) {
        if (options_.since || options_.until) {
          const auto t = LocalFileTime(read.records[i].time);
          if (options_.since && (!t || *t < *options_.since)) continue;
          if (options_.until && (!t || *t > *options_.until)) continue;
        }
        batch.indices.push_back(i);
      }
      if (!batch.indices.empty()) {
        if (platform::StopRequested()) return RecordSink::Result::kStopped;
        const RecordSink::Result r = sink_.Deliver(batch);
        if (r != RecordSink::Result::kTaken) return r;
      }
      mark.next = end;
      mark.last_time = FormatTime(read.records[end - 1].time);
      if (!SaveNow()) return RecordSink::Result::kFailed;
    }
    return RecordSink::Result::kTaken;
  }

  bool SaveNow() {
    if (options_.cursor_path.empty()) return true;
    const DWORD error = SaveCursor(options_.cursor_path, cursor_);
    if (error == 0) return true;
    std::cerr << options_.command << ": cannot write the cursor file " << options_.cursor_path << " ("
              << StatusText(error) << ")\n";
    return false;
  }

  const WalkOptions& options_;
  RecordSink& sink_;
  Cursor cursor_;
  bool gap_ = false;
  std::set<std::string> watched_;
  std::set<std::string> reported_;                  // damaged files already reported
  std::map<std::string, std::uintmax_t> sizes_;     // file sizes when last read
};

}  // namespace

ExitCode RunWalk(const WalkOptions& options, RecordSink& sink) { return Walk(options, sink).Run(); }

}  // namespace qorlog::cli

// The names of a folder, kept between searches while the folder is provably
// unchanged. Internal to the POSIX backend.
//
// The promise: a search that uses kept names gets exactly the names a fresh
// listing would give at that moment, whoever changed the folder (this
// process, another one, or a person) and however fast.
//
// The primitive: an inotify watch on the folder, set before the names are
// read, for every change of the set of names (created, deleted, moved in or
// out) and for the folder itself going away (deleted, moved, unmounted). The
// kernel queues the event within the call that makes the change, so once a
// change has returned, its event is there for the next read of the queue.
// Before kept names are used, the queue is read to its end; any event for the
// folder (or a lost-events notice) drops them. The folder is named by its
// device and inode, taken from the open descriptor, so a folder that another
// one replaced under the same path is a different folder: its names are read
// afresh. Time stamps are never consulted: they come from a coarse clock, so
// a change within a tick of the listing would leave them equal.
//
// The traps: a watch set after the listing would miss a change made between
// the two; events of files' contents are not asked for, so the appends' own
// writes queue nothing. A child made by fork() shares the parent's inotify
// queue, so a read in one would take events from the other: a fork handler
// makes the child forget the kept names and close its copy of the queue
// before it uses either. Without inotify (or /proc, through which the watch
// is set on the open folder) the names are read afresh every time, and so
// they are on a network file system, where changes made from another machine
// raise no event here.
//
// Thread rules: any thread; the kept names are guarded by a mutex.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace qorlog::platform::posix::folder_listing {

using Names = std::shared_ptr<const std::vector<std::string>>;

// The names of every entry of the folder open as `fd` ("." and ".."
// included), kept ones when they can be trusted, else read with getdents64
// from the folder's start. `rewind` says the descriptor's position may have
// moved from the start. 0, or errno.
int Read(int fd, bool rewind, Names* out);

}  // namespace qorlog::platform::posix::folder_listing

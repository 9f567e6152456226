// The names of a folder, kept between searches while the folder is provably
// unchanged, and the folder's descriptor, kept between opens of its path
// while the path provably leads to it. Internal to the POSIX backend.
//
// The promise: a search that uses kept names gets exactly the names a fresh
// listing would give at that moment, and an open that gets a kept
// descriptor the folder a fresh walk of the path would reach, whoever
// changed the folder or the path (this process, another one, or a person)
// and however fast.
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
// A kept descriptor has a watch on every folder of its path, from the root
// down, set before the walk that opened it: a folder of the path moved,
// removed or changed in its permissions, or another one renamed over its
// name, drops the descriptor. A file system mounted over a folder of the
// path raises no inotify event, so /proc/self/mountinfo is polled with the
// queue (one poll() for both when nothing happened) and any mount or unmount
// drops every kept descriptor. Only paths with no link anywhere (the walk
// refuses them) and on local file systems are kept, so no change elsewhere
// can redirect them. An open that gets a kept descriptor has just read the
// queue; the first search through it uses that read.
//
// The traps: a watch set after the listing would miss a change made between
// the two; events of files' contents are not asked for, so the appends' own
// writes queue nothing. A child made by fork() shares the parent's inotify
// queue, so a read in one would take events from the other: a fork handler
// makes the child forget the kept names and descriptors and close its copy
// of the queue before it uses either. Watches on the same folder are one
// watch with the union of what was asked (IN_MASK_ADD), so no use narrows
// another's. A kept descriptor's read position is shared by every Folder
// that holds it, so listings through it start by rewinding (under the
// mutex). Without inotify (or /proc, through which the watch is set on the
// open folder) names are read afresh and folders walked afresh every time,
// and so they are on a network file system, where changes made from another
// machine raise no event here.
//
// Thread rules: any thread; the kept names and descriptors are guarded by a
// mutex.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/native_handle.h"

namespace qorlog::platform::posix::folder_listing {

using Names = std::shared_ptr<const std::vector<std::string>>;
using SharedHandle = std::shared_ptr<const NativeHandle>;

// The names of every entry of the folder open as `fd` ("." and ".."
// included), kept ones when they can be trusted, else read with getdents64
// from the folder's start. `rewind` says the descriptor's position may have
// moved from the start; `confirmed`, that OpenFolder just gave `fd` as a
// kept folder (the queue read it made then stands for this one). 0, or errno.
int Read(int fd, bool rewind, bool confirmed, Names* out);

// The folder at `path` (absolute, with no link anywhere in it): the
// descriptor kept from an earlier open when no change since can have made
// the path lead to another folder (*confirmed is then true), else the
// descriptor that `open` gives (or null, with errno set by `open`), kept
// for later opens when every folder along the path can be watched.
SharedHandle OpenFolder(const std::string& path, const std::function<int()>& open, bool* confirmed);

}  // namespace qorlog::platform::posix::folder_listing

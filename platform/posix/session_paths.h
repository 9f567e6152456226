// Where the POSIX backend keeps the files behind named objects: the session
// folder of the user, the machine-wide folder, and the file of each named
// object and named mutex. Internal to the backend.
// Thread rules: any thread.
#pragma once

#include <string>
#include <string_view>

namespace qorlog::platform::posix {

// The folder of the user's session objects: $XDG_RUNTIME_DIR/qorlog, else
// /run/user/<uid>/qorlog when /run/user/<uid> exists and belongs to the user,
// else /tmp/qorlog-<uid>. Created with mode 0700 and checked to belong to the
// user; an empty string when that fails.
std::string SessionFolder();

// The folder of machine-wide objects (names that begin with "Global\"):
// $QORLOG_GLOBAL_DIR when set, else /tmp/qorlog-global; created
// world-writable and sticky.
std::string MachineFolder();

// The file that holds a named object of `kind` ("map", "event"), or an empty
// string when the name is not valid (empty, or containing '/' or '\' after
// the scope prefix) or the scope's folder cannot be made.
std::string NamedObjectPath(std::u16string_view name, std::string_view kind);

// The file in which the mutex of `name` lives: the session folder, then
// "mutex-" and the name with every character outside [A-Za-z0-9._-]
// written as %XXXX. Empty when there is no session folder.
std::string MutexFilePath(std::u16string_view name);

}  // namespace qorlog::platform::posix

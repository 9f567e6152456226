// The readiness notice of the POSIX backend (platform/process.h): a program
// started with a ready wait finds a pipe descriptor in this environment
// variable, writes one byte there once it can receive messages, and closes
// it. The starter's wait ends at that byte, or at end-of-file once no
// process holds the writing end (the program exited). Internal to the
// backend and its tests.
#pragma once

namespace qorlog::platform::posix {

inline constexpr const char* kReadyFdVariable = "QORLOG_READY_FD";

}  // namespace qorlog::platform::posix

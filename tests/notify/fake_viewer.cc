// The test program doubles as a viewer: started (under the name "qorlog") with
// QORLOG_TEST_FAKE_VIEWER set to a report path, it publishes a window as the
// viewer does, sends the readiness notice, and reports the first WM_COPYDATA
// it receives (and how it was started) before it exits. Its handler answers 7.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "notify/notify_names.h"
#include "platform/process.h"
#include "platform/window.h"
#include "platform/window_publication.h"

namespace qorlog::testing {
namespace {

std::string LinkOf(const char* path) {
  char buf[4096];
  const ssize_t n = readlink(path, buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

int RunFakeViewer(const std::string& report) {
  platform::MessageWindow window;
  bool done = false;
  window.Create([&](platform::UINT msg, platform::WPARAM, platform::LPARAM lparam) -> platform::LRESULT {
    if (msg != platform::kWmCopyData) return 0;
    const auto* cds = platform::CopyDataOf(lparam);
    std::ofstream out(report + ".bytes", std::ios::binary);
    out.write(static_cast<const char*>(cds->lpData), cds->cbData);
    std::ofstream text(report);
    text << "id=" << cds->dwData << " size=" << cds->cbData << "\n"
         << "stdin=" << LinkOf("/proc/self/fd/0") << "\n"
         << "stdout=" << LinkOf("/proc/self/fd/1") << "\n"
         << "leader=" << (getsid(0) == getpid() ? 1 : 0) << "\n";
    done = true;
    window.Stop();
    return 7;
  });
  platform::WindowPublication publication;
  if (publication.Publish(kViewerMappingName, window.handle()) != 0) return 2;
  platform::SignalReady();
  window.RunFor(10000);
  return done ? 0 : 1;
}

const int kFakeViewerHook = [] {
  const char* report = std::getenv("QORLOG_TEST_FAKE_VIEWER");
  if (report != nullptr && *report != 0) _exit(RunFakeViewer(report));
  return 0;
}();

}  // namespace
}  // namespace qorlog::testing

// The test program doubles as the viewer: started (as "qorlog") with
// QORLOG_TEST_FAKE_VIEWER set to "MODE,REPORT", it runs MODE instead of the
// tests, before main. "viewer" publishes a window as the viewer does, sends
// the readiness notice, reports the first WM_COPYDATA it receives and how it
// was started, then exits; its handler answers 7. "silent" makes a window
// but never publishes it or waits for messages: a viewer that never gets
// ready. Each start appends "started" to REPORT.starts.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "notify/notify_names.h"
#include "platform/process.h"
#include "platform/window.h"
#include "platform/window_publication.h"
#include "tests/notify/notify_test_util.h"
#include "tests/support/spawn_child.h"

namespace qorlog::testing {

// True when this process was started hidden; copies `program` to `copy` as
// a program that the system treats as the viewer (viewer_system.cc).
bool StartedHidden();
void CopyAsViewer(const std::filesystem::path& program, const std::filesystem::path& copy);

namespace {

int RunFakeViewer(const std::string& report) {
  platform::MessageWindow window;
  bool done = false;
  window.Create([&](platform::UINT msg, platform::WPARAM, platform::LPARAM lparam) -> platform::LRESULT {
    if (msg != platform::kWmCopyData) return 0;
    const auto* cds = platform::CopyDataOf(lparam);
    std::ofstream out(report + ".bytes", std::ios::binary);
    out.write(static_cast<const char*>(cds->lpData), cds->cbData);
    std::ofstream(report, std::ios::binary)
        << "id=" << cds->dwData << " size=" << cds->cbData << " hidden=" << StartedHidden() << "\n";
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

int RunSilentViewer() {
  platform::MessageWindow window;
  window.Create(nullptr);
  std::this_thread::sleep_for(std::chrono::seconds(5));
  return 0;
}

const int kFakeViewerHook = [] {
  const char* setting = std::getenv("QORLOG_TEST_FAKE_VIEWER");
  if (setting == nullptr || *setting == 0) return 0;
  const std::string value = setting;
  const std::string mode = value.substr(0, value.find(','));
  const std::string report = value.substr(value.find(',') + 1);
  std::ofstream(report + ".starts", std::ios::binary | std::ios::app) << "started\n";
  std::_Exit(mode == "silent" ? RunSilentViewer() : RunFakeViewer(report));
}();

}  // namespace

FakeViewerInstall::FakeViewerInstall(const IsolatedEnv& env, const std::string& mode)
    : install_path_(env), report_(env.root() / "viewer-report") {
  namespace fs = std::filesystem;
  const fs::path bin = env.root() / "bin";
  fs::create_directories(bin);
  const std::u16string suffix(platform::kProgramFileSuffix);
  CopyAsViewer(SelfPath(), bin / (u"qorlog" + suffix));
  install_path_.Set(bin);
  SetEnv("QORLOG_TEST_FAKE_VIEWER", mode + "," + report_.string());
}

}  // namespace qorlog::testing

// A message receiver in a thread of the test process, for the writers'
// notices: its window is published under a name, as the viewer and the tray
// publish theirs, and every message it handles is kept.
#pragma once

#include <chrono>
#include <cstdint>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/window.h"
#include "platform/window_publication.h"

namespace qorlog::testing {

struct Received {
  platform::UINT msg = 0;
  platform::WPARAM wparam = 0;
  platform::LPARAM lparam = 0;
  std::uint64_t id = 0;  // WM_COPYDATA: the id and a copy of the bytes
  std::string bytes;
};

class TestReceiver {
 public:
  explicit TestReceiver(std::u16string_view name) {
    std::promise<platform::HWND> created;
    auto handle = created.get_future();
    thread_ = std::thread([this, &created] {
      window_.Create([this](platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam) -> platform::LRESULT {
        Received r{msg, wparam, lparam, 0, {}};
        if (msg == platform::kWmCopyData) {
          const auto* cds = platform::CopyDataOf(lparam);
          r.id = cds->dwData;
          r.bytes.assign(static_cast<const char*>(cds->lpData), cds->cbData);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back(std::move(r));
        return 1;
      });
      created.set_value(window_.handle());
      window_.Run();
      window_.Destroy();
    });
    published_ = publication_.Publish(name, handle.get()) == 0;
  }
  ~TestReceiver() {
    window_.Stop();
    thread_.join();
  }
  bool published() const { return published_; }
  std::vector<Received> received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  // The first message not taken yet, waiting up to `timeout_ms`.
  std::optional<Received> Next(int timeout_ms = 3000) {
    for (auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);;) {
      if (auto all = received(); taken_ < all.size()) return all[taken_++];
      if (std::chrono::steady_clock::now() >= until) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

 private:
  platform::MessageWindow window_;
  platform::WindowPublication publication_;
  bool published_ = false;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Received> received_;
  std::size_t taken_ = 0;
};

}  // namespace qorlog::testing

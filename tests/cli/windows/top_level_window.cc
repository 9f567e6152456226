// Asks the system where a window sits: the test's view of the window kinds.
#include <windows.h>

#include <cstdint>

namespace qorlog::testing {

bool IsHiddenTopLevelWindow(std::uint64_t window) {
  const HWND native = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
  return ::GetAncestor(native, GA_PARENT) == ::GetDesktopWindow() && !::IsWindowVisible(native);
}

}  // namespace qorlog::testing

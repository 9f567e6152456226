#include "svchelper/service_helper_bridge.h"

namespace qorlog::inline svchelper {

CServiceHelperBridge::CServiceHelperBridge() { construction_.End(); }

CServiceHelperBridge::~CServiceHelperBridge() { Unload(); }

bool CServiceHelperBridge::GatesOpen() const {
  if (!IsLoaded()) return false;
  if (is_user_mode_.get() == nullptr || is_user_mode_.get()() == 0) return false;
  return is_installed_.get() != nullptr && is_installed_.get()() != 0;
}

void CServiceHelperBridge::Touch(const CDllEntry<TouchFn>& entry, const char16_t* path) {
  if (path == nullptr || !GatesOpen()) return;
  if (TouchFn touch = entry.get(); touch != nullptr) touch(path);
}

void CServiceHelperBridge::TouchSubPath(const char16_t* path) { Touch(touch_sub_path_, path); }

void CServiceHelperBridge::TouchSubFile(const char16_t* path) { Touch(touch_sub_file_, path); }

}  // namespace qorlog::svchelper

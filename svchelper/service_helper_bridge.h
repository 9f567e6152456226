// CServiceHelperBridge: the suite's service helper library (qor2scd), bound at
// run time with its 26 entry points, and the gate-then-touch rule through
// which the log store hands it the folders and files it uses.
//
// The library is never linked. The log manager owns one bridge from library
// load to unload; the first append that finds it unloaded loads it from the
// update component's folder, and a failed load is tried again by the next.
// Only four entries are ever called: the two gates (IsUserMode, IsInstalled)
// and the two touch operations. A library that lacks one of them stays
// loaded; a missing gate counts as answering 0 and a missing touch entry is
// skipped.
//
// Thread rules: construction may run on any thread (see CDllBridge). Every
// other operation runs under the writers' mutex.
#pragma once

#include <string_view>

#include "platform/types.h"
#include "svchelper/dll_bridge.h"

namespace qorlog::inline svchelper {

// Where the helper lies below the update component's folder.
inline constexpr std::u16string_view kServiceHelperSubfolder = u"amd64";
// The helper's file name without the system's suffix (platform::kModuleFileSuffix).
inline constexpr std::u16string_view kServiceHelperFileName = u"qor2scd";
// LOAD_WITH_ALTERED_SEARCH_PATH, the flag the helper is loaded with.
inline constexpr DWORD kLoadWithAlteredSearchPath = 8;

class CServiceHelperBridge : public CDllBridge {
  // Publishes this bridge to the entries below while they are constructed;
  // declared first so it is built first, and ended in the constructor body.
  Construction construction_{this};

 public:
  // Entry-point types. The entries that are bound but never called get a
  // plain function type; their arguments are the helper's own affair.
  using GateFn = DWORD (*)();
  using TouchFn = DWORD (*)(const WCHAR* path);
  using OtherFn = void (*)();

  CServiceHelperBridge();
  ~CServiceHelperBridge() override;

  // The gate-then-touch rule: when a library is loaded, IsUserMode answers
  // nonzero and then IsInstalled answers nonzero, hand `path` (NUL-terminated)
  // to the touch entry. Each step that answers 0 ends the rule; the touch's
  // own result is ignored.
  void TouchSubPath(const char16_t* path);
  void TouchSubFile(const char16_t* path);

  // The entries, in their fixed order (the order of the list and of binding).
  CDllEntry<GateFn> dll_ver_{"qor2svcDllVer"};
  CDllEntry<GateFn> is_user_mode_{"qor2svcIsUserMode"};
  CDllEntry<GateFn> is_user_mode_support_{"qor2svcIsUserModeSupport"};
  CDllEntry<OtherFn> install_{"qor2svcInstall"};
  CDllEntry<OtherFn> uninstall_{"qor2svcUninstall"};
  CDllEntry<GateFn> is_installed_{"qor2svcIsInstalled"};
  CDllEntry<OtherFn> start_{"qor2svcStart"};
  CDllEntry<OtherFn> stop_{"qor2svcStop"};
  CDllEntry<OtherFn> make_everyone_file_{"qor2svcMakeEveryoneFileW"};
  CDllEntry<OtherFn> make_everyone_path_{"qor2svcMakeEveryonePathW"};
  CDllEntry<OtherFn> execute_{"qor2svcExecuteW"};
  CDllEntry<OtherFn> execute_exit_{"qor2svcExecuteExitW"};
  CDllEntry<OtherFn> execute_as_admin_{"qor2svcExecuteAsAdminW"};
  CDllEntry<OtherFn> execute_as_admin_exit_{"qor2svcExecuteAsAdminExitW"};
  CDllEntry<OtherFn> execute_thread_{"qor2svcExecuteThreadW"};
  CDllEntry<OtherFn> execute_thread_exit_{"qor2svcExecuteThreadExitW"};
  CDllEntry<OtherFn> elevation_app_{"qor2svcElevationAppW"};
  CDllEntry<OtherFn> copy_file_{"qor2svcCopyFileW"};
  CDllEntry<OtherFn> make_path_{"qor2svcMakePathW"};
  CDllEntry<OtherFn> make_file_map_{"qor2svcMakeFileMapW"};
  CDllEntry<TouchFn> touch_sub_path_{"qor2svcTouchSubPathW"};
  CDllEntry<TouchFn> touch_sub_file_{"qor2svcTouchSubFileW"};
  CDllEntry<OtherFn> touch_sub_key_{"qor2svcTouchSubKeyW"};
  CDllEntry<OtherFn> reg_svr_{"qor2svcRegSvrW"};
  CDllEntry<OtherFn> reg_set_value_str_{"qor2svcRegSetValueStrW"};
  CDllEntry<OtherFn> reg_set_value_int_{"qor2svcRegSetValueIntW"};

 private:
  bool GatesOpen() const;
  void Touch(const CDllEntry<TouchFn>& entry, const char16_t* path);
};

}  // namespace qorlog::svchelper

// CDllBridge: a library loaded at run time and the list of its entry binders;
// CDllEntry: one export bound by name.
//
// A bridge class derives from CDllBridge and declares its entries as members.
// Each entry, as it is constructed, appends itself to the list of the bridge
// under construction, so the list follows the order of declaration without
// the bridge naming its entries twice. The bridge under construction is a
// process-wide pointer, published and cleared by a CDllBridge::Construction
// that the derived class declares before its entries and ends in its
// constructor body; a process-wide lock, created on first use, makes
// concurrent constructions take turns.
//
// Thread rules: construction may run on any thread. Load, Attach, BindAll,
// Unload and calls through the entries need external serialisation (the log
// manager makes them only under the writers' mutex).
#pragma once

#include <mutex>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/types.h"

namespace qorlog::inline svchelper {

// Binds one export of a loaded library.
class CDllEntryBinder {
 public:
  virtual ~CDllEntryBinder() = default;
  // 1 at once if already bound; else looks the export up and keeps it; 1 when
  // it was found.
  virtual BOOL Bind(platform::ModuleHandle module) = 0;
  // Forgets the bound address.
  virtual void Reset() = 0;
};

class CDllBridge {
 public:
  // Publishes a bridge as the one under construction for as long as it
  // lives, or until End(); holds the construction lock meanwhile.
  class Construction {
   public:
    explicit Construction(CDllBridge* bridge);
    ~Construction() { End(); }
    Construction(const Construction&) = delete;
    Construction& operator=(const Construction&) = delete;
    void End();

   private:
    std::unique_lock<std::mutex> lock_;
  };

  CDllBridge();
  virtual ~CDllBridge();
  CDllBridge(const CDllBridge&) = delete;
  CDllBridge& operator=(const CDllBridge&) = delete;

  // Loads the library at `path` (NUL-terminated) and binds every entry. 0 for
  // an absent path or one of kMaxPath characters or more, or a failed load;
  // 1 at once when a library is held already; else the result of Attach.
  // `flags` are the LoadLibraryEx flags; the POSIX loader has no use for them.
  BOOL Load(const char16_t* path, DWORD flags);
  // Releases a library held already, keeps `module` and binds every entry;
  // the result of BindAll.
  BOOL Attach(platform::ModuleHandle module);
  // Binds every entry in list order, going on after a failure; 1 only when
  // every entry is bound.
  virtual BOOL BindAll();
  // Clears every entry.
  virtual void ResetAll();
  // Frees a held library and clears every entry; always 1.
  BOOL Unload();
  BOOL IsLoaded() const { return module_ != nullptr; }

  std::size_t EntryCount() const { return entries_.size(); }

  // Called by an entry's constructor: appends it to the bridge under
  // construction. An entry built outside a Construction belongs to no list.
  static void RegisterEntry(CDllEntryBinder* entry);

 private:
  void AddEntry(CDllEntryBinder* entry);

  platform::ModuleHandle module_ = nullptr;
  std::vector<CDllEntryBinder*> entries_;  // not owned: members of the derived bridge
};

// One export with the function type Fn, bound by name.
template <typename Fn>
class CDllEntry final : public CDllEntryBinder {
 public:
  explicit CDllEntry(const char* name) : name_(name) { CDllBridge::RegisterEntry(this); }

  BOOL Bind(platform::ModuleHandle module) override {
    if (fn_ != nullptr) return 1;
    fn_ = reinterpret_cast<Fn>(platform::GetModuleSymbol(module, name_));
    return fn_ != nullptr ? 1 : 0;
  }
  void Reset() override { fn_ = nullptr; }

  Fn get() const { return fn_; }
  const char* name() const { return name_; }

 private:
  const char* name_;
  Fn fn_ = nullptr;
};

}  // namespace qorlog::svchelper

#include "svchelper/dll_bridge.h"

#include "platform/text.h"

namespace qorlog::inline svchelper {

namespace {

// Created on first use; destroyed with the library's other static objects.
std::mutex& ConstructionLock() {
  static std::mutex lock;
  return lock;
}

CDllBridge* g_under_construction = nullptr;

constexpr std::size_t kEntryGrowth = 4;

}  // namespace

CDllBridge::Construction::Construction(CDllBridge* bridge) : lock_(ConstructionLock()) {
  g_under_construction = bridge;
}

void CDllBridge::Construction::End() {
  if (lock_.owns_lock()) {
    g_under_construction = nullptr;
    lock_.unlock();
  }
}

CDllBridge::CDllBridge() { entries_.reserve(kEntryGrowth); }

// The derived bridge unloads in its own destructor, while its entries still
// exist; by now they are gone, so only the library itself is released.
CDllBridge::~CDllBridge() {
  if (module_ != nullptr) platform::FreeModule(module_);
}

void CDllBridge::RegisterEntry(CDllEntryBinder* entry) {
  if (g_under_construction != nullptr) g_under_construction->AddEntry(entry);
}

void CDllBridge::AddEntry(CDllEntryBinder* entry) {
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.capacity() + kEntryGrowth);
  entries_.push_back(entry);
}

BOOL CDllBridge::Load(const char16_t* path, DWORD /*flags*/) {
  if (path == nullptr) return 0;
  const std::size_t length = platform::WideLength(path, platform::kMaxPath);
  if (length == 0 || length >= platform::kMaxPath) return 0;
  if (module_ != nullptr) return 1;
  platform::ModuleHandle module = platform::LoadModule(std::u16string_view(path, length));
  if (module == nullptr) return 0;
  return Attach(module);
}

BOOL CDllBridge::Attach(platform::ModuleHandle module) {
  Unload();
  module_ = module;
  return BindAll();
}

BOOL CDllBridge::BindAll() {
  BOOL all = 1;
  for (CDllEntryBinder* entry : entries_) {
    if (!entry->Bind(module_)) all = 0;
  }
  return all;
}

void CDllBridge::ResetAll() {
  for (CDllEntryBinder* entry : entries_) entry->Reset();
}

BOOL CDllBridge::Unload() {
  if (module_ != nullptr) {
    platform::FreeModule(module_);
    module_ = nullptr;
    ResetAll();
  }
  return 1;
}

}  // namespace qorlog::svchelper

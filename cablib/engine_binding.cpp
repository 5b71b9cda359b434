#include "engine_binding.h"

namespace vornex {
namespace {

Engine g_engine;
bool g_present = false;

template <typename F>
bool take(HMODULE module, const char* name, F& slot) {
  slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return slot != nullptr;
}

}  // namespace

const Engine& engine() { return g_engine; }
bool engine_present() { return g_present; }

bool bind_engine() {
  g_engine = Engine{};
  g_present = false;
  HMODULE module = LoadLibraryA("cabinet.dll");
  if (!module) return false;
  g_engine.module = module;
  // A module without one of the entry points would crash the first export
  // that needs it, so it keeps the gate closed.
  bool all = take(module, "FCICreate", g_engine.fci_create) &
             take(module, "FCIAddFile", g_engine.fci_add_file) &
             take(module, "FCIDestroy", g_engine.fci_destroy) &
             take(module, "FCIFlushCabinet", g_engine.fci_flush_cabinet) &
             take(module, "FDICreate", g_engine.fdi_create) &
             take(module, "FDIIsCabinet", g_engine.fdi_is_cabinet) &
             take(module, "FDICopy", g_engine.fdi_copy) &
             take(module, "FDIDestroy", g_engine.fdi_destroy);
  g_present = all;
  return all;
}

void unbind_engine() {
  if (g_engine.module) FreeLibrary(g_engine.module);
  g_engine = Engine{};
  g_present = false;
}

}  // namespace vornex

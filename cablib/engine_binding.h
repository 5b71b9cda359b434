// The system cabinet engine (cabinet.dll), bound by name when the library is
// loaded. The function types come from the engine's own headers, so the
// compiler checks the callbacks' calling convention (__cdecl) and arguments.
#ifndef VORNEX_ENGINE_BINDING_H
#define VORNEX_ENGINE_BINDING_H

#include <windows.h>
#include <fci.h>
#include <fdi.h>

namespace vornex {

struct Engine {
  HMODULE module = nullptr;
  decltype(&::FCICreate) fci_create = nullptr;
  decltype(&::FCIAddFile) fci_add_file = nullptr;
  decltype(&::FCIDestroy) fci_destroy = nullptr;
  decltype(&::FCIFlushCabinet) fci_flush_cabinet = nullptr;
  decltype(&::FDICreate) fdi_create = nullptr;
  decltype(&::FDIIsCabinet) fdi_is_cabinet = nullptr;
  decltype(&::FDICopy) fdi_copy = nullptr;
  decltype(&::FDIDestroy) fdi_destroy = nullptr;
};

// The bound engine; meaningful only while engine_present() is true.
const Engine& engine();

// The engine-present gate: true only when cabinet.dll was loaded and offers
// all eight entry points. Set once at process attach.
bool engine_present();

// Loads cabinet.dll by name and takes its eight entry points. Returns the new
// gate: false when the module cannot be loaded or lacks an entry point.
bool bind_engine();

// Frees the engine module. Open builders and readers are not closed.
void unbind_engine();

}  // namespace vornex

#endif  // VORNEX_ENGINE_BINDING_H

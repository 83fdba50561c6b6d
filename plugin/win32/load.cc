// Ties the load and unload routines to DllMain. The C and C++ runtime,
// linked into the DLL, has set itself up before the attach notification and
// tears itself down after the detach one.
//
// DllMain runs under the loader lock: on_load only fixes the run directory
// (GetModuleFileNameA) and on_unload only frees two texts. Nothing here
// loads a library, starts a thread or waits.
#include <windows.h>

#include "plugin/lifecycle.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      // The plug-in keeps nothing per thread.
      DisableThreadLibraryCalls(instance);
      miyi::on_load();
      break;
    case DLL_PROCESS_DETACH:
      // Also at process exit: freeing two texts is safe then too.
      miyi::on_unload();
      break;
    default:
      break;
  }
  return TRUE;
}

#include "tests/wine.h"

#include <windows.h>

namespace miyi::testing {

// Wine's ntdll exports wine_get_version; Windows's does not.
bool running_under_wine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace miyi::testing

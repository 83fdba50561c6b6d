// Ties the load and unload routines to the shared library's constructor and
// destructor: the dynamic loader runs them once when the host loads and
// unloads the library.
#include "plugin/lifecycle.h"

namespace {

__attribute__((constructor)) void miyi_library_loaded() { miyi::on_load(); }

__attribute__((destructor)) void miyi_library_unloaded() { miyi::on_unload(); }

}  // namespace

// How the exports are declared for the 32-bit Windows DLL: __stdcall, so
// that each export removes its own arguments from the stack, as the host
// robots expect. Nothing is marked dllexport: miyi.def names the exports,
// undecorated ("plugmain", not "plugmain@20"), and nothing else leaves the
// library.
#pragma once

#define MIYI_EXPORT
#define MIYI_CALL __stdcall

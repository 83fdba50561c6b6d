// How the plug-in's exports are called on 32-bit Windows: __stdcall, the
// convention the robots' hosts use.
#pragma once

#define MIYI_HOST_CALL __stdcall

// How the plug-in's exports are called on POSIX: the platform's one calling
// convention.
#pragma once

#define MIYI_HOST_CALL

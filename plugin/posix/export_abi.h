// How the exports are declared for a POSIX shared library: C names with
// default visibility (everything else is hidden), the platform's one calling
// convention.
#pragma once

#define MIYI_EXPORT __attribute__((visibility("default")))
#define MIYI_CALL

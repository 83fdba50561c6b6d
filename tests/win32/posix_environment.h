// setenv and unsetenv, which the C runtime of Windows lacks, over
// _putenv_s: for test sources shared with POSIX that set environment
// variables. The Windows build includes it ahead of those sources.
#pragma once

#include <stdlib.h>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && getenv(name)) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }

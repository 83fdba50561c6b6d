#include "tests/wine.h"

namespace miyi::testing {

bool running_under_wine() { return false; }

}  // namespace miyi::testing

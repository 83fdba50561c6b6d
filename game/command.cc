#include "game/command.h"

namespace miyi {

// Placeholder until the games exist: every kind gets the empty reply.
Text handle_command(Text&, Text&, Text&, Text&, Text&) { return Text(); }

}  // namespace miyi

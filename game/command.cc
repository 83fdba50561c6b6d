#include "game/command.h"

#include "core/random.h"
#include "core/text.h"
#include "game/group_game.h"
#include "game/private_game.h"

namespace miyi {

Text handle_command(Text& answer, Text& kind, Text& group, Text& sender, Text& /*extra*/) {
  // Members type with any input method: spaces of both widths and the line
  // breaks a client adds around the answer are not part of it.
  answer = text_replace(text_strip_spaces(answer), "\r\n", "");
  seed_random();
  if (text_compare(kind, "1") == 0) return play_private(sender, answer);
  if (text_compare(kind, "2") == 0) return play_group(answer, group, sender);
  return Text();
}

}  // namespace miyi

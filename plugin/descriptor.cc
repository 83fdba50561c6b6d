#include "plugin/descriptor.h"

#include "core/text.h"

namespace miyi {

Text build_descriptor() {
  // Name, version, author, invitation, trigger word, what follows the
  // trigger, an empty line, the export that handles the trigger, then two
  // flags the host reads.
  static const char* const kLines[] = {
      "觅异游戏\r\n", "1.0版\r\n", "6Q8K-嘀嘀\r\n", "大家一起来觅异\r\n", "@觅异\r\n",
      "答案\r\n",     "\r\n",      "plugmain\r\n",  "1\r\n",             "假\r\n",
  };
  Text descriptor;
  for (const char* line : kLines) descriptor = text_concat(descriptor, line);
  return descriptor;
}

}  // namespace miyi

// The plug-in's whole ABI: `info` and `plugmain`. This is the only code that
// sees the host's raw strings, and nothing thrown below it may cross back
// into the host: every path returns normally.
#include <memory>

#include "core/text.h"
#include "game/command.h"
#include "net/http_client.h"
#include "plugin/descriptor.h"
#include "export_abi.h"  // per platform, chosen by the build
#include "plugin/lifecycle.h"
#include "core/store.h"
#include "platform/thread_value.h"

namespace miyi {
namespace {

// The texts handed to the host, each valid until the next call of the same
// export or unload. Plain pointers on purpose: they have no static destructor
// that could run before (or after) the unload routine and free them twice.
Text* held_descriptor = nullptr;
Text* held_reply = nullptr;

// Holds `fresh` in `slot`; the text held before goes only now, after the new
// one exists.
void hold(Text*& slot, std::unique_ptr<Text> fresh) {
  Text* previous = slot;
  slot = fresh.release();
  delete previous;
}

// What `info` returns when even building the descriptor fails (out of
// memory): the same 76 bytes.
const char kFallbackDescriptor[] =
    "觅异游戏\r\n1.0版\r\n6Q8K-嘀嘀\r\n大家一起来觅异\r\n@觅异\r\n答案\r\n\r\nplugmain\r\n1\r\n假\r\n";

}  // namespace

void on_load() noexcept {
  try {
    init_run_dir();
  } catch (...) {
  }
  http_client_global_init();
}

void on_unload() noexcept {
  hold(held_descriptor, nullptr);
  hold(held_reply, nullptr);
  http_client_global_cleanup();
  // The random generator's per-thread states: a host may load the plug-in
  // again and again, and each load must give back what it took.
  platform::release_thread_values();
}

}  // namespace miyi

extern "C" MIYI_EXPORT const char* MIYI_CALL info() {
  using namespace miyi;
  try {
    hold(held_descriptor, std::make_unique<Text>(build_descriptor()));
    return held_descriptor->c_str();
  } catch (...) {
    return kFallbackDescriptor;
  }
}

extern "C" MIYI_EXPORT const char* MIYI_CALL plugmain(const char* answer, const char* kind,
                                                      const char* group, const char* sender,
                                                      const char* extra) {
  using namespace miyi;
  try {
    Text answer_copy = text_copy(answer);
    Text kind_copy = text_copy(kind);
    Text group_copy = text_copy(group);
    Text sender_copy = text_copy(sender);
    Text extra_copy = text_copy(extra);
    hold(held_reply, std::make_unique<Text>(handle_command(answer_copy, kind_copy, group_copy,
                                                          sender_copy, extra_copy)));
    return held_reply->empty() ? nullptr : held_reply->c_str();
  } catch (...) {
    hold(held_reply, nullptr);
    return nullptr;
  }
}

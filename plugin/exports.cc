// The plug-in's whole ABI: `info` and `plugmain`. This is the only code that
// sees the host's raw strings, and nothing thrown below it may cross back
// into the host: every path returns normally.
#include <memory>

#include "core/text.h"
#include "game/command.h"
#include "plugin/descriptor.h"
#include "export_abi.h"  // per platform, chosen by the build
#include "plugin/lifecycle.h"
#include "core/store.h"

namespace miyi {
namespace {

// The texts handed to the host, each valid until the next call of the same
// export or unload.
std::unique_ptr<Text> held_descriptor;
std::unique_ptr<Text> held_reply;

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
}

void on_unload() noexcept {
  held_descriptor.reset();
  held_reply.reset();
}

}  // namespace miyi

extern "C" MIYI_EXPORT const char* MIYI_CALL info() {
  using namespace miyi;
  try {
    auto fresh = std::make_unique<Text>(build_descriptor());
    held_descriptor = std::move(fresh);  // the previous one goes only now
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
    auto reply = std::make_unique<Text>(
        handle_command(answer_copy, kind_copy, group_copy, sender_copy, extra_copy));
    held_reply = std::move(reply);  // the previous reply is released only now
    return held_reply->empty() ? nullptr : held_reply->c_str();
  } catch (...) {
    held_reply.reset();
    return nullptr;
  }
}

// The group game: all members of a group share the group's puzzle in the
// puzzle store. A solver earns a random reward into their balance in a
// points file, is greeted by nickname, and may win at most ten times a day
// in each points file. A wrong answer costs the reward it names.
//
// Settings, in section "觅异" of the puzzle store, written with their
// defaults whenever a group's question is missing:
//   "配置"     points file, relative to the run directory; every "发送者群号"
//              in it stands for the group's number
//              (default "/config/签到数据发送者群号.ini")
//   "积分名称" the points file's key for a member's balance (default "积分")
//   "最高分"   top reward (default "15")
// The points file has a section per member: the balance, "觅异日期" (the day
// the count belongs to) and "次数" (wins counted that day).
#pragma once

#include "core/types.h"

namespace miyi {

// Judges `answer` (already normalised, generator already seeded) against
// `group`'s puzzle for member `sender` and gives the reply. A group number
// that would lead the points file out of its folder ("/", "\", "." or
// ".."), or a group or account number the store would refuse, gets the
// empty reply and touches no file.
Text play_group(const Text& answer, const Text& group, const Text& sender);

}  // namespace miyi

#include "host/console.h"

#include <istream>
#include <ostream>
#include <vector>

#include "host/system.h"

namespace miyi::host {
namespace {

constexpr std::size_t kQuestionBytes = 512;
constexpr std::size_t kGridSide = 16;

// The trigger word when the descriptor names none.
constexpr char8_t kFallbackTrigger[] = u8"@觅异";

std::string_view trim_blanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// Whether `reply` starts with 256 two-byte GBK characters.
bool starts_with_question(std::string_view reply) {
  if (reply.size() < kQuestionBytes) return false;
  for (std::size_t at = 0; at < kQuestionBytes; at += 2) {
    if (static_cast<unsigned char>(reply[at]) < 0x81) return false;
  }
  const std::string_view after = reply.substr(kQuestionBytes);
  return after.empty() || after.starts_with("\r\n");
}

// The descriptor's lines, decoded; "\r\n" ends each.
std::vector<std::string> descriptor_lines(const char* descriptor) {
  std::vector<std::string> lines;
  if (!descriptor) return lines;
  std::string_view rest(descriptor);
  while (!rest.empty()) {
    const auto end = rest.find("\r\n");
    lines.push_back(gbk_to_utf8(rest.substr(0, end)));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 2);
  }
  return lines;
}

class Console {
 public:
  Console(const Plugin& plugin, std::ostream& out, bool interactive)
      : plugin_(plugin), out_(out), interactive_(interactive) {
    const auto lines = descriptor_lines(plugin_.info());
    auto line = [&](std::size_t n) { return n <= lines.size() ? lines[n - 1] : std::string(); };
    trigger_ = line(5).empty()
                   ? std::string(reinterpret_cast<const char*>(kFallbackTrigger))
                   : line(5);
    title_ = line(1);
    if (!line(2).empty()) title_ += " " + line(2);
    if (!line(3).empty()) title_ += " (" + line(3) + ")";
    if (!line(4).empty()) title_ += ": " + line(4);
  }

  void greet() {
    out_ << title_ << "\n"
         << "How to play: press Enter to see your puzzle, 256 characters where two\n"
            "alternate except at one place. Type that odd character and press Enter.\n"
            "Type /help for the commands.\n";
    show_chat();
  }

  // Handles one line; false once the person has left.
  bool handle(std::string_view typed) {
    const Line line = read_line(typed, trigger_);
    switch (line.kind) {
      case Line::Kind::kAnswer:
        send(line.text);
        break;
      case Line::Kind::kPrivate:
        in_group_ = false;
        show_chat();
        break;
      case Line::Kind::kGroup:
        in_group_ = true;
        if (!line.text.empty()) group_ = line.text;
        show_chat();
        break;
      case Line::Kind::kAs:
        if (!line.text.empty()) member_ = line.text;
        show_chat();
        break;
      case Line::Kind::kHelp:
        help();
        break;
      case Line::Kind::kQuit:
        return false;
      case Line::Kind::kUnknownCommand:
        out_ << "Unknown command " << line.text << "; /help lists the commands.\n";
        break;
    }
    out_.flush();
    return true;
  }

  void prompt() {
    if (!interactive_) return;
    out_ << (in_group_ ? "group " + group_ + " as " : std::string("private as ")) << member_
         << "> " << std::flush;
  }

  void leave() {
    if (interactive_) out_ << "\n" << std::flush;
  }

 private:
  void send(const std::string& answer) {
    const std::string gbk_answer = utf8_to_gbk(answer);
    const std::string gbk_group = in_group_ ? utf8_to_gbk(group_) : std::string();
    const std::string gbk_member = utf8_to_gbk(member_);
    const char* reply = plugin_.plugmain(gbk_answer.c_str(), in_group_ ? "2" : "1",
                                         gbk_group.c_str(), gbk_member.c_str(), "");
    if (!reply) {
      out_ << "(no reply)\n";
      return;
    }
    out_ << gbk_to_utf8(lay_out_reply(reply));
  }

  void show_chat() {
    if (in_group_) {
      out_ << "Group chat " << group_ << ", as member " << member_
           << ": the group shares one puzzle.\n";
    } else {
      out_ << "Private chat, as member " << member_ << ": a puzzle of your own.\n";
    }
  }

  void help() {
    out_ << "Press Enter to see the current chat's puzzle; type the odd character to\n"
            "answer. A right answer deals a new puzzle at once.\n"
            "  /private          private chat: every member has a puzzle of their own\n"
            "  /group [number]   group chat (now "
         << group_
         << "): the group shares one puzzle\n"
            "  /as <account>     speak as another member (now "
         << member_
         << ")\n"
            "  /help             this text\n"
            "  /quit             leave (so does the end of input)\n"
            "Any other line goes to the plug-in as the text after "
         << trigger_ << ";\na line that starts with " << trigger_
         << " has it removed first.\n";
  }

  const Plugin& plugin_;
  std::ostream& out_;
  const bool interactive_;
  std::string trigger_;
  std::string title_;
  bool in_group_ = false;
  std::string group_ = kDefaultGroup;
  std::string member_ = kDefaultMember;
};

}  // namespace

Line read_line(std::string_view line, std::string_view trigger) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (line.starts_with('/')) {
    const auto end = line.find_first_of(" \t");
    const std::string_view word = line.substr(0, end);
    const std::string argument(
        trim_blanks(end == std::string_view::npos ? std::string_view() : line.substr(end)));
    if (word == "/private") return {Line::Kind::kPrivate, argument};
    if (word == "/group") return {Line::Kind::kGroup, argument};
    if (word == "/as") return {Line::Kind::kAs, argument};
    if (word == "/help") return {Line::Kind::kHelp, argument};
    if (word == "/quit") return {Line::Kind::kQuit, argument};
    return {Line::Kind::kUnknownCommand, std::string(word)};
  }
  const auto first = line.find_first_not_of(" \t");
  if (first != std::string_view::npos && line.substr(first).starts_with(trigger)) {
    line.remove_prefix(first + trigger.size());
  }
  return {Line::Kind::kAnswer, std::string(line)};
}

std::string lay_out_reply(std::string_view reply) {
  std::string out;
  if (starts_with_question(reply)) {
    for (std::size_t row = 0; row < kGridSide; ++row) {
      out += " ";
      for (std::size_t column = 0; column < kGridSide; ++column) {
        out += ' ';
        out += reply.substr((row * kGridSide + column) * 2, 2);
      }
      out += '\n';
    }
    reply.remove_prefix(kQuestionBytes);
    if (reply.starts_with("\r\n")) reply.remove_prefix(2);
  }
  while (!reply.empty()) {
    const auto end = reply.find("\r\n");
    out += reply.substr(0, end);
    out += '\n';
    if (end == std::string_view::npos) break;
    reply.remove_prefix(end + 2);
  }
  return out;
}

void run_console(const Plugin& plugin, std::istream& in, std::ostream& out, bool interactive) {
  Console console(plugin, out, interactive);
  console.greet();
  std::string line;
  for (;;) {
    console.prompt();
    if (!std::getline(in, line)) {
      console.leave();
      return;
    }
    if (!console.handle(line)) return;
  }
}

}  // namespace miyi::host

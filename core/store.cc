#include "core/store.h"

#include <string_view>
#include <vector>

#include "core/gbk.h"
#include "core/ini_engine.h"
#include "platform/files.h"
#include "platform/run_dir.h"
#include "platform/run_dir_setting.h"

namespace miyi {
namespace {

struct RunDir {
  bool fixed = false;
  std::optional<Text> path;  // nothing when the platform could not tell
};

RunDir& the_run_dir() {
  static RunDir dir;
  return dir;
}

// Leading control characters and spaces are dropped from every name a read
// is given.
std::string_view without_leading_controls(std::string_view name) {
  while (!name.empty() && static_cast<unsigned char>(name.front()) >= 0x01 &&
         static_cast<unsigned char>(name.front()) <= 0x20) {
    name.remove_prefix(1);
  }
  return name;
}

// Section and key names as the reading side takes them: also without the
// blanks at the end.
std::string_view reading_name(std::string_view name) {
  return ini::plain_name(without_leading_controls(name));
}

// Names as the writing side takes them: without blanks at either end, so
// that what is written under a name is found under the same name.
std::string_view writing_name(std::string_view name) { return ini::plain_name(name); }

// Whether a name is read where it is written. One that starts with a control
// byte is not: reading drops the byte and finds another name's values, while
// writing keeps it and leaves values that no read ever finds (a number
// "\x01" "10001" would play account 10001's puzzle and store its own).
bool reads_where_written(std::string_view name) { return reading_name(name) == writing_name(name); }

bool names_accepted(std::string_view section, std::string_view key, std::string_view value) {
  return reads_where_written(section) && reads_where_written(key) &&
         ini::shape_safe(writing_name(section), writing_name(key), value);
}

// Folders as the platform separates them: a "\" in a POSIX name is part of
// a folder's name, and a folder cut there would be one the file never uses.
bool is_separator(char c) { return platform::is_separator(c); }

// Creates the missing folders between the run directory and the file, when
// the file lies inside the run directory: the points file's folder may not
// exist yet on a fresh robot. Names that climb out ("..") create nothing.
void make_folders_inside_run_dir(const Text& name) {
  if (!run_dir_known()) return;
  const Text root = run_dir();
  if (name.size() <= root.size() || name.compare(0, root.size(), root) != 0 ||
      !is_separator(name[root.size()])) {
    return;
  }
  // Every folder level between the run directory and the file, checked as a
  // whole before any of them is made.
  std::vector<Text> folders;
  std::size_t component = root.size() + 1;
  for (std::size_t at = component; at < name.size();) {
    if (is_separator(name[at])) {
      const std::string_view part(name.data() + component, at - component);
      if (part == ".." || part == ".") return;
      if (!part.empty()) folders.push_back(name.substr(0, at));
      component = ++at;
    } else {
      // Separators as the file system sees them: the platform's code page
      // (or GB18030, whose four-byte characters are two such pairs) starts
      // two-byte characters with 0x81..0xFE only.
      at += is_code_page_first_byte(name[at]) ? 2 : 1;
    }
  }
  for (const Text& folder : folders) {
    if (!platform::make_folder(folder)) return;
  }
}

// Gathers output into large writes.
class BufferedWriter {
 public:
  explicit BufferedWriter(platform::ReplacementFile& file) : file_(file) { buffer_.reserve(kSize); }
  bool put(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > kSize && !flush()) return false;
    if (bytes.size() >= kSize) return file_.write(bytes);
    buffer_.append(bytes);
    return true;
  }
  bool flush() {
    const bool ok = buffer_.empty() || file_.write(buffer_);
    buffer_.clear();
    return ok;
  }

 private:
  static constexpr std::size_t kSize = 64 * 1024;
  platform::ReplacementFile& file_;
  std::string buffer_;
};

}  // namespace

void init_run_dir() {
  RunDir& dir = the_run_dir();
  if (dir.fixed) return;
  // A folder the host names is the run directory; a name that gives no
  // folder means none at all, never the executable's folder, where the host
  // did not want the game's files.
  const platform::RunDirSetting setting = platform::run_dir_setting();
  dir.path = setting.set ? setting.folder : platform::executable_dir();
  dir.fixed = true;
}

Text run_dir() {
  init_run_dir();  // a no-op after load; covers code linked without a loader
  return the_run_dir().path.value_or(Text());
}

bool run_dir_known() {
  init_run_dir();
  return the_run_dir().path.has_value();
}

void set_run_dir_for_testing(std::optional<Text> dir) {
  the_run_dir().path = std::move(dir);
  the_run_dir().fixed = true;
}

Text ini_read(const Text& name, const Text& section, const Text& key) {
  const std::string_view file_name = without_leading_controls(name);
  const std::string_view section_name = reading_name(section);
  const std::string_view key_name = reading_name(key);
  if (file_name.empty() || section_name.empty() || key_name.empty()) return Text();
  if (!run_dir_known()) return Text();

  platform::InputFile file;
  if (file.open(Text(file_name)) != platform::OpenResult::opened) return Text();
  ini::LineReader lines([&file](char* buffer, std::size_t size) { return file.read(buffer, size); });
  std::optional<Text> value = ini::find_value(lines, section_name, key_name);
  if (!value) return Text();
  // The engine has ended the value at its first NUL; it arrives through a
  // buffer of kIniReadLimit + 1 bytes.
  Text result = std::move(*value);
  if (result.size() > static_cast<std::size_t>(kIniReadLimit)) result.resize(kIniReadLimit);
  return result;
}

bool ini_accepts(const Text& section, const Text& key, const Text& value) {
  return names_accepted(section, key, value);
}

bool ini_write(const Text& name, const Text& section, const Text& key, const Text& value) {
  const std::string_view section_name = writing_name(section);
  const std::string_view key_name = writing_name(key);
  if (name.empty() || !names_accepted(section, key, value)) return false;
  if (!run_dir_known()) return false;

  platform::InputFile old_file;
  const platform::OpenResult opened = old_file.open(name);
  // A file that exists but cannot be read is never overwritten: its other
  // values would be lost.
  if (opened == platform::OpenResult::failed) return false;
  const bool has_old = opened == platform::OpenResult::opened;

  platform::ReplacementFile new_file;
  if (!new_file.begin(name)) {
    make_folders_inside_run_dir(name);
    if (!new_file.begin(name)) return false;
  }
  ini::LineReader lines([&](char* buffer, std::size_t size) -> long {
    return has_old ? old_file.read(buffer, size) : 0;
  });
  BufferedWriter writer(new_file);
  const ini::Sink sink = [&writer](std::string_view bytes) { return writer.put(bytes); };
  if (!ini::store_value(lines, sink, section_name, key_name, value)) return false;
  if (!writer.flush()) return false;
  return new_file.commit();
}

}  // namespace miyi

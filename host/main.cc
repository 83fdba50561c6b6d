// miyi-host: a console host for the miyi plug-in. It loads the plug-in from
// its own folder, as a chat robot would, and lets a person play the private
// and group games in a terminal, or a script through a pipe.
#include <iostream>
#include <string>
#include <string_view>

#include "host/console.h"
#include "host/system.h"

namespace {

void usage(std::ostream& out) {
  out << "usage: miyi-host [plug-in library]\n"
         "Loads the plug-in (by default " MIYI_PLUGIN_FILE
         " beside this program) and plays it in the\n"
         "console: lines typed are chat messages, the plug-in's replies are shown.\n"
         "The plug-in keeps its files in this program's folder.\n";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace miyi::host;
  if (argc > 2) {
    usage(std::cerr);
    return 2;
  }
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    usage(std::cout);
    return 0;
  }
  prepare_console();

  const std::string path = argc == 2 ? argv[1] : beside_executable(MIYI_PLUGIN_FILE);
  Library library;
  std::string error;
  if (!library.open(path, error)) {
    std::cerr << "miyi-host: cannot load the plug-in " << path << ": " << error << "\n"
              << "Build it beside this program first (cmake --build build --target miyi).\n";
    return 1;
  }
  Plugin plugin;
  plugin.info = reinterpret_cast<InfoFn>(library.symbol("info"));
  plugin.plugmain = reinterpret_cast<PlugmainFn>(library.symbol("plugmain"));
  if (!plugin.info || !plugin.plugmain) {
    std::cerr << "miyi-host: " << path << " is not a miyi plug-in: it lacks the export "
              << (plugin.info ? "plugmain" : "info") << ".\n";
    return 1;
  }

  std::cout << "Plug-in " << path << " loaded; its files go to " << beside_executable("")
            << "\n";
  run_console(plugin, std::cin, std::cout, input_is_terminal());
  return 0;
}

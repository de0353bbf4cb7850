// Mapping the controller's fixed system paths into a simulated root
// directory, for files and for the shell commands the library runs.
#pragma once

#include <string>
#include <string_view>

namespace pacsim {

// The path inside `root` for a controller path such as "/proc/cpuinfo",
// "/usr/local/etc/ostrel/..." or "/dev/..."; any other path, and
// "/dev/null", stay as they are.
std::string map_path(std::string_view root, std::string_view path);

// The command with every controller path mapped into `root` and the root's
// stand-in programs ("<root>/bin") first on PATH.
std::string map_command(std::string_view root, std::string_view command);

// `text` quoted for /bin/sh.
std::string shell_quote(std::string_view text);

} // namespace pacsim

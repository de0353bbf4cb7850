#include "paths.h"

#include <array>

namespace pacsim {
namespace {

constexpr std::array<std::string_view, 3> mapped_prefixes = {"/proc/", "/usr/local/etc/ostrel/",
                                                             "/dev/"};

bool keeps_real_path(std::string_view rest)
{
    // The null device is the host's own.
    return rest.starts_with("/dev/null") &&
           (rest.size() == 9 || rest[9] == ' ' || rest[9] == '\'' || rest[9] == '"' ||
            rest[9] == ';' || rest[9] == ')' || rest[9] == '|' || rest[9] == '&');
}

bool is_path_start(std::string_view text, size_t pos)
{
    if (pos == 0)
        return true;
    const char before = text[pos - 1];
    return before == ' ' || before == '\t' || before == '"' || before == '\'' || before == '<' ||
           before == '>' || before == '=' || before == '(' || before == '|' || before == ';';
}

} // namespace

std::string map_path(std::string_view root, std::string_view path)
{
    if (keeps_real_path(path))
        return std::string(path);
    for (std::string_view prefix : mapped_prefixes)
        if (path.starts_with(prefix))
            return std::string(root) + std::string(path);
    return std::string(path);
}

std::string shell_quote(std::string_view text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    out += '\'';
    return out;
}

std::string map_command(std::string_view root, std::string_view command)
{
    std::string out =
        "PATH=" + shell_quote(std::string(root) + "/bin") + ":\"$PATH\"; export PATH; ";
    size_t i = 0;
    while (i < command.size()) {
        if (command[i] == '/' && is_path_start(command, i) && !keeps_real_path(command.substr(i))) {
            for (std::string_view prefix : mapped_prefixes) {
                if (command.substr(i).starts_with(prefix)) {
                    out += root;
                    break;
                }
            }
        }
        out += command[i];
        ++i;
    }
    return out;
}

} // namespace pacsim

#include "protocol.h"

#include <cstdio>
#include <unistd.h>

namespace pacsim::wire {

const char *default_socket_path()
{
    static char path[64];
    if (!path[0])
        std::snprintf(path, sizeof path, "/tmp/pacsim-%u.sock", static_cast<unsigned>(::getuid()));
    return path;
}

} // namespace pacsim::wire

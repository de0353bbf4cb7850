// The messages between a sim-flavour program and pacsim, over a Unix
// SOCK_SEQPACKET socket: one request message, one reply message.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pacsim::wire {

enum Op : uint32_t {
    op_hello = 1,   // -> text: the simulated root directory
    op_open = 2,    // slot, arg = open flags, pid -> result
    op_close = 3,   // slot -> result
    op_request = 4, // slot, code, words -> result, words
    op_raise = 5,   // slot: fire the slot's interrupt -> result (0, or ESRCH)
    op_control = 6, // text: a command of `pacsim set`/`show` -> result, text to print
};

struct Message {
    uint32_t op;
    int32_t slot;
    uint32_t code;  // request code, or open flags
    int32_t result; // reply: 0 or an errno value; request: the sender's pid
    union {
        uint32_t words[38];
        char text[1024];
    };
};

inline constexpr size_t header_size = offsetof(Message, words);
inline constexpr size_t request_size = header_size + 8 * sizeof(uint32_t);
inline constexpr size_t status_size = header_size + 38 * sizeof(uint32_t);

// Environment variable naming the socket of the running pacsim.
inline constexpr const char *socket_env = "PACSIM_SOCKET";
// Set by `pacsim run` for its command: the simulated root directory.
inline constexpr const char *root_env = "PACSIM_ROOT";

// The socket a `pacsim serve` uses when neither the command line nor the
// environment names one: "/tmp/pacsim-<uid>.sock".
const char *default_socket_path();

} // namespace pacsim::wire

// Backend of libslotio_sim.a: forwards slot devices to a running pacsim over
// its Unix socket and runs shell commands and file tests against pacsim's
// simulated root. With no pacsim to reach, every slot device is missing, the
// controller's files do not exist and its shell commands print nothing.
#include "../../lib/os/os.h"
#include "../common/paths.h"
#include "../common/protocol.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include "slotio.h"

namespace {

using pacsim::wire::Message;

// How long a reply may take before the simulator counts as gone.
constexpr int reply_timeout_seconds = 10;

struct Connection {
    int sock = -1;
    std::string root;
};
Connection conn;

// Descriptors handed out for open slot devices (duplicates of the socket).
struct SlotHandle {
    int fd = -1;
    int slot = -1;
};
std::array<SlotHandle, 64> handles;

// Streams handed out by popen while no simulator runs.
std::array<FILE *, 8> empty_streams{}; // empty streams ("/dev/null")

void disconnect()
{
    if (conn.sock >= 0)
        ::close(conn.sock);
    conn.sock = -1;
    conn.root.clear();
}

bool send_all(const Message &m, size_t size)
{
    for (;;) {
        const ssize_t n = ::send(conn.sock, &m, size, MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(size))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
}

bool receive(Message &m, size_t &size)
{
    for (;;) {
        const ssize_t n = ::recv(conn.sock, &m, sizeof m, 0);
        if (n >= static_cast<ssize_t>(pacsim::wire::header_size)) {
            size = static_cast<size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR)
            continue; // a signal (the tools count SIGALRM) never fails a request
        return false;
    }
}

// One exchange; on a broken connection the simulator counts as gone.
bool transact(Message &m, size_t size)
{
    const int saved = errno;
    size_t got = 0;
    if (conn.sock < 0 || !send_all(m, size) || !receive(m, got)) {
        disconnect();
        errno = saved;
        return false;
    }
    errno = saved;
    return true;
}

bool connected()
{
    if (conn.sock >= 0)
        return true;
    const int saved = errno;
    const char *path = std::getenv(pacsim::wire::socket_env);
    if (!path || !*path)
        path = pacsim::wire::default_socket_path();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof addr.sun_path)
        return false;
    std::strcpy(addr.sun_path, path);
    conn.sock = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (conn.sock < 0) {
        errno = saved;
        return false;
    }
    timeval tv{reply_timeout_seconds, 0};
    ::setsockopt(conn.sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    int rc;
    do
        rc = ::connect(conn.sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        disconnect();
        errno = saved;
        return false;
    }
    Message m{};
    m.op = pacsim::wire::op_hello;
    m.result = static_cast<int32_t>(::getpid());
    if (!transact(m, pacsim::wire::header_size))
        return false;
    m.text[sizeof m.text - 1] = '\0';
    conn.root = m.text;
    errno = saved;
    return true;
}

SlotHandle *handle_of(int fd)
{
    if (fd < 0)
        return nullptr;
    for (SlotHandle &h : handles)
        if (h.fd == fd)
            return &h;
    return nullptr;
}

// "/dev/slot<n>" with n 0 to 99: the slot number, else -1.
int slot_of_path(const char *path)
{
    constexpr std::string_view prefix = "/dev/slot";
    const std::string_view p(path);
    if (!p.starts_with(prefix) || p.size() == prefix.size() || p.size() > prefix.size() + 2)
        return -1;
    int slot = 0;
    for (char c : p.substr(prefix.size())) {
        if (c < '0' || c > '9')
            return -1;
        slot = slot * 10 + (c - '0');
    }
    return slot;
}

int sim_open(const char *path, int flags)
{
    const int slot = slot_of_path(path);
    if (slot < 0) {
        if (!connected()) {
            errno = ENOENT;
            return -1;
        }
        return ::open(pacsim::map_path(conn.root, path).c_str(), flags | O_CLOEXEC, 0644);
    }
    if (!connected()) {
        errno = ENOENT;
        return -1;
    }
    Message m{};
    m.op = pacsim::wire::op_open;
    m.slot = slot;
    m.code = static_cast<uint32_t>(flags);
    m.result = static_cast<int32_t>(::getpid());
    if (!transact(m, pacsim::wire::header_size)) {
        errno = ENOENT;
        return -1;
    }
    if (m.result != 0) {
        errno = m.result;
        return -1;
    }
    for (SlotHandle &h : handles) {
        if (h.fd >= 0)
            continue;
        const int fd = ::fcntl(conn.sock, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            return -1;
        h = {fd, slot};
        return fd;
    }
    errno = EMFILE;
    return -1;
}

int sim_close(int fd)
{
    SlotHandle *h = handle_of(fd);
    if (!h)
        return ::close(fd);
    Message m{};
    m.op = pacsim::wire::op_close;
    m.slot = h->slot;
    transact(m, pacsim::wire::header_size);
    *h = {};
    return ::close(fd);
}

int sim_ioctl(int fd, unsigned long code, void *arg)
{
    SlotHandle *h = handle_of(fd);
    if (!h)
        return ::ioctl(fd, code, arg);
    if (!arg) {
        errno = EFAULT;
        return -1;
    }
    const size_t nwords = code == SLOT_GET_STATUS ? 38 : 8;
    Message m;
    m.op = pacsim::wire::op_request;
    m.slot = h->slot;
    m.code = static_cast<uint32_t>(code);
    m.result = 0;
    std::memcpy(m.words, arg, nwords * sizeof(uint32_t));
    if (!transact(m, pacsim::wire::header_size + nwords * sizeof(uint32_t))) {
        errno = EIO;
        return -1;
    }
    if (m.result != 0) {
        errno = m.result;
        return -1;
    }
    std::memcpy(arg, m.words, nwords * sizeof(uint32_t));
    return 0;
}

FILE *sim_popen(const char *command, const char *mode)
{
    if (connected())
        return ::popen(pacsim::map_command(conn.root, command).c_str(), mode);
    // No controller: the command finds nothing to print.
    for (FILE *&slot : empty_streams) {
        if (slot)
            continue;
        slot = std::fopen("/dev/null", "re");
        return slot;
    }
    return nullptr;
}

int sim_pclose(FILE *stream)
{
    for (FILE *&slot : empty_streams) {
        if (slot == stream && stream) {
            std::fclose(stream);
            slot = nullptr;
            return 1 << 8;
        }
    }
    return ::pclose(stream);
}

int sim_system(const char *command)
{
    if (connected())
        return std::system(pacsim::map_command(conn.root, command).c_str());
    return 1 << 8; // the command fails: nothing it looks for is there
}

int sim_stat(const char *path, struct stat *st)
{
    if (!connected()) {
        errno = ENOENT;
        return -1;
    }
    return ::stat(pacsim::map_path(conn.root, path).c_str(), st);
}

// Time is the host's own under pacsim: the models run on real time too.
int sim_gettimeofday(struct timeval *tv) { return ::gettimeofday(tv, nullptr); }
int sim_usleep(unsigned int microseconds) { return ::usleep(microseconds); }
// Serial ports are real pseudo-terminals that pacsim owns.
long sim_read(int fd, void *buffer, unsigned long size) { return ::read(fd, buffer, size); }
long sim_write(int fd, const void *buffer, unsigned long size) { return ::write(fd, buffer, size); }

} // namespace

namespace slotio::os {

const Ops default_ops = {
    .open = sim_open,
    .close = sim_close,
    .ioctl = sim_ioctl,
    .popen = sim_popen,
    .pclose = sim_pclose,
    .system = sim_system,
    .stat = sim_stat,
    .gettimeofday = sim_gettimeofday,
    .usleep = sim_usleep,
    .read = sim_read,
    .write = sim_write,
};

} // namespace slotio::os

#include "server.h"

#include "../common/protocol.h"
#include "../model/request_info.h"
#include "control.h"

#include "slotio.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace pacsim {

using wire::Message;

Server::Server(Controller &controller, const SimRoot &root, std::FILE *trace)
    : controller_(controller), root_(root), trace_(trace)
{
    // What the devices report (a rejected frame, a full FIFO) goes into the
    // trace under the process whose request caused it.
    controller_.log = [this](int slot, const std::string &text) {
        if (!trace_)
            return;
        std::fprintf(trace_, "pid %d: slot %d: %s\n", current_pid_, slot, text.c_str());
        std::fflush(trace_);
    };
}

Server::~Server()
{
    controller_.log = nullptr;
    for (const Client &c : clients_)
        ::close(c.fd);
    if (listen_fd_ >= 0) {
        ::close(listen_fd_);
        ::unlink(socket_path_.c_str());
    }
}

void Server::listen(const std::string &socket_path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socket_path.size() >= sizeof addr.sun_path)
        throw std::runtime_error("socket path too long: " + socket_path);
    std::strcpy(addr.sun_path, socket_path.c_str());

    // A socket file left by a pacsim that is gone is removed; one that
    // answers belongs to a running pacsim.
    const int probe = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (probe >= 0) {
        const bool in_use = ::connect(probe, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
        ::close(probe);
        if (in_use)
            throw std::runtime_error("another pacsim is serving on " + socket_path);
    }
    ::unlink(socket_path.c_str());

    listen_fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) ||
        ::listen(listen_fd_, 64))
        throw std::runtime_error("cannot listen on " + socket_path + ": " + std::strerror(errno));
    socket_path_ = socket_path;
}

void Server::run(int watch_fd, const volatile bool &stop, int idle_ms, bool (*idle)())
{
    std::vector<pollfd> fds;
    while (!stop) {
        fds.clear();
        fds.push_back({listen_fd_, POLLIN, 0});
        if (watch_fd >= 0)
            fds.push_back({watch_fd, POLLIN, 0});
        const size_t first_client = fds.size();
        for (const Client &c : clients_)
            fds.push_back({c.fd, POLLIN, 0});
        const size_t first_port = fds.size();
        if (com_)
            com_->add_poll_fds(fds);
        // Wake up for the next reply a remote module owes, if it comes first.
        const int timeout = com_ ? earlier_timeout(idle_ms, com_->deliver()) : idle_ms;
        const int n = ::poll(fds.data(), fds.size(), timeout);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        if (com_) {
            com_->serve(std::span<const pollfd>(fds).subspan(first_port));
            com_->deliver();
        }
        if (n == 0) {
            if (idle && idle())
                return;
            continue;
        }
        if (watch_fd >= 0 && (fds[1].revents & POLLIN))
            return;
        // Clients first, so that nobody waits behind a new connection.
        for (size_t i = first_port; i-- > first_client;) {
            if (!fds[i].revents)
                continue;
            Client &c = clients_[i - first_client];
            if (!serve(c)) {
                ::close(c.fd);
                clients_.erase(clients_.begin() + static_cast<long>(i - first_client));
            }
        }
        if (fds[0].revents & POLLIN)
            accept_client();
    }
}

void Server::accept_client()
{
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0)
        clients_.push_back({fd, 0});
}

void Server::trace_line(const Client &client, const std::string &line)
{
    if (!trace_)
        return;
    std::fprintf(trace_, "pid %d: %s\n", client.pid, line.c_str());
    std::fflush(trace_);
}

bool Server::serve(Client &client)
{
    Message m;
    const ssize_t got = ::recv(client.fd, &m, sizeof m, MSG_DONTWAIT);
    if (got < 0)
        return errno == EAGAIN || errno == EINTR;
    if (got < static_cast<ssize_t>(wire::header_size))
        return false; // closed, or not our protocol
    size_t reply = wire::header_size;
    current_pid_ = client.pid;
    switch (m.op) {
    case wire::op_hello: {
        client.pid = m.result;
        const std::string &root = root_.path();
        std::memset(m.text, 0, sizeof m.text);
        std::memcpy(m.text, root.data(), std::min(root.size(), sizeof m.text - 1));
        m.result = 0;
        reply = sizeof m;
        break;
    }
    case wire::op_open: {
        client.pid = m.result;
        m.result = controller_.open(m.slot);
        if (trace_) {
            const int flags = static_cast<int>(m.code);
            std::string line = "open /dev/slot" + std::to_string(m.slot) + " O_RDWR";
            if (flags & O_NONBLOCK)
                line += "|O_NONBLOCK";
            line += m.result ? std::string(" -> failed (") + std::strerror(m.result) + ")"
                             : std::string(" -> ok");
            trace_line(client, line);
        }
        break;
    }
    case wire::op_close:
        trace_line(client, "close /dev/slot" + std::to_string(m.slot));
        m.result = 0;
        break;
    case wire::op_request: {
        const size_t nwords = m.code == SLOT_GET_STATUS ? 38 : 8;
        if (static_cast<size_t>(got) < wire::header_size + nwords * 4)
            return false;
        uint32_t before[8];
        std::memcpy(before, m.words, sizeof before);
        m.result = controller_.request(m.slot, m.code, std::span<uint32_t>(m.words, nwords));
        if (trace_)
            trace_line(client,
                       describe_request(m.slot, m.code, before,
                                        std::span<const uint32_t>(m.words, nwords), m.result));
        reply = wire::header_size + nwords * 4;
        break;
    }
    case wire::op_raise:
        m.result = controller_.raise_interrupt(m.slot) ? 0 : ESRCH;
        trace_line(client, "raise interrupt of slot " + std::to_string(m.slot) +
                               (m.result ? " -> nobody registered" : " -> signal sent"));
        break;
    case wire::op_control: {
        m.text[sizeof m.text - 1] = '\0';
        const std::string command = m.text;
        bool ok = false;
        const std::string answer = control(controller_, root_, command, ok);
        trace_line(client, "control \"" + command + "\" -> " + (ok ? "ok" : answer));
        m.result = ok ? 0 : EINVAL;
        std::memset(m.text, 0, sizeof m.text);
        std::memcpy(m.text, answer.data(), std::min(answer.size(), sizeof m.text - 1));
        reply = sizeof m;
        break;
    }
    default: return false;
    }
    return ::send(client.fd, &m, reply, MSG_NOSIGNAL) == static_cast<ssize_t>(reply);
}

} // namespace pacsim

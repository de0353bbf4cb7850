#include "com_ports.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace pacsim {
namespace {

[[noreturn]] void fail(int port, const std::string &what)
{
    throw std::runtime_error("COM " + std::to_string(port) + ": " + what + ": " +
                             std::strerror(errno));
}

} // namespace

ComPorts::ComPorts(const std::map<int, ComPortConfig> &ports, const Controller &controller,
                   const SimRoot &root, std::FILE *trace)
    : controller_(controller), trace_(trace)
{
    for (const auto &[number, config] : ports) {
        auto p = std::make_unique<Port>();
        Port &port = *p;
        port.number = number;
        ports_.push_back(std::move(p)); // closed by the destructor from here on

        port.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (port.master < 0)
            fail(number, "cannot create a pseudo-terminal");
        char name[PATH_MAX];
        if (::grantpt(port.master) != 0 || ::unlockpt(port.master) != 0 ||
            ::ptsname_r(port.master, name, sizeof name) != 0)
            fail(number, "cannot unlock the pseudo-terminal");
        port.terminal = name;
        port.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (port.slave < 0)
            fail(number, "cannot open " + port.terminal);
        // Termios on the master is the terminal's own: raw, so that bytes
        // pass unchanged until a program sets modes of its own.
        termios t{};
        if (::tcgetattr(port.master, &t) != 0)
            fail(number, "cannot read the terminal settings");
        ::cfmakeraw(&t);
        if (::tcsetattr(port.master, TCSANOW, &t) != 0)
            fail(number, "cannot set the terminal raw");
        const int flags = ::fcntl(port.master, F_GETFL);
        if (flags < 0 || ::fcntl(port.master, F_SETFL, flags | O_NONBLOCK) != 0)
            fail(number, "cannot make the terminal non-blocking");

        const std::string link = root.path() + com_device(number);
        ::unlink(link.c_str());
        if (::symlink(port.terminal.c_str(), link.c_str()) != 0)
            fail(number, "cannot link " + link + " to " + port.terminal);

        for (const RemoteModuleConfig &m : config.modules)
            port.bus.attach(RemoteModule(m)); // the scenario has no address twice
        port.bus.selected_mask = [this] { return controller_.selected_mask(); };
        port.bus.log = [this, &port](const std::string &text) { this->trace(port, text); };
    }
}

ComPorts::~ComPorts()
{
    for (const auto &p : ports_) {
        if (p->slave >= 0)
            ::close(p->slave);
        if (p->master >= 0)
            ::close(p->master);
    }
}

void ComPorts::trace(const Port &port, const std::string &text) const
{
    if (!trace_)
        return;
    std::fprintf(trace_, "com %d: %s\n", port.number, text.c_str());
    std::fflush(trace_);
}

void ComPorts::add_poll_fds(std::vector<pollfd> &fds) const
{
    // A broken port stays in the list (so that entries match ports) with a
    // negative descriptor, which poll skips.
    for (const auto &p : ports_)
        fds.push_back({p->broken ? -1 : p->master, POLLIN, 0});
}

void ComPorts::serve(std::span<const pollfd> fds)
{
    const int64_t now = controller_.clock().now_us();
    for (size_t i = 0; i < ports_.size() && i < fds.size(); ++i) {
        Port &port = *ports_[i];
        if (port.broken || !fds[i].revents)
            continue;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(port.master, buf, sizeof buf);
            if (n > 0) {
                port.bus.receive(std::string_view(buf, static_cast<size_t>(n)), now);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                break;
            // Cannot happen while pacsim holds the slave open; never spin on it.
            port.broken = true;
            trace(port, std::string("terminal failed, no longer served: ") +
                            (n < 0 ? std::strerror(errno) : "end of file"));
            break;
        }
    }
}

int ComPorts::deliver()
{
    const int64_t now = controller_.clock().now_us();
    int timeout = -1;
    for (const auto &p : ports_) {
        Port &port = *p;
        const std::string out = port.bus.take_due(now);
        size_t sent = 0;
        while (!port.broken && sent < out.size()) {
            const ssize_t n = ::write(port.master, out.data() + sent, out.size() - sent);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            // Nobody reads the terminal and its input is full.
            trace(port, "terminal input full: " + std::to_string(out.size() - sent) +
                            " bytes of replies lost");
            break;
        }
        if (const std::optional<int64_t> due = port.bus.next_due()) {
            const int64_t ms = std::max<int64_t>(0, (*due - now + 999) / 1000);
            timeout = earlier_timeout(timeout, static_cast<int>(std::min<int64_t>(ms, INT_MAX)));
        }
    }
    return timeout;
}

int earlier_timeout(int a, int b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

} // namespace pacsim

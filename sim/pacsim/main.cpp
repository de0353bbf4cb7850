// pacsim: a simulated controller for slotio programs.
//
//   pacsim run [--trace FILE] [--svg FILE] SCENARIO -- COMMAND [ARG...]
//   pacsim serve [--trace FILE] [--socket PATH] SCENARIO
//   pacsim raise [--socket PATH] SLOT
//   pacsim set [--socket PATH] SLOT inputs VALUE | SLOT register REG VALUE | series 4000|5000
//   pacsim set [--socket PATH] SLOT count AXIS VALUE | SLOT move AXIS DELTA | SLOT index BITS
//   pacsim svg [--socket PATH] SLOT FILE
//   pacsim show [--socket PATH]
#include "../common/protocol.h"
#include "../common/root.h"
#include "../model/controller.h"
#include "../model/motion_module.h"
#include "com_ports.h"
#include "scenario.h"
#include "server.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char *usage_text = "usage: pacsim run [--trace FILE] [--svg FILE] SCENARIO -- "
                                   "COMMAND [ARG...]\n"
                                   "       pacsim serve [--trace FILE] [--socket PATH] SCENARIO\n"
                                   "       pacsim raise [--socket PATH] SLOT\n"
                                   "       pacsim set [--socket PATH] SLOT inputs VALUE\n"
                                   "       pacsim set [--socket PATH] SLOT register REG VALUE\n"
                                   "       pacsim set [--socket PATH] series 4000|5000\n"
                                   "       pacsim set [--socket PATH] SLOT count AXIS VALUE\n"
                                   "       pacsim set [--socket PATH] SLOT move AXIS DELTA\n"
                                   "       pacsim set [--socket PATH] SLOT index BITS\n"
                                   "       pacsim svg [--socket PATH] SLOT FILE\n"
                                   "       pacsim show [--socket PATH]\n";

int usage()
{
    std::fputs(usage_text, stderr);
    return 2;
}

struct Options {
    std::string trace;
    std::string socket;
    std::string svg; // run: where to draw the first motion module's path
    std::vector<std::string> positional;
    std::vector<char *> command; // after "--"
};

bool parse(int argc, char **argv, Options &o)
{
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            o.command.assign(argv + i + 1, argv + argc);
            break;
        }
        if ((a == "--trace" || a == "--socket" || a == "--svg") && i + 1 < argc) {
            (a == "--trace" ? o.trace : a == "--socket" ? o.socket : o.svg) = argv[++i];
        } else if (a.starts_with("--")) {
            std::fprintf(stderr, "pacsim: unknown option %s\n", a.c_str());
            return false;
        } else {
            o.positional.push_back(a);
        }
    }
    return true;
}

volatile bool stop_requested = false;
void on_stop(int) { stop_requested = true; }

std::FILE *open_trace(const std::string &path)
{
    if (path.empty())
        return nullptr;
    if (path == "-")
        return stderr;
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        throw std::runtime_error("cannot write the trace file " + path + ": " +
                                 std::strerror(errno));
    return f;
}

// The simulated controller of one scenario, with its root and server.
struct Simulation {
    pacsim::Controller controller;
    std::unique_ptr<pacsim::SimRoot> root;
    std::unique_ptr<pacsim::ComPorts> com;
    std::unique_ptr<pacsim::Server> server;
    std::FILE *trace = nullptr;

    Simulation(const std::string &scenario_path, const std::string &trace_path)
    {
        const pacsim::Scenario scenario = pacsim::load_scenario(scenario_path);
        pacsim::apply(scenario, controller);
        trace = open_trace(trace_path);
        root = std::make_unique<pacsim::SimRoot>(controller.board);
        com = std::make_unique<pacsim::ComPorts>(scenario.com, controller, *root, trace);
        server = std::make_unique<pacsim::Server>(controller, *root, trace);
        server->serve_com_ports(*com);
    }
    ~Simulation()
    {
        server.reset();
        com.reset();
        if (trace && trace != stderr)
            std::fclose(trace);
    }
};

int pidfd_open(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

pid_t child_pid = -1;
int child_status = 0;
bool child_done()
{
    if (child_pid > 0 && ::waitpid(child_pid, &child_status, WNOHANG) == child_pid) {
        child_pid = -1;
        return true;
    }
    return false;
}

// The first motion module of the controller, with its slot, or nullptr.
const pacsim::MotionModule *first_motion_module(pacsim::Controller &controller, int &slot)
{
    for (slot = 1; slot <= 8; ++slot)
        if (const auto *m = dynamic_cast<const pacsim::MotionModule *>(&controller.device(slot)))
            return m;
    return nullptr;
}

// `run --svg FILE`: draws the path; 0, or 1 when the file cannot be written.
int write_svg(pacsim::Controller &controller, const std::string &file)
{
    int slot = 0;
    const pacsim::MotionModule *m = first_motion_module(controller, slot);
    if (!m)
        return 1;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out)
        out << m->svg();
    if (!out || !out.flush()) {
        std::fprintf(stderr, "pacsim: cannot write %s: %s\n", file.c_str(), std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "slot %d: %s\n", slot,
                 pacsim::path_caption(m->position(), m->counters().segments).c_str());
    return 0;
}

int exit_status(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

int run(const Options &o)
{
    if (o.positional.size() != 1 || o.command.empty())
        return usage();
    Simulation sim(o.positional[0], o.trace);
    int svg_slot = 0;
    if (!o.svg.empty() && !first_motion_module(sim.controller, svg_slot)) {
        std::fprintf(stderr, "pacsim: --svg: %s has no motion module\n", o.positional[0].c_str());
        return 2;
    }
    const std::string socket_path = sim.root->path() + "/pacsim.sock";
    sim.server->listen(socket_path);

    std::vector<char *> argv = o.command;
    argv.push_back(nullptr);
    child_pid = ::fork();
    if (child_pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (child_pid == 0) {
        ::signal(SIGPIPE, SIG_DFL);
        ::setenv(pacsim::wire::socket_env, socket_path.c_str(), 1);
        ::setenv(pacsim::wire::root_env, sim.root->path().c_str(), 1);
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "pacsim: cannot run %s: %s\n", argv[0], std::strerror(errno));
        std::fflush(stderr);
        ::_exit(127);
    }
    const int pidfd = pidfd_open(child_pid);
    if (pidfd >= 0) {
        sim.server->run(pidfd, stop_requested);
        ::close(pidfd);
        while (child_pid > 0 && ::waitpid(child_pid, &child_status, 0) < 0 && errno == EINTR) {
        }
    } else {
        sim.server->run(-1, stop_requested, 20, child_done);
    }
    const int status = exit_status(child_status);
    if (!o.svg.empty() && write_svg(sim.controller, o.svg) != 0)
        return status ? status : 1;
    return status;
}

std::string socket_path_of(const Options &o)
{
    if (!o.socket.empty())
        return o.socket;
    const char *env = std::getenv(pacsim::wire::socket_env);
    return env && *env ? env : pacsim::wire::default_socket_path();
}

int serve(const Options &o)
{
    if (o.positional.size() != 1 || !o.command.empty() || !o.svg.empty())
        return usage();
    Simulation sim(o.positional[0], o.trace);
    const std::string socket_path = socket_path_of(o);
    sim.server->listen(socket_path);
    std::fprintf(stderr, "pacsim: serving %s on %s (root %s); stop with Ctrl-C\n",
                 o.positional[0].c_str(), socket_path.c_str(), sim.root->path().c_str());
    sim.server->run(-1, stop_requested);
    return 0;
}

// One exchange with a running pacsim; false (with a message) when none answers.
bool ask(const Options &o, pacsim::wire::Message &m, size_t size)
{
    const std::string path = socket_path_of(o);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "pacsim: no pacsim serving on %s\n", path.c_str());
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m.result = static_cast<int32_t>(::getpid());
    const bool ok = ::send(fd, &m, size, 0) == static_cast<ssize_t>(size) &&
                    ::recv(fd, &m, sizeof m, 0) >= static_cast<ssize_t>(pacsim::wire::header_size);
    ::close(fd);
    if (!ok)
        std::fprintf(stderr, "pacsim: no answer from %s\n", path.c_str());
    return ok;
}

int raise_interrupt(const Options &o)
{
    if (o.positional.size() != 1)
        return usage();
    char *end = nullptr;
    const long slot = std::strtol(o.positional[0].c_str(), &end, 10);
    if (*end || slot < 0 || slot > 10) {
        std::fprintf(stderr, "pacsim: slot must be 0 to 10: %s\n", o.positional[0].c_str());
        return 2;
    }
    pacsim::wire::Message m{};
    m.op = pacsim::wire::op_raise;
    m.slot = static_cast<int32_t>(slot);
    if (!ask(o, m, pacsim::wire::header_size))
        return 1;
    if (m.result != 0) {
        std::fprintf(stderr, "pacsim: no process is registered for slot %ld\n", slot);
        return 1;
    }
    return 0;
}

// `set`, `svg` and `show`: the words become one control command for the server.
int control(const Options &o, const std::string &verb)
{
    const std::vector<std::string> &w = o.positional;
    std::string command;
    if (verb == "show" && w.empty())
        command = "show";
    else if (verb == "set" && w.size() == 2 && w[0] == "series")
        command = "series " + w[1];
    else if (verb == "set" && w.size() == 3 && w[1] == "inputs")
        command = "inputs " + w[0] + " " + w[2];
    else if (verb == "set" && w.size() == 4 && w[1] == "register")
        command = "register " + w[0] + " " + w[2] + " " + w[3];
    else if (verb == "set" && w.size() == 4 && (w[1] == "count" || w[1] == "move"))
        command = w[1] + " " + w[0] + " " + w[2] + " " + w[3];
    else if (verb == "set" && w.size() == 3 && w[1] == "index")
        command = "index " + w[0] + " " + w[2];
    else if (verb == "svg" && w.size() == 2 && !w[1].empty())
        // pacsim writes the file: name it from where this command runs.
        command = "svg " + w[0] + " " + std::filesystem::absolute(w[1]).string();
    else
        return usage();
    pacsim::wire::Message m{};
    if (command.size() >= sizeof m.text) {
        std::fprintf(stderr, "pacsim: command too long\n");
        return 2;
    }
    m.op = pacsim::wire::op_control;
    std::snprintf(m.text, sizeof m.text, "%s", command.c_str());
    if (!ask(o, m, sizeof m))
        return 1;
    m.text[sizeof m.text - 1] = '\0';
    if (m.result != 0) {
        std::fprintf(stderr, "pacsim: %s\n", m.text);
        return 2;
    }
    std::fputs(m.text, stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    struct sigaction sa {};
    sa.sa_handler = on_stop;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    Options o;
    if (!parse(argc, argv, o))
        return usage();
    const std::string verb = argv[1];
    try {
        if (verb == "run")
            return run(o);
        if (verb == "serve")
            return serve(o);
        if (verb == "raise")
            return raise_interrupt(o);
        if (verb == "set" || verb == "show" || verb == "svg")
            return control(o, verb);
    } catch (const pacsim::ScenarioError &e) {
        std::fprintf(stderr, "pacsim: %s\n", e.what());
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "pacsim: %s\n", e.what());
        return 1;
    }
    return usage();
}

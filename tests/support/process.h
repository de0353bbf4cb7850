// Runs a program as a child process and collects its standard output,
// standard error and exit status.
#pragma once

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace slotio_test {

struct Outcome {
    std::string out;
    std::string err;
    int status = -1; // exit status, or 128 + signal
};

// `env` entries "NAME=value" are set in the child; "NAME=" alone unsets NAME.
inline Outcome run_program(const std::vector<std::string> &argv,
                           const std::vector<std::string> &env = {})
{
    int out_pipe[2], err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) || pipe2(err_pipe, O_CLOEXEC))
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (const std::string &e : env) {
            const size_t eq = e.find('=');
            const std::string name = e.substr(0, eq), value = e.substr(eq + 1);
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    Outcome o;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    int open_streams = 2;
    while (open_streams > 0) {
        if (poll(fds, 2, -1) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_streams;
            } else {
                (i == 0 ? o.out : o.err).append(buf, static_cast<size_t>(n));
            }
        }
    }
    int st = 0;
    waitpid(pid, &st, 0);
    o.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return o;
}

inline std::string file_text(const std::string &path)
{
    std::string out;
    if (FILE *f = std::fopen(path.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

inline std::string examples(const std::string &name)
{
    return std::string(SLOTIO_EXAMPLES_DIR) + "/" + name;
}

// A socket path where no pacsim listens.
inline std::string no_pacsim_socket() { return "PACSIM_SOCKET=/nonexistent/pacsim.sock"; }

// `pacsim run SCENARIO -- PROGRAM ARGS...`
inline Outcome under_pacsim(const std::string &scenario, std::vector<std::string> program,
                            const std::vector<std::string> &pacsim_options = {})
{
    std::vector<std::string> argv = {PACSIM_BIN, "run"};
    argv.insert(argv.end(), pacsim_options.begin(), pacsim_options.end());
    argv.push_back(scenario);
    argv.push_back("--");
    argv.insert(argv.end(), program.begin(), program.end());
    return run_program(argv);
}

// A `pacsim serve` in the background for the life of the object, on a
// socket of its own; run() starts programs against it.
class ServedPacsim {
  public:
    // `options` go before the scenario ("--trace", FILE).
    explicit ServedPacsim(const std::string &scenario, const std::vector<std::string> &options = {})
    {
        char dir[] = "/tmp/slotio-serve-XXXXXX";
        dir_ = mkdtemp(dir);
        socket_ = dir_ + "/pacsim.sock";
        std::vector<std::string> argv = {PACSIM_BIN, "serve", "--socket", socket_};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(scenario);
        std::vector<char *> args;
        for (std::string &a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            execv(PACSIM_BIN, args.data());
            _exit(127);
        }
        for (int i = 0; i < 500 && access(socket_.c_str(), F_OK) != 0; ++i)
            usleep(10000);
    }
    ~ServedPacsim()
    {
        stop();
        rmdir(dir_.c_str());
    }
    ServedPacsim(const ServedPacsim &) = delete;
    ServedPacsim &operator=(const ServedPacsim &) = delete;

    Outcome run(const std::vector<std::string> &argv) const
    {
        return run_program(argv, {"PACSIM_SOCKET=" + socket_});
    }
    Outcome pacsim(std::vector<std::string> args) const
    {
        args.insert(args.begin(), PACSIM_BIN);
        return run(args);
    }
    // Stops the server; its exit status.
    int stop()
    {
        if (pid_ <= 0)
            return status_;
        kill(pid_, SIGTERM);
        int st = 0;
        waitpid(pid_, &st, 0);
        pid_ = -1;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_;
    }
    const std::string &socket() const { return socket_; }

  private:
    std::string dir_, socket_;
    pid_t pid_ = -1;
    int status_ = -1;
};

} // namespace slotio_test

// pacsim's socket server: any number of client processes, one request at a
// time, each answered from the controller model; and the COM ports'
// terminals, whose remote modules answer when their replies fall due.
#pragma once

#include "../common/root.h"
#include "../model/controller.h"
#include "com_ports.h"

#include <cstdio>
#include <string>
#include <vector>

namespace pacsim {

class Server {
  public:
    Server(Controller &controller, const SimRoot &root, std::FILE *trace);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Listens on a Unix socket path; throws std::runtime_error.
    void listen(const std::string &socket_path);

    // Serves the COM ports' terminals too, from now on.
    void serve_com_ports(ComPorts &ports) { com_ = &ports; }

    // Serves until `watch_fd` becomes readable (a child's pidfd; -1 for
    // none) or `stop` turns true. `idle` is called when nothing happened for
    // `idle_ms` milliseconds.
    void run(int watch_fd, const volatile bool &stop, int idle_ms = -1, bool (*idle)() = nullptr);

  private:
    struct Client {
        int fd;
        int pid;
    };
    void accept_client();
    bool serve(Client &client); // false when the client has gone
    void trace_line(const Client &client, const std::string &line);

    Controller &controller_;
    const SimRoot &root_;
    std::FILE *trace_;
    int listen_fd_ = -1;
    std::string socket_path_;
    std::vector<Client> clients_;
    ComPorts *com_ = nullptr;
    int current_pid_ = 0; // the client being served
};

} // namespace pacsim

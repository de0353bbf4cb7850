// The controller's serial ports under pacsim: one pseudo-terminal per COM
// port that the scenario names, with the remote modules of that port
// answering on its master side.
//
// The port's device path in the simulated root ("<root>/dev/ttySA0" for
// COM 1) is a symbolic link to the slave side, so a program that opens the
// device opens a real terminal and sets its modes on it. pacsim keeps a
// descriptor of the slave open as well: the terminal never hangs up between
// programs, and the settings a program leaves stay on it. The terminal
// starts raw (no echo, no CR/NL translation), so bytes pass unchanged both ways.
#pragma once

#include "../common/root.h"
#include "../model/controller.h"
#include "../model/remote_module.h"
#include "scenario.h"

#include <cstdio>
#include <map>
#include <memory>
#include <poll.h>
#include <span>
#include <string>
#include <vector>

namespace pacsim {

class ComPorts {
  public:
    // Creates the terminals and links; throws std::runtime_error.
    ComPorts(const std::map<int, ComPortConfig> &ports, const Controller &controller,
             const SimRoot &root, std::FILE *trace);
    ~ComPorts();
    ComPorts(const ComPorts &) = delete;
    ComPorts &operator=(const ComPorts &) = delete;

    // Appends one entry per port to poll for what programs write.
    void add_poll_fds(std::vector<pollfd> &fds) const;
    // Reads from the ports whose entries (as add_poll_fds made them) show input.
    void serve(std::span<const pollfd> fds);
    // Sends the replies due by now; returns the milliseconds until the next
    // one falls due (rounded up), or -1 when none waits.
    int deliver();

  private:
    struct Port {
        int number = 0;
        int master = -1;
        int slave = -1;
        std::string terminal; // the slave's name
        bool broken = false;  // the master failed: no longer served
        RemoteBus bus;
    };
    void trace(const Port &port, const std::string &text) const;

    const Controller &controller_;
    std::FILE *trace_;
    std::vector<std::unique_ptr<Port>> ports_;
};

// The smaller of two poll time-outs in milliseconds, -1 standing for none.
int earlier_timeout(int a, int b);

} // namespace pacsim

// In-process simulator backend for unit tests: the test owns a Controller
// model, an InProcess object installs itself as the library's seam for its
// lifetime and records every request, every opened path and every shell
// command that reaches the machine.
#pragma once

#include "../common/root.h"
#include "../model/clock.h"
#include "../model/controller.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pacsim {

struct TraceEntry {
    int slot; // -1 for a descriptor that is no slot
    uint32_t code;
    std::array<uint32_t, 8> sent;   // the record as the library filled it
    std::array<uint32_t, 8> answer; // the record after the request
    int error;                      // 0, or the errno value of a failed request
};

struct OpenEntry {
    std::string path;
    int flags;
    int result; // descriptor or -1
};

class InProcess {
  public:
    explicit InProcess(Controller &controller);
    ~InProcess();
    InProcess(const InProcess &) = delete;
    InProcess &operator=(const InProcess &) = delete;

    Controller &controller;
    const SimRoot &root() const { return root_; }

    // Virtual time: every slot request takes `request_time_us`, and the
    // library's sleeps advance it by what they ask for.
    VirtualClock clock;
    int64_t request_time_us = 1;
    int64_t slept_us = 0; // total of the library's sleeps

    // Keep the request trace (tests that make millions of requests turn it off).
    bool tracing = true;

    std::vector<TraceEntry> trace;     // slot requests in order
    std::vector<OpenEntry> opens;      // open calls in order
    std::vector<std::string> commands; // shell commands as the library gave them

    // Faults: shell commands cannot be started (popen returns NULL and
    // system -1).
    bool commands_fail = false;

    void clear()
    {
        trace.clear();
        opens.clear();
        commands.clear();
    }

    // Readable form of the trace, one request a line.
    std::string trace_text() const;

    // Slot of a descriptor handed out by this backend, or -1.
    int slot_of(int fd) const;

  private:
    SimRoot root_;
    std::array<int, slot_count> fds_{}; // descriptor per open slot, -1 closed
    int next_fd_ = 1000;
    const void *previous_ = nullptr;

    friend struct InProcessOps;
};

} // namespace pacsim

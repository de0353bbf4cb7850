// Remote I/O modules on the controller's serial ports (COM 1 to 37), as
// they answer ASCII commands.
//
// A command is a line ended by CR (0x0D): '$', the module's address as two
// hexadecimal digits, the command characters, and optionally a checksum, the
// byte sum modulo 256 of every character before it as two upper-case
// hexadecimal digits ("$00M" with checksum is "$00MD1\r"). LF bytes are
// skipped, so that a CR LF line end works too.
//
// A module answers only the commands to its own address (several modules
// share one line, each with its own address):
//   - "M", the name command: "!AA" + its name, after its reply delay;
//   - any other command: "?AA";
// each with a checksum when the command had one, and a CR. A command whose
// checksum is present but wrong gets no answer at all. A line that does not
// start with '$' and two hexadecimal digits is no command and gets no answer.
//
// Telling a checksum from command characters: a line whose last two
// characters are upper-case hexadecimal digits that match the sum of the
// characters before them carries a checksum. A line that would be a known
// command followed by two upper-case hexadecimal digits that do not match
// ("$00MD2") carries a wrong checksum. Anything else has no checksum.
//
// The slot test fixture is a module wired to COM 1 that answers the name
// command with "4045-S" and the number of the slot the controller has
// selected (SLOT_SELECT on slot 0) minus one: "4045-S1" while slot 2 is
// selected. With no module slot (1 to 8) selected, it answers "4045-S?".
//
// Faults make a module misbehave on purpose, on every reply:
//   silent        no reply at all
//   bad_checksum  the reply's checksum is one more than it should be (a
//                 reply without checksum is sent as it is)
//   cut_short     only the first half of the reply's characters, no CR
//   no_cr         the whole reply without its CR
//   garbage       the reply, then a few garbage bytes after its CR
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pacsim {

// COM ports are numbered 1 to 37.
inline constexpr int com_port_count = 37;

// The device path of a COM port: COM 1 "/dev/ttySA0", COM 2 to 36
// "/dev/ttyS0" to "/dev/ttyS34", COM 37 "/dev/ttySA1"; "" for any other number.
std::string com_device(int port);

enum class RemoteFault { none, silent, bad_checksum, cut_short, no_cr, garbage };

// "none", "silent", ... and back; false for a name that is no fault.
const char *fault_name(RemoteFault fault);
bool parse_fault(std::string_view name, RemoteFault &fault);

// The checksum of `text`: its byte sum modulo 256 as two upper-case
// hexadecimal digits.
std::string ascii_checksum(std::string_view text);

// `bytes` quoted for a trace line: CR as \r, LF as \n, other bytes outside
// printable ASCII as \xNN, quotes and backslashes escaped.
std::string quoted(std::string_view bytes);

// What the fixture answers to the name command while the controller's
// slot selection mask is `selected_mask` (its lowest set bit counts).
std::string slot_fixture_name(uint32_t selected_mask);

struct RemoteModuleConfig {
    int address = 0;  // 0 to 255
    std::string name; // the answer to the name command
    bool slot_fixture = false;
    int64_t reply_delay_us = 5000;
    RemoteFault fault = RemoteFault::none;
};

// What one module makes of one command line addressed to it.
struct RemoteAnswer {
    std::string reply; // the bytes to send back, faults applied; empty: none
    std::string note;  // for the trace: why there is no reply, or the fault
};

class RemoteModule {
  public:
    explicit RemoteModule(RemoteModuleConfig config) : config_(std::move(config)) {}
    const RemoteModuleConfig &config() const { return config_; }

    // Its name as it answers it now.
    std::string name(uint32_t selected_mask) const;

    // Answers `line` (without its CR), a command to this module's address.
    RemoteAnswer answer(std::string_view line, uint32_t selected_mask) const;

  private:
    RemoteModuleConfig config_;
};

// The modules sharing one serial line: bytes the program writes come in,
// replies go out when they are due. Time is explicit (microseconds).
class RemoteBus {
  public:
    // A line longer than this without CR is thrown away up to the next CR.
    static constexpr size_t max_line = 256;

    // Adds a module; false when another module already has its address.
    bool attach(RemoteModule module);
    const std::vector<RemoteModule> &modules() const { return modules_; }

    // The controller's slot selection mask, for the slot test fixture.
    std::function<uint32_t()> selected_mask;
    // One line per command received: "\"$00M\\r\" -> \"!004017\\r\"".
    std::function<void(const std::string &)> log;

    // Bytes the program has written, arrived at `now`.
    void receive(std::string_view bytes, int64_t now);
    // The reply bytes due by `now`, in the order they fall due; they are
    // taken off the queue.
    std::string take_due(int64_t now);
    // When the next reply falls due, or nothing when none waits.
    std::optional<int64_t> next_due() const;

  private:
    void command(const std::string &line, int64_t now);
    void note(const std::string &text) const
    {
        if (log)
            log(text);
    }

    std::vector<RemoteModule> modules_;
    std::string line_;
    bool overlong_ = false;                   // dropping bytes up to the next CR
    std::multimap<int64_t, std::string> due_; // replies by due time, equal times in order
};

} // namespace pacsim

// Serial tests on real pseudo-terminals: the slave side stands behind a
// controller device path in the simulated root, the test talks on the master.
#pragma once

#include "serial/sio.h"
#include "support/sim_fixture.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace slotio_test {

struct Pty {
    int master = -1;
    int slave = -1; // kept open so the terminal keeps its settings between opens
    std::string slave_path;

    Pty()
    {
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) == 0) {
            slave_path = ttyname(slave);
            termios raw{};
            tcgetattr(master, &raw);
            cfmakeraw(&raw);
            tcsetattr(master, TCSANOW, &raw);
        }
    }
    ~Pty()
    {
        wait();
        close(master);
        close(slave);
    }

    // The far end answering on its own: once it has heard `until` from the
    // program (kept in `heard`), it sends `reply`. The port layer discards
    // unread input when it sets a timer, so a reply must come after that.
    void answer(const std::string &reply, const std::string &until = "\r")
    {
        wait();
        heard.clear();
        responder = std::thread([this, reply, until] {
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (heard.find(until) == std::string::npos &&
                   std::chrono::steady_clock::now() < give_up) {
                pollfd p{master, POLLIN, 0};
                if (poll(&p, 1, 10) > 0) {
                    char buf[256];
                    const ssize_t n = ::read(master, buf, sizeof buf);
                    if (n > 0)
                        heard.append(buf, static_cast<size_t>(n));
                }
            }
            put(reply);
        });
    }

    // Sends `data` once the program has set the read timer to `vtime`.
    void send_when_timer_is(cc_t vtime, const std::string &data)
    {
        wait();
        responder = std::thread([this, vtime, data] {
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (settings().c_cc[VTIME] != vtime && std::chrono::steady_clock::now() < give_up)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            put(data);
        });
    }

    void wait()
    {
        if (responder.joinable())
            responder.join();
    }

    std::string heard;
    std::thread responder;
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    // The slave's settings, as the terminal itself reports them.
    termios settings() const
    {
        termios t{};
        tcgetattr(slave, &t);
        return t;
    }
    void put(const std::string &bytes) const
    {
        [[maybe_unused]] auto n = ::write(master, bytes.data(), bytes.size());
    }
    // Everything the program has written so far.
    std::string taken() const
    {
        std::string out;
        pollfd p{master, POLLIN, 0};
        while (poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
            char buf[256];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }
};

inline void forget_serial_ports()
{
    while (slotio::sio_list) {
        const int fd = slotio::sio_list->fd;
        close(fd);
        slotio::_sio_trim(fd);
    }
}

class SerialTest : public SimTest {
  protected:
    std::vector<std::unique_ptr<Pty>> ptys;

    void SetUp() override
    {
        SimTest::SetUp();
        forget_serial_ports();
        start();
    }
    void TearDown() override
    {
        forget_serial_ports();
        ptys.clear();
        SimTest::TearDown();
    }
    // A terminal behind a controller path such as "/dev/ttyS0".
    Pty &attach(const std::string &device)
    {
        ptys.push_back(std::make_unique<Pty>());
        std::filesystem::create_symlink(ptys.back()->slave_path, sim().root().path() + device);
        return *ptys.back();
    }
};

} // namespace slotio_test

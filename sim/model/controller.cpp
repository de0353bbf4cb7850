#include "controller.h"

#include "slotio.h"

#include <cerrno>
#include <csignal>

namespace pacsim {

Controller::Controller() : send_signal([](int pid, int signo) { ::kill(pid, signo); })
{
    for (int slot = 0; slot < slot_count; ++slot)
        install(slot, std::make_unique<Device>());
}

void Controller::install(int slot, std::unique_ptr<Device> device)
{
    device->set_clock(*clock_);
    device->set_notes([this, slot](const std::string &text) { note(slot, text); });
    devices_.at(slot) = std::move(device);
}

void Controller::set_clock(const Clock &clock)
{
    clock_ = &clock;
    for (auto &d : devices_)
        d->set_clock(clock);
}

int Controller::open(int slot) const { return present(slot) ? 0 : ENOENT; }

int Controller::request(int slot, uint32_t code, std::span<uint32_t> words)
{
    if (!present(slot))
        return ENODEV;
    if (faults_[slot].failing)
        return EIO;
    if (code != SLOT_GET_STATUS && words.size() < 8)
        return EINVAL;
    SlotRequest r{};
    auto load = [&] { std::copy_n(words.begin(), 8, reinterpret_cast<uint32_t *>(&r)); };
    auto store = [&] { std::copy_n(reinterpret_cast<const uint32_t *>(&r), 8, words.begin()); };
    Device &dev = *devices_[slot];
    const bool register_request = code == SLOT_READ_REG || code == SLOT_WRITE_REG ||
                                  code == SLOT_READ_REG16 || code == SLOT_WRITE_REG16 ||
                                  code == SLOT_READBACK_DO;
    if (register_request && dev.register_fails(words[6]))
        return EIO;
    switch (code) {
    case SLOT_SET_SIGNAL:
        load();
        signals_[slot] = {static_cast<int>(r.value), static_cast<int>(r.signo)};
        return 0;
    case SLOT_READ_REG:
        load();
        r.value = dev.read(r.reg);
        store();
        return 0;
    case SLOT_WRITE_REG:
        load();
        dev.write(r.reg, r.value & 0xff);
        return 0;
    case SLOT_READ_REG16:
        load();
        r.value = dev.read16(r.reg);
        store();
        return 0;
    case SLOT_WRITE_REG16:
        load();
        dev.write16(r.reg, r.value & 0xffff);
        return 0;
    case SLOT_SELECT:
        if (slot != 0)
            return EINVAL;
        load();
        selected_ = r.value;
        return 0;
    default: return dev.other_request(code, words) == 0 ? 0 : EINVAL;
    }
}

bool Controller::raise_interrupt(int slot)
{
    if (!valid(slot) || signals_[slot].pid <= 0)
        return false;
    send_signal(signals_[slot].pid, signals_[slot].signo);
    return true;
}

} // namespace pacsim

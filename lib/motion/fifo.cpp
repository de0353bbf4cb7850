// The motion module's command FIFO: frames of 14 bytes written twice, one
// byte at a time into register 1 once the module shows FIFO_READY, and the
// card registry.
#include "fifo.h"

#include "motion_state.h"
#include "slot/slot_table.h"

namespace slotio {

std::array<CardRecord, card_count> card{};

uint8_t workno = 0;
uint8_t fifo_full = 0;
PendingInterpolation sys{};
uint8_t WorkFlag = 0;
uint8_t state = 1;
uint32_t High_Speed = 100;

namespace motion {

unsigned fifo_timeouts = 0;

namespace {

// Polls the status register until it shows FIFO_READY. Every read that shows
// it clear marks the frame as having waited. Gives up when the slot refuses
// the read (nothing will ever answer) or when the module has not been ready
// for fifo_ready_timeout_us.
bool wait_ready(int card_no)
{
    int64_t since = -1;
    for (;;) {
        SlotRequest r{};
        r.reg = fifo_port_reg;
        if (detail::request(card_no, SLOT_READ_REG, &r) != 0)
            return false;
        if (r.value & FIFO_READY)
            return true;
        fifo_full = 1;
        const int64_t now = os::now_us();
        if (since < 0 || now < since)
            since = now;
        else if (now - since >= fifo_ready_timeout_us)
            return false;
    }
}

} // namespace

bool put_byte(int card_no, uint8_t byte)
{
    if (!wait_ready(card_no) || !wait_ready(card_no))
        return false;
    if (fifo_full)
        os::usleep(5);
    detail::write_value(card_no, SLOT_WRITE_REG, fifo_port_reg, byte);
    return true;
}

void advance_workno()
{
    workno = static_cast<uint8_t>(workno + 1);
    if (workno > 80)
        workno = 1;
}

bool send_frame(int card_no, uint8_t code, const Params &p)
{
    fifo_full = 0;
    uint8_t check = code;
    for (uint8_t b : p)
        check ^= b;
    advance_workno();
    for (int copy = 0; copy < 2; ++copy) {
        const uint8_t head[] = {0x00, 0x55, 0xaa, code};
        for (uint8_t b : head)
            if (!put_byte(card_no, b))
                return abandon();
        for (uint8_t b : p)
            if (!put_byte(card_no, b))
                return abandon();
        const uint8_t tail[] = {copy == 0 ? check : static_cast<uint8_t>(~check), workno};
        for (uint8_t b : tail)
            if (!put_byte(card_no, b))
                return abandon();
    }
    return true;
}

bool abandon()
{
    ++fifo_timeouts;
    return false;
}

void reset_state()
{
    card = {};
    workno = 0;
    fifo_full = 0;
    sys = {};
    WorkFlag = 0;
    state = 1;
    High_Speed = 100;
    fifo_timeouts = 0;
    reset_engine();
}

} // namespace motion
} // namespace slotio

using namespace slotio;

extern "C" {

void outportb_fifo(unsigned char card_no, unsigned char byte)
{
    if (valid_card(card_no))
        motion::put_byte(card_no, byte);
}

void output_fifo(unsigned char card_no, unsigned char code, unsigned char p1, unsigned char p2,
                 unsigned char p3, unsigned char p4, unsigned char p5, unsigned char p6,
                 unsigned char p7, unsigned char p8)
{
    if (valid_card(card_no))
        motion::send_frame(card_no, code, {p1, p2, p3, p4, p5, p6, p7, p8});
}

void I4053_reset_fifo(unsigned char card_no)
{
    if (!valid_card(card_no))
        return;
    outb(card_no, fifo_reset_reg, 0);
    outb(card_no, fifo_reset_reg, 0);
    motion::send_frame(card_no, 0, {});
}

unsigned char I4053_REGISTRATION(unsigned char card_no, int user_value)
{
    if (!valid_card(card_no))
        return 0;
    CardRecord &c = card[card_no];
    c.registered = 0;
    if (inb(card_no, 0) != motion_module_id)
        return 0;
    c.user_value = user_value;
    c.first_setting = 10;
    c.acc_step = 1;
    c.low_speed = 10;
    c.high_speed = 100;
    High_Speed = 100;
    c.registered = 1;
    WorkFlag = 0;
    state = 1;
    sys.kind = intp_none;
    return 1;
}

} // extern "C"

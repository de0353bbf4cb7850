// The three-axis encoder module: counting modes, 16-bit hardware counters
// read a byte at a time, index inputs, and signed software counts that
// extend the counters past their wrap.
//
// Axis n (1 to 3) is controlled through register n - 1 and read through
// register n. Control byte: bits 0-1 select the byte the count register
// shows (00 low, 01 high, 11 at rest), bit 2 resets the counter while 0,
// bits 3-7 are the counting mode.
#include "motion/card.h"
#include "slot/slot_table.h"

namespace slotio::encoder {
namespace {

constexpr uint8_t encoder_module_id = 13;
constexpr int index_reg = 4;

bool valid_axis(unsigned axis) { return axis >= 1 && axis <= 3; }

void write_ctrl(uint8_t card_no, int axis)
{
    outb(card_no, axis - 1, card[card_no].enc_ctrl[axis - 1]);
}

uint16_t read_count(uint8_t card_no, int axis)
{
    uint8_t &ctrl = card[card_no].enc_ctrl[axis - 1];
    ctrl &= static_cast<uint8_t>(~0x03);
    write_ctrl(card_no, axis);
    const uint8_t low = inb(card_no, axis);
    ctrl |= 0x01;
    write_ctrl(card_no, axis);
    const uint8_t high = inb(card_no, axis);
    ctrl |= 0x03;
    write_ctrl(card_no, axis);
    return static_cast<uint16_t>(high * 256 + low);
}

void read_all(uint8_t card_no, uint16_t (&into)[3])
{
    for (int axis = 1; axis <= 3; ++axis)
        into[axis - 1] = read_count(card_no, axis);
}

} // namespace
} // namespace slotio::encoder

using namespace slotio;
using namespace slotio::encoder;

extern "C" {

unsigned char I4052_REGISTRATION(unsigned char card_no, int user_value)
{
    if (!valid_card(card_no) || inb(card_no, 0) != encoder_module_id)
        return 0;
    card[card_no].user_value = user_value;
    return 1;
}

void I4052_INIT_CARD(unsigned char card_no, unsigned char mode1, unsigned char mode2,
                     unsigned char mode3)
{
    if (!valid_card(card_no))
        return;
    const unsigned char modes[3] = {mode1, mode2, mode3};
    uint8_t *ctrl = card[card_no].enc_ctrl;
    for (int i = 0; i < 3; ++i)
        ctrl[i] = static_cast<uint8_t>((modes[i] & 0xf8) | 0x03); // counter held in reset
    for (int axis = 1; axis <= 3; ++axis)
        write_ctrl(card_no, axis);
    for (int i = 0; i < 3; ++i)
        ctrl[i] |= 0x04; // release the reset
    for (int axis = 1; axis <= 3; ++axis)
        write_ctrl(card_no, axis);
}

unsigned short I4052_GET_ENCODER(unsigned char card_no, unsigned char axis)
{
    if (!valid_card(card_no) || !valid_axis(axis))
        return 0;
    return read_count(card_no, axis);
}

void I4052_RESET_ENCODER(unsigned char card_no, unsigned char axis)
{
    if (!valid_card(card_no) || !valid_axis(axis))
        return;
    uint8_t &ctrl = card[card_no].enc_ctrl[axis - 1];
    ctrl &= static_cast<uint8_t>(~0x04);
    write_ctrl(card_no, axis);
    ctrl |= 0x04;
    write_ctrl(card_no, axis);
}

unsigned char I4052_GET_INDEX(unsigned char card_no)
{
    return valid_card(card_no) ? inb(card_no, index_reg) & 0x07 : 0;
}

void I4052_ENCODER32_ISR(unsigned char card_no)
{
    if (!valid_card(card_no))
        return;
    CardRecord &c = card[card_no];
    read_all(card_no, c.enc_now);
    int16_t step[3];
    for (int i = 0; i < 3; ++i)
        step[i] = static_cast<int16_t>(static_cast<uint16_t>(c.enc_now[i] - c.enc_last[i]));
    for (int i = 0; i < 3; ++i)
        c.enc_last[i] = c.enc_now[i];
    for (int i = 0; i < 3; ++i)
        c.enc_count[i] += step[i];
}

void I4052_RESET_ENCODER32(unsigned char card_no, unsigned char axis)
{
    if (!valid_card(card_no))
        return;
    read_all(card_no, card[card_no].enc_last);
    if (valid_axis(axis))
        card[card_no].enc_count[axis - 1] = 0;
}

long I4052_GET_ENCODER32(unsigned char card_no, unsigned char axis)
{
    if (!valid_card(card_no))
        return 0;
    I4052_ENCODER32_ISR(card_no);
    return valid_axis(axis) ? card[card_no].enc_count[axis - 1] : 0;
}

} // extern "C"

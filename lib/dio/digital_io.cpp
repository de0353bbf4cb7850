// Digital output, input and input/output modules.
//
// Register map: outputs are written to registers 0-3 (byte 0 first) and read
// back with SLOT_READBACK_DO from the same registers; inputs are read from
// registers 1-4, one up from the outputs because register 0 reads as the
// module ID. Multi-byte ports are little-endian, one request per byte.
#include "slot/module_catalogue.h"
#include "slot/slot_table.h"

namespace slotio::dio {
namespace {

constexpr uint32_t first_output_reg = 0;
constexpr uint32_t first_input_reg = 1;

void write_port(int slot, uint32_t data, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        detail::write_value(slot, SLOT_WRITE_REG, first_output_reg + i, (data >> (8 * i)) & 0xff);
}

uint32_t read_port(int slot, unsigned long code, uint32_t first_reg, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= (detail::read_value(slot, code, first_reg + i) & 0xff) << (8 * i);
    return value;
}

uint32_t read_back(int slot, int bytes)
{
    return read_port(slot, SLOT_READBACK_DO, first_output_reg, bytes);
}

uint32_t read_inputs(int slot, int bytes)
{
    return read_port(slot, SLOT_READ_REG, first_input_reg, bytes);
}

bool bit_in_port(int bit, int bytes) { return bit >= 0 && bit < 8 * bytes; }

// Read-modify-write of one output: the image comes from the module, and every
// byte is written back whether or not it changed. A bit number outside the
// port leaves the image as it is.
void write_bit(int slot, int bytes, int bit, int state)
{
    uint32_t image = read_back(slot, bytes);
    if (bit_in_port(bit, bytes)) {
        const uint32_t mask = 1u << bit;
        image = state ? (image | mask) : (image & ~mask);
    }
    write_port(slot, image, bytes);
}

int test_bit(int slot, int bytes, int bit)
{
    const uint32_t inputs = read_inputs(slot, bytes);
    return bit_in_port(bit, bytes) ? static_cast<int>((inputs >> bit) & 1) : 0;
}

} // namespace
} // namespace slotio::dio

using namespace slotio::dio;

extern "C" {

void DO_8(int slot, unsigned char data) { write_port(slot, data, 1); }
void DO_16(int slot, unsigned int data) { write_port(slot, data, 2); }
void DO_32(int slot, unsigned long data) { write_port(slot, static_cast<uint32_t>(data), 4); }
void DIO_DO_8(int slot, unsigned char data) { write_port(slot, data, 1); }
void DIO_DO_16(int slot, unsigned int data) { write_port(slot, data, 2); }

unsigned char DO_8_RB(int slot) { return static_cast<unsigned char>(read_back(slot, 1)); }
unsigned int DO_16_RB(int slot) { return read_back(slot, 2); }
unsigned long DO_32_RB(int slot) { return read_back(slot, 4); }
unsigned char DIO_DO_8_RB(int slot) { return static_cast<unsigned char>(read_back(slot, 1)); }
unsigned int DIO_DO_16_RB(int slot) { return read_back(slot, 2); }

void DO_8_BW(int slot, int bit, int state) { write_bit(slot, 1, bit, state); }
void DO_16_BW(int slot, int bit, int state) { write_bit(slot, 2, bit, state); }
void DO_32_BW(int slot, int bit, int state) { write_bit(slot, 4, bit, state); }
void DIO_DO_8_BW(int slot, int bit, int state) { write_bit(slot, 1, bit, state); }
void DIO_DO_16_BW(int slot, int bit, int state) { write_bit(slot, 2, bit, state); }

unsigned char DI_8(int slot) { return static_cast<unsigned char>(read_inputs(slot, 1)); }
unsigned int DI_16(int slot) { return read_inputs(slot, 2); }
unsigned long DI_32(int slot) { return read_inputs(slot, 4); }
unsigned char DIO_DI_8(int slot) { return static_cast<unsigned char>(read_inputs(slot, 1)); }
unsigned int DIO_DI_16(int slot) { return read_inputs(slot, 2); }

int DI_8_BW(int slot, int bit) { return test_bit(slot, 1, bit); }
int DI_16_BW(int slot, int bit) { return test_bit(slot, 2, bit); }
int DI_32_BW(int slot, int bit) { return test_bit(slot, 4, bit); }

unsigned long ReadDI(int slot)
{
    namespace cat = slotio::catalogue;
    const uint32_t id = slotio::detail::read_value(slot, SLOT_READ_REG, 0) & 0xff;
    const uint32_t format = cat::input_format(id);
    const int width = cat::input_width(format);
    const uint32_t value = read_inputs(slot, width / 8);
    const uint32_t all = width == 32 ? 0xffffffffu : (1u << width) - 1;
    return cat::inputs_inverted(format) ? value ^ all : value;
}

} // extern "C"

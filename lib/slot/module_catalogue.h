// The module catalogue: which module answers which ID byte in register 0 of
// its slot, its model number within the series, its kind, the input format
// of the digital modules, and the model texts that depend on a further
// register of the module. The library and pacsim both read these tables.
#pragma once

#include <array>
#include <cstdint>

namespace slotio::catalogue {

// Kinds of module, the `type` of an IdTable row.
enum ModuleType : uint32_t {
    no_type = 0,
    digital_input = 1,
    digital_output = 2,
    digital_io = 3,
    relay_output = 4,
    analog_input = 5,
    analog_output = 6,
    encoder = 7,
    motion = 8,
    test_fixture = 9,
    counter = 10,
};

inline constexpr uint32_t empty_model = 255; // a row without a module
inline constexpr uint32_t no_entry = 0xff;   // an InvTable entry without inputs

struct IdRow {
    uint32_t model; // model number within its series (4000 or 5000 added)
    uint32_t type;
};

struct InvEntry {
    uint32_t model;  // as IdTable's model for the same ID
    uint32_t format; // bits 0-3 input width (1: 8, 2: 16, else 32), bits 4-7 inversion flags
};

// clang-format off
inline constexpr std::array<IdRow, 116> IdTable = {{
    // model, type        ID    module
    {empty_model, no_type}, // 0x00
    { 41, digital_input}, // 0x01  4041 digital input, 8 inputs
    { 41, digital_input}, // 0x02  4041 digital input, 8 inputs
    { 42, digital_input}, // 0x03  4042 digital input, 8 inputs, sinking (inverted)
    { 51, digital_input}, // 0x04  4051 digital input, 16 inputs
    { 51, digital_input}, // 0x05  4051 digital input, 16 inputs
    { 51, digital_input}, // 0x06  4051 digital input, 16 inputs
    { 55, digital_input}, // 0x07  4055 digital input, 16 inputs, sinking (inverted)
    { 55, digital_input}, // 0x08  4055 digital input, 16 inputs, sinking (inverted)
    { 58, digital_input}, // 0x09  4058 digital input, 32 inputs
    { 58, digital_input}, // 0x0a  4058 digital input, 32 inputs
    { 59, digital_input}, // 0x0b  4059 digital input, 32 inputs, sinking (inverted)
    { 40, digital_input}, // 0x0c  4040 digital input, 32 inputs, isolated
    { 52, encoder},       // 0x0d  4052 encoder, three-axis encoder
    { 53, motion},        // 0x0e  4053 motion, two-axis pulse motion
    { 61, digital_output}, // 0x0f  4061 digital output, 8 outputs
    { 54, digital_io},    // 0x10  4054 digital input/output, 8 inputs / 8 outputs
    { 54, digital_io},    // 0x11  4054 digital input/output, 8 inputs / 8 outputs
    { 54, digital_io},    // 0x12  4054 digital input/output, 8 inputs / 8 outputs
    { 61, digital_output}, // 0x13  4061 digital output, 8 outputs
    { 61, digital_output}, // 0x14  4061 digital output, 8 outputs
    { 64, digital_io},    // 0x15  4064 digital input/output, 8 inputs (inverted) / 8 outputs
    { 64, digital_io},    // 0x16  4064 digital input/output, 8 inputs (inverted) / 8 outputs
    { 56, digital_output}, // 0x17  4056 digital output, 16 outputs, sinking
    { 50, digital_io},    // 0x18  4050 digital input/output, 16 inputs / 16 outputs
    { 50, digital_io},    // 0x19  4050 digital input/output, 16 inputs / 16 outputs
    { 50, digital_io},    // 0x1a  4050 digital input/output, 16 inputs / 16 outputs
    { 63, digital_io},    // 0x1b  4063 digital input/output, 16 inputs (inverted) / 16 outputs
    { 63, digital_io},    // 0x1c  4063 digital input/output, 16 inputs (inverted) / 16 outputs
    { 56, digital_output}, // 0x1d  4056 digital output, 16 outputs, sinking
    { 56, digital_output}, // 0x1e  4056 digital output, 16 outputs, sinking
    { 57, digital_output}, // 0x1f  4057 digital output, 16 outputs, sourcing
    { 44, digital_io},    // 0x20  4044 digital input/output, 16 inputs / 8 outputs
    { 44, digital_io},    // 0x21  4044 digital input/output, 16 inputs / 8 outputs
    { 59, digital_input}, // 0x22  4059 digital input, 32 inputs, sinking (inverted)
    { 59, digital_input}, // 0x23  4059 digital input, 32 inputs, sinking (inverted)
    { 40, digital_input}, // 0x24  4040 digital input, 32 inputs, isolated
    { 57, digital_output}, // 0x25  4057 digital output, 16 outputs, sourcing
    { 57, digital_output}, // 0x26  4057 digital output, 16 outputs, sourcing
    { 65, digital_output}, // 0x27  4065 digital output, 32 outputs
    { 65, digital_output}, // 0x28  4065 digital output, 32 outputs
    { 68, digital_output}, // 0x29  4068 digital output, 32 outputs, sourcing
    { 68, digital_output}, // 0x2a  4068 digital output, 32 outputs, sourcing
    { 60, relay_output},  // 0x2b  4060 relay output, 8 relays
    { 60, relay_output},  // 0x2c  4060 relay output, 8 relays
    { 62, relay_output},  // 0x2d  4062 relay output, 16 relays
    {empty_model, no_type}, // 0x2e
    {empty_model, no_type}, // 0x2f
    { 17, analog_input},  // 0x30  4017 analog input, 8 channels
    { 17, analog_input},  // 0x31  4017 analog input, 8 channels
    { 18, analog_input},  // 0x32  4018 analog input, 8 channels, differential
    { 19, analog_input},  // 0x33  4019 analog input, thermocouple
    { 19, analog_input},  // 0x34  4019 analog input, thermocouple
    { 31, analog_input},  // 0x35  4031 analog input, with its calibration EEPROM
    { 31, analog_input},  // 0x36  4031 analog input, with its calibration EEPROM
    { 31, analog_input},  // 0x37  4031 analog input, with its calibration EEPROM
    { 24, analog_output}, // 0x38  4024 analog output, 4 channels
    { 24, analog_output}, // 0x39  4024 analog output, 4 channels
    { 28, analog_output}, // 0x3a  4028 analog output, 2 channels
    {empty_model, no_type}, // 0x3b
    {empty_model, no_type}, // 0x3c
    {empty_model, no_type}, // 0x3d
    {empty_model, no_type}, // 0x3e
    {empty_model, no_type}, // 0x3f
    { 45, test_fixture},  // 0x40  4045 slot test fixture, slot test fixture
    { 45, test_fixture},  // 0x41  4045 slot test fixture, slot test fixture
    { 80, counter},       // 0x42  4080 counter/frequency, counter/frequency
    { 57, digital_output}, // 0x43  4057 digital output, 16 outputs, sourcing
    { 57, digital_output}, // 0x44  4057 digital output, 16 outputs, sourcing
    { 62, relay_output},  // 0x45  4062 relay output, 16 relays
    { 28, analog_output}, // 0x46  4028 analog output, 2 channels
    { 80, counter},       // 0x47  4080 counter/frequency, counter/frequency
    {empty_model, no_type}, // 0x48
    {empty_model, no_type}, // 0x49
    {empty_model, no_type}, // 0x4a
    {empty_model, no_type}, // 0x4b
    {empty_model, no_type}, // 0x4c
    {empty_model, no_type}, // 0x4d
    {empty_model, no_type}, // 0x4e
    {empty_model, no_type}, // 0x4f
    {empty_model, no_type}, // 0x50
    {empty_model, no_type}, // 0x51
    {empty_model, no_type}, // 0x52
    {empty_model, no_type}, // 0x53
    {empty_model, no_type}, // 0x54
    {empty_model, no_type}, // 0x55
    {empty_model, no_type}, // 0x56
    {empty_model, no_type}, // 0x57
    {empty_model, no_type}, // 0x58
    {empty_model, no_type}, // 0x59
    {empty_model, no_type}, // 0x5a
    {empty_model, no_type}, // 0x5b
    {empty_model, no_type}, // 0x5c
    {empty_model, no_type}, // 0x5d
    {empty_model, no_type}, // 0x5e
    {empty_model, no_type}, // 0x5f
    {empty_model, no_type}, // 0x60
    {empty_model, no_type}, // 0x61
    {empty_model, no_type}, // 0x62
    {empty_model, no_type}, // 0x63
    {empty_model, no_type}, // 0x64
    {empty_model, no_type}, // 0x65
    {empty_model, no_type}, // 0x66
    {empty_model, no_type}, // 0x67
    { 61, digital_output}, // 0x68  4061 digital output, 8 outputs
    { 61, digital_output}, // 0x69  4061 digital output, 8 outputs
    { 56, digital_output}, // 0x6a  4056 digital output, 16 outputs, sinking
    { 65, digital_output}, // 0x6b  4065 digital output, 32 outputs
    { 17, analog_input},  // 0x6c  4017 analog input, 8 channels
    { 31, analog_input},  // 0x6d  4031 analog input, with its calibration EEPROM
    { 24, analog_output}, // 0x6e  4024 analog output, 4 channels
    {empty_model, no_type}, // 0x6f
    {empty_model, no_type}, // 0x70
    {empty_model, no_type}, // 0x71
    {empty_model, no_type}, // 0x72
    {empty_model, no_type}, // 0x73
}};

inline constexpr std::array<InvEntry, 104> InvTable = {{
    // model, format     ID    inputs
    {no_entry, 0x00},   // 0x00
    { 41, 0x01},        // 0x01  4041: 8 inputs
    { 41, 0x01},        // 0x02  4041: 8 inputs
    { 42, 0x11},        // 0x03  4042: 8 inputs, inverted
    { 51, 0x02},        // 0x04  4051: 16 inputs
    { 51, 0x02},        // 0x05  4051: 16 inputs
    { 51, 0x02},        // 0x06  4051: 16 inputs
    { 55, 0x32},        // 0x07  4055: 16 inputs, inverted
    { 55, 0x32},        // 0x08  4055: 16 inputs, inverted
    { 58, 0x00},        // 0x09  4058: 32 inputs
    { 58, 0x00},        // 0x0a  4058: 32 inputs
    { 59, 0x13},        // 0x0b  4059: 32 inputs, inverted
    { 40, 0x03},        // 0x0c  4040: 32 inputs
    {no_entry, 0x00},   // 0x0d
    {no_entry, 0x00},   // 0x0e
    {no_entry, 0x00},   // 0x0f
    { 54, 0x01},        // 0x10  4054: 8 inputs
    { 54, 0x01},        // 0x11  4054: 8 inputs
    { 54, 0x01},        // 0x12  4054: 8 inputs
    {no_entry, 0x00},   // 0x13
    {no_entry, 0x00},   // 0x14
    { 64, 0x41},        // 0x15  4064: 8 inputs, inverted
    { 64, 0x41},        // 0x16  4064: 8 inputs, inverted
    {no_entry, 0x00},   // 0x17
    { 50, 0x02},        // 0x18  4050: 16 inputs
    { 50, 0x02},        // 0x19  4050: 16 inputs
    { 50, 0x02},        // 0x1a  4050: 16 inputs
    { 63, 0x82},        // 0x1b  4063: 16 inputs, inverted
    { 63, 0x82},        // 0x1c  4063: 16 inputs, inverted
    {no_entry, 0x00},   // 0x1d
    {no_entry, 0x00},   // 0x1e
    {no_entry, 0x00},   // 0x1f
    { 44, 0x02},        // 0x20  4044: 16 inputs
    { 44, 0x02},        // 0x21  4044: 16 inputs
    { 59, 0x13},        // 0x22  4059: 32 inputs, inverted
    { 59, 0x13},        // 0x23  4059: 32 inputs, inverted
    { 40, 0x03},        // 0x24  4040: 32 inputs
    {no_entry, 0x00},   // 0x25
    {no_entry, 0x00},   // 0x26
    {no_entry, 0x00},   // 0x27
    {no_entry, 0x00},   // 0x28
    {no_entry, 0x00},   // 0x29
    {no_entry, 0x00},   // 0x2a
    {no_entry, 0x00},   // 0x2b
    {no_entry, 0x00},   // 0x2c
    {no_entry, 0x00},   // 0x2d
    {no_entry, 0x00},   // 0x2e
    {no_entry, 0x00},   // 0x2f
    {no_entry, 0x00},   // 0x30
    {no_entry, 0x00},   // 0x31
    {no_entry, 0x00},   // 0x32
    {no_entry, 0x00},   // 0x33
    {no_entry, 0x00},   // 0x34
    {no_entry, 0x00},   // 0x35
    {no_entry, 0x00},   // 0x36
    {no_entry, 0x00},   // 0x37
    {no_entry, 0x00},   // 0x38
    {no_entry, 0x00},   // 0x39
    {no_entry, 0x00},   // 0x3a
    {no_entry, 0x00},   // 0x3b
    {no_entry, 0x00},   // 0x3c
    {no_entry, 0x00},   // 0x3d
    {no_entry, 0x00},   // 0x3e
    {no_entry, 0x00},   // 0x3f
    {no_entry, 0x00},   // 0x40
    {no_entry, 0x00},   // 0x41
    {no_entry, 0x00},   // 0x42
    {no_entry, 0x00},   // 0x43
    {no_entry, 0x00},   // 0x44
    {no_entry, 0x00},   // 0x45
    {no_entry, 0x00},   // 0x46
    {no_entry, 0x00},   // 0x47
    {no_entry, 0x00},   // 0x48
    {no_entry, 0x00},   // 0x49
    {no_entry, 0x00},   // 0x4a
    {no_entry, 0x00},   // 0x4b
    {no_entry, 0x00},   // 0x4c
    {no_entry, 0x00},   // 0x4d
    {no_entry, 0x00},   // 0x4e
    {no_entry, 0x00},   // 0x4f
    {no_entry, 0x00},   // 0x50
    {no_entry, 0x00},   // 0x51
    {no_entry, 0x00},   // 0x52
    {no_entry, 0x00},   // 0x53
    {no_entry, 0x00},   // 0x54
    {no_entry, 0x00},   // 0x55
    {no_entry, 0x00},   // 0x56
    {no_entry, 0x00},   // 0x57
    {no_entry, 0x00},   // 0x58
    {no_entry, 0x00},   // 0x59
    {no_entry, 0x00},   // 0x5a
    {no_entry, 0x00},   // 0x5b
    {no_entry, 0x00},   // 0x5c
    {no_entry, 0x00},   // 0x5d
    {no_entry, 0x00},   // 0x5e
    {no_entry, 0x00},   // 0x5f
    {no_entry, 0x00},   // 0x60
    {no_entry, 0x00},   // 0x61
    {no_entry, 0x00},   // 0x62
    {no_entry, 0x00},   // 0x63
    {no_entry, 0x00},   // 0x64
    {no_entry, 0x00},   // 0x65
    {no_entry, 0x00},   // 0x66
    {no_entry, 0x00},   // 0x67
}};
// clang-format on

// Model texts that depend on a register of the module: when `reg` reads
// `value`, the text is `number` followed by `suffix`.
struct Variant {
    uint32_t value;
    int number;
    const char *suffix;
};

struct VariantRule {
    int model_number; // as GetNameOfModule returns it
    uint32_t reg;
    std::array<Variant, 2> variants;
};

inline constexpr std::array<VariantRule, 3> variant_rules = {{
    {4031,
     8,
     {{{0x01, 4031, "H"}, {0x02, 4031, "HW"}}}}, // analog input: high-gain, high-speed boards
    {4057, 4, {{{0x01, 4057, "P"}, {0x02, 4059, ""}}}}, // 16 outputs: PNP board; 4059 board
    {4080, 8, {{{0x10, 4081, "F"}, {0x20, 8080, ""}}}}, // counter: frequency board; OEM number
}};

// Longest model text, without its terminating null byte.
inline constexpr int longest_model_text = 6;

// Width in inputs (8, 16 or 32) and inversion of an InvTable format.
constexpr int input_width(uint32_t format)
{
    switch (format & 0x0f) {
    case 1: return 8;
    case 2: return 16;
    default: return 32;
    }
}
constexpr bool inputs_inverted(uint32_t format) { return (format & 0xf0) != 0; }

// Outputs of the digital output, relay and input/output models (by model
// number within the series); 0 for a model without outputs.
constexpr int output_width(uint32_t model, uint32_t type)
{
    if (type != digital_output && type != digital_io && type != relay_output)
        return 0;
    switch (model) {
    case 44:
    case 54:
    case 60:
    case 61:
    case 64: return 8;
    case 65:
    case 68: return 32;
    default: return 16; // 50, 56, 57, 62, 63
    }
}

// The InvTable format for an ID byte; IDs beyond the table have no entry.
constexpr uint32_t input_format(uint32_t id)
{
    return id < InvTable.size() ? InvTable[id].format : 0;
}

// The IdTable row for an ID byte; IDs beyond the table read as empty rows.
constexpr IdRow id_row(uint32_t id)
{
    return id < IdTable.size() ? IdTable[id] : IdRow{empty_model, no_type};
}

} // namespace slotio::catalogue

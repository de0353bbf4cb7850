#include "modules.h"

#include "encoder_module.h"
#include "lib/slot/module_catalogue.h"
#include "motion_module.h"
#include "slotio.h"

namespace pacsim {

namespace cat = slotio::catalogue;

namespace {

bool is_digital(uint32_t type)
{
    return type == cat::digital_input || type == cat::digital_output || type == cat::digital_io ||
           type == cat::relay_output;
}

} // namespace

DigitalModule::DigitalModule(uint8_t id) : Module(id)
{
    const cat::IdRow row = cat::id_row(id);
    if (row.type == cat::digital_input || row.type == cat::digital_io) {
        const uint32_t format = cat::input_format(id);
        input_width_ = cat::input_width(format);
        inverted_ = cat::inputs_inverted(format);
    }
    output_width_ = cat::output_width(row.model, row.type);
}

uint32_t DigitalModule::outputs() const
{
    return outputs_[0] | outputs_[1] << 8 | outputs_[2] << 16 | uint32_t(outputs_[3]) << 24;
}

uint32_t DigitalModule::read(uint32_t reg) const
{
    if (reg >= 1 && reg <= 4 && input_width_ > 0) {
        const int byte = static_cast<int>(reg) - 1;
        if (byte * 8 >= input_width_)
            return 0; // no such inputs on this module
        const uint32_t all = input_width_ == 32 ? 0xffffffffu : (1u << input_width_) - 1;
        const uint32_t levels = (inverted_ ? ~active_ : active_) & all;
        return (levels >> (8 * byte)) & 0xff;
    }
    return Module::read(reg);
}

void DigitalModule::write(uint32_t reg, uint32_t value)
{
    if (reg <= 3) {
        if (static_cast<int>(reg) * 8 < output_width_)
            outputs_[reg] = static_cast<uint8_t>(value);
        return;
    }
    Module::write(reg, value);
}

int DigitalModule::other_request(uint32_t code, std::span<uint32_t> words)
{
    if (code != SLOT_READBACK_DO)
        return Module::other_request(code, words);
    const uint32_t reg = words[word_reg];
    words[word_value] = reg <= 3 ? outputs_[reg] : 0;
    return 0;
}

std::unique_ptr<Module> make_module(uint8_t id)
{
    const uint32_t type = cat::id_row(id).type;
    if (is_digital(type))
        return std::make_unique<DigitalModule>(id);
    if (type == cat::encoder)
        return std::make_unique<EncoderModule>(id);
    if (type == cat::motion)
        return std::make_unique<MotionModule>(id);
    return std::make_unique<Module>(id);
}

int id_for_model_number(int model_number)
{
    const int model = model_number >= 5000 ? model_number - 5000 : model_number - 4000;
    if (model < 0 || model > 254)
        return -1;
    for (size_t id = 0; id < cat::IdTable.size(); ++id)
        if (cat::IdTable[id].model == static_cast<uint32_t>(model))
            return static_cast<int>(id);
    return -1;
}

} // namespace pacsim

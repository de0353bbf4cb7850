// What sits in a module slot: type code, model number and model text, from
// the ID byte that every module answers in register 0.
#include "module_catalogue.h"
#include "slot_table.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace slotio {
namespace {

constexpr int no_module = 4000;
constexpr const char *series_5000_marker = "/usr/local/etc/ostrel/5000-PAC";

uint32_t module_id(int slot) { return detail::read_value(slot, SLOT_READ_REG, 0) & 0xff; }

// The series is decided by the marker file, on every call: it may come and go.
int series_base()
{
    struct stat st;
    return os::stat(series_5000_marker, &st) == -1 ? 4000 : 5000;
}

const catalogue::VariantRule *variant_rule(int model_number)
{
    for (const catalogue::VariantRule &rule : catalogue::variant_rules)
        if (rule.model_number == model_number)
            return &rule;
    return nullptr;
}

} // namespace
} // namespace slotio

using namespace slotio;

extern "C" {

int GetModuleType(int slot)
{
    const uint32_t id = module_id(slot);
    if (id >= catalogue::IdTable.size())
        return no_module; // no row: not a module we know
    const uint32_t type = catalogue::IdTable[id].type;
    return type > 254 ? no_module : static_cast<int>(type);
}

int GetNameOfModule(int slot)
{
    const uint32_t id = module_id(slot);
    const int base = series_base();
    const uint32_t model = catalogue::id_row(id).model;
    return model > 254 ? no_module : base + static_cast<int>(model);
}

void GetExactlyNameOfModule(int slot, char *text)
{
    if (!text)
        return;
    std::memset(text, 0, 10);
    const int number = GetNameOfModule(slot);
    std::sprintf(text, "%d", number);
    const catalogue::VariantRule *rule = variant_rule(number);
    if (!rule)
        return;
    const uint32_t value = detail::read_value(slot, SLOT_READ_REG, rule->reg);
    for (const catalogue::Variant &v : rule->variants)
        if (v.value == value) {
            std::sprintf(text, "%d%s", v.number, v.suffix);
            return;
        }
}

} // extern "C"

#include "request_info.h"

#include "slotio.h"

#include <cstdio>
#include <cstring>

namespace pacsim {
namespace {

constexpr RequestInfo requests[] = {
    {SLOT_GET_STATUS, "SLOT_GET_STATUS", 0, 0},
    {SLOT_SET_SIGNAL, "SLOT_SET_SIGNAL", w_signo | w_value | w_hi | w_reg, 0},
    {SLOT_READ_REG, "SLOT_READ_REG", w_reg, w_value},
    {SLOT_WRITE_REG, "SLOT_WRITE_REG", w_reg | w_value, 0},
    {SLOT_SELECT, "SLOT_SELECT", w_value | w_reg, 0},
    {SLOT_READ_EEP, "SLOT_READ_EEP", w_reg | w_aux | w_hi | w_lo, w_value},
    {SLOT_WRITE_EEP, "SLOT_WRITE_EEP", w_reg | w_aux | w_hi | w_lo | w_value, 0},
    {SLOT_EEP_WRITE_ENABLE, "SLOT_EEP_WRITE_ENABLE", 0, 0},
    {SLOT_EEP_WRITE_DISABLE, "SLOT_EEP_WRITE_DISABLE", 0, 0},
    {SLOT_FETCH_ID, "SLOT_FETCH_ID", 0, w_hi | w_lo},
    {SLOT_READ_SRAM, "SLOT_READ_SRAM", w_reg, w_value},
    {SLOT_WRITE_SRAM, "SLOT_WRITE_SRAM", w_reg | w_value, 0},
    {SLOT_WDT_ENABLE, "SLOT_WDT_ENABLE", w_value | w_wdt_sel, 0},
    {SLOT_WDT_DISABLE, "SLOT_WDT_DISABLE", w_wdt_sel, 0},
    {SLOT_WDT_GET_EVENT, "SLOT_WDT_GET_EVENT", 0, w_value},
    {SLOT_WDT_CLEAR_EVENT, "SLOT_WDT_CLEAR_EVENT", w_value, 0},
    {SLOT_TIMER_ENABLE, "SLOT_TIMER_ENABLE", w_value, 0},
    {SLOT_TIMER_DISABLE, "SLOT_TIMER_DISABLE", 0, 0},
    {SLOT_READBACK_DO, "SLOT_READBACK_DO", w_reg, w_value},
    {SLOT_SET_LED, "SLOT_SET_LED", w_reg | w_value, 0},
    {SLOT_GET_ATOM_ROTARY, "SLOT_GET_ATOM_ROTARY", w_reg, w_value},
    {SLOT_SET_ATOM_LED, "SLOT_SET_ATOM_LED", w_reg | w_value, 0},
    {SLOT_READ_REG16, "SLOT_READ_REG16", w_reg, w_value},
    {SLOT_WRITE_REG16, "SLOT_WRITE_REG16", w_reg | w_value, 0},
};

constexpr const char *word_names[8] = {"signo", "value", "aux", "spare",
                                       "hi",    "lo",    "reg", "wdt_sel"};

void append_words(std::string &out, uint8_t mask, std::span<const uint32_t> words)
{
    // The register first: "reg=1 value=0x10" reads as the hardware does.
    constexpr int order[8] = {6, 0, 1, 2, 4, 5, 7, 3};
    bool first = true;
    for (int i : order) {
        if (i >= static_cast<int>(words.size()) || !(mask & (1u << i)))
            continue;
        char buf[48];
        const bool decimal = i == 0 || i == 6; // signal and register numbers
        std::snprintf(buf, sizeof buf, decimal ? "%s%s=%u" : "%s%s=0x%x", first ? "" : " ",
                      word_names[i], words[i]);
        out += buf;
        first = false;
    }
}

} // namespace

const RequestInfo *request_info(uint32_t code)
{
    for (const RequestInfo &r : requests)
        if (r.code == code)
            return &r;
    return nullptr;
}

std::string describe_request(int slot, uint32_t code, std::span<const uint32_t> before,
                             std::span<const uint32_t> after, int error)
{
    char head[64];
    const RequestInfo *info = request_info(code);
    std::string out;
    if (info) {
        std::snprintf(head, sizeof head, "slot %d %s", slot, info->name);
        out = head;
        if (info->filled) {
            out += ' ';
            append_words(out, info->filled, before);
        }
    } else {
        std::snprintf(head, sizeof head, "slot %d request 0x%08x", slot, code);
        out = head;
    }
    out += " -> ";
    if (error != 0) {
        out += "failed (";
        out += std::strerror(error);
        out += ')';
    } else if (code == SLOT_GET_STATUS && after.size() > 9) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "status=0x%x", after[9]);
        out += buf;
    } else if (info && info->answered) {
        append_words(out, info->answered, after);
    } else {
        out += "ok";
    }
    return out;
}

} // namespace pacsim

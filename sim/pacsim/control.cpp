#include "control.h"

#include "../model/encoder_module.h"
#include "../model/modules.h"
#include "../model/motion_module.h"
#include "lib/slot/module_catalogue.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace pacsim {
namespace {

bool number(const std::string &text, uint32_t max, uint32_t &out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end || v > max || text[0] == '-')
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

// A signed number of any size that fits 64 bits: decimal, 0x.. or 0...
bool signed_number(const std::string &text, int64_t &out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (*end || errno == ERANGE)
        return false;
    out = v;
    return true;
}

// What follows the first `n` words of `text`, without the spaces before it.
std::string_view after_words(std::string_view text, int n)
{
    size_t at = 0;
    for (int i = 0; i <= n; ++i) {
        at = text.find_first_not_of(' ', at);
        if (at == std::string_view::npos)
            return {};
        if (i < n)
            at = text.find(' ', at);
    }
    return text.substr(at);
}

std::string hex(uint32_t value, int width_bits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*x", width_bits / 4, value);
    return buf;
}

} // namespace

std::string describe_slots(Controller &controller, const SimRoot &root)
{
    namespace cat = slotio::catalogue;
    const int base = root.exists(SimRoot::series_marker) ? 5000 : 4000;
    std::string out;
    for (int slot = 1; slot <= 8; ++slot) {
        out += "slot " + std::to_string(slot) + ": ";
        const auto *module = dynamic_cast<const Module *>(&controller.device(slot));
        if (!controller.present(slot)) {
            out += "no device\n";
            continue;
        }
        if (!module) {
            out += "empty\n";
            continue;
        }
        const cat::IdRow row = cat::id_row(module->id());
        char head[48];
        if (row.model > 254)
            std::snprintf(head, sizeof head, "unknown module (ID 0x%02x)", module->id());
        else
            std::snprintf(head, sizeof head, "%u (ID 0x%02x)", base + row.model, module->id());
        out += head;
        if (const auto *d = dynamic_cast<const DigitalModule *>(module)) {
            if (d->output_width())
                out += " outputs " + hex(d->outputs(), d->output_width());
            if (d->input_width())
                out += std::string(" inputs ") + hex(d->inputs(), d->input_width()) +
                       (d->inverted() ? " (inverted)" : "");
        }
        if (const auto *e = dynamic_cast<const EncoderModule *>(module)) {
            out += " counts";
            for (int axis = 1; axis <= EncoderModule::axes; ++axis)
                out += " " + hex(e->count(axis), 16);
            out += " index " + hex(e->index(), 8);
        }
        if (const auto *m = dynamic_cast<const MotionModule *>(module)) {
            const Point p = m->position();
            const MotionCounters c = m->counters();
            char buf[128];
            std::snprintf(buf, sizeof buf,
                          " position (%" PRId64 ", %" PRId64 "), %" PRIu64 " segment%s, %" PRIu64
                          " frame%s rejected",
                          p.x, p.y, c.segments, c.segments == 1 ? "" : "s", c.rejected,
                          c.rejected == 1 ? "" : "s");
            out += buf;
        }
        out += '\n';
    }
    return out;
}

std::string control(Controller &controller, const SimRoot &root, std::string_view command, bool &ok)
{
    std::istringstream in{std::string(command)};
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    ok = false;
    uint32_t slot = 0, a = 0, b = 0;
    if (words.size() == 1 && words[0] == "show") {
        ok = true;
        return describe_slots(controller, root);
    }
    if (words.size() == 2 && words[0] == "series") {
        if (words[1] != "4000" && words[1] != "5000")
            return "the series is 4000 or 5000";
        root.set_series(words[1] == "5000" ? 5000 : 4000);
        ok = true;
        return "";
    }
    if (words.size() == 3 && words[0] == "inputs") {
        if (!number(words[1], 8, slot) || slot < 1)
            return "module slots are 1 to 8: " + words[1];
        auto *d = dynamic_cast<DigitalModule *>(&controller.device(static_cast<int>(slot)));
        if (!d || d->input_width() == 0)
            return "slot " + words[1] + " holds no module with inputs";
        if (!number(words[2], 0xffffffffu, a))
            return "not a 32-bit number: " + words[2];
        d->set_inputs(a);
        ok = true;
        return "";
    }
    if (words.size() >= 1 && words[0] == "svg") {
        // "svg SLOT FILE": the file name is the rest of the line, spaces and all.
        const std::string file(after_words(command, 2));
        if (words.size() < 3)
            return "usage: svg SLOT FILE";
        if (!number(words[1], 8, slot) || slot < 1)
            return "module slots are 1 to 8: " + words[1];
        const auto *m =
            dynamic_cast<const MotionModule *>(&controller.device(static_cast<int>(slot)));
        if (!m)
            return "slot " + words[1] + " holds no motion module";
        std::ofstream svg(file, std::ios::binary | std::ios::trunc);
        if (svg)
            svg << m->svg();
        if (!svg || !svg.flush())
            return "cannot write " + file + ": " + std::strerror(errno);
        ok = true;
        return "slot " + words[1] + ": " + path_caption(m->position(), m->counters().segments) +
               "\n";
    }
    if (words.size() == 4 && (words[0] == "count" || words[0] == "move")) {
        if (!number(words[1], 8, slot) || slot < 1)
            return "module slots are 1 to 8: " + words[1];
        auto *e = dynamic_cast<EncoderModule *>(&controller.device(static_cast<int>(slot)));
        if (!e)
            return "slot " + words[1] + " holds no encoder module";
        if (!number(words[2], EncoderModule::axes, a) || a < 1)
            return "encoder axes are 1 to 3: " + words[2];
        int64_t value = 0;
        if (!signed_number(words[3], value))
            return "not a 64-bit number: " + words[3];
        if (words[0] == "count")
            e->set_count(static_cast<int>(a), value);
        else
            e->move(static_cast<int>(a), value);
        ok = true;
        return "";
    }
    if (words.size() == 3 && words[0] == "index") {
        if (!number(words[1], 8, slot) || slot < 1)
            return "module slots are 1 to 8: " + words[1];
        auto *e = dynamic_cast<EncoderModule *>(&controller.device(static_cast<int>(slot)));
        if (!e)
            return "slot " + words[1] + " holds no encoder module";
        if (!number(words[2], 0xff, a))
            return "not a byte: " + words[2];
        e->set_index(static_cast<uint8_t>(a));
        ok = true;
        return "";
    }
    if (words.size() == 4 && words[0] == "register") {
        if (!number(words[1], 10, slot))
            return "slots are 0 to 10: " + words[1];
        if (!number(words[2], 0xffff, a))
            return "register numbers are 0 to 65535: " + words[2];
        if (!number(words[3], 0xffffffffu, b))
            return "not a 32-bit number: " + words[3];
        controller.device(static_cast<int>(slot)).set(a, b);
        ok = true;
        return "";
    }
    return "unknown command: " + std::string(command);
}

} // namespace pacsim

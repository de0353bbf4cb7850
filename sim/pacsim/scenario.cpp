#include "scenario.h"

#include "../model/encoder_module.h"
#include "../model/modules.h"
#include "../model/motion_module.h"
#include "lib/slot/module_catalogue.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <toml++/toml.h>

namespace fs = std::filesystem;

namespace pacsim {
namespace {

// The longest name a remote module may answer.
constexpr size_t max_remote_name = 200;

class Reader {
  public:
    explicit Reader(std::string file) : file_(std::move(file)) {}

    [[noreturn]] void fail(const toml::node *node, const std::string &key,
                           const std::string &what) const
    {
        std::ostringstream out;
        out << file_;
        if (node && node->source().begin.line)
            out << ':' << node->source().begin.line;
        out << ": " << key << ": " << what;
        throw ScenarioError(out.str());
    }

    // Rejects every key of `table` that is not in `known`.
    void only(const toml::table &table, const std::string &prefix,
              std::initializer_list<std::string_view> known) const
    {
        for (const auto &[key, node] : table) {
            bool ok = false;
            for (std::string_view k : known)
                ok = ok || key.str() == k;
            if (!ok)
                fail(&node, prefix + std::string(key.str()), "unknown key");
        }
    }

    const toml::table &table(const toml::node &node, const std::string &key) const
    {
        if (!node.is_table())
            fail(&node, key, "expected a table");
        return *node.as_table();
    }

    bool boolean(const toml::node &node, const std::string &key) const
    {
        if (!node.is_boolean())
            fail(&node, key, "expected true or false");
        return node.as_boolean()->get();
    }

    std::string string(const toml::node &node, const std::string &key) const
    {
        if (!node.is_string())
            fail(&node, key, "expected a string");
        return node.as_string()->get();
    }

    int64_t integer(const toml::node &node, const std::string &key, int64_t lo, int64_t hi) const
    {
        if (!node.is_integer())
            fail(&node, key, "expected an integer");
        const int64_t v = node.as_integer()->get();
        if (v < lo || v > hi)
            fail(&node, key,
                 "value " + std::to_string(v) + " outside " + std::to_string(lo) + " to " +
                     std::to_string(hi));
        return v;
    }

    const std::string &file() const { return file_; }

  private:
    std::string file_;
};

// A register number written as a key: decimal, or hexadecimal with 0x.
bool parse_register(std::string_view key, uint32_t &reg)
{
    int base = 10;
    if (key.starts_with("0x") || key.starts_with("0X")) {
        key.remove_prefix(2);
        base = 16;
    }
    if (key.empty())
        return false;
    const auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), reg, base);
    return ec == std::errc() && end == key.data() + key.size() && reg <= 0xffff;
}

void read_device(const Reader &r, const toml::table &t, const std::string &name, DeviceConfig &dev,
                 bool module_slot = false)
{
    if (module_slot)
        r.only(t, name + ".",
               {"missing", "failing", "registers", "module", "id", "inputs", "fifo_depth",
                "segment_time_us", "never_ready", "counts", "index"});
    else
        r.only(t, name + ".", {"missing", "failing", "registers"});
    if (const toml::node *n = t.get("missing"))
        dev.missing = r.boolean(*n, name + ".missing");
    if (const toml::node *n = t.get("failing"))
        dev.failing = r.boolean(*n, name + ".failing");
    if (const toml::node *n = t.get("registers")) {
        const toml::table &regs = r.table(*n, name + ".registers");
        for (const auto &[key, value] : regs) {
            const std::string full = name + ".registers." + std::string(key.str());
            uint32_t reg = 0;
            if (!parse_register(key.str(), reg))
                r.fail(&value, full, "register number must be 0 to 65535");
            dev.registers[reg] = static_cast<uint32_t>(r.integer(value, full, 0, 0xffffffffll));
        }
    }
}

std::string read_text_file(const fs::path &p, bool &ok)
{
    std::ifstream in(p, std::ios::binary);
    ok = static_cast<bool>(in);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void read_board(const Reader &r, const toml::table &t, const fs::path &base, Board &board)
{
    r.only(t, "board.", {"name", "cpuinfo", "pci", "series"});
    if (const toml::node *n = t.get("series")) {
        board.series = static_cast<int>(r.integer(*n, "board.series", 4000, 5000));
        if (board.series != 4000 && board.series != 5000)
            r.fail(n, "board.series", "the series is 4000 or 5000");
    }
    if (const toml::node *n = t.get("name"))
        board.name = r.string(*n, "board.name");
    if (const toml::node *n = t.get("cpuinfo")) {
        const std::string file = r.string(*n, "board.cpuinfo");
        bool ok = false;
        board.cpuinfo = read_text_file(base / file, ok);
        if (!ok)
            r.fail(n, "board.cpuinfo", "cannot read " + (base / file).string());
    }
    if (const toml::node *n = t.get("pci")) {
        if (!n->is_array())
            r.fail(n, "board.pci", "expected a list of lspci -n lines");
        for (const toml::node &line : *n->as_array())
            board.pci.push_back(r.string(line, "board.pci"));
    }
}

void read_module_slot(const Reader &r, const toml::table &t, const std::string &name,
                      DeviceConfig &dev)
{
    for (const auto &[key, node] : t) {
        const std::string_view k = key.str();
        const std::string full = name + "." + std::string(k);
        if (k == "module") {
            const int number = static_cast<int>(r.integer(node, full, 4000, 5254));
            dev.module_id = id_for_model_number(number);
            if (dev.module_id < 0)
                r.fail(&node, full, "no module " + std::to_string(number) + " in the catalogue");
        } else if (k == "id") {
            dev.module_id = static_cast<int>(r.integer(node, full, 0, 255));
        } else if (k == "inputs") {
            dev.inputs = static_cast<uint32_t>(r.integer(node, full, 0, 0xffffffffll));
        } else if (k == "fifo_depth") {
            dev.fifo_depth = static_cast<uint32_t>(r.integer(node, full, 14, 65536));
        } else if (k == "segment_time_us") {
            dev.segment_time_us = r.integer(node, full, 0, 10'000'000);
        } else if (k == "never_ready") {
            dev.never_ready = r.boolean(node, full);
        } else if (k == "counts") {
            const toml::array *list = node.as_array();
            if (!list || list->size() != 3)
                r.fail(&node, full, "expected a list of three integers");
            std::array<uint16_t, 3> counts{};
            for (size_t i = 0; i < 3; ++i) {
                const toml::node &n = *list->get(i);
                if (!n.is_integer())
                    r.fail(&n, full, "expected a list of three integers");
                counts[i] = EncoderModule::wrap(n.as_integer()->get());
            }
            dev.counts = counts;
        } else if (k == "index") {
            dev.index = static_cast<uint8_t>(r.integer(node, full, 0, 255));
        }
    }
    if (t.contains("module") && t.contains("id"))
        r.fail(t.get("id"), name + ".id", "give either module or id, not both");
    if (dev.inputs) {
        const auto module = dev.module_id < 0 ? nullptr : make_module(dev.module_id);
        const auto *digital = dynamic_cast<const DigitalModule *>(module.get());
        if (!digital || digital->input_width() == 0)
            r.fail(t.get("inputs"), name + ".inputs", "the module in this slot has no inputs");
    }
    // Keys of one kind of module, in the order they appear in the file.
    namespace cat = slotio::catalogue;
    const uint32_t type = dev.module_id < 0 ? cat::no_type : cat::id_row(dev.module_id).type;
    for (const auto &[key, node] : t) {
        const std::string_view k = key.str();
        const bool motion_key = k == "fifo_depth" || k == "segment_time_us" || k == "never_ready";
        const bool encoder_key = k == "counts" || k == "index";
        if (motion_key && type != cat::motion)
            r.fail(&node, name + "." + std::string(k),
                   "the module in this slot is not a motion module");
        if (encoder_key && type != cat::encoder)
            r.fail(&node, name + "." + std::string(k),
                   "the module in this slot is not an encoder module");
    }
    read_device(r, t, name, dev, true);
}

// A number written as a key ("slot.3", "com.12"), within lo to hi; -1 otherwise.
int numbered_key(std::string_view key, int lo, int hi)
{
    int n = 0;
    const auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), n);
    if (ec != std::errc() || end != key.data() + key.size() || n < lo || n > hi)
        return -1;
    return n;
}

// One [[com.N.module]] table.
RemoteModuleConfig read_remote_module(const Reader &r, const toml::table &t,
                                      const std::string &name, int port)
{
    r.only(t, name + ".", {"address", "name", "slot_fixture", "reply_delay_ms", "fault"});
    RemoteModuleConfig m;
    if (const toml::node *n = t.get("address"))
        m.address = static_cast<int>(r.integer(*n, name + ".address", 0, 255));
    if (const toml::node *n = t.get("name")) {
        m.name = r.string(*n, name + ".name");
        if (m.name.size() > max_remote_name)
            r.fail(n, name + ".name",
                   "longer than " + std::to_string(max_remote_name) + " characters");
        for (char c : m.name)
            if (c < 0x20 || c > 0x7e)
                r.fail(n, name + ".name", "printable ASCII characters only");
    }
    if (const toml::node *n = t.get("slot_fixture")) {
        m.slot_fixture = r.boolean(*n, name + ".slot_fixture");
        if (m.slot_fixture && t.contains("name"))
            r.fail(n, name + ".slot_fixture", "give either name or slot_fixture, not both");
        if (m.slot_fixture && port != 1)
            r.fail(n, name + ".slot_fixture", "the slot test fixture answers on COM 1 only");
    }
    if (!m.slot_fixture && !t.contains("name"))
        r.fail(&t, name, "a module needs a name (or slot_fixture = true)");
    if (const toml::node *n = t.get("reply_delay_ms"))
        m.reply_delay_us = r.integer(*n, name + ".reply_delay_ms", 0, 60'000) * 1000;
    if (const toml::node *n = t.get("fault")) {
        if (!parse_fault(r.string(*n, name + ".fault"), m.fault))
            r.fail(n, name + ".fault",
                   "expected none, silent, bad_checksum, cut_short, no_cr or garbage");
    }
    return m;
}

// [com.N] and its [[com.N.module]] tables.
void read_com(const Reader &r, const toml::table &com, std::map<int, ComPortConfig> &ports)
{
    for (const auto &[key, value] : com) {
        const std::string name = "com." + std::string(key.str());
        const int port = numbered_key(key.str(), 1, com_port_count);
        if (port < 0)
            r.fail(&value, name, "COM ports are numbered 1 to 37");
        const toml::table &t = r.table(value, name);
        r.only(t, name + ".", {"module"});
        ComPortConfig &cfg = ports[port];
        const toml::node *modules = t.get("module");
        if (!modules)
            continue;
        // [[com.N.module]] makes a list of tables; a single [com.N.module] is one module.
        std::vector<std::pair<const toml::table *, std::string>> tables;
        if (const toml::table *one = modules->as_table()) {
            tables.emplace_back(one, name + ".module");
        } else if (const toml::array *list = modules->as_array()) {
            for (size_t i = 0; i < list->size(); ++i) {
                const std::string item = name + ".module[" + std::to_string(i) + "]";
                const toml::node &n = *list->get(i);
                if (!n.is_table())
                    r.fail(&n, item, "expected a [[" + name + ".module]] table");
                tables.emplace_back(n.as_table(), item);
            }
        } else {
            r.fail(modules, name + ".module", "expected [[" + name + ".module]] tables");
        }
        for (const auto &[table, item] : tables) {
            RemoteModuleConfig m = read_remote_module(r, *table, item, port);
            for (const RemoteModuleConfig &other : cfg.modules)
                if (other.address == m.address)
                    r.fail(table->get("address") ? table->get("address") : table, item + ".address",
                           "address " + std::to_string(m.address) +
                               " is taken by another module on COM " + std::to_string(port));
            cfg.modules.push_back(std::move(m));
        }
    }
}

} // namespace

Scenario load_scenario(const std::string &path)
{
    Scenario s;
    s.path = path;
    const Reader r(path);
    if (!fs::is_regular_file(path))
        throw ScenarioError(path + ": cannot open the scenario file");
    toml::table doc;
    try {
        doc = toml::parse_file(path);
    } catch (const toml::parse_error &e) {
        std::ostringstream out;
        out << path << ':' << e.source().begin.line << ": " << e.description();
        throw ScenarioError(out.str());
    }
    const fs::path base = fs::path(path).parent_path();
    r.only(doc, "", {"board", "controller", "backplane", "interrupt", "slot", "com"});
    if (const toml::node *n = doc.get("board"))
        read_board(r, r.table(*n, "board"), base, s.board);
    if (const toml::node *n = doc.get("controller"))
        read_device(r, r.table(*n, "controller"), "controller", s.slots[0]);
    if (const toml::node *n = doc.get("backplane"))
        read_device(r, r.table(*n, "backplane"), "backplane", s.slots[9]);
    if (const toml::node *n = doc.get("interrupt"))
        read_device(r, r.table(*n, "interrupt"), "interrupt", s.slots[10]);
    if (const toml::node *n = doc.get("slot")) {
        for (const auto &[key, value] : r.table(*n, "slot")) {
            const std::string name = "slot." + std::string(key.str());
            const int slot = numbered_key(key.str(), 1, 8);
            if (slot < 0)
                r.fail(&value, name, "module slots are numbered 1 to 8");
            read_module_slot(r, r.table(value, name), name, s.slots[slot]);
        }
    }
    if (const toml::node *n = doc.get("com"))
        read_com(r, r.table(*n, "com"), s.com);
    return s;
}

void apply(const Scenario &scenario, Controller &controller)
{
    controller.board = scenario.board;
    for (int slot = 0; slot < slot_count; ++slot) {
        const DeviceConfig &d = scenario.slots[slot];
        if (d.module_id >= 0)
            controller.install(slot, make_module(static_cast<uint8_t>(d.module_id)));
        if (d.inputs)
            if (auto *digital = dynamic_cast<DigitalModule *>(&controller.device(slot)))
                digital->set_inputs(*d.inputs);
        if (auto *motion = dynamic_cast<MotionModule *>(&controller.device(slot))) {
            if (d.fifo_depth)
                motion->set_fifo_depth(*d.fifo_depth);
            if (d.segment_time_us)
                motion->set_segment_time_us(*d.segment_time_us);
            if (d.never_ready)
                motion->set_never_ready(*d.never_ready);
        }
        if (auto *encoder = dynamic_cast<EncoderModule *>(&controller.device(slot))) {
            if (d.counts)
                for (int axis = 1; axis <= EncoderModule::axes; ++axis)
                    encoder->set_count(axis, (*d.counts)[axis - 1]);
            if (d.index)
                encoder->set_index(*d.index);
        }
        controller.set_missing(slot, d.missing);
        controller.set_failing(slot, d.failing);
        for (const auto &[reg, value] : d.registers)
            controller.device(slot).set(reg, value);
    }
}

} // namespace pacsim

#include "remote_module.h"

#include <array>
#include <bit>
#include <cstdio>

namespace pacsim {
namespace {

constexpr char cr = '\r';
constexpr char lf = '\n';
constexpr const char *hex_digits = "0123456789ABCDEF";

// Bytes a module with the garbage fault sends after its reply: none of
// them is a CR or a control character a terminal would act on.
constexpr std::string_view garbage_bytes = "\xA5~\xFEZ";

bool is_upper_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string hex_byte(unsigned value)
{
    return {hex_digits[(value >> 4) & 0xf], hex_digits[value & 0xf]};
}

// The commands a module knows, by their characters after "$AA".
bool known_command(std::string_view command) { return command == "M"; }

// The line without its checksum, and whether it had one; `wrong` is set
// (with what it held and what was expected) for a checksum present but wrong.
struct Split {
    std::string_view command;
    bool checksum = false;
    bool wrong = false;
    std::string held, expected;
};

Split split_checksum(std::string_view line)
{
    Split s;
    s.command = line;
    const size_t n = line.size();
    if (n < 5 || !is_upper_hex(line[n - 2]) || !is_upper_hex(line[n - 1]))
        return s;
    const std::string_view before = line.substr(0, n - 2);
    const std::string held(line.substr(n - 2));
    const std::string expected = ascii_checksum(before);
    if (held == expected) {
        s.command = before;
        s.checksum = true;
    } else if (known_command(before.substr(3))) {
        s.wrong = true;
        s.held = held;
        s.expected = expected;
    }
    return s;
}

// The reply as the fault has it.
std::string apply_fault(RemoteFault fault, std::string reply, bool checksum)
{
    // `reply` ends in CR.
    const std::string_view text = std::string_view(reply).substr(0, reply.size() - 1);
    switch (fault) {
    case RemoteFault::none: return reply;
    case RemoteFault::silent: return {};
    case RemoteFault::bad_checksum: {
        if (!checksum || text.size() < 2)
            return reply;
        const std::string_view body = text.substr(0, text.size() - 2);
        const int high = hex_value(text[text.size() - 2]), low = hex_value(text.back());
        const unsigned off = static_cast<unsigned>((high << 4 | low) + 1) & 0xff;
        return std::string(body) + hex_byte(off) + cr;
    }
    case RemoteFault::cut_short: return std::string(text.substr(0, text.size() / 2));
    case RemoteFault::no_cr: return std::string(text);
    case RemoteFault::garbage: return reply + std::string(garbage_bytes);
    }
    return reply;
}

} // namespace

std::string com_device(int port)
{
    if (port == 1)
        return "/dev/ttySA0";
    if (port >= 2 && port <= 36)
        return "/dev/ttyS" + std::to_string(port - 2);
    if (port == 37)
        return "/dev/ttySA1";
    return {};
}

namespace {
constexpr std::array<std::pair<RemoteFault, const char *>, 6> fault_names = {{
    {RemoteFault::none, "none"},
    {RemoteFault::silent, "silent"},
    {RemoteFault::bad_checksum, "bad_checksum"},
    {RemoteFault::cut_short, "cut_short"},
    {RemoteFault::no_cr, "no_cr"},
    {RemoteFault::garbage, "garbage"},
}};
} // namespace

const char *fault_name(RemoteFault fault)
{
    for (const auto &[f, name] : fault_names)
        if (f == fault)
            return name;
    return "?";
}

bool parse_fault(std::string_view name, RemoteFault &fault)
{
    for (const auto &[f, n] : fault_names) {
        if (name == n) {
            fault = f;
            return true;
        }
    }
    return false;
}

std::string ascii_checksum(std::string_view text)
{
    unsigned sum = 0;
    for (char c : text)
        sum += static_cast<unsigned char>(c);
    return hex_byte(sum & 0xff);
}

std::string quoted(std::string_view bytes)
{
    std::string out = "\"";
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == cr)
            out += "\\r";
        else if (c == lf)
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else if (u < 0x20 || u > 0x7e)
            out += "\\x" + hex_byte(u);
        else
            out += c;
    }
    return out + "\"";
}

std::string slot_fixture_name(uint32_t selected_mask)
{
    const int slot = std::countr_zero(selected_mask); // 32 when no bit is set
    if (slot < 1 || slot > 8)
        return "4045-S?";
    return "4045-S" + std::to_string(slot - 1);
}

std::string RemoteModule::name(uint32_t selected_mask) const
{
    return config_.slot_fixture ? slot_fixture_name(selected_mask) : config_.name;
}

RemoteAnswer RemoteModule::answer(std::string_view line, uint32_t selected_mask) const
{
    const Split s = split_checksum(line);
    if (s.wrong)
        return {{}, "no answer: checksum " + s.held + ", expected " + s.expected};
    const std::string address = hex_byte(static_cast<unsigned>(config_.address));
    const std::string_view command = s.command.size() > 3 ? s.command.substr(3) : "";
    std::string text = known_command(command) ? "!" + address + name(selected_mask) : "?" + address;
    if (s.checksum)
        text += ascii_checksum(text);
    const std::string reply = apply_fault(config_.fault, text + cr, s.checksum);
    if (config_.fault == RemoteFault::none)
        return {reply, {}};
    if (reply.empty())
        return {{}, std::string("no answer: fault ") + fault_name(config_.fault)};
    return {reply, std::string("fault ") + fault_name(config_.fault)};
}

bool RemoteBus::attach(RemoteModule module)
{
    for (const RemoteModule &m : modules_)
        if (m.config().address == module.config().address)
            return false;
    modules_.push_back(std::move(module));
    return true;
}

void RemoteBus::receive(std::string_view bytes, int64_t now)
{
    for (char c : bytes) {
        if (c == lf)
            continue;
        if (c == cr) {
            if (overlong_) {
                overlong_ = false;
                note("line of more than " + std::to_string(max_line) +
                     " characters without CR dropped");
            } else {
                command(line_, now);
            }
            line_.clear();
            continue;
        }
        if (overlong_)
            continue;
        line_ += c;
        if (line_.size() > max_line) {
            overlong_ = true;
            line_.clear();
        }
    }
}

void RemoteBus::command(const std::string &line, int64_t now)
{
    const std::string shown = quoted(line + cr) + " -> ";
    const int high = line.size() >= 3 ? hex_value(line[1]) : -1;
    const int low = line.size() >= 3 ? hex_value(line[2]) : -1;
    if (line.size() < 3 || line[0] != '$' || high < 0 || low < 0) {
        note(shown + "ignored: not a command");
        return;
    }
    const int address = high << 4 | low;
    for (const RemoteModule &m : modules_) {
        if (m.config().address != address)
            continue;
        const RemoteAnswer a = m.answer(line, selected_mask ? selected_mask() : 0);
        if (a.reply.empty()) {
            note(shown + a.note);
            return;
        }
        due_.emplace(now + m.config().reply_delay_us, a.reply);
        note(shown + quoted(a.reply) + (a.note.empty() ? "" : " (" + a.note + ")"));
        return;
    }
    note(shown + "no answer: no module at address " + hex_byte(static_cast<unsigned>(address)));
}

std::string RemoteBus::take_due(int64_t now)
{
    std::string out;
    auto it = due_.begin();
    for (; it != due_.end() && it->first <= now; ++it)
        out += it->second;
    due_.erase(due_.begin(), it);
    return out;
}

std::optional<int64_t> RemoteBus::next_due() const
{
    if (due_.empty())
        return std::nullopt;
    return due_.begin()->first;
}

} // namespace pacsim

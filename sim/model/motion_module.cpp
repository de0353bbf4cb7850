#include "motion_module.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace pacsim {
namespace {

constexpr uint8_t sync_bytes[3] = {0x00, 0x55, 0xaa};
constexpr size_t copy_size = 14;
constexpr int max_sequence = 80;
constexpr int64_t jog_period_us = 1000; // continuous-move speeds are pulses per millisecond

// Command codes.
enum : uint8_t {
    cmd_reset_fifo = 0,
    cmd_lsp_org = 1,
    cmd_hsp_org = 2,
    cmd_hsd_org = 3,
    cmd_lsp_pulse_move = 4,
    cmd_hsp_pulse_move = 5,
    cmd_lsp_move = 6,
    cmd_hsp_move = 7,
    cmd_csp_move = 8,
    cmd_slow_down = 9,
    cmd_slow_stop = 10,
    cmd_intp_pulse = 16,
    cmd_intp_line = 17,
    cmd_set_var = 32,
    cmd_set_defdir = 33,
    cmd_set_mode = 34,
    cmd_set_servo_on = 35,
    cmd_set_nc = 37,
    cmd_reset_system = 48,
    cmd_stop_axis = 49,
    cmd_stop_all = 50,
};

constexpr int axis_x = 1, axis_y = 2; // axis codes, also the bits of an axes mask

bool starts_frame(const uint8_t *copy)
{
    return copy[0] == sync_bytes[0] && copy[1] == sync_bytes[1] && copy[2] == sync_bytes[2];
}

std::string format(const char *fmt, unsigned a, unsigned b = 0, unsigned c = 0)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

// Why the 28 bytes at `f` are no acceptable frame, or "" when they are.
// `last_seq` is the sequence number of the last accepted frame (0: none).
std::string frame_fault(const uint8_t *f, int last_seq)
{
    const uint8_t *a = f, *b = f + copy_size;
    if (!starts_frame(a))
        return "first copy does not start 00 55 AA";
    if (!starts_frame(b))
        return format("second copy starts %02X %02X %02X, not 00 55 AA", b[0], b[1], b[2]);
    uint8_t check = 0;
    for (int i = 3; i <= 11; ++i)
        check ^= a[i];
    if (a[12] != check)
        return format("check byte 0x%02x, expected 0x%02x", a[12], check);
    for (int i = 3; i <= 11; ++i)
        if (a[i] != b[i])
            return format("copies differ in byte %u (0x%02x, 0x%02x)", static_cast<unsigned>(i),
                          a[i], b[i]);
    const uint8_t complement = static_cast<uint8_t>(~check);
    if (b[12] != complement)
        return format("second check byte 0x%02x, expected 0x%02x", b[12], complement);
    if (a[13] != b[13])
        return format("sequence numbers %u and %u differ", a[13], b[13]);
    if (a[13] < 1 || a[13] > max_sequence)
        return format("sequence number %u outside 1 to 80", a[13]);
    if (a[13] == last_seq)
        return format("sequence number %u repeats the last frame", a[13]);
    return "";
}

// 16-bit and 32-bit sign and magnitude, most significant byte first.
int64_t sign_magnitude16(const uint8_t *p)
{
    const int64_t m = (p[0] & 0x7f) << 8 | p[1];
    return (p[0] & 0x80) ? -m : m;
}

int64_t sign_magnitude32(const uint8_t *p)
{
    const int64_t m = int64_t(p[0] & 0x7f) << 24 | p[1] << 16 | p[2] << 8 | p[3];
    return (p[0] & 0x80) ? -m : m;
}

uint32_t big_endian32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint16_t big_endian16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

int64_t magnitude(int64_t v) { return v < 0 ? -v : v; }

} // namespace

// ---- MotionEngine ----------------------------------------------------------

void MotionEngine::advance(int64_t now)
{
    while (running_.kind != Kind::none && running_.end <= now) {
        const int64_t t = running_.end;
        finish(t);
        pump(t);
    }
    pump(now);
}

void MotionEngine::write_fifo(uint8_t byte, int64_t now)
{
    advance(now);
    if (fifo_.size() >= fifo_depth) {
        ++counters_.overflows;
        if (!overflowing_ && log)
            log(format("FIFO full (%u bytes): byte 0x%02x lost", static_cast<unsigned>(fifo_depth),
                       byte));
        overflowing_ = true;
        return;
    }
    overflowing_ = false;
    fifo_.push_back(byte);
    ++written_;
    recent_[(written_ - 1) % frame_size] = byte;
    recent_len_ = std::min(recent_len_ + 1, frame_size);
    watch_input(now);
}

// Looks at the frame that the byte just written may have completed: a
// segment counts as waiting until the module takes it; a stop-all acts at
// once if the module has not taken it by itself.
void MotionEngine::watch_input(int64_t t)
{
    std::array<uint8_t, frame_size> last{};
    bool complete = false;
    if (recent_len_ == frame_size) {
        for (size_t i = 0; i < frame_size; ++i)
            last[i] = recent_[(written_ + i) % frame_size];
        complete = frame_fault(last.data(), 0).empty();
    }
    if (complete && last[3] == cmd_intp_pulse)
        queued_segments_.push_back(written_);
    pump(t);
    if (complete && last[3] == cmd_stop_all && written_ > taken_ &&
        frame_fault(last.data(), last_seq_).empty())
        stop_all_now(last, t);
}

size_t MotionEngine::discard_input()
{
    const size_t discarded = fifo_.size() + frame_.size() + replay_.size();
    fifo_.clear();
    frame_.clear();
    replay_.clear();
    taken_ = written_;
    queued_segments_.clear();
    recent_len_ = 0;
    return discarded;
}

void MotionEngine::stop_all_now(const std::array<uint8_t, frame_size> &frame, int64_t t)
{
    const size_t pending = discard_input();
    counters_.dropped += pending > frame_size ? pending - frame_size : 0;
    abandon(t);
    ++counters_.accepted;
    last_seq_ = frame[13];
    execute(frame.data(), t);
}

void MotionEngine::reset_fifo(int64_t now)
{
    advance(now);
    counters_.dropped += discard_input();
    last_seq_ = 0;
    overflowing_ = false;
}

uint8_t MotionEngine::status(int64_t now)
{
    advance(now);
    uint8_t s = 0;
    if (running_.kind == Kind::move)
        s |= busy;
    if (!never_ready && fifo_.size() < fifo_depth)
        s |= fifo_ready;
    if (running_.kind == Kind::segment || !queued_segments_.empty())
        s |= intp_busy;
    return s;
}

uint8_t MotionEngine::axis_status(int64_t now)
{
    advance(now);
    const bool running = running_.kind != Kind::none;
    uint8_t s = 0;
    if (jog_[0].on || (running && running_.delta.x != 0))
        s |= x_moving;
    if (jog_[1].on || (running && running_.delta.y != 0))
        s |= y_moving;
    return s;
}

Point MotionEngine::position(int64_t now)
{
    advance(now);
    return at(now);
}

Point MotionEngine::at(int64_t t) const
{
    Point p = pos_;
    const Point part = partial(t);
    p.x += part.x;
    p.y += part.y;
    if (jog_[0].on)
        p.x = jog_position(0, t);
    if (jog_[1].on)
        p.y = jog_position(1, t);
    return p;
}

// Takes bytes out of the FIFO while no command is executing.
void MotionEngine::pump(int64_t t)
{
    while (running_.kind == Kind::none) {
        uint8_t b = 0;
        if (!replay_.empty()) {
            b = replay_.front();
            replay_.pop_front();
        } else if (!fifo_.empty()) {
            b = fifo_.front();
            fifo_.pop_front();
            ++taken_;
            take_queued_segments();
        } else {
            break;
        }
        hunt(b, t);
    }
}

void MotionEngine::take_queued_segments()
{
    while (!queued_segments_.empty() && queued_segments_.front() <= taken_)
        queued_segments_.pop_front();
}

void MotionEngine::hunt(uint8_t byte, int64_t t)
{
    if (frame_.size() < 3) {
        if (byte == sync_bytes[frame_.size()]) {
            frame_.push_back(byte);
            return;
        }
        // 00 55 AA has no part that repeats its start: only this byte can
        // begin a new frame.
        counters_.discarded += frame_.size();
        frame_.clear();
        if (byte == sync_bytes[0])
            frame_.push_back(byte);
        else
            ++counters_.discarded;
        return;
    }
    frame_.push_back(byte);
    if (frame_.size() == frame_size)
        complete_frame(t);
}

void MotionEngine::complete_frame(int64_t t)
{
    std::array<uint8_t, frame_size> f{};
    std::copy(frame_.begin(), frame_.end(), f.begin());
    frame_.clear();
    const std::string fault = frame_fault(f.data(), last_seq_);
    if (!fault.empty()) {
        ++counters_.rejected;
        if (log)
            log("frame rejected: " + fault);
        // Hunt again from the bad frame's second byte.
        replay_.insert(replay_.begin(), f.begin() + 1, f.end());
        return;
    }
    ++counters_.accepted;
    last_seq_ = f[13];
    execute(f.data(), t);
}

void MotionEngine::execute(const uint8_t *f, int64_t t)
{
    const uint8_t code = f[3];
    const uint8_t *p = f + 4; // p1 to p8
    const int axes = p[0] & 3;
    const int dir = (p[0] & 0x10) ? -1 : 1;
    switch (code) {
    case cmd_reset_fifo: break;
    case cmd_lsp_org:
    case cmd_hsp_org:
    case cmd_hsd_org: {
        stop_jog(axes, t);
        const Point delta{(axes & axis_x) ? -pos_.x : 0, (axes & axis_y) ? -pos_.y : 0};
        start_motion(Kind::move, delta, axes, t, axes != 0);
        break;
    }
    case cmd_lsp_pulse_move:
    case cmd_hsp_pulse_move: {
        const int64_t pulses = dir * int64_t(big_endian32(p + 1));
        start_motion(Kind::move, {(axes & axis_x) ? pulses : 0, (axes & axis_y) ? pulses : 0}, axes,
                     t);
        break;
    }
    case cmd_lsp_move: start_jog(axes, dir, settings_.low_speed, t); break;
    case cmd_hsp_move: start_jog(axes, dir, settings_.high_speed, t); break;
    case cmd_csp_move: {
        const uint16_t speed = big_endian16(p + 1);
        start_jog(axes, dir, speed ? speed : settings_.low_speed, t);
        break;
    }
    case cmd_slow_down:
        for (int a = 0; a < 2; ++a)
            if ((axes & (1 << a)) && jog_[a].on) {
                jog_[a].base = jog_position(a, t);
                jog_[a].since = t;
                jog_[a].speed = settings_.low_speed;
            }
        break;
    case cmd_slow_stop:
    case cmd_stop_axis: stop_jog(axes, t); break;
    case cmd_intp_pulse: {
        const Point delta{sign_magnitude16(p), sign_magnitude16(p + 2)};
        start_motion(Kind::segment, delta, (delta.x ? axis_x : 0) | (delta.y ? axis_y : 0), t);
        break;
    }
    case cmd_intp_line: {
        const Point delta{sign_magnitude32(p), sign_magnitude32(p + 4)};
        start_motion(Kind::move, delta, (delta.x ? axis_x : 0) | (delta.y ? axis_y : 0), t);
        break;
    }
    case cmd_set_var:
        settings_.first_setting = p[0];
        settings_.acc_step = p[1];
        settings_.low_speed = big_endian16(p + 2);
        settings_.high_speed = big_endian16(p + 4);
        break;
    case cmd_set_defdir: settings_.default_dir = p[0] & 3; break;
    case cmd_set_mode: settings_.mode = p[0] & 3; break;
    case cmd_set_servo_on: settings_.servo_on = p[0] & 3; break;
    case cmd_set_nc: settings_.nc = p[0]; break;
    case cmd_reset_system: settings_ = MotionSettings{}; break;
    case cmd_stop_all:
        abandon(t);
        stop_jog(axis_x | axis_y, t);
        break;
    default:
        ++counters_.unknown;
        if (log)
            log(format("unknown command code 0x%02x (frame %u) ignored", code, f[13]));
        break;
    }
}

void MotionEngine::start_motion(Kind kind, Point delta, int axes, int64_t t, bool at_least_one)
{
    stop_jog(axes, t);
    const int64_t travel = std::max(magnitude(delta.x), magnitude(delta.y));
    int64_t periods = kind == Kind::segment ? 1 : (travel + segment_pulses - 1) / segment_pulses;
    if (at_least_one && periods == 0)
        periods = 1;
    running_ = {kind, delta, t, t + periods * segment_time_us};
    if (running_.end <= t)
        finish(t);
}

void MotionEngine::finish(int64_t t)
{
    pos_.x += running_.delta.x;
    pos_.y += running_.delta.y;
    if (running_.kind == Kind::segment)
        ++counters_.segments;
    running_ = {};
    record(at(t));
}

// Stops the executing command where it has got to.
void MotionEngine::abandon(int64_t t)
{
    if (running_.kind == Kind::none)
        return;
    const Point part = partial(t);
    pos_.x += part.x;
    pos_.y += part.y;
    running_ = {};
    record(at(t));
}

// How far the executing command has moved the axes by `t`.
Point MotionEngine::partial(int64_t t) const
{
    if (running_.kind == Kind::none)
        return {};
    const int64_t duration = running_.end - running_.start;
    const int64_t elapsed = std::clamp<int64_t>(t - running_.start, 0, duration);
    if (elapsed >= duration)
        return running_.delta;
    const double share = static_cast<double>(elapsed) / static_cast<double>(duration);
    return {static_cast<int64_t>(static_cast<double>(running_.delta.x) * share),
            static_cast<int64_t>(static_cast<double>(running_.delta.y) * share)};
}

int64_t MotionEngine::jog_position(int axis, int64_t t) const
{
    const Jog &j = jog_[axis];
    const int64_t elapsed = std::max<int64_t>(t - j.since, 0);
    return j.base + j.dir * (elapsed * j.speed / jog_period_us);
}

void MotionEngine::start_jog(int axes, int dir, int64_t speed, int64_t t)
{
    for (int a = 0; a < 2; ++a) {
        if (!(axes & (1 << a)))
            continue;
        Jog &j = jog_[a];
        j.base = j.on ? jog_position(a, t) : (a == 0 ? pos_.x : pos_.y);
        j.since = t;
        j.on = true;
        j.dir = dir;
        j.speed = speed;
    }
}

void MotionEngine::stop_jog(int axes, int64_t t)
{
    bool stopped = false;
    for (int a = 0; a < 2; ++a) {
        Jog &j = jog_[a];
        if (!(axes & (1 << a)) || !j.on)
            continue;
        (a == 0 ? pos_.x : pos_.y) = jog_position(a, t);
        j.on = false;
        stopped = true;
    }
    if (stopped)
        record(at(t));
}

void MotionEngine::record(Point p)
{
    path_.push_back(p);
    if (path_.size() <= std::max<size_t>(path_limit, 2))
        return;
    // Too long: keep every second point, the start and the end.
    std::vector<Point> kept;
    kept.reserve(path_.size() / 2 + 1);
    for (size_t i = 0; i + 1 < path_.size(); i += 2)
        kept.push_back(path_[i]);
    kept.push_back(path_.back());
    path_.swap(kept);
}

// ---- MotionModule ----------------------------------------------------------

MotionModule::MotionModule(uint8_t id) : Module(id)
{
    engine_.fifo_depth = default_fifo_depth;
    engine_.segment_time_us = default_segment_time_us;
    engine_.log = [this](const std::string &text) { note(text); };
}

MotionEngine &MotionModule::engine() const
{
    engine_.advance(clock().now_us());
    return engine_;
}

uint32_t MotionModule::read(uint32_t reg) const
{
    if (reg == 1)
        return engine_.status(clock().now_us());
    if (reg == 2)
        return engine_.axis_status(clock().now_us());
    return Module::read(reg);
}

void MotionModule::write(uint32_t reg, uint32_t value)
{
    if (reg == 1)
        engine_.write_fifo(static_cast<uint8_t>(value), clock().now_us());
    else if (reg == 2)
        engine_.reset_fifo(clock().now_us());
    else
        Module::write(reg, value);
}

Point MotionModule::position() const { return engine_.position(clock().now_us()); }

std::vector<Point> MotionModule::path() const
{
    const Point now = position();
    std::vector<Point> p = engine_.path();
    if (p.empty() || p.back() != now)
        p.push_back(now);
    return p;
}

MotionCounters MotionModule::counters() const { return engine().counters(); }
MotionSettings MotionModule::settings() const { return engine().settings(); }
size_t MotionModule::fifo_level() const { return engine().fifo_level(); }

std::string MotionModule::svg() const { return path_svg(path(), counters().segments); }

// ---- Pictures --------------------------------------------------------------

std::string path_caption(Point end, uint64_t segments)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "end position (%" PRId64 ", %" PRId64 ") after %" PRIu64 " %s",
                  end.x, end.y, segments, segments == 1 ? "segment" : "segments");
    return buf;
}

std::string path_svg(const std::vector<Point> &given, uint64_t segments)
{
    const std::vector<Point> path = given.empty() ? std::vector<Point>{Point{}} : given;
    constexpr double width = 480, plot = 480, caption = 32, margin = 24;
    auto [min_x, max_x] =
        std::minmax_element(path.begin(), path.end(), [](Point a, Point b) { return a.x < b.x; });
    auto [min_y, max_y] =
        std::minmax_element(path.begin(), path.end(), [](Point a, Point b) { return a.y < b.y; });
    const double x0 = static_cast<double>(min_x->x), y1 = static_cast<double>(max_y->y);
    const double span_x = static_cast<double>(max_x->x) - x0;
    const double span_y = y1 - static_cast<double>(min_y->y);
    const double room = plot - 2 * margin;
    const double scale = std::min(room / std::max(span_x, 1.0), room / std::max(span_y, 1.0));
    // Centre the drawing in the square; Y grows upwards.
    const double left = margin + (room - span_x * scale) / 2;
    const double top = margin + (room - span_y * scale) / 2;
    auto sx = [&](const Point &p) { return left + (static_cast<double>(p.x) - x0) * scale; };
    auto sy = [&](const Point &p) { return top + (y1 - static_cast<double>(p.y)) * scale; };

    std::string out;
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%g\" height=\"%g\" "
                  "viewBox=\"0 0 %g %g\">\n",
                  width, plot + caption, width, plot + caption);
    out += buf;
    out += "<title>motion path</title>\n";
    std::snprintf(buf, sizeof buf, "<rect width=\"%g\" height=\"%g\" fill=\"white\"/>\n", width,
                  plot + caption);
    out += buf;
    out += "<polyline fill=\"none\" stroke=\"#1f4e9c\" stroke-width=\"1.5\" "
           "stroke-linejoin=\"round\" points=\"";
    for (size_t i = 0; i < path.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%s%.1f,%.1f", i ? " " : "", sx(path[i]), sy(path[i]));
        out += buf;
    }
    out += "\"/>\n";
    const Point &start = path.front(), &end = path.back();
    std::snprintf(buf, sizeof buf,
                  "<circle class=\"start\" cx=\"%.1f\" cy=\"%.1f\" r=\"5\" fill=\"#2e9d44\">"
                  "<title>start (%" PRId64 ", %" PRId64 ")</title></circle>\n",
                  sx(start), sy(start), start.x, start.y);
    out += buf;
    std::snprintf(buf, sizeof buf,
                  "<circle class=\"end\" cx=\"%.1f\" cy=\"%.1f\" r=\"5\" fill=\"#c0392b\">"
                  "<title>end (%" PRId64 ", %" PRId64 ")</title></circle>\n",
                  sx(end), sy(end), end.x, end.y);
    out += buf;
    std::snprintf(buf, sizeof buf,
                  "<text x=\"%g\" y=\"%g\" font-family=\"sans-serif\" font-size=\"14\">", margin,
                  plot + caption / 2);
    out += buf;
    out += path_caption(end, segments);
    out += "</text>\n</svg>\n";
    return out;
}

} // namespace pacsim

#include "vx/console/recording.hpp"

#include <charconv>
#include <cstring>

namespace vx::console {
namespace {

std::string shortest(double value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::to_string(value);
}

}  // namespace

std::string layout_fingerprint(const SymbolTable& symbols) {
    // FNV-1a, 64 bits: stable across machines and builds, enough to tell
    // two layouts apart (it guards against mistakes, not against malice).
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    auto mix = [&hash](const std::string& text) {
        for (const unsigned char c : text) {
            hash ^= c;
            hash *= 0x100000001b3ULL;
        }
        hash ^= 0xff;
        hash *= 0x100000001b3ULL;
    };
    mix(symbols.program);
    for (const auto c : symbols.counts) mix(std::to_string(c));
    for (const Symbol& s : symbols.symbols) {
        mix(s.name);
        mix(std::string(1, grafcet::type_letter(s.type)) + std::to_string(s.index));
        mix(std::string(role_name(s.role)));
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

Recorder Recorder::open(const std::string& path) {
    Recorder r(path);
    r.out_.open(path, std::ios::binary | std::ios::trunc);
    if (!r.out_) throw Failure("cannot write the recording " + path + ": " + std::strerror(errno));
    return r;
}

void Recorder::begin(const Session& s, const std::string& origin, const std::vector<std::string>& copied) {
    const SymbolTable& symbols = s.require_symbols();
    out_ << "# Recorded by vxctl " << origin << ", from cycle " << s.counter() << ".\n"
         << "# Replay it with: vxctl sim [--fast] " << path_ << "\n"
         << "program " << symbols.program << "\n"
         << "signature " << cur(s.int_cell(cells::signature)) << " generated " << cur(s.int_cell(cells::generationtime))
         << " layout " << layout_fingerprint(symbols) << "\n"
         << "period " << format_value(Value(s.period())) << " us\n";
    for (const auto& line : copied) out_ << line << "\n";
    check();
}

void Recorder::applied(double t, const std::string& name, const Value& value) {
    if (have_line_ && t != line_at_) flush_line();
    if (!have_line_) {
        have_line_ = true;
        line_at_ = t;
        line_ = "at " + shortest(t) + " s";
    }
    line_ += " " + name + "=" + format_value(value);
}

void Recorder::flush_line() {
    if (!have_line_) return;
    out_ << line_ << "\n";
    have_line_ = false;
    check();
}

void Recorder::finish(double t) {
    flush_line();
    out_ << "end " << shortest(t) << " s\n";
    out_.flush();
    check();
}

void Recorder::check() const {
    if (!out_) throw Failure("cannot write the recording " + path_);
}

}  // namespace vx::console

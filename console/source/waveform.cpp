#include "vx/console/waveform.hpp"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <cmath>
#include <map>
#include <ostream>
#include <sstream>

#include "vx/console/text_file.hpp"

namespace vx::console {
namespace {

struct Scale {
    std::int64_t nanoseconds;
    const char* text;
};
constexpr Scale kScales[] = {{1000000000, "1 s"}, {100000000, "100 ms"}, {10000000, "10 ms"}, {1000000, "1 ms"},
                             {100000, "100 us"},  {10000, "10 us"},       {1000, "1 us"},        {100, "100 ns"},
                             {10, "10 ns"},       {1, "1 ns"}};

std::string shortest(double value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : "0";
}

// VCD identifiers: printable characters from '!' on, in base 93; never
// '$', with which readers start their keywords.
std::string identifier(std::size_t n) {
    std::string id;
    do {
        const auto digit = static_cast<char>('!' + n % 93);
        id += digit >= '$' ? static_cast<char>(digit + 1) : digit;
        n /= 93;
    } while (n != 0);
    return id;
}

std::string binary(std::uint32_t v) {
    std::string bits;
    do {
        bits.insert(bits.begin(), static_cast<char>('0' + (v & 1u)));
        v >>= 1;
    } while (v != 0);
    return bits;
}

std::string vcd_value(const Value& value, const std::string& id) {
    return std::visit(
        [&](auto v) -> std::string {
            using T = decltype(v);
            if constexpr (std::is_same_v<T, bool>) {
                return (v ? "1" : "0") + id;
            } else if constexpr (std::is_same_v<T, float>) {
                if (std::isnan(v)) return "rnan " + id;
                return "r" + shortest(static_cast<double>(v)) + " " + id;
            } else if constexpr (std::is_same_v<T, std::uint8_t>) {
                return "b" + binary(v) + " " + id;
            } else {
                return "b" + binary(static_cast<std::uint32_t>(v)) + " " + id;
            }
        },
        value);
}

const char* vcd_kind(CellType type) {
    switch (type) {
        case CellType::Bool: return "wire 1";
        case CellType::Int: return "integer 32";
        case CellType::Float: return "real 64";
        case CellType::Char: break;
    }
    return "wire 8";
}

bool same(const Value& a, const Value& b) {
    // A NaN float is a value like any other here: written once.
    if (std::holds_alternative<float>(a) && std::holds_alternative<float>(b)) {
        const float x = std::get<float>(a), y = std::get<float>(b);
        return (std::isnan(x) && std::isnan(y)) || (x == y && std::signbit(x) == std::signbit(y));
    }
    return a == b;
}

template <class T> bool number(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// A trace value as the program printed it ("%d", "%ld", "%g").
std::optional<Value> trace_value(CellType type, std::string_view text) {
    switch (type) {
        case CellType::Bool: {
            if (text == "0" || text == "1") return Value(text == "1");
            return std::nullopt;
        }
        case CellType::Int: {
            std::int32_t v = 0;
            if (number(text, v)) return Value(v);
            return std::nullopt;
        }
        case CellType::Float: {
            double v = 0;
            if (number(text, v)) return Value(static_cast<float>(v));
            if (text == "nan" || text == "-nan") return Value(std::nanf(""));
            if (text == "inf" || text == "-inf") return Value(text[0] == '-' ? -INFINITY : INFINITY);
            return std::nullopt;
        }
        case CellType::Char: break;
    }
    int v = 0;
    if (number(text, v) && v >= 0 && v <= 255) return Value(static_cast<std::uint8_t>(v));
    return std::nullopt;
}

}  // namespace

TraceFile parse_trace(std::string_view text, const std::string& origin, const SymbolTable* symbols,
                      const std::array<std::int32_t, kCellTypes>& counts) {
    TraceFile trace;
    std::istringstream in{std::string(text)};
    std::string line;
    int number_of_line = 0;
    auto fail = [&](const std::string& what) {
        throw Failure(origin + ":" + std::to_string(number_of_line) + ": " + what);
    };
    while (std::getline(in, line)) {
        ++number_of_line;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (number_of_line == 1) {
            trace.date = line;
            continue;
        }
        if (line.empty()) continue;
        std::istringstream words(line);
        std::string cycle_text, cell_text, values_text, extra;
        words >> cycle_text >> cell_text >> values_text;
        if (cell_text.empty()) {
            double period = 0;
            if (!number(cycle_text, period) || !(period > 0)) fail("'" + line + "' is neither a period nor a change");
            trace.period = period;
            continue;
        }
        TraceFile::Change change;
        if (!number(cycle_text, change.cycle) || change.cycle < 0) fail("'" + cycle_text + "' is not a cycle number");
        if (!trace.changes.empty() && change.cycle < trace.changes.back().cycle)
            fail("cycle " + cycle_text + " comes after cycle " + std::to_string(trace.changes.back().cycle) +
                 ": the cycle counter went back while tracing");
        std::optional<VarRef> raw;
        try {
            raw = raw_cell(cell_text, counts);
        } catch (const Failure& e) {
            fail(e.what());
        }
        if (!raw) fail("'" + cell_text + "' is not a cell (B5, I523, F10 or C3)");
        change.ref = VarRef{raw->type, raw->index, {}};
        const Symbol* s = symbols != nullptr ? symbols->at(raw->type, raw->index) : nullptr;
        change.ref.name = s != nullptr ? s->name : change.ref.raw();
        const auto colon = values_text.find(':');
        if (colon == std::string::npos || (words >> extra)) fail("'" + line + "' is not a change: <cycle> <cell> <prev>:<cur>");
        const auto prev = trace_value(raw->type, std::string_view(values_text).substr(0, colon));
        const auto now = trace_value(raw->type, std::string_view(values_text).substr(colon + 1));
        if (!prev || !now) fail("'" + values_text + "' are not two values of a " + std::string(type_name(raw->type)) + " cell");
        change.prev = *prev;
        change.cur = *now;
        trace.changes.push_back(std::move(change));
    }
    if (number_of_line == 0) throw Failure(origin + ": the trace file is empty");
    return trace;
}

WaveWriter::WaveWriter(std::ostream& out, Format format, std::string scope, std::vector<VarRef> signals, double period,
                       std::string date)
    : out_(out),
      format_(format),
      scope_(std::move(scope)),
      signals_(std::move(signals)),
      last_(signals_.size()),
      period_(std::isfinite(period) && period > 0 ? period : 1.0),
      date_(std::move(date)) {
    for (std::size_t k = 0; k < signals_.size(); ++k) ids_.push_back(identifier(k));
    const double ns = std::round(period_ * 1000.0);
    const auto period_ns = ns >= 1.0 && ns < 9e15 ? static_cast<std::int64_t>(ns) : std::int64_t{1000};
    for (const Scale& s : kScales) {
        if (period_ns % s.nanoseconds != 0) continue;
        timescale_ = s.text;
        units_per_cycle_ = period_ns / s.nanoseconds;
        break;
    }
    header();
}

void WaveWriter::header() {
    if (format_ == Format::Csv) {
        out_ << "cycle,time_s";
        for (const auto& s : signals_) out_ << "," << s.name;
        out_ << "\n";
        return;
    }
    out_ << "$date\n  " << date_ << "\n$end\n$version\n  vxctl\n$end\n$timescale " << timescale_ << " $end\n";
    out_ << "$scope module " << scope_ << " $end\n";
    for (std::size_t k = 0; k < signals_.size(); ++k)
        out_ << "$var " << vcd_kind(signals_[k].type) << " " << ids_[k] << " " << signals_[k].name << " $end\n";
    out_ << "$upscope $end\n$enddefinitions $end\n";
}

std::string WaveWriter::timestamp(std::int64_t cycle) const { return "#" + std::to_string(cycle * units_per_cycle_); }

void WaveWriter::sample(std::int64_t cycle, const std::vector<Value>& values) {
    const bool first = !last_.empty() && !last_[0].has_value();
    std::vector<std::size_t> changed;
    for (std::size_t k = 0; k < signals_.size() && k < values.size(); ++k)
        if (!last_[k] || !same(*last_[k], values[k])) changed.push_back(k);
    if (changed.empty() && !(first && signals_.empty())) return;
    if (format_ == Format::Csv) {
        out_ << cycle << "," << shortest(static_cast<double>(cycle) * period_ / 1e6);
        for (std::size_t k = 0; k < signals_.size() && k < values.size(); ++k) {
            // A char as its code: the console's "65 'A'" is no CSV field.
            if (std::holds_alternative<std::uint8_t>(values[k])) {
                out_ << "," << static_cast<int>(std::get<std::uint8_t>(values[k]));
            } else {
                out_ << "," << format_value(values[k]);
            }
        }
        out_ << "\n";
    } else {
        out_ << timestamp(cycle) << "\n";
        last_cycle_ = cycle;
        if (first) out_ << "$dumpvars\n";
        for (const std::size_t k : changed) out_ << vcd_value(values[k], ids_[k]) << "\n";
        if (first) out_ << "$end\n";
    }
    for (const std::size_t k : changed) last_[k] = values[k];
}

void WaveWriter::finish(std::int64_t cycle) {
    if (format_ == Format::Vcd && cycle > last_cycle_) out_ << timestamp(cycle) << "\n";
    out_.flush();
}

void export_trace(const std::string& trace_path, const SymbolTable* symbols,
                  const std::array<std::int32_t, kCellTypes>& counts, const std::string& scope, WaveWriter::Format format,
                  const std::string& out_path) {
    std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
    if (!out) throw Failure("cannot write " + out_path + ": " + std::strerror(errno));
    const TraceFile trace = parse_trace(read_text_file(trace_path, "trace file"), trace_path, symbols, counts);
    write_trace_waveform(trace, format, scope, out);
    if (!out) throw Failure("cannot write " + out_path);
}

void write_trace_waveform(const TraceFile& trace, WaveWriter::Format format, const std::string& scope, std::ostream& out) {
    // One signal per traced variable, in the order of their first change;
    // each starts with the value its first change left.
    std::vector<VarRef> signals;
    std::vector<Value> values;
    std::map<std::pair<int, std::int32_t>, std::size_t> slot;
    for (const auto& c : trace.changes) {
        const auto key = std::pair{static_cast<int>(c.ref.type), c.ref.index};
        if (slot.count(key)) continue;
        slot[key] = signals.size();
        signals.push_back(c.ref);
        values.push_back(c.prev);
    }
    WaveWriter writer(out, format, scope, signals, trace.period.value_or(1.0), trace.date);
    const std::int64_t first = trace.changes.empty() ? 0 : std::max<std::int64_t>(0, trace.changes.front().cycle - 1);
    writer.sample(first, values);
    std::int64_t cycle = first;
    for (std::size_t i = 0; i < trace.changes.size();) {
        cycle = trace.changes[i].cycle;
        for (; i < trace.changes.size() && trace.changes[i].cycle == cycle; ++i)
            values[slot[{static_cast<int>(trace.changes[i].ref.type), trace.changes[i].ref.index}]] = trace.changes[i].cur;
        writer.sample(cycle, values);
    }
    writer.finish(cycle + 1);
}

}  // namespace vx::console

#include "vx/console/modbus_map.hpp"

#include <algorithm>
#include <charconv>

#include "vx/console/error.hpp"

namespace vx::console::modbus {
namespace {

constexpr std::uint32_t kAddresses = 65536;

template <class Names> std::optional<std::size_t> position(const Names& names, std::string_view text) {
    const auto it = std::find(names.begin(), names.end(), text);
    if (it == names.end()) return std::nullopt;
    return static_cast<std::size_t>(it - names.begin());
}

std::string_view name_of(Table t) { return kTableNames[static_cast<std::size_t>(t)]; }
std::string_view name_of(Kind k) { return kKindNames[static_cast<std::size_t>(k)]; }
std::uint16_t width_of(Kind k) { return kKindWidth[static_cast<std::size_t>(k)]; }

Kind kind_of(CellType type) {
    switch (type) {
        case CellType::Bool: return Kind::Bool;
        case CellType::Int: return Kind::Int;
        case CellType::Float: return Kind::Real;
        case CellType::Char: break;
    }
    return Kind::Char;
}

// What a variable is, before it has a place: its cells, kind and role.
struct Variable {
    std::string name;
    Kind kind = Kind::Bool;
    Role role = Role::Control;
    VarRef cell;
    std::optional<VarRef> ticks;
};

Variable from_symbol(const Symbol& s) { return {s.name, kind_of(s.type), s.role, VarRef{s.type, s.index, s.name}, {}}; }

// The variable a map line names: a TIME by its name (pause.ET), a symbol,
// a raw cell (I100), or the control register.
std::optional<Variable> find_variable(const SymbolTable& symbols, const std::array<std::int32_t, kCellTypes>& counts,
                                      std::string_view name) {
    if (name == kControlName) return Variable{std::string(name), Kind::Status, Role::Control, VarRef{}, {}};
    if (const auto time = symbols.time_named(name)) {
        Variable v{std::string(name), Kind::Time, time->days->role, {}, {}};
        v.cell = VarRef{CellType::Int, time->days->index, time->days->name};
        v.ticks = VarRef{CellType::Int, time->ticks->index, time->ticks->name};
        return v;
    }
    if (const Symbol* s = symbols.find(name)) return from_symbol(*s);
    if (const auto raw = raw_cell(name, counts)) {
        const Symbol* s = symbols.at(raw->type, raw->index);
        return s ? from_symbol(*s) : Variable{raw->name, kind_of(raw->type), Role::Control, *raw, {}};
    }
    return std::nullopt;
}

// Why a client may not write the variable, or empty when it may.
std::string write_refusal(const Variable& v, const WriteRules& rules) {
    if (v.kind == Kind::Status) return rules.control ? "" : "the control register needs --control";
    if (v.role == Role::Input) return "";
    if (v.role == Role::Output) return rules.write_outputs ? "" : "it is an output: writing outputs needs --write-outputs";
    return "only inputs and outputs can be written";
}

// Assigns addresses table by table, in the order of the calls.
class Builder {
public:
    void add(const Variable& v, Table table, bool writable) {
        std::uint32_t& next = next_[static_cast<std::size_t>(table)];
        Entry e{v.name, v.kind, table, static_cast<std::uint16_t>(next), width_of(v.kind), writable, v.role, v.cell, v.ticks};
        if (next + e.width > kAddresses)
            throw Failure("the program has more variables than the " + std::string(name_of(table)) +
                          " table holds; give a map with --map");
        next += e.width;
        entries_.push_back(std::move(e));
    }
    void start(Table table, std::uint32_t address) { next_[static_cast<std::size_t>(table)] = address; }
    AddressMap done() { return AddressMap(std::move(entries_)); }

private:
    std::vector<Entry> entries_;
    std::array<std::uint32_t, kTables> next_{};
};

// The program's state at fixed input registers, by their symbol names.
constexpr std::array<std::string_view, 6> kStateRegisters{"execstatus",    "posmxsimucounter", "simuperiod",
                                                          "realsimuperiod", "minsimuperiod",    "maxsimuperiod"};

std::vector<std::string_view> split_csv(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = line.find(',');
        std::string_view f = line.substr(0, comma);
        while (!f.empty() && (f.front() == ' ' || f.front() == '\t')) f.remove_prefix(1);
        while (!f.empty() && (f.back() == ' ' || f.back() == '\t' || f.back() == '\r')) f.remove_suffix(1);
        fields.push_back(f);
        if (comma == std::string_view::npos) return fields;
        line.remove_prefix(comma + 1);
    }
}

// "an int", "a real".
std::string a(std::string_view word) {
    const bool vowel = !word.empty() && std::string_view("aeiou").find(word.front()) != std::string_view::npos;
    return (vowel ? "an " : "a ") + std::string(word);
}

constexpr std::string_view kHeader = "name,type,table,address,registers,access";

}  // namespace

AddressMap::AddressMap(std::vector<Entry> entries) : entries_(std::move(entries)) {
    for (auto& l : lookup_) l.assign(kAddresses, 0);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        auto& l = lookup_[static_cast<std::size_t>(e.table)];
        for (std::uint32_t a = e.address; a <= e.last() && a < kAddresses; ++a) l[a] = static_cast<std::uint32_t>(i + 1);
    }
}

const Entry* AddressMap::at(Table table, std::uint16_t address) const {
    const auto& l = lookup_[static_cast<std::size_t>(table)];
    if (l.empty()) return nullptr;
    const std::uint32_t i = l[address];
    return i == 0 ? nullptr : &entries_[i - 1];
}

AddressMap default_map(const SymbolTable& symbols, const WriteRules& rules) {
    Builder b;
    b.start(Table::InputRegister, 0);
    for (const auto name : kStateRegisters) {
        if (const Symbol* s = symbols.find(name)) b.add(from_symbol(*s), Table::InputRegister, false);
    }
    if (rules.control) b.add({std::string(kControlName), Kind::Status, Role::Control, VarRef{}, {}}, Table::HoldingRegister, true);
    b.start(Table::InputRegister, kFirstVariableRegister);
    b.start(Table::HoldingRegister, kFirstVariableRegister);

    std::vector<Variable> outputs;
    for (const Symbol& s : symbols.symbols) {
        if (s.role == Role::Control) continue;
        Variable v = from_symbol(s);
        // A TIME's two cells are one value, placed where its days cell is.
        constexpr std::string_view kDays = ".days", kTicks = ".ticks";
        if (s.type == CellType::Int && s.name.ends_with(kTicks) &&
            symbols.time_named(std::string_view(s.name).substr(0, s.name.size() - kTicks.size())))
            continue;
        if (s.type == CellType::Int && s.name.ends_with(kDays)) {
            const std::string base = s.name.substr(0, s.name.size() - kDays.size());
            if (const auto time = symbols.time_named(base)) {
                v = *find_variable(symbols, symbols.counts, base);
            }
        }
        const bool input = s.role == Role::Input;
        if (v.kind == Kind::Bool)
            b.add(v, input ? Table::Coil : Table::DiscreteInput, input);
        else
            b.add(v, input ? Table::HoldingRegister : Table::InputRegister, input);
        if (s.role == Role::Output) outputs.push_back(v);
    }
    if (rules.write_outputs) {
        b.start(Table::Coil, kFirstOutputCopy);
        b.start(Table::HoldingRegister, kFirstOutputCopy);
        for (const auto& v : outputs) b.add(v, v.kind == Kind::Bool ? Table::Coil : Table::HoldingRegister, true);
    }
    return b.done();
}

AddressMap parse_map(std::string_view text, const std::string& origin, const SymbolTable& symbols,
                     const std::array<std::int32_t, kCellTypes>& counts, const WriteRules& rules) {
    std::vector<Entry> entries;
    std::vector<std::size_t> lines;  // of each entry
    std::size_t line_no = 0;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        ++line_no;
        auto fail = [&](const std::string& what) -> Failure {
            return Failure(origin + ":" + std::to_string(line_no) + ": " + what);
        };
        const auto f = split_csv(line);
        if ((f.size() == 1 && f[0].empty()) || line.starts_with('#')) continue;
        if (line_no == 1 && split_csv(kHeader) == f) continue;
        if (f.size() != 6) throw fail("expected 6 fields (" + std::string(kHeader) + "), found " + std::to_string(f.size()));

        std::optional<Variable> variable;
        try {
            variable = find_variable(symbols, counts, f[0]);
        } catch (const Failure& e) {
            throw fail(e.what());
        }
        if (!variable) {
            std::string message = "unknown variable '" + std::string(f[0]) + "'";
            const auto close = symbols.close_names(f[0]);
            if (!close.empty()) message += " (did you mean " + close.front() + "?)";
            throw fail(message);
        }
        const auto kind = position(kKindNames, f[1]);
        if (!kind) throw fail("unknown type '" + std::string(f[1]) + "' (bool, int, real, char, time or status)");
        if (static_cast<Kind>(*kind) != variable->kind)
            throw fail(variable->name + " is " + a(name_of(variable->kind)) + ", not " + a(f[1]));
        const auto table = position(kTableNames, f[2]);
        if (!table) throw fail("unknown table '" + std::string(f[2]) + "' (coil, discrete_input, holding_register or input_register)");
        const auto t = static_cast<Table>(*table);
        if (bit_table(t) != (variable->kind == Kind::Bool))
            throw fail(a(f[1]) + " does not fit the " + std::string(f[2]) + " table (bools go to " +
                       "coils and discrete inputs, the rest to registers)");
        std::uint32_t address = 0, width = 0;
        auto number = [](std::string_view s, std::uint32_t& out) {
            const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
            return ec == std::errc() && end == s.data() + s.size() && !s.empty();
        };
        if (!number(f[3], address) || address >= kAddresses) throw fail("address '" + std::string(f[3]) + "' is not 0 to 65535");
        if (!number(f[4], width) || width != width_of(variable->kind))
            throw fail(a(f[1]) + " takes " + std::to_string(width_of(variable->kind)) +
                       (bit_table(t) ? " bit" : " registers") + ", not '" + std::string(f[4]) + "'");
        if (address + width > kAddresses) throw fail(variable->name + " does not fit the " + std::string(f[2]) + " table (it ends past address 65535)");
        if (f[5] != "r" && f[5] != "rw") throw fail("access '" + std::string(f[5]) + "' is not r or rw");
        const bool writable = f[5] == "rw";
        if (writable && !writable_table(t))
            throw fail("the " + std::string(f[2]) + " table is read only: access rw needs a coil or a holding register");
        if (writable) {
            if (const auto why = write_refusal(*variable, rules); !why.empty()) throw fail(variable->name + " cannot be rw: " + why);
        }
        if (variable->kind == Kind::Status && !rules.control) throw fail("the control register needs --control");
        Entry e{variable->name, variable->kind, t, static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(width),
                writable, variable->role, variable->cell, variable->ticks};
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& o = entries[i];
            if (o.table == e.table && o.address <= e.last() && e.address <= o.last())
                throw fail(e.name + " overlaps " + o.name + " (line " + std::to_string(lines[i]) + ") in the " +
                           std::string(f[2]) + " table");
        }
        entries.push_back(std::move(e));
        lines.push_back(line_no);
    }
    if (entries.empty()) throw Failure(origin + ": the map maps no variable");
    return AddressMap(std::move(entries));
}

std::string format_map(const AddressMap& map) {
    std::string text = std::string(kHeader) + "\n";
    for (const Entry& e : map.entries())
        text += e.name + "," + std::string(name_of(e.kind)) + "," + std::string(name_of(e.table)) + "," +
                std::to_string(e.address) + "," + std::to_string(e.width) + "," + (e.writable ? "rw" : "r") + "\n";
    return text;
}

}  // namespace vx::console::modbus

#include "vx/console/scenario.hpp"

#include <charconv>
#include <cmath>
#include <sstream>

#include "vx/console/error.hpp"
#include "vx/console/text_file.hpp"

namespace vx::console {
namespace {

struct Unit {
    std::string_view name;
    double seconds;
};
constexpr Unit kUnits[] = {{"s", 1.0}, {"ms", 1e-3}, {"us", 1e-6}};

std::vector<std::string> words_of(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

class Reader {
public:
    explicit Reader(const std::string& origin) { scenario_.origin = origin; }

    Scenario read(std::string_view text) {
        std::istringstream in{std::string(text)};
        std::string line;
        while (std::getline(in, line)) {
            ++line_;
            if (const auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            text_ = line;
            words_ = words_of(line);
            if (!words_.empty()) statement();
        }
        return std::move(scenario_);
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw Failure(scenario_.origin + ":" + std::to_string(line_) + ": " + what);
    }

    void statement() {
        const std::string& keyword = words_[0];
        if (keyword == "program") return program();
        if (keyword == "period") return period();
        if (keyword == "seed") return seed();
        if (keyword == "end") return end();
        if (keyword == "at") return change();
        if (keyword == "random") return arrivals();
        if (keyword == "invariant") return invariant();
        if (keyword == "show") return show();
        if (keyword == "signature") return signature();
        fail("unknown statement '" + keyword +
             "' (expected program, period, seed, at, random, invariant, show, signature or end)");
    }

    // A duration at word `i` ("40 s" or "40s"); advances `i` past it.
    double duration(std::size_t& i) {
        if (i >= words_.size()) fail("a duration is missing (for example 40 s)");
        const std::string& w = words_[i];
        double value = 0.0;
        const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), value);
        if (ec != std::errc() || end == w.data()) fail("'" + w + "' is not a duration (for example 40 s)");
        std::string unit(end, w.data() + w.size());
        ++i;
        if (unit.empty()) {
            if (i >= words_.size()) fail("the unit of " + w + " is missing (s, ms or us)");
            unit = words_[i++];
        }
        for (const auto& u : kUnits) {
            if (u.name != unit) continue;
            if (!std::isfinite(value) || value < 0) fail("a duration cannot be negative: " + w);
            return value * u.seconds;
        }
        fail("'" + unit + "' is not a unit of time (s, ms or us)");
    }

    void no_more(std::size_t i) const {
        if (i < words_.size()) fail("unexpected '" + words_[i] + "'");
    }

    // The line's text from word `i` on, as written.
    std::string text_from(std::size_t i) const {
        std::size_t pos = 0;
        for (std::size_t w = 0; w <= i; ++w) {
            pos = text_.find_first_not_of(" \t", pos);
            if (pos == std::string::npos) return {};
            if (w == i) break;
            pos = text_.find_first_of(" \t", pos);
        }
        return text_.substr(pos);
    }

    void once(bool given, const char* what) const {
        if (given) fail(std::string("'") + what + "' appears twice");
    }

    void program() {
        once(scenario_.program.has_value(), "program");
        if (words_.size() != 2) fail("write 'program <name>'");
        scenario_.program = words_[1];
        scenario_.program_line = line_;
    }

    void period() {
        once(scenario_.period.has_value(), "period");
        std::size_t i = 1;
        const double seconds = duration(i);
        no_more(i);
        if (seconds <= 0 || seconds > 3600) fail("the period must be more than 0 and at most 3600 s");
        scenario_.period = seconds * 1e6;
    }

    void seed() {
        once(scenario_.seed.has_value(), "seed");
        std::uint64_t value = 0;
        if (words_.size() != 2) fail("write 'seed <number>'");
        const std::string& w = words_[1];
        const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), value);
        if (ec != std::errc() || end != w.data() + w.size()) fail("'" + w + "' is not a seed (a whole number)");
        scenario_.seed = value;
    }

    void end() {
        once(scenario_.end.has_value(), "end");
        std::size_t i = 1;
        scenario_.end = duration(i);
        no_more(i);
    }

    void change() {
        Scenario::Change c;
        c.line = line_;
        std::size_t i = 1;
        c.at = duration(i);
        if (i == words_.size()) fail("nothing to change: write 'at <time> name=value ...'");
        for (; i < words_.size(); ++i) {
            const std::string& w = words_[i];
            const auto eq = w.find('=');
            if (eq == std::string::npos || eq == 0 || eq + 1 == w.size())
                fail("'" + w + "' is not an assignment: write name=value, for example jour=1");
            c.assignments.emplace_back(w.substr(0, eq), w.substr(eq + 1));
        }
        scenario_.changes.push_back(std::move(c));
    }

    void arrivals() {
        Scenario::Arrivals a;
        a.line = line_;
        if (words_.size() < 4 || words_[2] != "every")
            fail("write 'random <input> every <time> [for <time> | until <condition>]'");
        a.input = words_[1];
        std::size_t i = 3;
        a.mean = duration(i);
        if (a.mean <= 0) fail("the mean interval of arrivals must be more than 0");
        a.hold = 1.0;
        if (i < words_.size() && words_[i] == "for") {
            ++i;
            a.hold = duration(i);
            no_more(i);
        } else if (i < words_.size() && words_[i] == "until") {
            a.until = text_from(i + 1);
            if (words_of(a.until).empty()) fail("the condition after 'until' is missing");
        } else {
            no_more(i);
        }
        scenario_.arrivals.push_back(std::move(a));
    }

    void invariant() {
        if (words_.size() < 2) fail("the condition after 'invariant' is missing");
        scenario_.invariants.push_back({line_, text_from(1)});
    }

    // A recording's note of its program.
    void signature() {
        once(scenario_.recorded.has_value(), "signature");
        const char* form = "write 'signature <number> generated <number> layout <16 hexadecimal digits>'";
        if (words_.size() != 6 || words_[2] != "generated" || words_[4] != "layout") fail(form);
        Scenario::Recorded r;
        r.line = line_;
        for (auto [word, target] : {std::pair{&words_[1], &r.signature}, std::pair{&words_[3], &r.generated}}) {
            const auto [end, ec] = std::from_chars(word->data(), word->data() + word->size(), *target);
            if (ec != std::errc() || end != word->data() + word->size()) fail("'" + *word + "' is not a number: " + form);
        }
        r.layout = words_[5];
        if (r.layout.size() != 16 || r.layout.find_first_not_of("0123456789abcdef") != std::string::npos)
            fail("'" + r.layout + "' is not a layout fingerprint: " + form);
        scenario_.recorded = std::move(r);
    }

    void show() {
        once(scenario_.show_line != 0, "show");
        if (words_.size() < 2) fail("name the variables to show");
        scenario_.show.assign(words_.begin() + 1, words_.end());
        scenario_.show_line = line_;
    }

    Scenario scenario_;
    int line_ = 0;
    std::string text_;
    std::vector<std::string> words_;
};

}  // namespace

Scenario parse_scenario(std::string_view text, const std::string& origin) { return Reader(origin).read(text); }

Scenario load_scenario(const std::string& path) { return parse_scenario(read_text_file(path, "scenario file"), path); }

}  // namespace vx::console

// A recursive-descent parser for the receptivity notation.
#include "vx/grafcet/expression.hpp"

#include <cctype>
#include <charconv>
#include <cstdlib>

namespace vx::grafcet {
namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    ParsedExpression parse() {
        ParsedExpression result;
        skip_spaces();
        if (at_end()) return fail(result, "empty expression");
        auto expression = parse_or();
        if (!error_.message.empty()) return fail_with(result);
        skip_spaces();
        if (!at_end()) {
            set_error("unexpected '" + std::string(1, text_[pos_]) + "'");
            return fail_with(result);
        }
        result.expression = std::move(expression);
        return result;
    }

private:
    ParsedExpression fail(ParsedExpression& result, const std::string& message) {
        set_error(message);
        return fail_with(result);
    }
    ParsedExpression fail_with(ParsedExpression& result) {
        result.expression.reset();
        result.error = error_;
        return result;
    }
    void set_error(const std::string& message) {
        if (error_.message.empty()) error_ = {pos_ + 1, message};
    }

    bool at_end() const { return pos_ >= text_.size(); }
    void skip_spaces() {
        while (!at_end() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    bool accept(std::string_view token) {
        skip_spaces();
        if (text_.substr(pos_, token.size()) != token) return false;
        pos_ += token.size();
        return true;
    }
    static bool is_name_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
    static bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

    // A name at the current position, without consuming it: identifiers
    // joined by dots.
    std::string_view peek_name() {
        skip_spaces();
        std::size_t end = pos_;
        while (end < text_.size() && is_name_start(text_[end])) {
            while (end < text_.size() && is_name_char(text_[end])) ++end;
            if (end + 1 < text_.size() && text_[end] == '.' && is_name_start(text_[end + 1])) ++end;
        }
        return text_.substr(pos_, end - pos_);
    }

    // A relation at the current position, consumed; empty when none.
    std::string relation() {
        // Longest first: ">=" before ">".
        static constexpr std::pair<std::string_view, std::string_view> kRelations[] = {
            {">=", ">="}, {"\u2265", ">="}, {"<=", "<="}, {"\u2264", "<="}, {"<>", "<>"},
            {"\u2260", "<>"}, {">", ">"}, {"<", "<"}, {"=", "="},
        };
        for (const auto& [written, relation] : kRelations) {
            if (accept(written)) return std::string(relation);
        }
        return {};
    }

    // A decimal constant with an optional sign and fraction, as written.
    std::optional<std::string> number() {
        skip_spaces();
        std::size_t end = pos_;
        if (end < text_.size() && text_[end] == '-') ++end;
        const std::size_t digits = end;
        while (end < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[end])) || text_[end] == '.')) ++end;
        std::string written(text_.substr(pos_, end - pos_));
        char* parsed_end = nullptr;
        if (end == digits) return std::nullopt;
        std::strtod(written.c_str(), &parsed_end);
        if (parsed_end != written.c_str() + written.size()) return std::nullopt;
        pos_ = end;
        return written;
    }

    // The unit after a constant: "s", "ms" or none.
    std::string unit() {
        const std::string_view name = peek_name();
        if (name == "s" || name == "ms") {
            pos_ += name.size();
            return std::string(name);
        }
        return {};
    }

    // Step numbers are written X_<digits>.
    static std::optional<int> step_number(std::string_view name) {
        if (name.size() < 3 || name.substr(0, 2) != "X_") return std::nullopt;
        int number = 0;
        const auto digits = name.substr(2);
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (ec != std::errc() || end != digits.data() + digits.size() || number < 0) return std::nullopt;
        return number;
    }

    Expression combine(Expression::Kind kind, std::vector<Expression> operands) {
        if (operands.size() == 1) return std::move(operands.front());
        Expression e;
        e.kind = kind;
        e.operands = std::move(operands);
        return e;
    }

    Expression parse_or() {
        std::vector<Expression> operands;
        operands.push_back(parse_and());
        while (error_.message.empty() && accept("|")) operands.push_back(parse_and());
        return combine(Expression::Kind::Or, std::move(operands));
    }

    Expression parse_and() {
        std::vector<Expression> operands;
        operands.push_back(parse_factor());
        while (error_.message.empty() && accept("&")) operands.push_back(parse_factor());
        return combine(Expression::Kind::And, std::move(operands));
    }

    Expression parse_factor() {
        if (!error_.message.empty()) return {};
        skip_spaces();
        if (at_end()) {
            set_error("an operand is missing at the end");
            return {};
        }
        if (accept("(")) {
            Expression inner = parse_or();
            if (error_.message.empty() && !accept(")")) set_error("expected ')'");
            return inner;
        }
        const std::string_view name = peek_name();
        if (name.empty()) {
            set_error("expected a variable, a step or 'not', found '" + std::string(1, text_[pos_]) + "'");
            return {};
        }
        if (name == "not") {
            pos_ += name.size();
            Expression e;
            e.kind = Expression::Kind::Not;
            e.operands.push_back(parse_factor());
            return e;
        }
        if (name == "t") {
            const std::size_t start = pos_;
            pos_ += name.size();
            if (accept("(")) return parse_step_time();
            pos_ = start;  // a variable named t
        }
        pos_ += name.size();
        Expression e;
        if (const auto step = step_number(name)) {
            e.kind = Expression::Kind::Step;
            e.step = *step;
        } else if (name.substr(0, 2) == "X_") {
            pos_ -= name.size();
            set_error("'" + std::string(name) + "' is not a step: steps are written X_ and a number");
        } else {
            e.kind = Expression::Kind::Variable;
            e.name = std::string(name);
            if (auto rel = relation(); !rel.empty()) return parse_comparison(std::move(e), std::move(rel));
        }
        return e;
    }

    // After "NAME REL": NUMBER [UNIT]
    Expression parse_comparison(Expression e, std::string rel) {
        e.kind = Expression::Kind::Compare;
        e.relation = std::move(rel);
        const auto written = number();
        if (!written) {
            const std::string_view name = peek_name();
            if (name.empty() || name == "not" || name == "t" || name.substr(0, 2) == "X_") {
                set_error("expected a number or a variable after '" + e.relation + "'");
            } else {
                e.other = std::string(name);
                pos_ += name.size();
            }
            return e;
        }
        e.duration = *written;
        e.unit = unit();
        e.seconds = std::strtod(written->c_str(), nullptr) / (e.unit == "ms" ? 1000.0 : 1.0);
        return e;
    }

    // After "t(": X_n ) >= D s
    Expression parse_step_time() {
        Expression e;
        e.kind = Expression::Kind::StepTime;
        const std::string_view name = peek_name();
        const auto step = step_number(name);
        if (!step) {
            set_error("expected a step X_n inside t(...)");
            return e;
        }
        pos_ += name.size();
        e.step = *step;
        if (!accept(")")) {
            set_error("expected ')' after the step");
            return e;
        }
        if (!accept(">=") && !accept("\u2265")) {
            set_error("expected '>=' after t(X_" + std::to_string(*step) + ")");
            return e;
        }
        skip_spaces();
        std::size_t end = pos_;
        while (end < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[end])) || text_[end] == '.')) ++end;
        const std::string number(text_.substr(pos_, end - pos_));
        char* parsed_end = nullptr;
        const double seconds = number.empty() ? 0.0 : std::strtod(number.c_str(), &parsed_end);
        if (number.empty() || parsed_end != number.c_str() + number.size()) {
            set_error("expected a duration in seconds");
            return e;
        }
        pos_ = end;
        e.seconds = seconds;
        e.duration = number;
        skip_spaces();
        if (at_end() || text_[pos_] != 's' || (pos_ + 1 < text_.size() && is_name_char(text_[pos_ + 1]))) {
            set_error("expected 's' after the duration");
            return e;
        }
        ++pos_;
        return e;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    ExpressionError error_;
};

int precedence(Expression::Kind kind) {
    switch (kind) {
        case Expression::Kind::Or: return 1;
        case Expression::Kind::And: return 2;
        default: return 3;
    }
}

void write(const Expression& e, std::string& out) {
    switch (e.kind) {
        case Expression::Kind::Variable: out += e.name; return;
        case Expression::Kind::Step: out += "X_" + std::to_string(e.step); return;
        case Expression::Kind::StepTime:
            out += "t(X_" + std::to_string(e.step) + ") >= " + e.duration + " s";
            return;
        case Expression::Kind::Compare:
            out += e.name + " " + e.relation + " " +
                   (e.other.empty() ? e.duration + (e.unit.empty() ? "" : " " + e.unit) : e.other);
            return;
        case Expression::Kind::Not: {
            out += "not ";
            const Expression& operand = e.operands.front();
            const bool wrap = precedence(operand.kind) < 3;
            if (wrap) out += "(";
            write(operand, out);
            if (wrap) out += ")";
            return;
        }
        case Expression::Kind::And:
        case Expression::Kind::Or: {
            const char* separator = e.kind == Expression::Kind::And ? " & " : " | ";
            for (std::size_t k = 0; k < e.operands.size(); ++k) {
                if (k > 0) out += separator;
                const Expression& operand = e.operands[k];
                const bool wrap = precedence(operand.kind) <= precedence(e.kind);
                if (wrap) out += "(";
                write(operand, out);
                if (wrap) out += ")";
            }
            return;
        }
    }
}

}  // namespace

ParsedExpression parse_expression(std::string_view text) { return Parser(text).parse(); }

std::string to_text(const Expression& expression) {
    std::string out;
    write(expression, out);
    return out;
}

}  // namespace vx::grafcet

#include "vx/grafcet/graph_file.hpp"

#include <cstdio>

namespace vx::grafcet {
namespace {

// Well-formed UTF-8: lead bytes with the right number of continuation
// bytes, no overlong two-byte forms, nothing past U+10FFFF.
bool valid_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xc2 && lead < 0xe0 ? 2 : lead >= 0xe0 && lead < 0xf0 ? 3
                                   : lead >= 0xf0 && lead < 0xf5                   ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return false;
        i += length;
    }
    return true;
}

}  // namespace

std::string json_string(std::string_view text) {
    const bool utf8 = valid_utf8(text);
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7f || (byte > 0x7f && !utf8)) {
            // UTF-8 text goes as it is; in other text a byte above 0x7f
            // stands for itself (U+0080 to U+00FF), so the file stays JSON.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

GeneratedFile generate_graph_file(const Graph& graph) {
    std::string t = "{\"program\": " + json_string(graph.name) + ", \"unit\": " + json_string(graph.unit) + ",\n";
    t += " \"components\": [";
    for (std::size_t i = 0; i < graph.components.size(); ++i)
        t += (i ? ", " : "") + json_string(graph.components[i].name);
    t += "],\n \"steps\": [";
    for (std::size_t i = 0; i < graph.steps.size(); ++i) {
        const Step& s = graph.steps[i];
        t += std::string(i ? ",\n   " : "\n   ") + "{\"number\": " + std::to_string(s.number) +
             ", \"component\": " + std::to_string(s.component) + ", \"initial\": " + (s.initial ? "true" : "false") +
             ", \"actions\": [";
        for (std::size_t a = 0; a < s.actions.size(); ++a) t += (a ? ", " : "") + json_string(s.actions[a]);
        t += "], \"variable\": " + json_string("X_" + std::to_string(s.number)) + "}";
    }
    t += "],\n \"transitions\": [";
    for (std::size_t i = 0; i < graph.transitions.size(); ++i) {
        const Transition& tr = graph.transitions[i];
        t += std::string(i ? ",\n   " : "\n   ") + "{\"component\": " + std::to_string(tr.component) +
             ", \"from\": " + std::to_string(tr.from) + ", \"to\": " + std::to_string(tr.to) +
             ", \"receptivity\": " + json_string(tr.text) + "}";
    }
    t += "]}\n";
    return {graph.name + ".graph.json", std::move(t)};
}

}  // namespace vx::grafcet

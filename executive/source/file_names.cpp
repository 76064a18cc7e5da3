#include "vx/executive.hpp"
#include "vx/numbers.hpp"

namespace vx {
namespace {

// The position of the dot that starts a three-letter extension, if any: the
// fourth-last character, when no '/' follows it (a dot in a directory name,
// as in "./ab", starts no extension).
std::optional<std::size_t> extension_dot(std::string_view path) {
    if (path.size() < 4) return std::nullopt;
    const std::size_t dot = path.size() - 4;
    if (path[dot] != '.' || path.find('/', dot) != std::string_view::npos) return std::nullopt;
    return dot;
}

}  // namespace

FileNames derive_file_names(std::string_view program_path) {
    const auto dot = extension_dot(program_path);
    if (!dot) return {std::string(program_path) + ".trc", std::string(program_path) + "_params.txt"};
    const std::string stem(program_path.substr(0, *dot));
    return {stem + ".trc", stem + "_params.txt"};
}

std::int32_t timeout_waits(const std::optional<std::string>& value) {
    // The variable was read into a 10-byte buffer: longer values mean nothing.
    if (!value || value->size() > 9) return 0;
    const auto seconds = leading_int(*value);
    if (!seconds) return 0;
    const std::int64_t waits = std::int64_t{*seconds} * 100;
    if (waits > INT32_MAX) return INT32_MAX;
    if (waits < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(waits);
}

}  // namespace vx

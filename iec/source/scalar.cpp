#include "scalar.hpp"

#include <cmath>

namespace iec::ops {
namespace {

// Written as "x >= 0" rather than "x < 0" so that a NaN fails every test.
bool inside(Domain domain, double x) {
    switch (domain) {
        case Domain::any:
            return true;
        case Domain::nonnegative:
            return x >= 0.0;
        case Domain::positive:
            return x > 0.0;
        case Domain::unit:
            return x >= -1.0 && x <= 1.0;
    }
    return false;
}

double compute(Math function, double x) {
    switch (function) {
        case Math::sqrt:
            return std::sqrt(x);
        case Math::ln:
            return std::log(x);
        case Math::log:
            return std::log10(x);
        case Math::exp:
            return std::exp(x);
        case Math::sin:
            return std::sin(x);
        case Math::cos:
            return std::cos(x);
        case Math::tan:
            return std::tan(x);
        case Math::asin:
            return std::asin(x);
        case Math::acos:
            return std::acos(x);
        case Math::atan:
            return std::atan(x);
    }
    return 0.0;
}

}  // namespace

float numeric(Math function, Domain domain, float x, std::int32_t code) {
    const double wide = x;
    if (!inside(domain, wide)) {
        fail(code);
        return 0.0f;
    }
    // exp of a large REAL exceeds the float range: it becomes an infinity
    // instead of an out-of-range conversion.
    return vx::to_float(compute(function, wide));
}

}  // namespace iec::ops

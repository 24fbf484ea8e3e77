#include "qreal.h"

#include <charconv>

namespace dravik {

std::string qreal_text(double x, bool sign) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? (sign ? "+inf" : "inf") : "-inf";
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof(buf), x, std::chars_format::fixed);
    std::string out(buf, res.ptr);
    if (sign && !std::signbit(x)) out.insert(out.begin(), '+');
    return out;
}

}  // namespace dravik

#include "output/xls/RkNumber.h"

#include <cmath>
#include <cstring>

namespace vok {

namespace {

uint64_t Bits(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    return bits;
}

bool SameDouble(double a, double b) {
    return Bits(a) == Bits(b);
}

constexpr double kMinRkInteger = -(1 << 29);
constexpr double kMaxRkInteger = (1 << 29) - 1;

// The two RK forms of `scaled` (the value, or the value times 100), bit 0
// still clear.
std::optional<uint32_t> IntegerForm(double scaled) {
    if (std::nearbyint(scaled) != scaled || scaled < kMinRkInteger || scaled > kMaxRkInteger) {
        return std::nullopt;
    }
    return (static_cast<uint32_t>(static_cast<int32_t>(scaled)) << 2) | 2u;
}

std::optional<uint32_t> DoubleForm(double scaled) {
    const uint64_t bits = Bits(scaled);
    if ((bits & 0x3FFFFFFFFull) != 0) return std::nullopt;
    return static_cast<uint32_t>(bits >> 32) & 0xFFFFFFFCu;
}

} // namespace

double DecodeRk(uint32_t rk) {
    double value;
    if (rk & 2) {
        value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, 8);
    }
    return (rk & 1) ? value / 100 : value;
}

std::optional<uint32_t> EncodeRk(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    // The value itself, then the value times 100 (two decimals), each as an
    // integer or as a shortened double; a form is kept only when it decodes to
    // the very same double.
    for (const uint32_t divided : {0u, 1u}) {
        const double scaled = divided ? value * 100 : value;
        for (const auto& rk : {IntegerForm(scaled), DoubleForm(scaled)}) {
            if (rk && SameDouble(DecodeRk(*rk | divided), value)) return *rk | divided;
        }
    }
    return std::nullopt;
}

} // namespace vok

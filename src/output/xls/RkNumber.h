// RK numbers: the 32-bit form in which .xls cells store many numbers.
//
// Bit 0 means "divided by 100"; bit 1 set means the upper 30 bits are a signed
// integer, clear means they are the upper 30 bits of an IEEE double whose low
// 34 bits are zero.
#pragma once

#include <cstdint>
#include <optional>

namespace vok {

double DecodeRk(uint32_t rk);

// The RK form of the number when decoding it gives back exactly the same
// double (bit for bit); otherwise none, and the cell needs a NUMBER record.
std::optional<uint32_t> EncodeRk(double value);

} // namespace vok

// Record numbers and substream types of BIFF8, the record stream inside an
// .xls file, as far as vok writes or reads them.
#pragma once

#include <cstdint>

namespace vok::biff8 {

inline constexpr uint16_t kBof = 0x0809;
inline constexpr uint16_t kEof = 0x000A;
inline constexpr uint16_t kContinue = 0x003C;
inline constexpr uint16_t kCodePage = 0x0042;
inline constexpr uint16_t kFilePass = 0x002F;
inline constexpr uint16_t kWindow1 = 0x003D;
inline constexpr uint16_t kFont = 0x0031;
inline constexpr uint16_t kFormat = 0x041E;
inline constexpr uint16_t kXf = 0x00E0;
inline constexpr uint16_t kStyle = 0x0293;
inline constexpr uint16_t kBoundSheet = 0x0085;
inline constexpr uint16_t kSst = 0x00FC;
inline constexpr uint16_t kExtSst = 0x00FF;
inline constexpr uint16_t kWsBool = 0x0081;
inline constexpr uint16_t kDimensions = 0x0200;
inline constexpr uint16_t kLabelSst = 0x00FD;
inline constexpr uint16_t kLabel = 0x0204;
inline constexpr uint16_t kNumber = 0x0203;
inline constexpr uint16_t kRk = 0x027E;
inline constexpr uint16_t kMulRk = 0x00BD;
inline constexpr uint16_t kWindow2 = 0x023E;
inline constexpr uint16_t kObj = 0x005D;
inline constexpr uint16_t kIndex = 0x020B;
inline constexpr uint16_t kDbCell = 0x00D7;
inline constexpr uint16_t kRow = 0x0208;
inline constexpr uint16_t kDefColWidth = 0x0055;
inline constexpr uint16_t kBlank = 0x0201;
inline constexpr uint16_t kMulBlank = 0x00BE;
inline constexpr uint16_t kBoolErr = 0x0205;
inline constexpr uint16_t kRString = 0x00D6;
inline constexpr uint16_t kFormula = 0x0006;
inline constexpr uint16_t kString = 0x0207; // a formula's text result
inline constexpr uint16_t kMergedCells = 0x00E5;
inline constexpr uint16_t kHLink = 0x01B8;
inline constexpr uint16_t kSupBook = 0x01AE;

// Substream types of a BOF record.
inline constexpr uint16_t kBofGlobals = 0x0005;
inline constexpr uint16_t kBofVbModule = 0x0006;
inline constexpr uint16_t kBofWorksheet = 0x0010;
inline constexpr uint16_t kBofChart = 0x0020;
inline constexpr uint16_t kBofMacroSheet = 0x0040;

inline constexpr uint16_t kBiff8Version = 0x0600;

// Columns of a sheet; rows are counted in 16 bits.
inline constexpr uint16_t kColumns = 256;

} // namespace vok::biff8

// The record-level pieces of the .xls engine: shared strings split over
// CONTINUE records, RK numbers, the stream the writer lays out, and the
// inspection of existing streams.
#include "output/workbook/Utf16Text.h"
#include "output/xls/Biff8Inspector.h"
#include "output/xls/Biff8SharedStrings.h"
#include "output/xls/Biff8Writer.h"
#include "output/xls/RkNumber.h"
#include "output/xls/XlsTestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace vok {
namespace {

using test::Find;
using test::Record;
using test::Records;
using test::U16;
using test::U32;

std::u16string Utf16(std::string_view utf8) {
    std::u16string out;
    AppendUtf16(out, utf8);
    return out;
}

// Reads the table back as a reader does, checking the splitting rules on the way:
// a string's header and first character share a record, a continued string's
// record starts with a flags byte, no two-byte character is cut.
std::vector<std::u16string> ReadSst(const std::vector<Record>& records, uint32_t& references) {
    size_t r = 0;
    while (r < records.size() && records[r].id != 0x00FC)
        ++r;
    EXPECT_LT(r, records.size());
    references = U32(records[r].data, 0);
    const uint32_t unique = U32(records[r].data, 4);
    size_t p = 8;
    auto nextRecord = [&] {
        ++r;
        EXPECT_EQ(records[r].id, 0x003C) << "expected CONTINUE";
        p = 0;
    };
    std::vector<std::u16string> strings;
    for (uint32_t i = 0; i < unique; ++i) {
        if (p == records[r].data.size()) nextRecord();
        const std::string* data = &records[r].data;
        EXPECT_LE(p + 3, data->size()) << "string header split, string " << i;
        size_t left = U16(*data, p);
        bool wide = (*data)[p + 2] & 1;
        const size_t headerRecord = r;
        // Strings that fit two records from a fresh one stay within two.
        const bool fitsTwo = left <= (wide ? 8221u : 16444u);
        EXPECT_EQ((*data)[p + 2] & ~1, 0);
        p += 3;
        if (left > 0) {
            EXPECT_LT(p, data->size()) << "header without its first character";
        }
        std::u16string s;
        while (left > 0) {
            if (p == data->size()) {
                nextRecord();
                data = &records[r].data;
                wide = (*data)[p++] & 1;
            }
            const size_t size = wide ? 2 : 1;
            const size_t take = std::min(left, (data->size() - p) / size);
            for (size_t k = 0; k < take; ++k, p += size) {
                s.push_back(wide ? U16(*data, p) : static_cast<unsigned char>((*data)[p]));
            }
            left -= take;
            if (left > 0 && p != data->size()) {
                ADD_FAILURE() << "a character cut in two, string " << i;
                return strings;
            }
        }
        if (fitsTwo) {
            EXPECT_LE(r, headerRecord + 1) << "string " << i << " spans three records";
        }
        strings.push_back(s);
    }
    EXPECT_EQ(p, records[r].data.size());
    EXPECT_EQ(records[r + 1].id, 0x00FF) << "EXTSST follows the table";
    return strings;
}

TEST(XlsSharedStringsTest, LongAndNonLatinStringsSurviveTheContinueSplit) {
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i)
        texts.push_back("entry " + std::to_string(i));
    std::string latin;
    for (int i = 0; i < 9000; ++i)
        latin += "\xC3\xA9"; // é, one byte each in the file
    texts.push_back(latin);
    std::string cjk;
    for (int i = 0; i < 12000; ++i)
        cjk += "\xE6\xBC\xA2"; // 漢, two bytes each
    texts.push_back(cjk);
    std::string emoji;
    for (int i = 0; i < 3000; ++i)
        emoji += "\xF0\x9F\x98\x80"; // surrogate pairs
    texts.push_back(emoji);
    // Strings of every length, wide and narrow in turn, to meet each boundary.
    for (int n = 1; n < 400; ++n) {
        std::string s(static_cast<size_t>(n), static_cast<char>('a' + n % 26));
        if (n % 2) s += "\xC4\x80"; // Ā needs two bytes per character
        texts.push_back(s);
    }

    Biff8SharedStrings sst;
    for (const std::string& t : texts)
        sst.Add(t);
    EXPECT_EQ(sst.Add(texts[5]), 5u);
    EXPECT_EQ(sst.UniqueCount(), texts.size());

    BiffRecordBuffer out;
    out.U32(0xDEADBEEF); // the table need not start the stream
    sst.Write(out);
    const std::string stream = out.Bytes().substr(0); // keep offsets
    std::vector<Record> records;
    size_t pos = 4;
    while (pos + 4 <= stream.size()) {
        const uint16_t id = U16(stream, pos), length = U16(stream, pos + 2);
        records.push_back({id, pos, stream.substr(pos + 4, length)});
        EXPECT_LE(length, BiffRecordBuffer::kMaxRecordData);
        pos += 4 + length;
    }
    EXPECT_EQ(pos, stream.size());
    EXPECT_GT(records.size(), 8u) << "several CONTINUE records";

    uint32_t references = 0;
    const std::vector<std::u16string> read = ReadSst(records, references);
    EXPECT_EQ(references, texts.size() + 1);
    ASSERT_EQ(read.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(read[i], Utf16(texts[i])) << i;

    // EXTSST: each bucket points at the header of its first string.
    const Record& ext = records.back();
    ASSERT_EQ(ext.id, 0x00FF);
    const uint32_t perBucket = U16(ext.data, 0);
    EXPECT_EQ(perBucket, Biff8SharedStrings::StringsPerBucket(sst.UniqueCount()));
    const size_t buckets = (ext.data.size() - 2) / 8;
    EXPECT_EQ(buckets, (texts.size() + perBucket - 1) / perBucket);
    EXPECT_LE(buckets, 128u);
    for (size_t b = 0; b < buckets; ++b) {
        const uint32_t at = U32(ext.data, 2 + 8 * b);
        const uint16_t inRecord = U16(ext.data, 6 + 8 * b);
        const auto record = std::find_if(records.begin(), records.end(), [&](const Record& r) {
            return at >= r.offset && at < r.offset + 4 + r.data.size();
        });
        ASSERT_NE(record, records.end());
        EXPECT_EQ(at - record->offset, inRecord);
        EXPECT_EQ(U16(stream, at), Utf16(texts[b * perBucket]).size()) << "bucket " << b;
    }
}

TEST(XlsSharedStringsTest, OneByteFormOnlyWhenEveryUnitFits) {
    BiffRecordBuffer out;
    out.UnicodeString(Utf16("\xC3\xBF"));  // ÿ U+00FF
    out.UnicodeString(Utf16("A\xC4\x80")); // A then Ā U+0100
    EXPECT_EQ(out.Bytes(), std::string("\x01\x00\x00\xFF\x02\x00\x01"
                                       "A\x00\x00\x01",
                                       11));
}

TEST(XlsRkTest, EncodesOnlyWhatDecodesExactly) {
    struct Case {
        double value;
        bool rk;
    };
    const Case cases[] = {
        {0, true},
        {1, true},
        {-1, true},
        {536870911, true},
        {-536870912, true},
        {0.5, true},
        {1.25, true},
        {0.01, true},
        {0.1, true},
        {123456.78, true},
        {-5368709.12, true},
        {536870912, true},
        {1.0 / 3, false},
        {1e-300, false},
        {123456789.123, false},
        {-0.0, true},
        {0.123456789, false},
        {1234567890123.0, false},
    };
    for (const Case& c : cases) {
        const auto rk = EncodeRk(c.value);
        EXPECT_EQ(rk.has_value(), c.rk) << c.value;
        if (rk) {
            const double back = DecodeRk(*rk);
            EXPECT_EQ(std::memcmp(&back, &c.value, 8), 0) << c.value;
        }
    }
    EXPECT_EQ(DecodeRk(0x3FF00000), 1.0);  // upper bits of the double 1.0
    EXPECT_EQ(DecodeRk(0x00000006), 1.0);  // integer 1
    EXPECT_EQ(DecodeRk(0x00000007), 0.01); // integer 1, divided by 100

    std::mt19937_64 random(42);
    std::uniform_int_distribution<int64_t> cents(-99'999'999'999, 99'999'999'999);
    std::uniform_real_distribution<double> any(-1e9, 1e9);
    for (int i = 0; i < 100000; ++i) {
        const double value = i % 2 ? static_cast<double>(cents(random)) / 100 : any(random);
        if (const auto rk = EncodeRk(value)) {
            const double back = DecodeRk(*rk);
            ASSERT_EQ(std::memcmp(&back, &value, 8), 0) << value;
        }
    }
}

TEST(XlsWriterTest, LaysOutGlobalsSheetsAndExactDimensions) {
    std::vector<SheetData> sheets{SheetData("Data"), SheetData("Empty"), SheetData("Ünïcode")};
    FormatTable formats;
    const uint16_t thousands = formats.Intern("#,##0.00"); // built in
    const uint16_t custom = formats.Intern("0.000");
    sheets[0].SetText(3, 2, "B3");
    sheets[0].SetNumber(7, 4, 1.5, thousands);
    sheets[0].SetNumber(5, 5, 0.123456789, custom);
    sheets[0].SetText(4, 3, "gone");
    sheets[0].ClearCell(4, 3);
    sheets[2].SetNumber(1, 1, 42, 0);
    const XlsFont font{"Courier New", 200};
    const std::string stream = Biff8Writer(sheets, formats, font).Build();
    EXPECT_GE(stream.size(), 4096u);
    const std::vector<Record> records = Records(stream);
    for (const Record& r : records)
        EXPECT_LE(r.data.size(), BiffRecordBuffer::kMaxRecordData);

    // Globals.
    ASSERT_EQ(records[0].id, 0x0809);
    EXPECT_EQ(U16(records[0].data, 0), 0x0600);
    EXPECT_EQ(U16(records[0].data, 2), 0x0005);
    EXPECT_EQ(U16(Find(records, 0x0042)->data, 0), 1200);
    EXPECT_EQ(Find(records, 0x0031)->data.substr(16), "Courier New");
    EXPECT_EQ(std::count_if(records.begin(), records.end(), [](auto& r) { return r.id == 0x0031; }),
              5);
    const Record* format = Find(records, 0x041E);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(U16(format->data, 0), 164);
    EXPECT_EQ(format->data.substr(5), "0.000");
    EXPECT_EQ(std::count_if(records.begin(), records.end(), [](auto& r) { return r.id == 0x041E; }),
              1);
    EXPECT_EQ(std::count_if(records.begin(), records.end(), [](auto& r) { return r.id == 0x00E0; }),
              16 + 2);

    // Each BOUNDSHEET8 points at its sheet's BOF.
    std::vector<size_t> sheetStarts;
    for (const Record& r : records) {
        if (r.id != 0x0085) continue;
        const uint32_t at = U32(r.data, 0);
        ASSERT_LT(at + 8, stream.size());
        EXPECT_EQ(U16(stream, at), 0x0809);
        EXPECT_EQ(U16(stream, at + 6), 0x0010);
        sheetStarts.push_back(at);
    }
    ASSERT_EQ(sheetStarts.size(), 3u);

    auto recordAt = [&](size_t offset) {
        return std::find_if(records.begin(), records.end(),
                            [&](const Record& r) { return r.offset == offset; }) -
               records.begin();
    };
    // Sheet 1: DIMENSIONS rows 3..7, columns B..E (0-based, last + 1).
    size_t first = recordAt(sheetStarts[0]);
    const Record* dims = Find(records, 0x0200, first);
    EXPECT_EQ(U32(dims->data, 0), 2u);
    EXPECT_EQ(U32(dims->data, 4), 7u);
    EXPECT_EQ(U16(dims->data, 8), 1u);
    EXPECT_EQ(U16(dims->data, 10), 5u);
    EXPECT_EQ(U16(Find(records, 0x023E, first)->data, 0) & 0x0600, 0x0600);
    const Record* rk = Find(records, 0x027E, first);
    ASSERT_NE(rk, nullptr);
    EXPECT_EQ(DecodeRk(U32(rk->data, 6)), 1.5);
    EXPECT_EQ(U16(rk->data, 4), 15 + thousands);
    const Record* number = Find(records, 0x0203, first);
    ASSERT_NE(number, nullptr);
    EXPECT_EQ(U16(number->data, 0), 4u);
    EXPECT_EQ(U16(number->data, 2), 4u);

    // Sheet 2 is empty: all zero; only the first sheet is selected.
    size_t second = recordAt(sheetStarts[1]);
    EXPECT_EQ(Find(records, 0x0200, second)->data, std::string(14, '\0'));
    EXPECT_EQ(U16(Find(records, 0x023E, second)->data, 0) & 0x0600, 0);

    // Sheet 3: the one cell A1.
    size_t third = recordAt(sheetStarts[2]);
    dims = Find(records, 0x0200, third);
    EXPECT_EQ(U32(dims->data, 4), 1u);
    EXPECT_EQ(U16(dims->data, 10), 1u);

    // The inspector reads back what the writer wrote.
    const Biff8Contents contents = Biff8Inspector::Inspect(stream);
    EXPECT_EQ(contents.damage, "");
    EXPECT_EQ(contents.losses, 0u);
    EXPECT_EQ(contents.font.name, "Courier New");
    ASSERT_EQ(contents.numbers.size(), 3u);
    ASSERT_EQ(contents.numbers[0].size(), 2u);
    EXPECT_EQ(contents.numbers[0][0].row, 4u);
    EXPECT_EQ(contents.numbers[0][0].value, 0.123456789);
    EXPECT_EQ(contents.xfFormatCodes[contents.numbers[0][0].xf], "0.000");
    EXPECT_EQ(contents.xfFormatCodes[contents.numbers[0][1].xf], "#,##0.00");
    EXPECT_EQ(contents.numbers[2][0].value, 42);
    EXPECT_EQ(contents.xfFormatCodes[contents.numbers[2][0].xf], "");
}

// A one-sheet stream with `extra` records inside the sheet.
std::string SheetStream(const std::function<void(BiffRecordBuffer&)>& extra,
                        uint8_t sheetType = 0) {
    BiffRecordBuffer out;
    auto bof = [&](uint16_t type) {
        out.Begin(0x0809);
        out.U16(0x0600), out.U16(type), out.U32(0), out.U32(0), out.U32(6);
        out.End();
    };
    bof(0x0005);
    out.Begin(0x0085);
    const size_t position = out.Size();
    out.U32(0), out.U8(0), out.U8(sheetType), out.ShortUnicodeString(u"S");
    out.End();
    out.Begin(0x000A), out.End();
    out.PatchU32(position, static_cast<uint32_t>(out.Size()));
    bof(0x0010);
    extra(out);
    out.Begin(0x000A), out.End();
    return out.TakeBytes();
}

// A record of zeros, long enough for any cell record.
void Empty(BiffRecordBuffer& out, uint16_t id) {
    out.Begin(id);
    for (int i = 0; i < 6; ++i)
        out.U32(0);
    out.End();
}

TEST(XlsInspectorTest, NamesWhatARewriteWouldLose) {
    const std::pair<uint16_t, const char*> cases[] = {
        {0x0006, "formulas"},
        {0x04BC, "formulas"},
        {0x0221, "formulas"},
        {0x005D, "pictures or drawing objects"},
        {0x001C, "cell comments"},
        {0x0205, "logical or error values"},
        {0x00D6, "cells of a kind vok cannot read"},
        // Defined names and hyperlinks are kept as the file holds them.
        {0x0018, ""},
        {0x01B8, ""},
    };
    for (const auto& [id, text] : cases) {
        const Biff8Contents c =
            Biff8Inspector::Inspect(SheetStream([&](auto& out) { Empty(out, id); }));
        EXPECT_EQ(c.damage, "");
        EXPECT_EQ(Biff8Inspector::DescribeLosses(c.losses), text) << std::hex << id;
    }
    // Drawing objects by their kind: a picture, a comment, a chart.
    for (const auto& [kind, text] :
         {std::pair<uint16_t, const char*>{0x0008, "pictures or drawing objects"},
          {0x0019, "cell comments"},
          {0x0005, "charts"}}) {
        const Biff8Contents c = Biff8Inspector::Inspect(SheetStream([&](BiffRecordBuffer& out) {
            out.Begin(0x005D);
            out.U16(0x0015), out.U16(0x0012), out.U16(kind), out.U16(1);
            out.End();
        }));
        EXPECT_EQ(Biff8Inspector::DescribeLosses(c.losses), text);
    }
    // A chart embedded in the sheet, with its drawing.
    Biff8Contents c = Biff8Inspector::Inspect(SheetStream([](BiffRecordBuffer& out) {
        Empty(out, 0x005D);
        out.Begin(0x0809);
        out.U16(0x0600), out.U16(0x0020), out.U32(0), out.U32(0), out.U32(6);
        out.End();
        out.Begin(0x000A), out.End();
    }));
    EXPECT_EQ(Biff8Inspector::DescribeLosses(c.losses), "charts and pictures or drawing objects");
    // Drawing containers without any object in them are no loss.
    c = Biff8Inspector::Inspect(SheetStream([](BiffRecordBuffer& out) {
        Empty(out, 0x00EB);
        Empty(out, 0x00EC);
    }));
    EXPECT_EQ(c.losses, 0u);
    // A password: everything after FILEPASS is encrypted and not read.
    c = Biff8Inspector::Inspect(SheetStream([](BiffRecordBuffer& out) { Empty(out, 0x002F); }));
    EXPECT_EQ(Biff8Inspector::DescribeLosses(c.losses), "a password");
    // Macro sheets, and macro projects in the container.
    c = Biff8Inspector::Inspect(SheetStream([](BiffRecordBuffer&) {}, 1));
    EXPECT_EQ(Biff8Inspector::DescribeLosses(c.losses), "macros");
    c = Biff8Inspector::Inspect(SheetStream([](BiffRecordBuffer&) {}));
    EXPECT_EQ(c.losses, 0u);
    Biff8Inspector::InspectContainerEntries({"\005SummaryInformation",
                                             "\005DocumentSummaryInformation", "\001CompObj",
                                             "\001Ole", "MsoDataStore", "Custom data"},
                                            c);
    EXPECT_EQ(c.losses, 0u);
    Biff8Inspector::InspectContainerEntries({"_VBA_PROJECT_CUR", "MBD00A1B2C3"}, c);
    EXPECT_EQ(Biff8Inspector::DescribeLosses(c.losses), "macros and embedded objects");
    EXPECT_EQ(Biff8Inspector::DescribeLosses(kLossFormulas | kLossCharts | kLossPassword),
              "formulas, charts and a password");
}

TEST(XlsInspectorTest, RefusesStreamsItCannotRead) {
    std::string stream = SheetStream([](BiffRecordBuffer&) {});
    EXPECT_NE(Biff8Inspector::Inspect(stream.substr(0, stream.size() - 3)).damage, "");
    EXPECT_NE(Biff8Inspector::Inspect(stream.substr(0, stream.size() - 4)).damage, "");
    EXPECT_NE(Biff8Inspector::Inspect("hello world, no records here").damage, "");
    stream[5] = 0x05; // BOF version 0x0500: Excel 5.0/95
    EXPECT_NE(Biff8Inspector::Inspect(stream).damage, "");
    EXPECT_NE(Biff8Inspector::Inspect("").damage, "");
}

} // namespace
} // namespace vok

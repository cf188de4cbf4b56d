// Writing into an existing .xls, record by record: workbooks made by hand as
// another writer would, edited through the Workbook interface, saved, and
// their records read back.
#include "output/xls/Biff8Inspector.h"
#include "output/xls/Biff8SharedStrings.h"
#include "output/xls/BiffRecordBuffer.h"
#include "output/xls/OleWorkbookFile.h"
#include "output/xls/RkNumber.h"
#include "output/xls/XlsTestSupport.h"
#include "output/xls/XlsWorkbook.h"
#include "support/TestSupport.h"

#include <functional>
#include <gsf/gsf.h>
#include <gtest/gtest.h>

namespace vok {
namespace {

using test::Find;
using test::Record;
using test::Records;
using test::TempDir;
using test::U16;
using test::U32;

using Records_ = std::function<void(BiffRecordBuffer&)>;

void Bof(BiffRecordBuffer& out, uint16_t type) {
    out.Begin(0x0809);
    out.U16(0x0600), out.U16(type), out.U32(0), out.U32(0), out.U32(6);
    out.End();
}

// An XF record; `fill` gives a cell XF a pattern of its own.
void Xf(BiffRecordBuffer& out, bool style, uint8_t fill = 0) {
    out.Begin(0x00E0);
    out.U16(0), out.U16(0), out.U16(style ? 0xFFF5 : 0x0001);
    out.U8(0x20), out.U8(0), out.U8(0), out.U8(fill ? 0x40 : 0);
    out.U32(0), out.U32(fill ? 0x04000000u * fill : 0), out.U16(0x20C0);
    out.End();
}

void Cell(BiffRecordBuffer& out, uint16_t id, uint16_t row, uint16_t column, uint16_t xf) {
    out.Begin(id);
    out.U16(row), out.U16(column), out.U16(xf);
}

// A workbook as a writer other than vok lays it out: XF 15 a style (so a
// default cell XF must be added) and XF 16 a filled cell format; the shared
// strings `strings`; one sheet per entry of `sheets`.
std::string HandMadeBook(
    const std::vector<std::string>& strings,
    const std::vector<std::pair<std::u16string, Records_>>& sheets,
    const Records_& globals = [](BiffRecordBuffer&) {}) {
    BiffRecordBuffer out;
    Bof(out, 0x0005);
    out.Begin(0x0031);
    out.U16(200), out.U16(0), out.U16(0x7FFF), out.U16(400), out.U16(0), out.U32(0);
    out.ShortUnicodeString(u"Arial");
    out.End();
    for (int i = 0; i < 16; ++i)
        Xf(out, true);
    Xf(out, false, 5);
    globals(out);
    std::vector<size_t> positions;
    for (const auto& sheet : sheets) {
        out.Begin(0x0085);
        positions.push_back(out.Size());
        out.U32(0), out.U8(0), out.U8(0), out.ShortUnicodeString(sheet.first);
        out.End();
    }
    out.Begin(0x00FC);
    out.U32(static_cast<uint32_t>(strings.size())), out.U32(static_cast<uint32_t>(strings.size()));
    for (const std::string& s : strings) {
        out.U16(static_cast<uint16_t>(s.size())), out.U8(0);
        for (const char c : s)
            out.U8(static_cast<uint8_t>(c));
    }
    out.End();
    out.Begin(0x000A), out.End();
    for (size_t i = 0; i < sheets.size(); ++i) {
        out.PatchU32(positions[i], static_cast<uint32_t>(out.Size()));
        Bof(out, 0x0010);
        sheets[i].second(out);
        out.Begin(0x000A), out.End();
    }
    return out.TakeBytes();
}

// The Workbook stream of a saved file.
std::string SavedStream(const std::string& file) {
    OleWorkbookContents contents;
    std::string reason;
    EXPECT_TRUE(OleWorkbookFile::Read(file, contents, reason)) << reason;
    return contents.workbook;
}

// The records of the sheet whose BOUNDSHEET8 is the `index`-th.
std::vector<Record> SheetRecords(const std::string& stream, size_t index) {
    const std::vector<Record> all = Records(stream);
    size_t found = 0;
    for (const Record& r : all) {
        if (r.id != 0x0085 || found++ != index) continue;
        std::vector<Record> sheet;
        for (const Record& s : all) {
            if (s.offset < U32(r.data, 0)) continue;
            sheet.push_back(s);
            if (s.id == 0x000A) break;
        }
        return sheet;
    }
    return {};
}

std::unique_ptr<Workbook> OpenFile(const std::string& file, const std::string& stream) {
    std::string reason;
    EXPECT_TRUE(OleWorkbookFile::Write(file, stream, reason)) << reason;
    WorkbookOpenResult opened = OpenXlsWorkbook(file);
    EXPECT_TRUE(opened.workbook) << opened.error;
    return std::move(opened.workbook);
}

TEST(XlsRewriterTest, EditedSheetKeepsItsRecordsAndCutsRowsAroundTheEdits) {
    TempDir dir;
    const std::string file = dir.File("book.xls");
    auto book =
        OpenFile(file, HandMadeBook({"old", "gone"},
                                    {{u"Data", [](BiffRecordBuffer& out) {
                                          out.Begin(0x020B), out.U32(0), out.U32(0), out.U32(3),
                                              out.U32(0), out.U32(0), out.End();
                                          out.Begin(0x0055), out.U16(8), out.End(); // DEFCOLWIDTH
                                          out.Begin(0x0200), out.U32(0), out.U32(3), out.U16(0),
                                              out.U16(5), out.U16(0), out.End();
                                          out.Begin(0x0208); // ROW 0, 30 points high
                                          out.U16(0), out.U16(0), out.U16(5), out.U16(600),
                                              out.U32(0), out.U16(0x0140), out.U16(15);
                                          out.End();
                                          out.Begin(0x00BD); // MULRK A1:E1, 1 to 5
                                          out.U16(0), out.U16(0);
                                          for (int i = 1; i <= 5; ++i)
                                              out.U16(16), out.U32(*EncodeRk(i));
                                          out.U16(4);
                                          out.End();
                                          out.Begin(0x00BE); // MULBLANK A2:D2
                                          out.U16(1), out.U16(0), out.U16(16), out.U16(16),
                                              out.U16(16), out.U16(16), out.U16(3);
                                          out.End();
                                          Cell(out, 0x00FD, 2, 0, 16), out.U32(1), out.End();
                                          Cell(out, 0x00FD, 2, 1, 16), out.U32(0), out.End();
                                          out.Begin(0x00D7), out.U32(0), out.End();
                                          out.Begin(0x023E), out.U16(0x06B6), out.U16(0),
                                              out.U16(0), out.U32(64), out.U32(0), out.U32(0),
                                              out.End();
                                          out.Begin(0x00E5), out.U16(1), out.U16(9), out.U16(9),
                                              out.U16(0), out.U16(1), out.End();
                                      }}}));
    ASSERT_TRUE(book);
    EXPECT_EQ(book->SetCellValue(1, 1, 3, "9"), CellWrite::Written);        // in the MULRK
    EXPECT_EQ(book->SetCellValue(1, 2, 2, ""), CellWrite::Written);         // a blank emptied
    EXPECT_EQ(book->SetCellValue(1, 3, 1, "new"), CellWrite::Written);      // "gone" replaced
    EXPECT_EQ(book->SetCellValue(1, 5, 2, "1,234.50"), CellWrite::Written); // a new cell
    std::string error;
    ASSERT_TRUE(book->Save(error)) << error;
    const std::string stream = SavedStream(file);
    const std::vector<Record> globals = Records(stream);

    // 1. The strings cells use, "gone" left out; a default cell XF and one
    //    for #,##0.00 on it added after the file's XFs.
    const Record* sst = Find(globals, 0x00FC);
    ASSERT_NE(sst, nullptr);
    std::vector<std::string> strings;
    ASSERT_TRUE(Biff8SharedStrings::Read({sst->data}, [&](const Biff8StoredString& s) {
        strings.emplace_back(s.characters.begin(), s.characters.end());
    }));
    EXPECT_EQ(strings, (std::vector<std::string>{"old", "new"}));
    EXPECT_EQ(U32(sst->data, 0), 2u);
    std::vector<std::string> xfs;
    for (const Record& r : globals) {
        if (r.id == 0x00E0 && r.offset < sst->offset) xfs.push_back(r.data);
    }
    ASSERT_EQ(xfs.size(), 19u);
    EXPECT_EQ(U16(xfs[17], 4) & 0x0004, 0) << "a cell XF";
    EXPECT_EQ(U16(xfs[18], 2), 4) << "#,##0.00";
    EXPECT_EQ(xfs[18].substr(4, 5), xfs[17].substr(4, 5));
    EXPECT_EQ(xfs[18][9], xfs[17][9] | 0x04);

    // 2. The sheet: its own records in place, the cells cut around the edits;
    //    edited cells keep the XF of the cell they replace.
    const std::vector<Record> sheet = SheetRecords(stream, 0);
    std::vector<uint16_t> ids;
    for (const Record& r : sheet)
        ids.push_back(r.id);
    EXPECT_EQ(ids, (std::vector<uint16_t>{0x0809, 0x020B, 0x0055, 0x0200, 0x0208, 0x0208, 0x0208,
                                          0x0208, 0x00BD, 0x027E, 0x00BD, 0x0201, 0x0201, 0x00BE,
                                          0x00FD, 0x00FD, 0x027E, 0x00D7, 0x023E, 0x00E5, 0x000A}));
    EXPECT_EQ(sheet[4].data.substr(6), std::string("\x58\x02\0\0\0\0\x40\x01\x0F\0", 10));
    EXPECT_EQ(U16(sheet[9].data, 2), 2u);
    EXPECT_EQ(U16(sheet[9].data, 4), 16u);
    EXPECT_EQ(DecodeRk(U32(sheet[9].data, 6)), 9);
    EXPECT_EQ(U16(sheet[10].data, 2), 3u);
    EXPECT_EQ(U16(sheet[10].data, 16), 4u) << "MULRK D1:E1";
    EXPECT_EQ(U16(sheet[12].data, 4), 16u) << "the emptied cell keeps its look";
    EXPECT_EQ(U32(sheet[14].data, 6), 1u) << "new";
    EXPECT_EQ(U16(sheet[14].data, 4), 16u);
    EXPECT_EQ(U32(sheet[15].data, 6), 0u) << "old";
    EXPECT_EQ(U16(sheet[16].data, 4), 18u);
    EXPECT_EQ(U32(sheet[3].data, 4), 5u) << "DIMENSIONS: rows 1 to 5";

    // 3. INDEX finds DEFCOLWIDTH and the DBCELL, which finds the rows.
    EXPECT_EQ(U32(sheet[1].data, 4), 0u);
    EXPECT_EQ(U32(sheet[1].data, 8), 5u);
    EXPECT_EQ(U32(sheet[1].data, 12), sheet[2].offset);
    EXPECT_EQ(U32(sheet[1].data, 16), sheet[17].offset);
    EXPECT_EQ(U32(sheet[17].data, 0), sheet[17].offset - sheet[4].offset);
    EXPECT_EQ(U16(sheet[17].data, 4), sheet[8].offset - sheet[5].offset);
    EXPECT_EQ(U16(sheet[17].data, 6), sheet[11].offset - sheet[8].offset);
    EXPECT_EQ(U16(sheet[17].data, 8), sheet[14].offset - sheet[11].offset);
    EXPECT_EQ(U16(sheet[17].data, 10), sheet[16].offset - sheet[14].offset);

    // 4. vok reads back what it wrote and what it kept.
    auto again = OpenXlsWorkbook(file);
    ASSERT_TRUE(again.workbook) << again.error;
    EXPECT_EQ(again.workbook->CellText(1, 1, 5), "5");
    EXPECT_EQ(again.workbook->CellText(1, 3, 1), "new");
    EXPECT_EQ(again.workbook->CellText(1, 3, 2), "old");
    EXPECT_EQ(again.workbook->CellText(1, 5, 2), "1234.5");
}

TEST(XlsRewriterTest, RichStringsKeepTheirRunsAcrossRecords) {
    // A rich string long enough to go on into a CONTINUE record, its runs
    // with it, read through the table reader and written back whole.
    const std::u16string text(9000, u'x');
    const std::string runs("\x00\x00\x05\x00\x10\x27\x06\x00", 8);
    Biff8SharedStrings table;
    table.Add("before");
    table.AddStored({text, false, runs, "ext"});
    table.Add("after");
    BiffRecordBuffer out;
    table.Write(out);
    std::vector<std::string_view> records;
    for (const Record& r : Records(out.Bytes())) {
        if (r.id == 0x00FC || r.id == 0x003C)
            records.push_back(std::string_view(out.Bytes()).substr(r.offset + 4, r.data.size()));
    }
    ASSERT_GE(records.size(), 2u);
    std::vector<std::u16string> read;
    ASSERT_TRUE(Biff8SharedStrings::Read(records, [&](const Biff8StoredString& s) {
        read.emplace_back(s.characters);
        if (read.size() == 2) {
            EXPECT_EQ(s.runs, runs);
            EXPECT_EQ(s.extended, "ext");
        } else {
            EXPECT_EQ(s.runs, "");
        }
    }));
    EXPECT_EQ(read, (std::vector<std::u16string>{u"before", text, u"after"}));
}

TEST(XlsRewriterTest, MergesAndHyperlinksOnWrittenCellsStopTheSaveWhileClearingKeepsThem) {
    TempDir dir;
    const std::string file = dir.File("tied.xls");
    const std::string original =
        HandMadeBook({}, {{u"Ties", [](BiffRecordBuffer& out) {
                               out.Begin(0x00E5), out.U16(1), out.U16(1), out.U16(2), out.U16(1),
                                   out.U16(3), out.End();
                               out.Begin(0x01B8), out.U16(9), out.U16(9), out.U16(0), out.U16(0),
                                   out.U32(0), out.End();
                           }}});
    struct Case {
        std::function<void(Workbook&)> edit;
        std::string message; // "" when the save goes through
    };
    const Case cases[] = {
        {[](Workbook& b) { b.SetCellValue(1, 3, 4, "x"); },
         "writing cell D3 of sheet \"Ties\" would lose the merged cells B2:D3"},
        {[](Workbook& b) {
             b.ClearRange(1, {3, 4, 20, 20});
         },
         ""},
        {[](Workbook& b) { b.SetCellValue(1, 10, 1, ""); },
         "writing cell A10 of sheet \"Ties\" would lose the hyperlink on A10"},
        {[](Workbook& b) {
             b.SetCellValue(1, 1, 1, "beside");
             b.SetCellValue(1, 2, 5, "beside");
             b.ClearRange(1, {4, 1, 8, 8});
         },
         ""},
    };
    for (const Case& c : cases) {
        auto book = OpenFile(file, original);
        ASSERT_TRUE(book);
        c.edit(*book);
        std::string error;
        const bool saved = book->Save(error);
        EXPECT_EQ(saved, c.message.empty()) << error;
        if (c.message.empty()) {
            // The merge and the link stand as they stood.
            const std::string stream = SavedStream(file);
            for (const uint16_t id : {uint16_t{0x00E5}, uint16_t{0x01B8}}) {
                const std::string start = {static_cast<char>(id & 0xFF), static_cast<char>(id >> 8)};
                EXPECT_EQ(original.find(start) != std::string::npos,
                          stream.find(start) != std::string::npos);
            }
            continue;
        }
        EXPECT_EQ(error, "The workbook " + file + " was left unchanged: " + c.message + ".");
        EXPECT_EQ(SavedStream(file), original) << c.message;
    }
}

TEST(XlsRewriterTest, AddedSheetsAreCountedWhereTheWorkbookCountsItsOwn) {
    TempDir dir;
    const std::string file = dir.File("names.xls");
    const auto sheet = [](BiffRecordBuffer& out) {
        Cell(out, 0x00FD, 0, 0, 16), out.U32(0), out.End();
    };
    auto book = OpenFile(file, HandMadeBook({"kept"}, {{u"One", sheet}}, [](BiffRecordBuffer& out) {
                             out.Begin(0x01AE), out.U16(1), out.U16(0x0401),
                                 out.End(); // SUPBOOK: own sheets
                             out.Begin(0x0017), out.U16(1), out.U16(0), out.U16(0), out.U16(0),
                                 out.End();
                         }));
    ASSERT_TRUE(book);
    std::string error;
    ASSERT_TRUE(book->AddSheet("Added", error)) << error;
    book->SetCellValue(2, 1, 1, "kept");
    book->SetCellValue(2, 2, 1, "12");
    ASSERT_TRUE(book->Save(error)) << error;
    const std::string stream = SavedStream(file);
    const std::vector<Record> records = Records(stream);
    EXPECT_EQ(Find(records, 0x01AE)->data, std::string("\x02\0\x01\x04", 4));
    const std::vector<Record> added = SheetRecords(stream, 1);
    ASSERT_FALSE(added.empty());
    EXPECT_EQ(U16(added.front().data, 2), 0x0010);
    // One shared string for both sheets' "kept".
    EXPECT_EQ(U32(Find(records, 0x00FC)->data, 0), 2u);
    EXPECT_EQ(U32(Find(records, 0x00FC)->data, 4), 1u);
    auto again = OpenXlsWorkbook(file);
    ASSERT_TRUE(again.workbook) << again.error;
    EXPECT_EQ(again.workbook->SheetName(2), "Added");
    EXPECT_EQ(again.workbook->CellText(2, 1, 1), "kept");
    EXPECT_EQ(again.workbook->CellText(2, 2, 1), "12");
    EXPECT_EQ(again.workbook->CellText(1, 1, 1), "kept");
}

TEST(XlsRewriterTest, ASecondSaveWritesIntoWhatTheFirstSaved) {
    TempDir dir;
    const std::string file = dir.File("twice.xls");
    auto book = OpenFile(file, HandMadeBook({"a"}, {{u"One", [](BiffRecordBuffer& out) {
                                                         out.Begin(0x00BE), out.U16(0), out.U16(0),
                                                             out.U16(16), out.U16(16), out.U16(1),
                                                             out.End();
                                                     }}}));
    ASSERT_TRUE(book);
    std::string error;
    book->SetCellValue(1, 3, 1, "first");
    ASSERT_TRUE(book->Save(error)) << error;
    book->SetCellValue(1, 4, 1, "second");
    EXPECT_EQ(book->UsedRange(1).lastRow, 4);
    ASSERT_TRUE(book->Save(error)) << error;
    auto again = OpenXlsWorkbook(file);
    ASSERT_TRUE(again.workbook) << again.error;
    EXPECT_EQ(again.workbook->CellText(1, 3, 1), "first");
    EXPECT_EQ(again.workbook->CellText(1, 4, 1), "second");
    // The formatted blank cells count as used until a clear takes them.
    const CellRange used = again.workbook->UsedRange(1);
    EXPECT_EQ(
        (std::vector<int32_t>{used.firstRow, used.firstColumn, used.lastRow, used.lastColumn}),
        (std::vector<int32_t>{1, 1, 4, 2}));
}

struct GObjectUnref {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T> using Gsf = std::unique_ptr<T, GObjectUnref>;

void WriteChild(GsfOutfile* parent, const char* name, std::string_view bytes) {
    Gsf<GsfOutput> child(gsf_outfile_new_child(parent, name, FALSE));
    gsf_output_write(child.get(), bytes.size(), reinterpret_cast<const guint8*>(bytes.data()));
    gsf_output_close(child.get());
}

std::string ReadChild(GsfInfile* parent, const char* name) {
    Gsf<GsfInput> child(gsf_infile_child_by_name(parent, name));
    if (!child) return "(missing)";
    std::string bytes(static_cast<size_t>(gsf_input_size(child.get())), '\0');
    gsf_input_read(child.get(), bytes.size(), reinterpret_cast<guint8*>(bytes.data()));
    return bytes;
}

TEST(XlsRewriterTest, TheContainersOtherEntriesKeepTheirBytes) {
    // A container made by the container library itself: document
    // properties, a storage with a stream, the workbook class.
    TempDir dir;
    const std::string file = dir.File("entries.xls");
    const std::string properties(700, '\x05'), item(5000, 'i');
    const guint8 excel[16] = {0x20, 0x08, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    const guint8 custom[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    {
        gsf_init();
        GError* error = nullptr;
        Gsf<GsfOutput> sink(gsf_output_stdio_new(file.c_str(), &error));
        ASSERT_TRUE(sink);
        Gsf<GsfOutfile> ole(gsf_outfile_msole_new(sink.get()));
        WriteChild(ole.get(), "Workbook",
                   HandMadeBook({"a"}, {{u"Sheet", [](BiffRecordBuffer&) {}}}));
        WriteChild(ole.get(), "\005SummaryInformation", properties);
        Gsf<GsfOutput> store(gsf_outfile_new_child(ole.get(), "MsoDataStore", TRUE));
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(store.get()), custom);
        WriteChild(GSF_OUTFILE(store.get()), "Item", item);
        gsf_output_close(store.get());
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(ole.get()), excel);
        gsf_output_close(GSF_OUTPUT(ole.get()));
    }
    WorkbookOpenResult opened = OpenXlsWorkbook(file);
    ASSERT_TRUE(opened.workbook) << opened.error;
    opened.workbook->SetCellValue(1, 1, 1, "written");
    std::string error;
    ASSERT_TRUE(opened.workbook->Save(error)) << error;

    GError* gerror = nullptr;
    Gsf<GsfInput> input(gsf_input_stdio_new(file.c_str(), &gerror));
    Gsf<GsfInfile> ole(gsf_infile_msole_new(input.get(), &gerror));
    ASSERT_TRUE(ole);
    EXPECT_EQ(ReadChild(ole.get(), "\005SummaryInformation"), properties);
    guint8 id[16];
    ASSERT_TRUE(gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(ole.get()), id));
    EXPECT_EQ(std::string(id, id + 16), std::string(excel, excel + 16));
    Gsf<GsfInput> store(gsf_infile_child_by_name(ole.get(), "MsoDataStore"));
    ASSERT_TRUE(store && GSF_IS_INFILE(store.get()));
    EXPECT_EQ(ReadChild(GSF_INFILE(store.get()), "Item"), item);
    ASSERT_TRUE(gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(store.get()), id));
    EXPECT_EQ(std::string(id, id + 16), std::string(custom, custom + 16));
    EXPECT_EQ(OpenXlsWorkbook(file).workbook->CellText(1, 1, 1), "written");
}

} // namespace
} // namespace vok

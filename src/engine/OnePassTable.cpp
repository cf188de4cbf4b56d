// A table read with its key lines in one pass over the report, where the job
// and the table allow it:
//   1. the lines up to the table's first are searched for both key texts:
//      the start key's line must come before the end key's, as the usual
//      way requires, and every line is plain ASCII without a tab (what most
//      reports are); anything else, and the table runs the usual way, with
//      nothing written yet;
//   2. the table's lines are rows as they come, held back by as many lines
//      as a negative end offset leaves out, until the end key's line;
//   3. the rest of the report is read for what a scan would learn of it, and
//      the index is told, so that nothing reads the report again.
// At the first line that is not plain ASCII, or a read that fails, the
// report is scanned as any job's is and the job's checks are made: the pass
// goes on with what the scan learnt (the lines before read the same either
// way), or, when the report cannot be converted, writes nothing at all.
#include "base/ByteSearch.h"
#include "base/TextAccess.h"
#include "base/TextIndex.h"
#include "base/TextReader.h"
#include "engine/JobState.h"
#include "engine/TablePass.h"
#include "engine/clsTable.h"
#include "output/CsvWriter.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <utility>
#include <vector>

namespace vok {

namespace {

// The most lines a negative end offset may leave out in one pass: each is
// held back, a copy, until the end key is known not to come sooner.
constexpr int32_t kLongestHoldBack = 16;

bool Holds(std::string_view line, std::string_view key) {
    return FindBytes(line.data(), line.size(), key) < line.size();
}

bool PlainAscii(std::string_view text) {
    return FirstNonPlain(text.data(), text.size()) == text.size();
}

// Rules that match the same bytes in either encoding.
bool AsciiRules(const LineRules& rules) {
    return std::all_of(rules.skipTexts.begin(), rules.skipTexts.end(), PlainAscii) &&
           std::all_of(rules.groups.begin(), rules.groups.end(),
                       [](const LineGroup& group) { return PlainAscii(group.text); });
}

} // namespace

// The report read line by line, telling of each line whether it holds the
// start key and the end key and whether every line so far was plain. The
// bytes read ahead are searched at once, so that the lines within the
// stretch that holds neither key and nothing but plain ASCII need no look.
class OnePassText {
public:
    OnePassText(JobState& state, TextIndex& report, const clsTable& table)
        : state_(state), report_(report), reader_(report.Reader(TextEncoding::Utf8)),
          startKey_(table.ReadStartLine), endKey_(table.ReadEndLine) {}

    bool IsOpen() const { return reader_.IsOpen(); }
    // The next line; false at the end of the file or when the read failed.
    bool Next(std::string_view& line) {
        offset_ = reader_.NextLineOffset();
        if (!reader_.ReadRawLine(line)) return false;
        ++number_;
        if (offset_ + static_cast<int64_t>(line.size()) <= clearUntil_) {
            holdsStart_ = holdsEnd_ = false;
            return true;
        }
        if (!settled_ && !PlainAscii(line)) plain_ = false;
        holdsStart_ = !startKey_.empty() && Holds(line, startKey_);
        holdsEnd_ = Holds(line, endKey_);
        LookAhead();
        return true;
    }
    // The start key is no longer looked for.
    void StartFound() {
        startKey_ = {};
        clearUntil_ = 0;
    }
    bool HoldsStart() const { return holdsStart_; }
    bool HoldsEnd() const { return holdsEnd_; }
    int64_t Number() const { return number_; }
    int64_t Offset() const { return offset_; }
    bool Plain() const { return plain_ && !reader_.ReadFailed(); }
    bool Settled() const { return settled_; }
    TextReader& Reader() { return reader_; }

    // The lines expected in all, from the bytes read so far, for the progress.
    int64_t EstimatedLines() const {
        const auto size = static_cast<double>(reader_.FileSize());
        const auto read = static_cast<double>(reader_.NextLineOffset());
        if (read <= 0) return 0;
        return static_cast<int64_t>(static_cast<double>(number_) * size / read);
    }

    // The report scanned and checked as any job's is: false when it cannot
    // be converted (said).
    bool Settle(ReportFacts& facts) {
        settled_ = true;
        clearUntil_ = 0;
        if (!RunReportChecks(state_)) return false;
        facts = TablePass::FactsOf(state_, report_);
        return true;
    }

    // The lines after the table's last, read for what a scan learns: the
    // index is told, or, at a line that is not plain, the report is scanned.
    bool ReadRest(const clsTable& table, int64_t startLine, int64_t startOffset, int64_t endLine,
                  int64_t endOffset) {
        std::string_view line;
        while (Plain() && Next(line)) {
        }
        if (Plain())
            report_.KnowPlainText(number_, {{table.ReadStartLine, startLine, startOffset},
                                            {table.ReadEndLine, endLine, endOffset}});
        ReportFacts facts;
        return Settle(facts);
    }

private:
    // How far the bytes after the line just read hold neither key (nor, until
    // the report is settled, a byte that is not plain).
    void LookAhead() {
        const std::string_view ahead = reader_.Ahead();
        size_t clear = FindBytes(ahead.data(), ahead.size(), endKey_);
        if (!startKey_.empty())
            clear = std::min(clear, FindBytes(ahead.data(), ahead.size(), startKey_));
        if (!settled_) clear = std::min(clear, FirstNonPlain(ahead.data(), ahead.size()));
        clearUntil_ = reader_.NextLineOffset() + static_cast<int64_t>(clear);
    }

    JobState& state_;
    TextIndex& report_;
    TextReader reader_;
    std::string_view startKey_, endKey_;
    int64_t number_ = 0, offset_ = 0;
    int64_t clearUntil_ = 0; // the file offset up to which no line needs a look
    bool plain_ = true, settled_ = false;
    bool holdsStart_ = false, holdsEnd_ = false;
};

// Lines held back by a negative end offset: copies, in slots reused line
// after line, each with the readable bytes after it that a reader's line has.
class HeldLines {
public:
    explicit HeldLines(size_t count) : slots_(count), sizes_(count) {}
    bool Full() const { return held_ == slots_.size(); }
    std::string_view Oldest() const { return {slots_[first_].data(), sizes_[first_]}; }
    // Drops the oldest line when full, and holds `line`.
    void Hold(std::string_view line) {
        // Wrapped by a comparison: a division for every line of the report costs more.
        size_t at = first_ + held_;
        if (at >= slots_.size()) at -= slots_.size();
        if (Full()) {
            if (++first_ == slots_.size()) first_ = 0;
        } else {
            ++held_;
        }
        std::string& slot = slots_[at];
        if (slot.size() < line.size() + TextReader::kSlack)
            slot.resize(line.size() + TextReader::kSlack);
        std::memcpy(slot.data(), line.data(), line.size());
        sizes_[at] = line.size();
    }

private:
    std::vector<std::string> slots_;
    std::vector<size_t> sizes_;
    size_t first_ = 0, held_ = 0;
};

bool RunReportChecks(JobState& state) {
    if (!state.reportChecks) return true;
    const auto checks = std::exchange(state.reportChecks, nullptr);
    if (checks(state.recipe.Reports.For(state.job.gInputFile))) return true;
    state.recipe.ExportSpecs.FatalProcessError = true;
    return false;
}

bool clsTable::FitsOnePass(JobState& state) const {
    const clsRecipe& recipe = state.recipe.gRecipe;
    if (!state.reportChecks || recipe.InputFileFirst != 1 || recipe.InputFileName.empty() ||
        recipe.InputFileName[0] != state.job.gInputFile)
        return false;
    TextIndex& report = state.recipe.Reports.For(state.job.gInputFile);
    if (report.Scanned() || !report.ReadsItsOwnFile()) return false;
    if (ReadStartLine.empty() || ReadEndLine.empty() || !PlainAscii(ReadStartLine) ||
        !PlainAscii(ReadEndLine) || ReadStartLineOffset < 0 || ReadEndLineOffset > 0 ||
        ReadEndLineOffset < -kLongestHoldBack || !AsciiRules(Lines))
        return false;
    const auto count = static_cast<size_t>(std::max(TotalColumns, 0));
    if (count == 0 || count > ColumnsCollection.size()) return false;
    return std::all_of(ColumnsCollection.begin(), ColumnsCollection.begin() + count,
                       [](const clsColumn& c) {
                           return c.ReadColumnStart >= 1 && c.ReadColumnEnd >= c.ReadColumnStart;
                       });
}

bool clsTable::ProcessInOnePass(JobState& state, CsvWriter& csv) {
    if (!FitsOnePass(state)) return false;
    TextIndex& report = state.recipe.Reports.For(state.job.gInputFile);
    OnePassText text(state, report, *this);
    if (!text.IsOpen()) return false;
    // 1. The start key's line, before any line with the end key.
    std::string_view line;
    int64_t startOffset = 0;
    while (StartKeyLine == 0 && text.Next(line) && text.Plain() && !text.HoldsEnd()) {
        if (text.HoldsStart()) {
            StartKeyLine = text.Number();
            startOffset = text.Offset();
        }
    }
    if (StartKeyLine == 0) return false;
    text.StartFound();
    FirstDataLine = StartKeyLine + ReadStartLineOffset;
    bool clean = true;
    while (clean && text.Number() < FirstDataLine - 1)
        clean = text.Next(line) && text.Plain() && !text.HoldsEnd();
    if (!clean) {
        StartKeyLine = FirstDataLine = 0;
        return false;
    }
    // The start key's own line is the first row when the offset is 0.
    const std::string_view pending = ReadStartLineOffset == 0 ? line : std::string_view();
    // 2. The rows, from the table's first line to its last.
    clsExportSpecs& specs = state.recipe.ExportSpecs;
    const int32_t top = specs.getWritePointer(state.messages, 1);
    for (size_t c = 0; c < ColumnsCollection.size(); ++c)
        ColumnsCollection[c].StartPass(static_cast<int32_t>(c + 1));
    state.recipe.LineProcessor.BeginPass();
    csv.SetEncoding(TextEncoding::Utf8);
    CheckColumns(state, true, TotalColumns);
    const int64_t expected = text.EstimatedLines();
    state.observer.TableStarted(number_, FirstDataLine, expected);
    TablePass pass(state, *this, &csv, ReportFacts{});
    pass.Begin(FirstDataLine, std::max<int64_t>(expected - FirstDataLine + 1, 1), top);
    const bool whole = RowsInOnePass(state, text, pass, pending, startOffset);
    // The write pointer moves below the rows written, when they count.
    const auto done = static_cast<int32_t>(whole ? pass.Done() : 0);
    specs.setWritePointer(state.messages, 1, top + done);
    WriteTableTopRow = top;
    WriteTableBottomRow = top + done - 1;
    return true;
}

bool clsTable::RowsInOnePass(JobState& state, OnePassText& text, TablePass& pass,
                             std::string_view pending, int64_t startOffset) {
    // Lines held back: the end key may come within that many lines after them.
    const auto holdBack = static_cast<size_t>(-ReadEndLineOffset);
    HeldLines held(std::max<size_t>(holdBack, 1));
    auto take = [&](int64_t k, std::string_view line) {
        if (holdBack == 0) return pass.Line(k, line);
        const bool going = !held.Full() || pass.Line(k - static_cast<int64_t>(holdBack), held.Oldest());
        held.Hold(line);
        return going;
    };
    bool going = pending.data() == nullptr || take(text.Number(), pending);
    ReportFacts facts;
    std::string_view line;
    while (going && text.Next(line)) {
        if (!text.Plain() && !text.Settled()) {
            if (!text.Settle(facts)) return false;
            pass.Settle(facts);
        }
        const int64_t k = text.Number();
        if (text.HoldsEnd()) {
            // The end key's line, and the last line held back when it is the table's last.
            EndKeyLine = k;
            LastDataLine = k + ReadEndLineOffset;
            if (holdBack == 0) going = pass.Line(k, line);
            if (holdBack > 0 && held.Full()) going = pass.Line(LastDataLine, held.Oldest());
            break;
        }
        going = take(k, line);
    }
    // A stop asked for and confirmed keeps the rows written, as any table's.
    if (!going && !pass.Failed()) return true;
    return FinishOnePass(state, text, pass, startOffset);
}

bool clsTable::FinishOnePass(JobState& state, OnePassText& text, TablePass& pass,
                             int64_t startOffset) {
    // 3. The rest of the report, unless a failed row ended the run.
    if (pass.Failed()) return true;
    const bool ended = EndKeyLine > 0 && LastDataLine >= FirstDataLine;
    if (ended && !text.Reader().ReadFailed()) {
        const int64_t endOffset = text.Offset();
        return text.ReadRest(*this, StartKeyLine, startOffset, EndKeyLine, endOffset);
    }
    // Without the end key, or at a read that failed: the report scanned, and
    // what is wrong said as the usual way says it; no row counts.
    ReportFacts facts;
    if (!text.Settled() && !text.Settle(facts)) return false;
    Span span;
    if (FindKeyLines(state, span) && CheckSpan(state, span)) {
        state.messages.Show(fmt::format("Cannot read the report {}: {}. Table {} is incomplete.",
                                        state.job.gInputFile.string(), text.Reader().ReadError(),
                                        number_),
                            MessageIcon::Critical);
        state.recipe.ExportSpecs.FatalProcessError = true;
    }
    return false;
}

} // namespace vok

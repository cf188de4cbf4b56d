// Reports printed to PDF, as the job reads them: a file whose content begins
// with "%PDF-" (whatever its name) is read through the text rebuilt from it
// (PdfGrid), and every later stage reads that text as it reads a text report.
//
// The rebuilding runs in a process of its own, vok-pdf-text, which writes
// the text into a temporary file that exists only while the job holds it.
// The program thus never loads the PDF library (it would cost every
// command-line job its start-up), a fault of the library on a hostile file
// ends only that process and the one report, and the library's own
// complaints never reach the user's terminal.
#pragma once

#include "base/TextIndex.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace vok {

inline constexpr const char* kPdfReaderProgram = "vok-pdf-text";

// True when the file's content begins with "%PDF-".
bool StartsAsPdf(const std::filesystem::path& file);
// The same for a regular file open on `descriptor`; its offset is not moved.
bool StartsAsPdf(int descriptor);

// Asked while the PDF reader runs; true stops it (and the report is not read).
using StopCheck = std::function<bool()>;

// The text of `report` for the job: a PDF's rebuilt text, with what was said
// of it, or the file itself.
ReportSource ReportSourceOf(const std::filesystem::path& report, const StopCheck& stopped);
// The same for a report the job holds open on `descriptor` (-1: not open).
ReportSource ReportSourceOf(const std::filesystem::path& report, int descriptor,
                            const StopCheck& stopped);

// Writes a rebuilt text to the descriptor `out`; false and `error` on failure.
bool CopyRebuiltText(const ReportSource& source, int out, std::string& error);

// A copy of a rebuilt text under a name of its own in the temporary folder,
// read-only, for a program that opens files by name (the desktop's "Edit
// Input File"); the caller removes it. "" and `error` on failure.
std::filesystem::path KeepRebuiltText(const ReportSource& source,
                                      const std::filesystem::path& report, std::string& error);

// Remembers the texts last rebuilt from PDF reports, so that an unchanged PDF
// is rebuilt once for many previews (the editor's preview refreshes as the
// recipe changes, and its report view reads the same text). Safe to share
// between threads.
class RebuiltTextMemo {
public:
    ReportSource SourceOf(const std::filesystem::path& report, const StopCheck& stopped);

private:
    struct Kept {
        std::filesystem::path report;
        struct stat file {};
        ReportSource source;
    };
    static constexpr size_t kKept = 4;
    std::mutex mutex_;
    std::vector<Kept> kept_; // the newest last
};

// The job's way to its reports' texts (TextIndexCache).
ReportSourceMaker PdfAwareSources(StopCheck stopped);

} // namespace vok

// Whoever watches a conversion job: the command line, the desktop, the tests.
//
// A job reports when a file starts and finishes (with its outcome), how many
// rows of the current table are done, the status texts of the status
// bars and caption, and every message and question (through Messages). The job
// never reads anything back from its observer but the answers to questions.
//
// A job may run on a worker thread; every call then comes from that thread,
// and an observer that shows windows hands the calls to the window's thread.
#pragma once

#include "base/Messages.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vok {

// The places where the job shows its progress.
enum class StatusTarget {
    Progress,    // the main status bar's progress panel
    ElapsedTime, // the main status bar's elapsed-seconds panel
    CurrentFile, // the current-file status bar
    Caption,     // the main window's caption; "" gives back the window's own
};

// What became of one input file.
struct FileOutcome {
    enum class Kind {
        Converted, // the output was written
        Skipped,   // nothing was written for this file
        Failed,    // written in part, or not at all after it was begun
    };
    Kind kind = Kind::Converted;
    std::string reason; // why it was skipped or failed; empty when converted
    // False when the output's name asked for no known type: the paths of
    // such a file are not worth remembering.
    bool outputTypeKnown = true;
    // The output was put in place (also when problems were met on the way).
    bool written = false;
    // An interrupt ended the file before its output was put in place.
    bool stopped = false;
};

std::string_view FileOutcomeName(FileOutcome::Kind kind);

class JobObserver : public Messages {
public:
    // File `index` (1-based) of `count` starts.
    virtual void FileStarted(int64_t /*index*/, int64_t /*count*/,
                             const std::filesystem::path& /*input*/) {}

    // Table `table` starts its rows at line `firstLine` of a report of
    // `reportLines` lines: how much of the report its rows have read.
    virtual void TableStarted(int32_t /*table*/, int64_t /*firstLine*/,
                              int64_t /*reportLines*/) {}

    // Rows of the running table written so far, and its row count.
    virtual void RowsDone(int64_t /*done*/, int64_t /*total*/) {}

    // A status panel or the caption gets a new text.
    virtual void StatusChanged(StatusTarget /*target*/, std::string_view /*text*/) {}

    virtual void FileFinished(const std::filesystem::path& /*input*/,
                              const std::filesystem::path& /*output*/,
                              const FileOutcome& /*outcome*/) {}
};

} // namespace vok

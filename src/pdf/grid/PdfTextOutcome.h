// How the PDF reader (vok-pdf-text, a process of its own) tells the program
// what it made of a PDF: its exit status. A rebuilt text may carry flags;
// a status of kPdfTextFailures or more means no text was written.
#pragma once

namespace vok {

inline constexpr int kPdfTextProportional = 1; // not set in a fixed-pitch font
inline constexpr int kPdfTextRepaired = 2;     // damaged; read as far as the library could
inline constexpr int kPdfTextFailures = 10;
inline constexpr int kPdfTextNoText = 10;      // no text layer (a scan)
inline constexpr int kPdfTextLocked = 11;      // needs a password to open
inline constexpr int kPdfTextUnreadable = 12;  // the library cannot open it
inline constexpr int kPdfTextWriteFailed = 13; // the text could not be written
inline constexpr int kPdfTextUsage = 14;       // called without a file

} // namespace vok

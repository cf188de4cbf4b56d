// vok-pdf-text PDF: writes the text rebuilt from a PDF print-out to standard
// output; its exit status tells the program what it made of the file
// (PdfTextOutcome.h). The program runs it as a process of its own, so that a
// fault of the PDF library on a hostile file ends this process, not the job,
// and the library never loads into the program itself.
#include "pdf/grid/PdfTextOutcome.h"
#include "pdf/reader/PdfPages.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The program stops this process itself when the user stops the job (so that
// its end is never taken for a fault of the library): Ctrl+C on the terminal
// is the program's to handle. It ends with the program, however that ends.
void FollowTheProgram() {
    std::signal(SIGINT, SIG_IGN);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

// Built with the address sanitizer, whose shadow memory takes terabytes of
// address space: a limit on it would end every run at the start.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// A file that would take all the machine's memory ends this process instead.
void LimitResources() {
    const rlimit memory{rlim_t{4} << 30, rlim_t{4} << 30};
    if (!kAddressSanitizer) ::setrlimit(RLIMIT_AS, &memory);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
}

// The text goes to standard output. A file there (the program hands the
// reader a temporary file) can take back what was written; a pipe cannot.
vok::PdfTextSink StandardOutput() {
    vok::PdfTextSink sink;
    sink.write = [](std::string_view text) {
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    };
    struct stat info {};
    const off_t start = ::lseek(STDOUT_FILENO, 0, SEEK_CUR);
    const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    if (::fstat(STDOUT_FILENO, &info) == 0 && S_ISREG(info.st_mode) && start >= 0 && flags >= 0 &&
        (flags & O_APPEND) == 0) {
        sink.restart = [start] {
            return std::fflush(stdout) == 0 && ::ftruncate(STDOUT_FILENO, start) == 0 &&
                   ::fseeko(stdout, start, SEEK_SET) == 0;
        };
    }
    return sink;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return vok::kPdfTextUsage;
    FollowTheProgram();
    LimitResources();
    const vok::PdfPages pages = vok::PdfPages::FromFile(argv[1]);
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    const int status = vok::WritePdfText(pages, StandardOutput());
    if (std::fflush(stdout) != 0 && status < vok::kPdfTextFailures) return vok::kPdfTextWriteFailed;
    return status;
}

// Messages in command-line mode: every message goes to standard error and the
// program never waits for a key. Ctrl+C is the stop request; the stop question
// that follows it is answered Yes. With a log file every message and every
// converted file is also written there with its date and time; in verbose mode
// the progress texts go to standard error too.
#pragma once

#include "base/Messages.h"

#include <cstdio>
#include <memory>
#include <string>

namespace vok {

class CommandLineMessages : public Messages {
public:
    CommandLineMessages();
    ~CommandLineMessages() override;

    void SetLogFile(const std::string& path);
    void SetVerbose(bool verbose) { verbose_ = verbose; }

    void Show(std::string_view text, MessageIcon icon, std::string_view caption,
              MessageKind kind) override;
    bool AskYesNo(std::string_view text, MessageIcon icon, std::string_view caption) override;
    bool ProcessEvents() override;
    void FileConverted(std::string_view input, std::string_view output) override;
    bool ShowsProgress() const override { return verbose_; }

protected:
    void StatusChanged(StatusTarget target, std::string_view text) override;

private:
    void Log(std::string_view text);

    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> log_;
    bool verbose_ = false;
    int64_t lastProgressTick_ = 0;
};

} // namespace vok

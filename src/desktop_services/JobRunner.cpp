#include "desktop_services/JobRunner.h"

#include <QEventLoop>
#include <QThread>
#include <array>
#include <cstdint>
#include <exception>
#include <mutex>

namespace vok {

// The desktop's observer of a job. Calls come from the worker thread; boxes
// are shown by the window's thread while the worker waits, everything else is
// stored for the painter.
class JobRunner::Observer : public JobObserver {
public:
    Observer(JobRunner& runner, Messages& window) : runner_(runner), window_(window) {}

    // Set when the window closes: the stop question is answered Yes unseen.
    std::atomic<bool> answerStopYes{false};

    void RowsDone(int64_t done, int64_t total) override {
        rowsDone_.store(done, std::memory_order_relaxed);
        rowsTotal_.store(total, std::memory_order_relaxed);
        rowsSeq_.store(seq_.fetch_add(1, std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    void StatusChanged(StatusTarget target, std::string_view text) override {
        const std::lock_guard lock(mutex_);
        const auto i = static_cast<size_t>(target);
        texts_[i].assign(text);
        seqs_[i] = seq_.fetch_add(1, std::memory_order_relaxed) + 1;
        if (target == StatusTarget::Caption) rowsCaption_.assign(text);
    }

    void FileFinished(const std::filesystem::path& input, const std::filesystem::path& output,
                      const FileOutcome& outcome) override {
        QMetaObject::invokeMethod(
            &runner_,
            [&runner = runner_, input, output, outcome] {
                runner.PaintStatus();
                if (runner.onFileFinished) runner.onFileFinished(input, output, outcome);
            },
            Qt::QueuedConnection);
    }

    void Beep() override {
        QMetaObject::invokeMethod(&runner_, [&window = window_] { window.Beep(); });
    }

    // The texts that changed since the last call (window's thread).
    template <typename Paint> void TakeChanges(Paint&& paint) {
        std::array<std::string, 4> texts;
        std::array<bool, 4> changed{};
        {
            const std::lock_guard lock(mutex_);
            for (size_t i = 0; i < texts_.size(); ++i) {
                if (seqs_[i] > painted_[i]) {
                    texts[i] = texts_[i];
                    changed[i] = true;
                    painted_[i] = seqs_[i];
                }
            }
            // Row progress replaces the progress text when it came later.
            const uint64_t rows = rowsSeq_.load(std::memory_order_acquire);
            const auto progress = static_cast<size_t>(StatusTarget::Progress);
            if (rows > seqs_[progress] && rows > paintedRows_) {
                paintedRows_ = rows;
                texts[progress] = rowsCaption_ + " row " +
                                  std::to_string(rowsDone_.load(std::memory_order_relaxed) + 1) +
                                  " of " +
                                  std::to_string(rowsTotal_.load(std::memory_order_relaxed));
                changed[progress] = true;
            }
        }
        for (size_t i = 0; i < texts.size(); ++i)
            if (changed[i]) paint(static_cast<StatusTarget>(i), texts[i]);
    }

protected:
    void DisplayMessage(std::string_view text, MessageIcon icon, std::string_view caption,
                        MessageKind kind) override {
        OnWindowThread([&] {
            runner_.PaintStatus();
            window_.Show(text, icon, caption, kind);
        });
    }

    bool DisplayQuestion(std::string_view text, MessageIcon icon,
                         std::string_view caption) override {
        if (answerStopYes) return true;
        bool answer = true;
        OnWindowThread([&] {
            // The window may have closed while the question was on its way.
            if (answerStopYes) return;
            runner_.PaintStatus();
            answer = window_.AskYesNo(text, icon, caption);
        });
        return answer;
    }

private:
    template <typename Call> void OnWindowThread(Call&& call) {
        if (QThread::currentThread() == runner_.thread())
            call();
        else
            QMetaObject::invokeMethod(&runner_, call, Qt::BlockingQueuedConnection);
    }

    JobRunner& runner_;
    Messages& window_;
    std::mutex mutex_;
    std::atomic<uint64_t> seq_{0};
    std::array<std::string, 4> texts_;
    std::array<uint64_t, 4> seqs_{};
    std::array<uint64_t, 4> painted_{};
    std::string rowsCaption_;
    std::atomic<int64_t> rowsDone_{0};
    std::atomic<int64_t> rowsTotal_{0};
    std::atomic<uint64_t> rowsSeq_{0};
    uint64_t paintedRows_ = 0;
};

JobRunner::JobRunner(Messages& windowMessages, QObject* parent)
    : QObject(parent), windowMessages_(windowMessages) {
    // At most about 20 paints a second.
    painter_.setInterval(50);
    connect(&painter_, &QTimer::timeout, this, [this] { PaintStatus(); });
}

JobRunner::~JobRunner() {
    if (running_) {
        StopWithoutAsking();
        WaitUntilFinished();
    }
    if (worker_.joinable()) worker_.join();
}

bool JobRunner::Start(const ProgramSettings& settings, const clsConversionOptions& options) {
    if (running_) return false;
    if (worker_.joinable()) worker_.join();
    // The job gets copies: the window may change its settings meanwhile, for the next job.
    settings_ = std::make_unique<ProgramSettings>(settings);
    observer_ = std::make_unique<Observer>(*this, windowMessages_);
    job_ = std::make_unique<ConversionJob>(*settings_, options, *observer_);
    running_ = true;
    painter_.start();
    worker_ = std::thread([this] {
        JobResult result;
        try {
            result = job_->BeginProcessing();
        } catch (const std::exception& e) {
            // The job catches its own failures; should one get here, it is said.
            observer_->Show(std::string("The conversion ended with an unexpected failure: ") +
                                e.what(),
                            MessageIcon::Critical);
            result.failed += 1;
            result.failuresShown += 1;
        }
        QMetaObject::invokeMethod(
            this, [this, result] { Finish(result); }, Qt::QueuedConnection);
    });
    return true;
}

void JobRunner::Pause() {
    if (running_) job_->ConversionJobPause();
}

void JobRunner::StopWithoutAsking() {
    if (!running_) return;
    observer_->answerStopYes = true;
    job_->RequestStop();
}

void JobRunner::WaitUntilFinished() {
    QEventLoop loop;
    while (running_)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
}

void JobRunner::PaintStatus() {
    if (!observer_) return;
    observer_->TakeChanges([this](StatusTarget target, const std::string& text) {
        if (onStatus) onStatus(target, text);
    });
}

void JobRunner::Finish(const JobResult& result) {
    if (worker_.joinable()) worker_.join();
    job_.reset();
    settings_.reset();
    running_ = false;
    painter_.stop();
    PaintStatus();
    if (onFinished) onFinished(result);
}

} // namespace vok

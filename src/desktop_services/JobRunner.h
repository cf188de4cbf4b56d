// Runs a conversion job for the desktop on a worker thread, so that the
// window repaints and Pause works at once.
//
// The job's messages and questions are shown by the window's thread as modal
// boxes while the job waits for them; its status texts and row progress are
// kept here and handed to the window at most about 20 times a second, so that
// a table of a million rows is not slowed by repainting. The window's thread
// never waits for the worker but in an event loop: the worker may itself be
// waiting for a box.
#pragma once

#include "base/JobObserver.h"
#include "job/ConversionJob.h"
#include "job/ProgramSettings.h"
#include "job/clsConversionOptions.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace vok {

class JobRunner : public QObject {
public:
    // Boxes go to `windowMessages`, which belongs to the window's thread.
    explicit JobRunner(Messages& windowMessages, QObject* parent = nullptr);
    ~JobRunner() override;

    // A status panel or the caption gets a new text (window's thread).
    std::function<void(StatusTarget, const std::string&)> onStatus;
    // A file of the job is done (window's thread).
    std::function<void(const std::filesystem::path& input, const std::filesystem::path& output,
                       const FileOutcome& outcome)>
        onFileFinished;
    // The job has ended; every status text has been handed over before.
    std::function<void(const JobResult&)> onFinished;

    // Starts a job with a copy of the settings and the options; false when
    // one is running already.
    bool Start(const ProgramSettings& settings, const clsConversionOptions& options);
    bool Running() const { return running_; }

    // The Pause button: a running export asks whether to terminate.
    void Pause();
    // Stops the job and answers its stop question Yes without asking: the
    // window is closing.
    void StopWithoutAsking();
    // Runs the window's events until the job has ended.
    void WaitUntilFinished();

    // Hands the status texts that changed since the last call to onStatus.
    void PaintStatus();

    class Observer;

private:
    void Finish(const JobResult& result);

    Messages& windowMessages_;
    std::unique_ptr<Observer> observer_;
    std::unique_ptr<ProgramSettings> settings_;
    std::unique_ptr<ConversionJob> job_;
    std::thread worker_;
    QTimer painter_;
    bool running_ = false;
};

} // namespace vok

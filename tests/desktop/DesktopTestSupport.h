// What the desktop tests share: messages that record and never wait, a shell
// whose dialogs answer from a script, and a main window over a fresh program
// folder.
#pragma once

#include "base/Messages.h"
#include "desktop/DesktopShell.h"
#include "desktop/frmMainMDI.h"
#include "job/ProgramSettings.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QString>
#include <QUrl>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vok::test {

// Records every box; questions are answered Yes unless `answers` says otherwise.
class RecordingMessages : public Messages {
public:
    struct Entry {
        std::string text;
        MessageIcon icon;
        std::string caption;
    };
    std::vector<Entry> shown;
    std::vector<Entry> asked;
    std::deque<bool> answers;
    // Called while a message is "on screen", on the window's thread.
    std::function<void(const std::string& text)> onShown;

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Entry& e : shown)
            texts.push_back(e.text);
        return texts;
    }

protected:
    void DisplayMessage(std::string_view text, MessageIcon icon, std::string_view caption,
                        MessageKind) override {
        shown.push_back({std::string(text), icon, std::string(caption)});
        if (onShown) onShown(std::string(text));
    }
    bool DisplayQuestion(std::string_view text, MessageIcon icon,
                         std::string_view caption) override {
        asked.push_back({std::string(text), icon, std::string(caption)});
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// The dialogs and the opener of the desktop, answered from a script.
struct ScriptedShell {
    std::vector<QUrl> opened;
    std::vector<QString> folderRequests;
    std::vector<OpenFileRequest> fileRequests;
    QString folderAnswer; // "" acts as Cancel
    QString fileAnswer;   // "" acts as Cancel

    DesktopShell Shell() {
        return {[this](const QUrl& url) {
                    opened.push_back(url);
                    return true;
                },
                [this](QWidget*, const QString& initial) {
                    folderRequests.push_back(initial);
                    return folderAnswer;
                },
                [this](QWidget*, const OpenFileRequest& request) {
                    fileRequests.push_back(request);
                    return fileAnswer;
                }};
    }
};

// A main window over a fresh program folder, loaded and shown.
struct DesktopFixture {
    TempDir dir;
    ProgramSettings program{dir.Path()};
    RecordingMessages messages;
    ScriptedShell shell;
    std::unique_ptr<frmMainMDI> window;

    // Writes config.ini (the default file when `config` is empty) and opens the window.
    void Open(const std::string& config = {});
    frmMain& Form() { return window->Form(); }

    template <typename T> T* Find(const char* name) const {
        return window->findChild<T*>(QLatin1String(name));
    }
    QComboBox* Box(const char* name) const { return Find<QComboBox>(name); }
    // Types a text into a path box as a user does.
    void Type(const char* box, const QString& text);
    QString Panel(const char* name) const;
};

// The examples shipped with the sources.
std::filesystem::path Example(std::string_view name);

} // namespace vok::test

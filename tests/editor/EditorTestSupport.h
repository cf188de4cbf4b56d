// What the recipe editor's tests share: prompts answered from a script and
// recorded, an editor over a fresh program folder, and a way to act on a
// modal dialog once it is up (the builders run their own event loops).
#pragma once

#include "editor/EditorPrompts.h"
#include "editor/frmExportBuilder.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Failed comparisons of texts and paths show both values.
namespace QTest {
template <> inline char* toString(const std::string& text) {
    return QTest::toPrettyCString(text.data(), static_cast<qsizetype>(text.size()));
}
template <> inline char* toString(const std::filesystem::path& path) {
    return toString(path.string());
}
} // namespace QTest

namespace vok::test {

class RecordingPrompts : public EditorPrompts {
public:
    struct Entry {
        std::string kind; // "warning", "error", "yes-no", "yes-no-cancel"
        QString text;
    };

    void Warn(QWidget*, const QString& text) override { shown.push_back({"warning", text}); }
    void ReportError(QWidget*, const QString& text) override { shown.push_back({"error", text}); }
    bool AskYesNo(QWidget*, const QString& text) override {
        shown.push_back({"yes-no", text});
        if (yesNo.empty()) return false;
        const bool answer = yesNo.front();
        yesNo.pop_front();
        return answer;
    }
    Answer AskYesNoCancel(QWidget*, const QString& text) override {
        shown.push_back({"yes-no-cancel", text});
        if (yesNoCancel.empty()) return Answer::Cancel;
        const Answer answer = yesNoCancel.front();
        yesNoCancel.pop_front();
        return answer;
    }
    std::optional<std::filesystem::path> PickFileToOpen(QWidget*,
                                                        const FileDialogRequest& request) override {
        openRequests.push_back(request);
        return Next(openPicks);
    }
    std::optional<std::filesystem::path> PickFileToSave(QWidget*,
                                                        const FileDialogRequest& request) override {
        saveRequests.push_back(request);
        return Next(savePicks);
    }

    // The texts shown of one kind, in order.
    QStringList Texts(const std::string& kind) const {
        QStringList texts;
        for (const Entry& e : shown)
            if (e.kind == kind) texts << e.text;
        return texts;
    }

    std::vector<Entry> shown;
    // Answers in order; when they run out: No, Cancel, and cancelled dialogs.
    std::deque<bool> yesNo;
    std::deque<Answer> yesNoCancel;
    std::deque<std::optional<std::filesystem::path>> openPicks;
    std::deque<std::optional<std::filesystem::path>> savePicks;
    std::vector<FileDialogRequest> openRequests;
    std::vector<FileDialogRequest> saveRequests;

private:
    static std::optional<std::filesystem::path>
    Next(std::deque<std::optional<std::filesystem::path>>& picks) {
        if (picks.empty()) return std::nullopt;
        auto pick = picks.front();
        picks.pop_front();
        return pick;
    }
};

// An editor as the conversion form makes it, over a fresh program folder.
struct EditorFixture {
    TempDir dir;
    std::shared_ptr<RecordingPrompts> prompts = std::make_shared<RecordingPrompts>();
    std::filesystem::path recipeBox;
    std::filesystem::path inputBox; // the conversion form's input file
    QPoint formTopLeft{100, 80};
    std::vector<int> helpTopics;
    QStringList modalFailures; // dialogs that OnModal waited for in vain
    QStringList modalLog;      // what the actions on modal dialogs saw
    frmExportBuilder editor{RecipeEditorHost{dir.Path(), [this] { return recipeBox; },
                                             [this] { return formTopLeft; },
                                             [this](int topic) { helpTopics.push_back(topic); },
                                             [this] { return inputBox; }, [] { return 8; }},
                            prompts};
};

// Runs `action` on the dialog of type T once it is the active modal widget.
// Register it before the click that opens the dialog; the action runs from
// the dialog's own event loop, so it may open further dialogs. When no such
// dialog comes up in time, the failure is noted in `failures` and whatever
// modal dialog is up is closed, so that a test never hangs. The waiting
// timers end with `context`, so a test that ends first takes them along.
// A dialog that is still open some seconds after it was answered would block
// its test until the test runner kills it: it is closed, and said.
template <typename T>
void ExpectClosed(QObject& context, QStringList& failures, QPointer<T> dialog,
                  int attemptsLeft = 1000) {
    QTimer::singleShot(10, &context, [&context, &failures, dialog, attemptsLeft] {
        if (dialog.isNull() || !dialog->isVisible()) return;
        if (attemptsLeft > 0) {
            ExpectClosed<T>(context, failures, dialog, attemptsLeft - 1);
            return;
        }
        failures << QStringLiteral("the %1 stayed open after it was answered")
                        .arg(T::staticMetaObject.className());
        dialog->reject();
    });
}

template <typename T>
void OnModal(QObject& context, QStringList& failures, std::function<void(T&)> action,
             int attemptsLeft = 500) {
    QTimer::singleShot(10, &context,
                       [&context, &failures, action = std::move(action), attemptsLeft] {
                           QWidget* modal = QApplication::activeModalWidget();
                           if (auto* dialog = qobject_cast<T*>(modal)) {
                               action(*dialog);
                               ExpectClosed<T>(context, failures, dialog);
                               return;
                           }
                           if (attemptsLeft > 0) {
                               OnModal<T>(context, failures, action, attemptsLeft - 1);
                               return;
                           }
                           failures << QStringLiteral("the expected %1 did not come up")
                                           .arg(T::staticMetaObject.className());
                           if (modal != nullptr) modal->close();
                       });
}

// The same for the dialogs an editor fixture opens.
template <typename T> void OnModal(EditorFixture& f, std::function<void(T&)> action) {
    OnModal<T>(f.editor, f.modalFailures, std::move(action));
}

} // namespace vok::test

// The questions, warnings and file dialogs of the recipe editor and its
// builders go through this one interface: the desktop shows modal boxes and
// file dialogs, tests answer from a script and record what was asked.
#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <initializer_list>
#include <optional>

class QWidget;

namespace vok {

enum class Answer { Yes, No, Cancel };

// What a file dialog shows when it opens.
struct FileDialogRequest {
    QString title;
    QStringList filters; // the first is selected
    std::filesystem::path folder;
    std::filesystem::path fileName; // put in the file name field; may be empty
};

class EditorPrompts {
public:
    virtual ~EditorPrompts() = default;

    // A warning with an OK button: a box's content was corrected.
    virtual void Warn(QWidget* owner, const QString& text) = 0;
    // An error with an OK button: something the user asked for did not happen.
    virtual void ReportError(QWidget* owner, const QString& text) = 0;
    virtual bool AskYesNo(QWidget* owner, const QString& text) = 0;
    virtual Answer AskYesNoCancel(QWidget* owner, const QString& text) = 0;
    // The chosen path, or nothing when the dialog was cancelled.
    virtual std::optional<std::filesystem::path>
    PickFileToOpen(QWidget* owner, const FileDialogRequest& request) = 0;
    virtual std::optional<std::filesystem::path>
    PickFileToSave(QWidget* owner, const FileDialogRequest& request) = 0;
};

// Modal message boxes captioned with the program's title, and Qt's file dialogs.
class QtEditorPrompts : public EditorPrompts {
public:
    void Warn(QWidget* owner, const QString& text) override;
    void ReportError(QWidget* owner, const QString& text) override;
    bool AskYesNo(QWidget* owner, const QString& text) override;
    Answer AskYesNoCancel(QWidget* owner, const QString& text) override;
    std::optional<std::filesystem::path> PickFileToOpen(QWidget* owner,
                                                        const FileDialogRequest& request) override;
    std::optional<std::filesystem::path> PickFileToSave(QWidget* owner,
                                                        const FileDialogRequest& request) override;
};

// Paths meet Qt's strings here and nowhere else in the editor; nothing
// converts separators.
QString PathText(const std::filesystem::path& path);
std::filesystem::path PathFromText(const QString& text);

// Tab moves through `widgets` in the order given.
void SetTabOrder(std::initializer_list<QWidget*> widgets);

} // namespace vok

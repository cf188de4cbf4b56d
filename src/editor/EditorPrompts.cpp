#include "editor/EditorPrompts.h"

#include "base/Messages.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

namespace vok {

namespace {

QString Caption() {
    return QString::fromUtf8(kProgramTitle.data(), static_cast<qsizetype>(kProgramTitle.size()));
}

std::optional<std::filesystem::path> PickFile(QWidget* owner, const FileDialogRequest& request,
                                              QFileDialog::AcceptMode mode) {
    QFileDialog dialog(owner, request.title);
    dialog.setAcceptMode(mode);
    // A name that does not exist yet is a name to save under later.
    dialog.setFileMode(QFileDialog::AnyFile);
    // The editor asks its own overwrite question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(request.filters);
    if (!request.filters.isEmpty()) dialog.selectNameFilter(request.filters.front());
    if (!request.folder.empty()) dialog.setDirectory(PathText(request.folder));
    if (!request.fileName.empty()) dialog.selectFile(PathText(request.fileName));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
    return PathFromText(chosen.front());
}

} // namespace

void QtEditorPrompts::Warn(QWidget* owner, const QString& text) {
    QMessageBox::warning(owner, Caption(), text);
}

void QtEditorPrompts::ReportError(QWidget* owner, const QString& text) {
    QMessageBox::critical(owner, Caption(), text);
}

bool QtEditorPrompts::AskYesNo(QWidget* owner, const QString& text) {
    return QMessageBox::question(owner, Caption(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

Answer QtEditorPrompts::AskYesNoCancel(QWidget* owner, const QString& text) {
    switch (QMessageBox::question(owner, Caption(), text,
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                  QMessageBox::Yes)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel; // Escape and closing the box keep everything as it is
    }
}

std::optional<std::filesystem::path>
QtEditorPrompts::PickFileToOpen(QWidget* owner, const FileDialogRequest& request) {
    return PickFile(owner, request, QFileDialog::AcceptOpen);
}

std::optional<std::filesystem::path>
QtEditorPrompts::PickFileToSave(QWidget* owner, const FileDialogRequest& request) {
    return PickFile(owner, request, QFileDialog::AcceptSave);
}

QString PathText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

std::filesystem::path PathFromText(const QString& text) {
    return std::filesystem::path(text.toStdString());
}

void SetTabOrder(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous != nullptr) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

} // namespace vok

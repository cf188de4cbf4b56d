// The recipe editor's preview window: the report in a fixed-pitch view with
// each table's lines shaded, its key lines marked and its field boundaries
// drawn as vertical rules; below, the rows the tables yield and the messages
// the run would show. It follows the editor's text: a change is previewed at
// most a few times a second, on a worker thread, and only the newest result
// is shown. Nothing is written.
#pragma once

#include "editor/EditorPrompts.h"
#include "engine/RecipePreview.h"

#include <QAbstractScrollArea>
#include <QAbstractTableModel>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRect>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPainter;

namespace vok {

// The report with the tables of a preview drawn over it.
class ReportView : public QAbstractScrollArea {
    Q_OBJECT

public:
    struct Field {
        int64_t line = 0;
        int32_t start = 0, end = 0; // 1-based character positions, inclusive
    };

    explicit ReportView(QWidget* parent = nullptr);

    void SetContent(std::shared_ptr<ReportLineSource> report, std::vector<PreviewTable> tables);
    // Selects a field and scrolls it into sight.
    void SelectField(const Field& field);
    std::optional<Field> SelectedField() const { return selected_; } // for the tests
    // The character positions (0-based, from the line's left) where rules
    // stand on a report line: both edges of every field of the tables that
    // take the line.
    std::vector<int32_t> RulesOnLine(int64_t line) const;
    // The line belongs to a table that leaves it out (greyed).
    bool LeftOut(int64_t line) const;
    // The 0-based index of the table that takes the line, if any.
    std::optional<size_t> TableOfLine(int64_t line) const;
    int64_t FirstVisibleLine() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Where things lie in the viewport while it is painted.
    struct PaintFrame {
        qreal cw = 1;     // a character's advance
        int lh = 1;       // a line's height
        int gutter = 0;   // the line numbers' width
        int textLeft = 0; // the text's left edge, scrolled
        int64_t lineCount = 0, first = 1, last = 0;
        QRect area, textArea;
        int Top(int64_t line) const { return static_cast<int>((line - first) * lh); }
    };
    void PaintTables(QPainter& painter, const PaintFrame& frame) const;
    void PaintSelection(QPainter& painter, const PaintFrame& frame) const;
    int32_t PaintLines(QPainter& painter, const PaintFrame& frame) const;
    void PaintRules(QPainter& painter, const PaintFrame& frame) const;
    void UpdateScrollBars();
    // A character's advance, fractional as the text is laid out.
    qreal CharWidth() const;
    int LineHeight() const;
    int GutterWidth() const;

    std::shared_ptr<ReportLineSource> report_;
    std::vector<PreviewTable> tables_;
    std::optional<Field> selected_;
    int32_t widestLine_ = 0;
};

// The rows of every table of a preview, for the grid: the table, the report
// line, then a column for each sheet column any table writes. Numbers stand
// on the right (Qt::UserRole tells a number), text as stored on the left.
class PreviewRowsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    void SetResult(std::shared_ptr<const PreviewResult> result);
    // The table's index and the report line of a grid row; the sheet column of a grid column.
    std::pair<size_t, int64_t> SourceOf(int row) const { return rows_[static_cast<size_t>(row)]; }
    const std::string& LettersOf(int column) const {
        return letters_[static_cast<size_t>(column - kFirstCellColumn)];
    }
    static constexpr int kFirstCellColumn = 2;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const PreviewCell* CellAt(int row, int column) const;

    std::shared_ptr<const PreviewResult> result_;
    std::vector<std::pair<size_t, int64_t>> rows_;
    std::vector<std::string> letters_;
    // Per table, for each grid column of cells: the table's column, or -1.
    std::vector<std::vector<int>> columnOf_;
};

// What the preview window needs from the editor that opens it.
struct PreviewHost {
    // The recipe as the editor holds it.
    std::function<std::string()> recipeText;
    // The report proposed when the window opens: the conversion form's input.
    std::function<std::filesystem::path()> proposedReport;
    std::function<int32_t()> tabSize;
    std::shared_ptr<EditorPrompts> prompts;
};

class frmPreview : public QWidget {
    Q_OBJECT

    // First: they go after the widgets they hold, which are members too.
    QWidget frameReport_; // the report's label, box and button
    QHBoxLayout reportRow_;
    QVBoxLayout layout_;

public:
    // Rows of each table the grid shows.
    static constexpr int64_t kGridRowsPerTable = 500;
    // The shortest time between two previews while the user types, in ms.
    static constexpr int kRefreshInterval = 300;

    explicit frmPreview(PreviewHost host, QWidget* parent = nullptr);
    ~frmPreview() override;

    // The report box takes the proposed report unless it holds one already.
    void ProposeReport();
    // The recipe changed: a preview follows within kRefreshInterval.
    void RecipeChanged();
    // A preview now, of the text and the report as they stand.
    void RefreshNow();
    // Previews asked of the worker so far: the tests check that edits are debounced.
    int PreviewsAsked() const { return previewsAsked_; }
    // The result the window shows; null before the first.
    const PreviewResult* Shown() const { return shown_.get(); }

    QLabel lblReport;
    QLineEdit txtReport;
    QPushButton cmdBrowse;
    QLabel lblSummary;
    QSplitter splitter;
    ReportView reportView;
    QTableView gridRows;
    QListWidget lstMessages;

signals:
    // A result was put on the window: what the tests and bench/ wait for.
    void ResultShown();

private:
    void ShowResult(std::shared_ptr<const PreviewResult> result,
                    std::shared_ptr<ReportLineSource> report);
    void cmdBrowse_Click();
    void gridRows_CellClicked(int row, int column);

    PreviewHost host_;
    QTimer refresh_;
    std::shared_ptr<const PreviewResult> shown_;
    PreviewRowsModel rows_;
    int previewsAsked_ = 0;
    // Last: its thread ends before the window's members go.
    // Texts rebuilt from a PDF report, shared by the previews and the report view.
    std::shared_ptr<RebuiltTextMemo> pdfTexts_ = std::make_shared<RebuiltTextMemo>();
    std::unique_ptr<PreviewWorker> worker_;
};

} // namespace vok

#include "editor/frmPreview.h"

#include "base/modUtilityString.h"
#include "desktop_services/modUtilityForm.h"

#include <QFont>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace vok {

namespace {

QFont FixedPitchFont() {
    // The editor's font, so that a template lines up with the report.
    QFont courier("Courier");
    courier.setStyleHint(QFont::TypeWriter);
    courier.setFixedPitch(true);
    return courier;
}

// Light shades for the tables' lines and a darker one of each for their
// marks, in turn.
QColor TableShade(size_t table) {
    static constexpr QRgb kShades[] = {0xdcebff, 0xdff5dc, 0xfff0d2, 0xf3e0f7, 0xdcf5f3, 0xfbe0e0};
    return QColor::fromRgb(kShades[table % std::size(kShades)]);
}
QColor TableMark(size_t table) {
    return TableShade(table).darker(170);
}

// Lines a table takes in a report of `lineCount` lines: first and last; an
// empty range when the run did not find them.
std::pair<int64_t, int64_t> LinesOf(const PreviewTable& table, int64_t lineCount) {
    if (table.firstLine == 0 && table.lastLine == 0) return {1, 0};
    return {std::max<int64_t>(table.firstLine, 1), std::min(table.lastLine, lineCount)};
}

// Sheet columns in the sheet's order: "Z" before "AA".
bool LettersBefore(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

QString Plural(int64_t count, const char* word) {
    return QStringLiteral("%1 %2%3").arg(count).arg(word).arg(count == 1 ? "" : "s");
}

} // namespace

ReportView::ReportView(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName("reportView");
    setFont(FixedPitchFont());
    viewport()->setBackgroundRole(QPalette::Base);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

qreal ReportView::CharWidth() const {
    return std::max<qreal>(1, QFontMetricsF(font()).horizontalAdvance(QLatin1Char('M')));
}
int ReportView::LineHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}
int ReportView::GutterWidth() const {
    const int64_t lines = report_ ? report_->LineCount() : 0;
    const int digits = static_cast<int>(std::to_string(std::max<int64_t>(lines, 1)).size());
    // The line number, then room for a key line's mark.
    return static_cast<int>(std::ceil((digits + 3) * CharWidth()));
}

void ReportView::SetContent(std::shared_ptr<ReportLineSource> report,
                            std::vector<PreviewTable> tables) {
    const bool sameReport = report_ && report && report_->Path() == report->Path();
    report_ = std::move(report);
    tables_ = std::move(tables);
    if (!sameReport) widestLine_ = 0;
    for (const PreviewTable& table : tables_)
        for (const PreviewColumn& column : table.columns)
            widestLine_ = std::max(widestLine_, column.end);
    // A selection made on the earlier layout no longer shows a field.
    selected_.reset();
    UpdateScrollBars();
    viewport()->update();
}

std::optional<size_t> ReportView::TableOfLine(int64_t line) const {
    const int64_t lineCount = report_ ? report_->LineCount() : 0;
    for (size_t t = 0; t < tables_.size(); ++t) {
        const auto [first, last] = LinesOf(tables_[t], lineCount);
        if (line >= first && line <= last) return t;
    }
    return std::nullopt;
}

bool ReportView::LeftOut(int64_t line) const {
    const std::optional<size_t> t = TableOfLine(line);
    return t && PreviewLineKind(tables_[*t], line).kind != LineKind::Kept;
}

std::vector<int32_t> ReportView::RulesOnLine(int64_t line) const {
    std::vector<int32_t> rules;
    const int64_t lineCount = report_ ? report_->LineCount() : 0;
    for (const PreviewTable& table : tables_) {
        const auto [first, last] = LinesOf(table, lineCount);
        if (line < first || line > last) continue;
        for (const PreviewColumn& column : table.columns) {
            if (column.group > 0 || column.start < 1 || column.end < column.start) continue;
            rules.push_back(column.start - 1);
            rules.push_back(column.end);
        }
    }
    std::sort(rules.begin(), rules.end());
    rules.erase(std::unique(rules.begin(), rules.end()), rules.end());
    return rules;
}

int64_t ReportView::FirstVisibleLine() const {
    return int64_t{verticalScrollBar()->value()} + 1;
}

void ReportView::SelectField(const Field& field) {
    selected_ = field;
    // The line in the middle of the view, the field's start in sight.
    const int visible = std::max(1, viewport()->height() / LineHeight());
    verticalScrollBar()->setValue(static_cast<int>(
        std::clamp<int64_t>(field.line - 1 - visible / 2, 0, verticalScrollBar()->maximum())));
    const auto left = static_cast<int>((field.start - 1) * CharWidth());
    const auto right = static_cast<int>(std::ceil(field.end * CharWidth()));
    const int textWidth = viewport()->width() - GutterWidth();
    QScrollBar& across = *horizontalScrollBar();
    if (left < across.value() || right > across.value() + textWidth)
        across.setValue(std::max(0, left - textWidth / 4));
    viewport()->update();
}

void ReportView::UpdateScrollBars() {
    const int64_t lines = report_ ? report_->LineCount() : 0;
    const int visible = std::max(1, viewport()->height() / LineHeight());
    verticalScrollBar()->setRange(
        0, static_cast<int>(std::clamp<int64_t>(lines - visible, 0, INT32_MAX)));
    verticalScrollBar()->setPageStep(visible);
    const int textWidth = std::max(0, viewport()->width() - GutterWidth());
    horizontalScrollBar()->setRange(
        0, std::max(0, static_cast<int>((widestLine_ + 2) * CharWidth()) - textWidth));
    horizontalScrollBar()->setPageStep(std::max(1, textWidth));
    horizontalScrollBar()->setSingleStep(static_cast<int>(std::ceil(CharWidth())));
}

void ReportView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void ReportView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QRect area = viewport()->rect();
    painter.fillRect(area, palette().base());
    if (!report_) return;
    PaintFrame frame;
    frame.cw = CharWidth();
    frame.lh = LineHeight();
    frame.gutter = GutterWidth();
    frame.textLeft = frame.gutter - horizontalScrollBar()->value();
    frame.lineCount = report_->LineCount();
    frame.first = FirstVisibleLine();
    frame.last = std::min(frame.lineCount, frame.first + area.height() / frame.lh + 1);
    frame.area = area;
    frame.textArea =
        QRect(frame.gutter, 0, std::max(0, area.width() - frame.gutter), area.height());
    PaintTables(painter, frame);
    PaintSelection(painter, frame);
    const int32_t widest = PaintLines(painter, frame);
    PaintRules(painter, frame);
    if (widest > widestLine_) {
        widestLine_ = widest;
        UpdateScrollBars();
    }
}

void ReportView::PaintTables(QPainter& painter, const PaintFrame& frame) const {
    // Each table's lines shaded, its key lines framed and marked in the gutter.
    const int width = frame.area.width() - frame.gutter;
    for (int64_t line = frame.first; line <= frame.last; ++line) {
        if (const std::optional<size_t> t = TableOfLine(line))
            painter.fillRect(QRect(frame.gutter, frame.Top(line), width, frame.lh), TableShade(*t));
    }
    for (size_t t = 0; t < tables_.size(); ++t) {
        for (const int64_t key : {tables_[t].startKeyLine, tables_[t].endKeyLine}) {
            if (key < frame.first || key > frame.last) continue;
            painter.setPen(QPen(TableMark(t), 1, Qt::DashLine));
            painter.drawRect(QRect(frame.gutter, frame.Top(key), width - 1, frame.lh - 1));
            painter.fillRect(
                QRectF(frame.gutter - 2 * frame.cw, frame.Top(key) + 2, frame.cw, frame.lh - 4),
                TableMark(t));
        }
    }
}

void ReportView::PaintSelection(QPainter& painter, const PaintFrame& frame) const {
    if (!selected_ || selected_->line < frame.first || selected_->line > frame.last) return;
    painter.setClipRect(frame.textArea);
    painter.fillRect(QRectF(frame.textLeft + (selected_->start - 1) * frame.cw,
                            frame.Top(selected_->line),
                            (selected_->end - selected_->start + 1) * frame.cw, frame.lh),
                     palette().highlight());
    painter.setClipping(false);
}

int32_t ReportView::PaintLines(QPainter& painter, const PaintFrame& frame) const {
    // The line numbers and the text; gives the widest line seen.
    const qreal cw = frame.cw;
    const int ascent = fontMetrics().ascent();
    int32_t widest = widestLine_;
    for (int64_t line = frame.first; line <= frame.last; ++line) {
        const int y = frame.Top(line) + ascent;
        painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
        const QString number = QString::number(line);
        painter.drawText(QPointF(frame.gutter - static_cast<qreal>(3 + number.size()) * cw, y),
                         number);
        const QString text = QString::fromStdString(report_->Line(line));
        widest = std::max(widest, static_cast<int32_t>(text.size()));
        painter.setClipRect(frame.textArea);
        if (!selected_ || selected_->line != line) {
            // A line its table leaves out is greyed: it makes no row.
            painter.setPen(palette().color(LeftOut(line) ? QPalette::Disabled : QPalette::Active,
                                           QPalette::Text));
            painter.drawText(QPointF(frame.textLeft, y), text);
        } else {
            // The field in the selection's own colour, the rest as usual.
            const int start = selected_->start - 1, count = selected_->end - start;
            painter.setPen(palette().color(QPalette::Text));
            painter.drawText(QPointF(frame.textLeft, y), text.left(start));
            painter.drawText(QPointF(frame.textLeft + (start + count) * cw, y),
                             text.mid(start + count));
            painter.setPen(palette().color(QPalette::HighlightedText));
            painter.drawText(QPointF(frame.textLeft + start * cw, y), text.mid(start, count));
        }
        painter.setClipping(false);
    }
    return widest;
}

void ReportView::PaintRules(QPainter& painter, const PaintFrame& frame) const {
    // The field boundaries over each table's lines.
    painter.setClipRect(frame.textArea);
    for (size_t t = 0; t < tables_.size(); ++t) {
        const auto [begin, end] = LinesOf(tables_[t], frame.lineCount);
        const int64_t from = std::max(begin, frame.first), to = std::min(end, frame.last);
        if (from > to) continue;
        painter.setPen(QPen(TableMark(t), 1));
        for (const int32_t rule : RulesOnLine(from)) {
            const qreal x = frame.textLeft + rule * frame.cw;
            painter.drawLine(QPointF(x, frame.Top(from)), QPointF(x, frame.Top(to) + frame.lh - 1));
        }
    }
}

void PreviewRowsModel::SetResult(std::shared_ptr<const PreviewResult> result) {
    beginResetModel();
    result_ = std::move(result);
    letters_.clear();
    rows_.clear();
    columnOf_.clear();
    for (const PreviewTable& table : result_->tables)
        for (const PreviewColumn& column : table.columns)
            letters_.push_back(column.letters);
    std::sort(letters_.begin(), letters_.end(), LettersBefore);
    letters_.erase(std::unique(letters_.begin(), letters_.end()), letters_.end());
    for (size_t t = 0; t < result_->tables.size(); ++t) {
        const PreviewTable& table = result_->tables[t];
        for (size_t r = 0; r < table.rows.size(); ++r)
            rows_.emplace_back(t, PreviewRowLine(table, static_cast<int64_t>(r)));
        std::vector<int>& columns = columnOf_.emplace_back(letters_.size(), -1);
        for (size_t c = 0; c < table.columns.size(); ++c) {
            const auto at = std::lower_bound(letters_.begin(), letters_.end(),
                                             table.columns[c].letters, LettersBefore);
            columns[static_cast<size_t>(at - letters_.begin())] = static_cast<int>(c);
        }
    }
    endResetModel();
}

int PreviewRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PreviewRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kFirstCellColumn + static_cast<int>(letters_.size());
}

const PreviewCell* PreviewRowsModel::CellAt(int row, int column) const {
    const size_t t = rows_[static_cast<size_t>(row)].first;
    const PreviewTable& table = result_->tables[t];
    const int c = columnOf_[t][static_cast<size_t>(column - kFirstCellColumn)];
    // The table's rows follow one another in the grid, from its first.
    const auto first = static_cast<size_t>(
        std::find_if(rows_.begin(), rows_.end(), [t](const auto& r) { return r.first == t; }) -
        rows_.begin());
    const std::vector<PreviewCell>& cells = table.rows[static_cast<size_t>(row) - first];
    return c >= 0 && static_cast<size_t>(c) < cells.size() ? &cells[static_cast<size_t>(c)]
                                                           : nullptr;
}

QVariant PreviewRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const auto [t, line] = rows_[static_cast<size_t>(index.row())];
    if (index.column() < kFirstCellColumn) {
        switch (role) {
        case Qt::DisplayRole:
            return index.column() == 0 ? QVariant(result_->tables[t].number)
                                       : QVariant(static_cast<qlonglong>(line));
        case Qt::TextAlignmentRole:
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        case Qt::BackgroundRole:
            return TableShade(t);
        default:
            return {};
        }
    }
    const PreviewCell* cell = CellAt(index.row(), index.column());
    if (!cell) return {};
    const bool number = cell->kind == TypedValue::Kind::Number;
    switch (role) {
    case Qt::DisplayRole:
        // A number as typed, without the blanks around it; text as stored.
        return QString::fromStdString(number ? std::string(Trim(cell->text)) : cell->text);
    case Qt::TextAlignmentRole:
        return QVariant((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case Qt::UserRole:
        return number;
    default:
        return {};
    }
}

QVariant PreviewRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (section == 0) return QStringLiteral("Table");
    if (section == 1) return QStringLiteral("Line");
    if (section < columnCount()) return QString::fromStdString(LettersOf(section));
    return {};
}

frmPreview::frmPreview(PreviewHost host, QWidget* parent)
    : QWidget(parent, Qt::Window), host_(std::move(host)) {
    setObjectName("frmPreview");
    setWindowTitle("Recipe Preview");

    lblReport.setText("&Report:");
    lblReport.setBuddy(&txtReport);
    txtReport.setObjectName("txtReport");
    cmdBrowse.setText("Browse...");
    cmdBrowse.setAutoDefault(false);
    frameReport_.setLayout(&reportRow_);
    reportRow_.setContentsMargins(0, 0, 0, 0);
    reportRow_.addWidget(&lblReport);
    reportRow_.addWidget(&txtReport, 1);
    reportRow_.addWidget(&cmdBrowse);

    lblSummary.setObjectName("lblSummary");
    lblSummary.setTextInteractionFlags(Qt::TextSelectableByMouse);

    gridRows.setObjectName("gridRows");
    gridRows.setModel(&rows_);
    gridRows.setFont(FixedPitchFont());
    gridRows.setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridRows.setSelectionMode(QAbstractItemView::SingleSelection);
    gridRows.horizontalHeader()->setResizeContentsPrecision(100);
    gridRows.verticalHeader()->setVisible(false);
    gridRows.verticalHeader()->setDefaultSectionSize(gridRows.fontMetrics().lineSpacing() + 4);
    lstMessages.setObjectName("lstMessages");
    lstMessages.setWordWrap(true);

    splitter.setOrientation(Qt::Vertical);
    splitter.addWidget(&reportView);
    splitter.addWidget(&gridRows);
    splitter.addWidget(&lstMessages);
    splitter.setStretchFactor(0, 5);
    splitter.setStretchFactor(1, 3);
    splitter.setStretchFactor(2, 1);
    splitter.setChildrenCollapsible(false);

    setLayout(&layout_);
    layout_.addWidget(&frameReport_);
    layout_.addWidget(&lblSummary);
    layout_.addWidget(&splitter, 1);

    refresh_.setSingleShot(true);
    refresh_.setInterval(kRefreshInterval);
    connect(&refresh_, &QTimer::timeout, this, [this] { RefreshNow(); });
    connect(&txtReport, &QLineEdit::editingFinished, this, [this] { RefreshNow(); });
    connect(&cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
    connect(gridRows.selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                gridRows_CellClicked(current.row(), current.column());
            });

    worker_ = std::make_unique<PreviewWorker>([this](std::shared_ptr<const PreviewResult> result) {
        // The report's scan for the view happens here, off the window's thread.
        auto report =
            std::make_shared<ReportLineSource>(result->report, result->tabSize, pdfTexts_.get());
        report->LineCount();
        QMetaObject::invokeMethod(
            this, [this, result, report] { ShowResult(result, report); }, Qt::QueuedConnection);
    });

    resize(PixelsFromTwips(12600, this), PixelsFromTwips(9600, this));
}

frmPreview::~frmPreview() {
    // The worker's thread may be handing on a result: it ends while the window is whole.
    worker_.reset();
}

void frmPreview::ProposeReport() {
    if (!txtReport.text().isEmpty() || !host_.proposedReport) return;
    const std::filesystem::path proposed = host_.proposedReport();
    // A folder pattern is not one report.
    if (proposed.native().find('*') != std::string::npos) return;
    txtReport.setText(PathText(proposed));
}

void frmPreview::RecipeChanged() {
    // A change while one is pending joins it: at most one preview per interval.
    if (!refresh_.isActive()) refresh_.start();
}

void frmPreview::RefreshNow() {
    refresh_.stop();
    if (txtReport.text().trimmed().isEmpty()) {
        worker_->Cancel();
        lblSummary.setText("Choose a report to preview the recipe on.");
        return;
    }
    PreviewRequest request;
    request.source = PreviewRequest::Source::RecipeText;
    request.recipeText = host_.recipeText ? host_.recipeText() : std::string();
    request.report = PathFromText(txtReport.text().trimmed());
    request.tabSize = host_.tabSize ? host_.tabSize() : 8;
    request.rowLimit = kGridRowsPerTable;
    request.pdfTexts = pdfTexts_;
    worker_->Submit(std::move(request));
    ++previewsAsked_;
}

void frmPreview::ShowResult(std::shared_ptr<const PreviewResult> result,
                            std::shared_ptr<ReportLineSource> report) {
    // A newer request is on its way: this one is already out of date.
    if (result->generation != worker_->Latest()) return;
    shown_ = std::move(result);
    reportView.SetContent(std::move(report), shown_->tables);
    rows_.SetResult(shown_);
    // The widths of the first rows' contents: the view measures no more than those.
    gridRows.resizeColumnsToContents();

    lstMessages.clear();
    for (const PreviewMessage& message : shown_->messages) {
        QStyle::StandardPixmap icon = QStyle::SP_MessageBoxInformation;
        if (message.icon == MessageIcon::Critical) icon = QStyle::SP_MessageBoxCritical;
        if (message.icon == MessageIcon::Exclamation || message.icon == MessageIcon::Warning)
            icon = QStyle::SP_MessageBoxWarning;
        lstMessages.addItem(std::make_unique<QListWidgetItem>(style()->standardIcon(icon),
                                                              QString::fromStdString(message.text))
                                .release());
    }

    int64_t rows = 0;
    QStringList tables;
    for (const PreviewTable& table : shown_->tables) {
        rows += table.rowCount;
        tables << (table.rowCount > 0 ? QStringLiteral("Table %1: lines %2-%3")
                                            .arg(table.number)
                                            .arg(table.firstLine)
                                            .arg(PreviewLastLine(table))
                                      : QStringLiteral("Table %1: no rows").arg(table.number));
    }
    lblSummary.setText(
        QStringLiteral("%1, %2, %3 (%4 ms)%5")
            .arg(Plural(static_cast<int64_t>(shown_->tables.size()), "table"))
            .arg(Plural(rows, "row"))
            .arg(Plural(static_cast<int64_t>(shown_->messages.size()), "message"))
            .arg(shown_->elapsedMicroseconds / 1000)
            .arg(tables.isEmpty() ? QString() : QStringLiteral(". ") + tables.join("; ")));
    emit ResultShown();
}

void frmPreview::gridRows_CellClicked(int row, int column) {
    if (!shown_ || row < 0 || row >= rows_.rowCount() ||
        column < PreviewRowsModel::kFirstCellColumn || column >= rows_.columnCount())
        return;
    const auto [t, line] = rows_.SourceOf(row);
    const std::string& letters = rows_.LettersOf(column);
    const PreviewTable& table = shown_->tables[t];
    for (const PreviewColumn& field : table.columns) {
        if (field.letters != letters) continue;
        // A group's field lies on the group line the row carries it from.
        const int64_t source = field.group > 0 ? PreviewGroupLine(table, field.group, line) : line;
        if (source > 0) reportView.SelectField({source, field.start, field.end});
        return;
    }
}

void frmPreview::cmdBrowse_Click() {
    FileDialogRequest request{
        "Select Report", {"Reports (*.txt *.prn *.pdf)", "All Files (*.*)"}, {}, {}};
    const std::filesystem::path current = PathFromText(txtReport.text().trimmed());
    if (!current.empty()) {
        request.folder = current.parent_path();
        request.fileName = current.filename();
    }
    const std::optional<std::filesystem::path> chosen =
        host_.prompts->PickFileToOpen(this, request);
    if (!chosen) return;
    txtReport.setText(PathText(*chosen));
    RefreshNow();
}

} // namespace vok

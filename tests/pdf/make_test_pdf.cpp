// make_test_pdf TEXT PDF [--font FAMILY] [--image] [--points SIZE]: prints a
// text report to PDF with Qt's PDF writer, the way a print-to-PDF of a print
// stream does: one page per form feed, each line on its own baseline, in a
// fixed-pitch font unless told otherwise. --image draws each page as a
// picture only (a scan, no text layer).
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QStringList>
#include <cstdio>

namespace {

struct Options {
    QString text, pdf, family = QStringLiteral("DejaVu Sans Mono");
    double points = 8;
    bool image = false;
};

void DrawPage(QPainter& painter, const QStringList& lines, const QFont& font, double dpi) {
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    const double left = dpi / 2, top = dpi / 2 + metrics.ascent();
    const double step = metrics.lineSpacing();
    for (qsizetype i = 0; i < lines.size(); ++i)
        painter.drawText(QPointF(left, top + step * static_cast<double>(i)), lines[i]);
}

void DrawPageAsImage(QPainter& painter, const QStringList& lines, const QFont& font,
                     const QRect& page) {
    QImage picture(page.width() / 8, page.height() / 8, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter onPicture(&picture);
    QFont small(font);
    small.setPointSizeF(font.pointSizeF());
    DrawPage(onPicture, lines, small, 150);
    onPicture.end();
    painter.drawImage(page, picture);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Options options;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == "--font" && i + 1 < args.size())
            options.family = args[++i];
        else if (args[i] == "--points" && i + 1 < args.size())
            options.points = args[++i].toDouble();
        else if (args[i] == "--image")
            options.image = true;
        else if (options.text.isEmpty())
            options.text = args[i];
        else
            options.pdf = args[i];
    }
    QFile in(options.text);
    if (options.pdf.isEmpty() || !in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "usage: make_test_pdf TEXT PDF [--font F] [--points N] [--image]\n");
        return 2;
    }
    const QString text = QString::fromUtf8(in.readAll());
    QPdfWriter writer(options.pdf);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setPageOrientation(QPageLayout::Landscape);
    writer.setResolution(1200);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QFont font(options.family);
    font.setPointSizeF(options.points);
    font.setStyleHint(QFont::TypeWriter);
    QPainter painter(&writer);
    const QStringList pages = text.split(QChar('\f'));
    for (qsizetype p = 0; p < pages.size(); ++p) {
        QString page = pages[p];
        if (page.endsWith('\n')) page.chop(1);
        if (p > 0) writer.newPage();
        const QStringList lines = page.split('\n');
        if (options.image)
            DrawPageAsImage(painter, lines, font, painter.viewport());
        else
            DrawPage(painter, lines, font, writer.resolution());
    }
    return painter.end() ? 0 : 1;
}

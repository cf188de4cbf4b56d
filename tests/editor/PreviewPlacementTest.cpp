// Where the preview window opens: beside the editor when the screen has room
// for it, and whole on the editor's screen always, shrunk to a small one. The
// test runs on the offscreen platform with two screens side by side (see
// tests/data/screens/small-and-wide.json): 800x600, and 2560x1440 right of it.
#include "EditorTestSupport.h"
#include "desktop_services/modUtilityForm.h"
#include "editor/frmExportBuilder.h"
#include "editor/frmPreview.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTest>

using namespace vok;
using namespace vok::test;

namespace {

// The editor shown with its frame's top-left corner at `at`, then Preview... pressed.
frmPreview* OpenPreviewWithEditorAt(EditorFixture& f, QPoint at) {
    f.editor.LoadRecipeIntoEditor({});
    f.editor.show();
    if (!QTest::qWaitForWindowExposed(&f.editor)) return nullptr;
    f.editor.move(at);
    QTest::mouseClick(&f.editor.cmdPreview, Qt::LeftButton);
    frmPreview* preview = f.editor.PreviewWindow();
    if (preview && !QTest::qWaitForWindowExposed(preview)) return nullptr;
    return preview;
}

// A child widget's rectangle on the screen.
QRect OnScreen(const QWidget& widget) {
    return {widget.mapToGlobal(QPoint(0, 0)), widget.size()};
}

QRect Available(const char* name) {
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->name() == QLatin1String(name)) return screen->availableGeometry();
    return {};
}

} // namespace

class PreviewPlacementTest : public QObject {
    Q_OBJECT

private slots:
    void theTestScreensAreThere() {
        QCOMPARE(Available("small"), QRect(0, 0, 800, 600));
        QCOMPARE(Available("wide"), QRect(800, 0, 2560, 1440));
    }

    void opensRightOfTheEditorWhereItFitsElseLeftOfIt() {
        EditorFixture f;
        frmPreview* preview = OpenPreviewWithEditorAt(f, {900, 100});
        QVERIFY(preview);
        const QRect editor = f.editor.frameGeometry();
        QCOMPARE(preview->frameGeometry().left(), editor.right() + 1);
        QCOMPARE(preview->frameGeometry().top(), editor.top());
        // Its designed size, nothing cut off.
        QCOMPARE(preview->size(),
                 QSize(PixelsFromTwips(12600, preview), PixelsFromTwips(9600, preview)));
        QVERIFY(Available("wide").contains(preview->frameGeometry()));

        // Closed with the editor, which the user then drags near the screen's
        // right edge: the preview opens again, left of it.
        f.editor.cmdCancel.click();
        QVERIFY(!preview->isVisible());
        QCOMPARE(OpenPreviewWithEditorAt(f, {3360 - editor.width() - 40, 200}), preview);
        QCOMPARE(preview->frameGeometry().right(), f.editor.frameGeometry().left() - 1);
        QCOMPARE(preview->frameGeometry().top(), 200);
        QVERIFY(Available("wide").contains(preview->frameGeometry()));
    }

    void staysWholeOnASmallScreen() {
        EditorFixture f;
        // Where the conversion form puts the editor on a small screen.
        frmPreview* preview = OpenPreviewWithEditorAt(f, {13, 27});
        QVERIFY(preview);
        const QRect screen = Available("small");
        QVERIFY2(screen.contains(preview->frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(preview->frameGeometry().x())
                                .arg(preview->frameGeometry().y())
                                .arg(preview->frameGeometry().width())
                                .arg(preview->frameGeometry().height())));
        // Shrunk to the screen, and what the user needs is in reach.
        QVERIFY(preview->width() < PixelsFromTwips(12600, preview));
        QVERIFY(screen.contains(OnScreen(preview->cmdBrowse)));
        QVERIFY(screen.contains(OnScreen(preview->txtReport)));
        QVERIFY(screen.contains(OnScreen(preview->gridRows)));
        QVERIFY(screen.contains(OnScreen(preview->lstMessages)));
    }
};

QTEST_MAIN(PreviewPlacementTest)
#include "PreviewPlacementTest.moc"

// The recent-file lists: the stored key numbering, de-duplication without
// regard to case, the size limit, and filling a combo box.
#include "DesktopTestSupport.h"
#include "desktop_services/clsMRU.h"
#include "desktop_services/modUtilityForm.h"
#include "recipe/ProfileFile.h"

#include <QComboBox>
#include <QTest>

namespace vok::test {

class RecentListTest : public QObject {
    Q_OBJECT

private slots:
    void CaseOnlyDuplicateMovesToNewestAsNewlyWritten() {
        TempDir dir;
        clsMRU list;
        list.Setup(20, dir / "config.ini", "mruInputFile");
        list.AddUniqueItemToCollection("/data/A.txt");
        list.AddUniqueItemToCollection("/data/b.txt");
        list.AddUniqueItemToCollection("");
        list.AddUniqueItemToCollection("/DATA/a.TXT");
        QCOMPARE(list.clnMRU(), (std::vector<std::string>{"/data/b.txt", "/DATA/a.TXT"}));
    }

    void TwentyFiveEntriesKeepTheNewestTwenty() {
        TempDir dir;
        const auto config = dir / "config.ini";
        clsMRU list;
        list.Setup(20, config, "mruOutputFile");
        for (int i = 1; i <= 25; ++i)
            list.AddUniqueItemToCollection("out" + std::to_string(i) + ".csv");
        QCOMPARE(list.Count(), 25);
        ProfileFile file(config);
        list.ShutDown(file);
        std::string error;
        QVERIFY(file.Commit(error));
        const ProfileFile stored(config);
        QCOMPARE(stored.Get("mruOutputFile", "mruOutputFile20", "-"), std::string("out25.csv"));
        QCOMPARE(stored.Get("mruOutputFile", "mruOutputFile1", "-"), std::string("out6.csv"));
        QCOMPARE(stored.Get("mruOutputFile", "mruOutputFile0", "-"), std::string("-"));
        clsMRU again;
        again.Setup(20, config, "mruOutputFile");
        QCOMPARE(again.Count(), 20);
        QCOMPARE(again.clnMRU().front(), std::string("out6.csv"));
        QCOMPARE(again.clnMRU().back(), std::string("out25.csv"));
    }

    void ThreeEntriesWriteKeys20To18AndRemoveTheRest() {
        TempDir dir;
        const auto config = dir / "config.ini";
        // Keys of an earlier, longer list, and a value that reads as missing.
        WriteFile(config, CrLf({"[mruRecipeFile]", "mruRecipeFile1=old1.rcp",
                                "mruRecipeFile17=old17.rcp", "mruRecipeFile18=+-!#",
                                "mruRecipeFile19=old19.rcp", "mruRecipeFile20=old20.rcp"}));
        clsMRU list;
        list.Setup(20, config, "mruRecipeFile");
        QCOMPARE(list.clnMRU(),
                 (std::vector<std::string>{"old1.rcp", "old17.rcp", "old19.rcp", "old20.rcp"}));
        list.ReadIniFileIntoCollection();
        QCOMPARE(list.Count(), 4);
        // A fresh list of three.
        clsMRU fresh;
        fresh.Setup(20, dir / "none.ini", "mruRecipeFile");
        for (const char* name : {"a.rcp", "b.rcp", "c.rcp"})
            fresh.AddUniqueItemToCollection(name);
        ProfileFile file(config);
        fresh.WriteCollectionToIniFile(file);
        std::string error;
        QVERIFY(file.Commit(error));
        // The keys of the longer list would come back as its oldest entries.
        QCOMPARE(ReadFile(config), CrLf({"[mruRecipeFile]", "mruRecipeFile18=a.rcp",
                                         "mruRecipeFile19=b.rcp", "mruRecipeFile20=c.rcp"}));
    }

    // A list that shrank (two entries equal but for case) among other
    // sections: its stale keys go, the other sections stay whole and writable.
    void StaleKeysOfAShrunkListAreRemoved() {
        TempDir dir;
        const auto config = dir / "config.ini";
        WriteFile(config, CrLf({"[General]", "lTabSize=4", "[mruInputFile]",
                                "mruInputFile17=/d/old.txt", "mruInputFile18=/d/A.txt",
                                "mruInputFile19=/d/b.txt", "mruInputFile20=/d/a.TXT", "",
                                "[frmMainMDI]", "Left=10"}));
        clsMRU list;
        list.Setup(20, config, "mruInputFile");
        QCOMPARE(list.Count(), 3);
        ProfileFile file(config);
        list.ShutDown(file);
        file.Write("frmMainMDI", "Top", "20");
        std::string error;
        QVERIFY(file.Commit(error));
        QCOMPARE(ReadFile(config),
                 CrLf({"[General]", "lTabSize=4", "[mruInputFile]", "mruInputFile18=/d/old.txt",
                       "mruInputFile19=/d/b.txt", "mruInputFile20=/d/a.TXT", "", "[frmMainMDI]",
                       "Left=10", "Top=20"}));
    }

    // A path config.ini cannot give back whole is not taken: a line end would
    // cut it into a wrong path, blanks and quotes around it would be lost.
    void PathsTheFileCannotHoldWholeAreNotListed() {
        TempDir dir;
        const auto config = dir / "config.ini";
        clsMRU list;
        list.Setup(20, config, "mruInputFile");
        list.AddUniqueItemToCollection("/d/kept.txt");
        for (const char* path : {"/d/first\nsecond.txt", "/d/cr\r.txt", " /d/lead.txt",
                                 "/d/trail.txt ", "\"/d/quoted.txt\"", "'/d/q.txt'"})
            list.AddUniqueItemToCollection(path);
        list.AddUniqueItemToCollection("/d/it's \"fine\".txt");
        QCOMPARE(list.clnMRU(),
                 (std::vector<std::string>{"/d/kept.txt", "/d/it's \"fine\".txt"}));
        ProfileFile file(config);
        list.ShutDown(file);
        std::string error;
        QVERIFY(file.Commit(error));
        clsMRU again;
        again.Setup(20, config, "mruInputFile");
        QCOMPARE(again.clnMRU(),
                 (std::vector<std::string>{"/d/kept.txt", "/d/it's \"fine\".txt"}));
    }

    void ComboShowsTheNewestFirstAndAsItsText() {
        TempDir dir;
        clsMRU list;
        list.Setup(20, dir / "config.ini", "mruInputFile");
        QComboBox combo;
        combo.setEditable(true);
        combo.setEditText(QStringLiteral("typed"));
        FillComboWithMRU(combo, list);
        QCOMPARE(combo.count(), 0);
        QCOMPARE(combo.currentText(), QString());
        list.AddUniqueItemToCollection("old.txt");
        list.AddUniqueItemToCollection("new.txt");
        FillComboWithMRU(combo, list);
        QCOMPARE(combo.count(), 2);
        QCOMPARE(combo.itemText(0), QStringLiteral("new.txt"));
        QCOMPARE(combo.itemText(1), QStringLiteral("old.txt"));
        QCOMPARE(combo.currentText(), QStringLiteral("new.txt"));
    }
};

int RunRecentListTest(int argc, char** argv) {
    RecentListTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace vok::test

#include "RecentListTest.moc"

// The private-profile writer and reader: in-place updates, case-insensitive
// names, where new keys and sections go, CR LF, and that a failed write never
// costs the file it was meant to replace.
#include "recipe/ProfileFile.h"

#include "recipe/SectionedFile.h"
#include "support/TestSupport.h"

#include <array>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vok {
namespace {

using test::CrLf;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Runs the check in a child process without root's rights (the tests may run as
// root, who writes into read-only folders and reads unreadable files). The
// check's result is the child's exit status.
bool RunUnprivileged(const std::function<bool()>& check) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class ProfileFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.File("config.ini");
};

TEST_F(ProfileFileTest, UpdatesInPlaceMatchingNamesWithoutCase) {
    WriteFile(path, CrLf({"; settings", "[Header]", "Product=VOK_B", "", "[General]", "lTabSize=8",
                          "sSheetTarget=1", "", "[frmMainMDI]", "Left=150"}));
    EXPECT_TRUE(WriteIniValue(path, "general", "LTABSIZE", "4"));
    // Only the value changes; the key keeps its spelling for the case-sensitive readers.
    EXPECT_EQ(ReadFile(path),
              CrLf({"; settings", "[Header]", "Product=VOK_B", "", "[General]", "lTabSize=4",
                    "sSheetTarget=1", "", "[frmMainMDI]", "Left=150"}));
    EXPECT_EQ(GetIniValue(path, "General", "lTabSize", kMissing), "4");
    EXPECT_EQ(ProfileFile(path).Get("GENERAL", "ltabsize", "8"), "4");
}

TEST_F(ProfileFileTest, NewKeyEndsItsSectionAndNewSectionEndsTheFile) {
    WriteFile(path, CrLf({"[Header]", "Product=VOK", "", "[General]", "Name=x", "", ""}));
    ProfileFile file(path);
    std::string error;
    file.Write("Header", "FileType", "RECIPE");
    file.Write("General", "Width", "");
    file.Write("Table 1", "ReadStartLine", "   Total");
    file.Write("Header", "FileFormat", "1.1");
    file.Write("Table 1", "Parsing", "  ---  ");
    ASSERT_TRUE(file.Commit(error));
    EXPECT_EQ(ReadFile(path), CrLf({"[Header]", "Product=VOK", "FileType=RECIPE", "FileFormat=1.1",
                                    "", "[General]", "Name=x", "Width=", "", "", "[Table 1]",
                                    "ReadStartLine=   Total", "Parsing=  ---  "}));
    // The empty value reads as missing; the leading blanks were written unchanged.
    EXPECT_EQ(GetIniValue(path, "General", "Width", "d"), "d");
    EXPECT_EQ(GetIniValueEx(path, "Table 1", "Parsing", kMissing, 2), "  ---");
}

// A file written from its start section after section holds, and reads back,
// what the general writer makes of the same writes: keys rewritten in their
// section (also spelt in another case), a value written again, an empty
// section name, writes back into an earlier section, keys alike in length
// and end letters, and a key holding "=" (a later key may name its line).
TEST_F(ProfileFileTest, WritingSectionAfterSectionMatchesTheGeneralWriter) {
    const std::vector<std::array<std::string, 3>> writes = {
        {"Header", "Product", "VOK"},     {"Header", "FileType", "EXPORT SPEC"},
        {"Table 1", "ReadStartLine", "A"}, {" table 1 ", "readstartline", " B "},
        {"Table 1", "ReadStartLine", "B"}, {"Table 1", "Offset", "2"},
        {"Table 1", "ReadStartLine", "C"}, {"", "x", "1"},
        {"Table 1 Col 1", "WriteColumn", "A"}, {"TABLE 1 COL 1", "=odd", "v"},
        {"Table 1 Col 1", "Abc", "1"},    {"Table 1 Col 1", "Axc", "2"},
        {"table 1 col 1", "aXC", "3"},    {"Table 1 Col 1", "Key=part", "4"},
        {"Table 1 Col 1", "KEY", "5"},    {"Header", "FileFormat", "1.1"},
        {"Table 2", "ReadStartLine", "D"}, {"table 2", "ReadEndLine", ""}};
    // The first writes stay in the writer's own path; the write into the
    // header turns it into the general writer.
    for (size_t count : {size_t{14}, writes.size()}) {
        const std::string general = dir.File("general.t2x"), sequential = dir.File("seq.t2x");
        ProfileFile file(general, AtomicFile::Durability::InPlace, ProfileFile::Start::Empty);
        SectionWriter writer(sequential, AtomicFile::Durability::InPlace);
        for (size_t i = 0; i < count; ++i) {
            file.Write(writes[i][0], writes[i][1], writes[i][2]);
            writer.Write(writes[i][0], writes[i][1], writes[i][2]);
        }
        std::string error;
        ASSERT_TRUE(file.Commit(error)) << error;
        ASSERT_TRUE(writer.Commit(error)) << error;
        EXPECT_EQ(ReadFile(sequential), ReadFile(general)) << count << " writes";
        const SectionedText text = writer.Text();
        ASSERT_EQ(text.LineCount(), file.Lines().size());
        for (size_t i = 0; i < text.LineCount(); ++i)
            EXPECT_EQ(text.Line(i), file.Lines()[i]);
        const SectionedText taken = writer.TakeText();
        EXPECT_EQ(GetIniValue(taken, "Table 1", "ReadStartLine", "-"),
                  GetIniValue(text, "Table 1", "ReadStartLine", "-"));
    }
}

// A working file streamed section after section gives the file the whole
// writer gives, over whatever the file held: nothing, the same bytes (left
// untouched), more bytes, fewer, or other bytes from the middle on; the pieces
// handed back are the file's lines. A read-only file is refused at the commit.
TEST_F(ProfileFileTest, StreamedSectionsWriteTheFileTheWholeWriterWrites) {
    auto writeAll = [](ProfileWriter& out, const std::function<void()>& between) {
        for (int t = 1; t <= 300; ++t) {
            out.Write("Table " + std::to_string(t), "ReadStartLine", ">>" + std::to_string(t));
            out.Write("Table " + std::to_string(t), "TotalColumns", "2");
            between();
        }
    };
    const std::string expected = dir.File("whole.t2x");
    SectionWriter whole(expected, AtomicFile::Durability::InPlace);
    writeAll(whole, [] {});
    std::string error;
    ASSERT_TRUE(whole.Commit(error)) << error;
    const std::string bytes = ReadFile(expected);
    const std::string middle = bytes.substr(0, bytes.size() / 2) + "changed";
    for (const std::string* before : {static_cast<const std::string*>(nullptr), &bytes, &middle}) {
        if (before)
            WriteFile(path, *before);
        else
            std::filesystem::remove(path);
        const timespec old[2] = {{1000, 0}, {1000, 0}};
        if (before) {
            ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
        }
        SectionWriter streamed(path, AtomicFile::Durability::InPlace);
        std::string pieces;
        writeAll(streamed, [&] {
            const SectionedText piece = streamed.Flush();
            pieces.append(piece.Block());
        });
        ASSERT_TRUE(streamed.Commit(error)) << error;
        EXPECT_EQ(ReadFile(path), bytes);
        EXPECT_EQ(pieces, bytes);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec == 1000, before == &bytes);
    }
    // More bytes than the file gets: it ends after them.
    WriteFile(path, bytes + bytes);
    SectionWriter longer(path, AtomicFile::Durability::InPlace);
    writeAll(longer, [&] { (void)longer.Flush(); });
    ASSERT_TRUE(longer.Commit(error)) << error;
    EXPECT_EQ(ReadFile(path), bytes);
    // A file its owner made read-only is kept, and the commit says why.
    ::chmod(dir.Path().c_str(), 0755);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_TRUE(RunUnprivileged([&] {
        SectionWriter refused(path, AtomicFile::Durability::InPlace);
        writeAll(refused, [&] { (void)refused.Flush(); });
        std::string why;
        return !refused.Commit(why) && why.find("read-only") != std::string::npos;
    }));
    EXPECT_EQ(ReadFile(path), bytes);
}

TEST_F(ProfileFileTest, CreatesAMissingFileAndCommitsARunOnce) {
    ProfileFile file(path);
    std::string error;
    EXPECT_EQ(file.Get("Header", "Product", "none"), "none");
    file.Write("Header", "Product", "VOK");
    file.Write("Header", "FileType", "EXPORT SPEC");
    file.Write("Table 1", "Name", "Sales");
    // Nothing reaches the disk before the commit.
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(file.Get("table 1", "NAME", "none"), "Sales");
    ASSERT_TRUE(file.Commit(error));
    EXPECT_EQ(ReadFile(path), "[Header]\r\nProduct=VOK\r\nFileType=EXPORT SPEC\r\n"
                              "[Table 1]\r\nName=Sales\r\n");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_TRUE(WriteIniValue(dir.File("new.ini"), "S", "K", "V"));
    EXPECT_EQ(ReadFile(dir.File("new.ini")), "[S]\r\nK=V\r\n");
}

// Saving settings that did not change must not rewrite the file: the desktop
// saves every key at each close.
TEST_F(ProfileFileTest, WritingTheValuesAKeyHasLeavesTheFileAlone) {
    WriteFile(path, CrLf({"[General]", "lTabSize = 8", "sSheetTarget=1"}));
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ProfileFile file(path);
    file.Write("general", "LTABSIZE", "8");
    file.Write("General", "sSheetTarget", "1");
    EXPECT_FALSE(file.Changed());
    std::string error;
    ASSERT_TRUE(file.Commit(error));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino); // not replaced
    // A new value, a new key and a new section each count as a change.
    file.Write("General", "sSheetTarget", "2");
    EXPECT_TRUE(file.Changed());
    ASSERT_TRUE(file.Commit(error));
    EXPECT_FALSE(file.Changed());
    file.Write("General", "bShowExcel", "TRUE");
    EXPECT_TRUE(file.Changed());
    ASSERT_TRUE(file.Commit(error));
    file.Write("mruInputFile", "mruInputFile20", "a.txt");
    EXPECT_TRUE(file.Changed());
    ASSERT_TRUE(file.Commit(error));
    EXPECT_EQ(ReadFile(path), CrLf({"[General]", "lTabSize = 8", "sSheetTarget=2",
                                    "bShowExcel=TRUE", "[mruInputFile]", "mruInputFile20=a.txt"}));
}

TEST_F(ProfileFileTest, ReadsTheWayTheProfileFunctionsDo) {
    WriteFile(path, "[General]\nA = \"quoted value\" \n;B=comment\nC='x'\r\n[general]\nA=second\n"
                    "[]\nD=in empty section\n[Last]\nE=e\n");
    ProfileFile file(path);
    std::string error;
    EXPECT_EQ(file.Get("General", "A", "d"), "quoted value");
    EXPECT_EQ(file.Get("General", "B", "d"), "d");
    EXPECT_EQ(file.Get("General", "C", "d"), "x");
    EXPECT_EQ(file.Get("", "D", "d"), "in empty section");
    EXPECT_EQ(file.Get("", "E", "d"), "d");
    EXPECT_EQ(file.Get("Last", "E", "d"), "e");
    // A write to a section that appears twice goes to the first one; an empty
    // section's bounds do not swallow the sections after it.
    file.Write("GENERAL", "F", "f");
    file.Write("", "E", "new");
    ASSERT_TRUE(file.Commit(error));
    EXPECT_EQ(ReadFile(path),
              CrLf({"[General]", "A = \"quoted value\" ", ";B=comment", "C='x'", "F=f", "[general]",
                    "A=second", "[]", "D=in empty section", "E=new", "[Last]", "E=e"}));
}

TEST_F(ProfileFileTest, KeepsAWindows1252FileInItsEncodingAndItsPermissions) {
    WriteFile(path, "[General]\r\nName=Caf\xE9\r\n");
    ::chmod(path.c_str(), 0600);
    EXPECT_EQ(ProfileFile(path).Get("General", "Name", ""), "Café");
    EXPECT_TRUE(WriteIniValue(path, "General", "Town", "Zürich"));
    EXPECT_EQ(ReadFile(path), "[General]\r\nName=Caf\xE9\r\nTown=Z\xFCrich\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A value Windows-1252 cannot hold turns the file into UTF-8 rather than lose it.
    EXPECT_TRUE(WriteIniValue(path, "General", "Arrow", "→"));
    EXPECT_EQ(ReadFile(path), "[General]\r\nName=Café\r\nTown=Zürich\r\nArrow=→\r\n");
}

TEST_F(ProfileFileTest, FailedWriteLeavesTheOldFileAndReportsFalse) {
    const std::string old = CrLf({"[General]", "Name=old"});
    const std::filesystem::path folder = dir.Path() / "locked";
    std::filesystem::create_directory(folder);
    const std::string locked = (folder / "a.ini").string();
    WriteFile(locked, old);
    ::chmod(dir.Path().c_str(), 0755);
    ::chmod(folder.c_str(), 0555);
    EXPECT_TRUE(RunUnprivileged([&] {
        ProfileFile file(locked);
        file.Write("General", "Name", "new");
        std::string error;
        return !file.Commit(error) && !WriteIniValue(locked, "General", "Other", "x");
    }));
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(ReadFile(locked), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);
    // Once the folder can be written again, the same write goes through.
    ProfileFile file(locked);
    file.Write("General", "Name", "new");
    std::string error;
    EXPECT_TRUE(file.Commit(error));
    EXPECT_EQ(GetIniValue(locked, "General", "Name", ""), "new");
}

TEST_F(ProfileFileTest, UnreadableFileIsNeverReplaced) {
    const std::string old = CrLf({"[General]", "Name=old", "Keep=all of this"});
    WriteFile(path, old);
    ::chmod(dir.Path().c_str(), 0777); // the folder itself would allow the rename
    ::chmod(path.c_str(), 0);
    EXPECT_TRUE(RunUnprivileged([&] { return !WriteIniValue(path, "General", "Name", "new"); }));
    ::chmod(path.c_str(), 0644);
    EXPECT_EQ(ReadFile(path), old);
}

} // namespace
} // namespace vok

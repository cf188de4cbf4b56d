// File, path and text helpers, and the date-and-time text of the error log.
#include "base/Clock.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityFileSystemObject.h"
#include "base/modUtilityString.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(FileUtilityTest, OnlyRealFilesAndFoldersCountAsExisting) {
    TempDir dir;
    WriteFile(dir.File("a.txt"), "x");
    WriteFile(dir.File(".hidden"), "x");
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists("   "));
    EXPECT_TRUE(FileExists(dir.File("a.txt")));
    EXPECT_TRUE(FileExists("  " + dir.File("a.txt") + " "));
    EXPECT_TRUE(FileExists(dir.File(".hidden")));
    // A pattern that matches files is still no file, nor is a folder.
    EXPECT_FALSE(FileExists(dir.File("*.txt")));
    EXPECT_FALSE(FileExists(dir.File("a.tx?")));
    EXPECT_FALSE(FileExists(dir.Path().string()));
    EXPECT_FALSE(FileExists(dir.File("b.txt")));
    // The switch syntax's backslashes become separators once, where the path enters.
    std::string backslashed = dir.File("a.txt");
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    EXPECT_FALSE(FileExists(backslashed));
    EXPECT_TRUE(FileExists(PathFromSwitchSyntax(backslashed)));

    EXPECT_TRUE(FolderExists(dir.Path().string()));
    EXPECT_TRUE(FolderExists(dir.Path().string() + "/"));
    EXPECT_FALSE(FolderExists(dir.File("a.txt")));
    EXPECT_FALSE(FolderExists(""));
    EXPECT_TRUE(FolderExistsFso(dir.Path().string()));
    EXPECT_FALSE(FolderExistsFso(dir.File("none")));
}

TEST(FileUtilityTest, MakeFolderPathMakesMissingParentsAndKeepsExistingFolders) {
    TempDir dir;
    const std::filesystem::path deep = dir.Path() / "a" / "b" / "c";
    MakeFolderPath(deep);
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    WriteFile((deep / "keep.txt").string(), "x");
    // Existing folders: nothing changes and nothing is reported.
    MakeFolderPath(deep.string());
    EXPECT_TRUE(std::filesystem::exists(deep / "keep.txt"));
    // A path through a file cannot be made; the error is ignored.
    MakeFolderPath((deep / "keep.txt" / "sub").string());
    EXPECT_FALSE(std::filesystem::exists(deep / "keep.txt" / "sub"));
}

TEST(PathPartsTest, PathsSplitIntoFolderParentBaseAndExtensionAtSlashesOnly) {
    EXPECT_EQ(FolderOfPath("report.txt"), "");
    EXPECT_EQ(FolderOfPath("C:/in/sub/a.txt"), "C:/in/sub/");
    EXPECT_EQ(FolderOfPath("/data/in/a.txt"), "/data/in/");

    EXPECT_EQ(GetParentFolderName("/in/a.txt"), "/in");
    EXPECT_EQ(GetParentFolderName("/a.txt"), "/");
    EXPECT_EQ(GetParentFolderName("/data/in/"), "/data");
    EXPECT_EQ(GetParentFolderName("a.txt"), "");
    EXPECT_EQ(GetBaseName("/in/a.b.txt"), "a.b");
    EXPECT_EQ(GetBaseName("/data/in/"), "in");
    EXPECT_EQ(GetExtensionName("/in/a.b.TXT"), "TXT");
    EXPECT_EQ(GetExtensionName("/in.d/a"), "");
    // Only "/" separates: a backslash is part of a Linux file name.
    EXPECT_EQ(GetParentFolderName("/data/x\\y.txt"), "/data");
    EXPECT_EQ(GetBaseName("/data/x\\y.txt"), "x\\y");
    EXPECT_EQ(FolderOfPath("/data/x\\y.txt"), "/data/");
}

TEST(FolderListingTest, FilesAndSubFoldersAreListedInNameOrderWithLinksMarked) {
    TempDir dir;
    WriteFile(dir.File("b.txt"), "");
    WriteFile(dir.File("a.txt"), "");
    WriteFile(dir.File("sub/z.txt"), "");
    std::filesystem::create_directory_symlink(dir / "sub", dir / "link");
    FolderListing listing;
    std::string error;
    ASSERT_TRUE(ListFolder(dir.Path(), listing, error));
    EXPECT_EQ(listing.files, (std::vector<std::string>{"a.txt", "b.txt"}));
    ASSERT_EQ(listing.subFolders.size(), 2u);
    EXPECT_EQ(listing.subFolders[0].name, "link");
    EXPECT_TRUE(listing.subFolders[0].isLink);
    EXPECT_EQ(listing.subFolders[1].name, "sub");
    EXPECT_FALSE(listing.subFolders[1].isLink);
    EXPECT_FALSE(ListFolder(dir / "none", listing, error));
    EXPECT_EQ(error, "No such file or directory");
    FolderIdentity a, b;
    ASSERT_TRUE(IdentifyFolder(dir / "sub", a));
    ASSERT_TRUE(IdentifyFolder(dir / "link", b));
    EXPECT_EQ(a, b);
}

TEST(StringUtilityTest, QuotesAreStrippedAndOnlyBlanksAreTrimmed) {
    EXPECT_EQ(StripQuotes("\"C:\\a b\\x.csv\""), "C:\\a b\\x.csv");
    EXPECT_EQ(StripQuotes("a\"\"b"), "ab");
    EXPECT_EQ(Trim("  a b \t "), "a b \t");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    EXPECT_EQ(Trim("   "), "");
}

TEST(StringUtilityTest, WholeNumbersRoundHalvesToEvenAndRefuseOtherText) {
    const std::pair<const char*, int32_t> good[] = {
        {" 42 ", 42}, {"-7", -7}, {"+3", 3},   {"2.5", 2}, // halves to the even neighbour
        {"-2.5", -2}, {"3.5", 4}, {"0.51", 1}, {"2147483647", 2147483647}};
    for (const auto& [text, expected] : good) {
        int32_t v = -1;
        EXPECT_TRUE(ParseWholeNumber(text, v)) << text;
        EXPECT_EQ(v, expected) << text;
    }
    int32_t v = 5;
    for (const char* bad : {"", " ", "four", "4x", "+-5", "--5", "++5", "2147483648", "1 2"}) {
        EXPECT_FALSE(ParseWholeNumber(bad, v)) << bad;
    }
    EXPECT_EQ(v, 5);
}

TEST(ClockTest, DatesAndElapsedTimesAreWrittenAsTheErrorLogShowsThem) {
    auto at = [](int year, int month, int day, int hour, int minute, int second) {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        t.tm_isdst = -1;
        return FormatDateTime(std::mktime(&t));
    };
    EXPECT_EQ(at(2026, 12, 7, 11, 39, 50), "12/7/2026 11:39:50 AM");
    EXPECT_EQ(at(2026, 1, 15, 0, 5, 9), "1/15/2026 12:05:09 AM");
    EXPECT_EQ(at(2026, 1, 15, 12, 0, 0), "1/15/2026 12:00:00 PM");
    EXPECT_EQ(at(2026, 1, 15, 23, 59, 59), "1/15/2026 11:59:59 PM");

    EXPECT_EQ(FormatElapsedSeconds(0), "0.0");
    EXPECT_EQ(FormatElapsedSeconds(1249), "1.2");
    EXPECT_EQ(FormatElapsedSeconds(1250), "1.3");
    EXPECT_EQ(FormatElapsedSeconds(125000), "125.0");
    const int64_t a = TickCount();
    EXPECT_GE(TickCount(), a);
}

} // namespace
} // namespace vok

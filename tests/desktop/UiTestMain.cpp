// Runs the desktop's test classes on the offscreen platform: all of them, or
// the one named by the first argument (ctest runs each on its own).
#include <QApplication>
#include <cstring>
#include <vector>

namespace vok::test {
int RunRecentListTest(int argc, char** argv);
int RunConversionFormTest(int argc, char** argv);
int RunOptionsDialogTest(int argc, char** argv);
int RunDesktopJobTest(int argc, char** argv);
} // namespace vok::test

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    struct Entry {
        const char* name;
        int (*run)(int, char**);
    };
    const Entry tests[] = {{"RecentListTest", vok::test::RunRecentListTest},
                           {"ConversionFormTest", vok::test::RunConversionFormTest},
                           {"OptionsDialogTest", vok::test::RunOptionsDialogTest},
                           {"DesktopJobTest", vok::test::RunDesktopJobTest}};
    const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    // The test framework sees the remaining arguments.
    std::vector<char*> rest{argv[0]};
    for (int i = only ? 2 : 1; i < argc; ++i)
        rest.push_back(argv[i]);
    int failed = 0;
    for (const Entry& test : tests)
        if (!only || std::strcmp(only, test.name) == 0)
            failed += test.run(static_cast<int>(rest.size()), rest.data());
    return failed == 0 ? 0 : 1;
}

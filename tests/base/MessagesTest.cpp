// Folding of repeated messages and the echo of long values: what keeps a
// message readable when a table or a value is huge.
#include "base/Messages.h"
#include "base/modUtilityString.h"
#include "support/RecordingObserver.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using Texts = std::vector<std::string>;

TEST(RepeatFoldingTest, RepeatsInAScopeAreCountedAndSaidAtItsEnd) {
    RecordingObserver target;
    RepeatFoldingMessages messages(target);
    // Outside a scope nothing is folded.
    messages.Show("same", MessageIcon::Critical);
    messages.Show("same", MessageIcon::Critical);
    {
        const RepeatScope table(messages);
        for (int i = 0; i < 3; ++i) {
            messages.Show("same", MessageIcon::Critical);
            messages.Show("other", MessageIcon::Warning);
        }
        // A message that names its place is compared by its kind alone.
        for (int row = 1; row <= 4; ++row) {
            if (!messages.CountIfRepeated("formula"))
                messages.ShowFirst("formula", "formula (row " + std::to_string(row) + ")",
                                   MessageIcon::Critical);
        }
        {
            const RepeatScope inner(messages); // nested: folds on until the outer end
            messages.Show("other", MessageIcon::Warning);
        }
        EXPECT_EQ(target.Texts(), (Texts{"same", "same", "same", "other", "formula (row 1)"}));
    }
    EXPECT_EQ(target.Texts(),
              (Texts{"same", "same", "same", "other", "formula (row 1)", "same (repeated 2 times)",
                     "other (repeated 3 times)", "formula (repeated 3 times)"}));
    EXPECT_EQ(target.shown[6].icon, MessageIcon::Warning);
    // The next scope starts afresh; a single repeat reads "time".
    {
        const RepeatScope table(messages);
        messages.Show("same", MessageIcon::Critical);
        messages.Show("same", MessageIcon::Critical);
    }
    EXPECT_EQ(target.Texts().back(), "same (repeated 1 time)");
    EXPECT_EQ(target.Texts().size(), 10u);
    EXPECT_FALSE(messages.CountIfRepeated("same"));
}

TEST(EchoTest, LongValuesAreCutAndMarked) {
    EXPECT_EQ(Echo("ACCOUNT NO"), "ACCOUNT NO");
    EXPECT_EQ(Echo(std::string(200, 'k')), std::string(200, 'k'));
    EXPECT_EQ(Echo(std::string(100000, 'k')),
              std::string(200, 'k') + "... (cut: 100000 characters in all)");
    // Characters, not bytes: "é" is two bytes and is never cut in half.
    std::string accents;
    for (int i = 0; i < 150; ++i)
        accents += "é";
    EXPECT_EQ(Echo(accents), accents);
    accents += accents;
    const std::string cut = Echo(accents);
    EXPECT_EQ(cut.substr(0, 400), accents.substr(0, 400));
    EXPECT_EQ(cut.substr(400), "... (cut: 300 characters in all)");
}

} // namespace
} // namespace vok

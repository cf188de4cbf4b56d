// ShortText: texts in place up to 15 bytes and on the heap beyond, through
// copies, moves and assignments, including from a view of itself.
#include "base/ShortText.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

using vok::ShortText;

TEST(ShortText, HoldsEveryTextAcrossTheInPlaceLimitThroughCopiesAndMoves) {
    std::vector<std::string> texts = {"",
                                      "A",
                                      "XFD",
                                      std::string(14, 'x'),
                                      std::string(15, 'y'),
                                      std::string(16, 'z'),
                                      std::string(300, 'w'),
                                      std::string("a\0b", 3),
                                      std::string("\xFF\x00\xFF", 3)};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.size());
        const ShortText made(text);
        EXPECT_EQ(made.View(), text);
        EXPECT_EQ(made.size(), text.size());
        EXPECT_EQ(made.empty(), text.empty());
        ShortText copy = made;
        EXPECT_EQ(copy.View(), text);
        ShortText moved = std::move(copy);
        EXPECT_EQ(moved.View(), text);
        EXPECT_TRUE(copy.empty()); // NOLINT(bugprone-use-after-move): a moved-from text is empty
        // Every text over every other, by copy, by move and from a view.
        for (const std::string& other : texts) {
            ShortText target(other);
            target = made;
            EXPECT_EQ(target.View(), text);
            ShortText source(other);
            target = std::move(source);
            EXPECT_EQ(target.View(), other);
            target.assign(text);
            EXPECT_EQ(target.str(), text);
        }
    }
}

TEST(ShortText, AssignsFromItselfAndComparesAsItsText) {
    ShortText text(std::string(40, 'q') + "tail");
    text = text.View().substr(30); // a view into its own heap block
    EXPECT_EQ(text.View(), "qqqqqqqqqqtail");
    text = text.View().substr(10); // now a view of its own bytes in place
    EXPECT_EQ(text.View(), "tail");
    const ShortText& same = text;
    text = same;
    EXPECT_EQ(text.View(), "tail");
    text = std::move(text); // NOLINT: a move into itself keeps the text
    EXPECT_EQ(text.View(), "tail");

    const ShortText none{std::string_view()}; // a view with no address
    EXPECT_TRUE(none.empty());
    text = std::string_view();
    EXPECT_TRUE(text == "");

    const ShortText sum = "SUM";
    EXPECT_TRUE(sum == "SUM");
    EXPECT_FALSE(sum == "SU");
    EXPECT_TRUE(sum == std::string("SUM"));
    EXPECT_TRUE(sum == ShortText("SUM"));
    EXPECT_FALSE(ShortText() == " ");
    EXPECT_EQ(sizeof(ShortText), 16u);
}

#include <gtest/gtest.h>

#include "number_from_text.h"

namespace {

TEST(Number_from_text, ReadsDecimalDigitsWithinTheRange)
{
    EXPECT_EQ(number_from_text("045", 0, 3, 10), 45);
    EXPECT_EQ(number_from_text("123abc", 0, 3, 10), 123);
    EXPECT_EQ(number_from_text("5", 0, 3, 10), 5);
    EXPECT_EQ(number_from_text("x1234", 1, 2, 10), 12);
    EXPECT_EQ(number_from_text("400", 0, 3, 10), 400);
}

TEST(Number_from_text, ForeignCharacterOrTooLargeDigitGivesZero)
{
    EXPECT_EQ(number_from_text("4x5", 0, 3, 10), 0);
    EXPECT_EQ(number_from_text(" 45", 0, 3, 10), 0);
    EXPECT_EQ(number_from_text("-45", 0, 3, 10), 0);
    EXPECT_EQ(number_from_text("19", 0, 2, 8), 0);
    EXPECT_EQ(number_from_text("1a", 0, 2, 10), 0);
}

TEST(Number_from_text, OtherBasesTakeLettersInEitherCase)
{
    EXPECT_EQ(number_from_text("ff", 0, 2, 16), 255);
    EXPECT_EQ(number_from_text("FF", 0, 2, 16), 255);
    EXPECT_EQ(number_from_text("zZ", 0, 2, 36), 35 * 36 + 35);
    EXPECT_EQ(number_from_text("101", 0, 3, 2), 5);
}

TEST(Number_from_text, CountZeroMeansToTheEnd)
{
    EXPECT_EQ(number_from_text("1234567", 0, 0, 10), 1234567);
    EXPECT_EQ(number_from_text("1234567", 4, 0, 10), 567);
    // A count past the end reads as far as the text goes.
    EXPECT_EQ(number_from_text("12", 0, 5, 10), 12);
}

TEST(Number_from_text, EmptyOrOutsideRangesGiveZero)
{
    EXPECT_EQ(number_from_text("", 0, 3, 10), 0);
    EXPECT_EQ(number_from_text("", 0, 0, 10), 0);
    EXPECT_EQ(number_from_text("123", 3, 1, 10), 0);
    EXPECT_EQ(number_from_text("123", 1, -1, 10), 0);
    EXPECT_EQ(number_from_text("123", -1, 3, 10), 0);
}

TEST(Number_from_text, LongTextWrapsInsteadOfOverflowing)
{
    // Runs under the sanitizers too: no signed overflow however many digits.
    const QString digits(40, QLatin1Char('9'));
    const int value = number_from_text(digits, 0, 0, 10);
    unsigned expected = 0;
    for (int i = 0; i < 40; ++i) {
        expected = expected * 10u + 9u;
    }
    EXPECT_EQ(value, int(expected));
}

} // namespace

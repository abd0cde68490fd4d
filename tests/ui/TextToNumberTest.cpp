// Tavix CallerID tests: the text-to-number rule of the diagnostics window's boxes.
#include "ui/TextToNumber.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct Case
{
    const char16_t* text;
    int32_t expected;
};

class TextToNumberCases : public ::testing::TestWithParam<Case>
{
};

TEST_P(TextToNumberCases, ReadsTheLeadingNumber)
{
    const Case& c = GetParam();
    EXPECT_EQ(TextToNumber(QString::fromUtf16(c.text)), c.expected)
        << QString::fromUtf16(c.text).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Decimal, TextToNumberCases,
                         ::testing::Values(Case{u"20", 20}, Case{u"", 0}, Case{u"12.5", 12},
                                           Case{u"13.5", 14}, Case{u"  25", 25}, Case{u"12abc", 12},
                                           Case{u"300", 300}, Case{u"-5", -5}, Case{u"+7", 7},
                                           Case{u"abc", 0}, Case{u"-", 0}, Case{u".", 0},
                                           Case{u".5", 0}, Case{u"1.5", 2}, Case{u"2.5", 2},
                                           Case{u"-2.5", -2}, Case{u"-3.5", -4}, Case{u"2.51", 3},
                                           Case{u"1 2 3", 123}, Case{u"\t4\n5", 45},
                                           Case{u"1.2.3", 1}, Case{u"0012", 12}));

INSTANTIATE_TEST_SUITE_P(Exponent, TextToNumberCases,
                         ::testing::Values(Case{u"1e3", 1000}, Case{u"1E+2", 100},
                                           Case{u"25e-1", 2}, Case{u"35e-1", 4}, Case{u"1e", 1},
                                           Case{u"1e+", 1}, Case{u"2ex", 2}, Case{u"1e-400", 0},
                                           Case{u"-1.5e1", -15}));

INSTANTIATE_TEST_SUITE_P(HexAndOctal, TextToNumberCases,
                         ::testing::Values(Case{u"&H1F", 31}, Case{u"&hff", 255}, Case{u"&O17", 15},
                                           Case{u"&o777", 511}, Case{u"&H", 0}, Case{u"&O8", 0},
                                           Case{u"&HFFg", 255}, Case{u"& H 10", 16},
                                           Case{u"&X10", 0}, Case{u"&H7FFFFFFF", 2147483647}));

INSTANTIATE_TEST_SUITE_P(
    Limits, TextToNumberCases,
    ::testing::Values(Case{u"2147483647", std::numeric_limits<int32_t>::max()},
                      Case{u"-2147483648", std::numeric_limits<int32_t>::min()},
                      Case{u"2147483647.4", std::numeric_limits<int32_t>::max()},
                      Case{u"-2147483648.5", std::numeric_limits<int32_t>::min()}));

TEST(TextToNumber, RefusesWhatDoesNotFitInsteadOfWrapping)
{
    for (const char16_t* text :
         {u"2147483648", u"-2147483649", u"2147483647.5", u"1e10", u"1e999", u"&H80000000",
          u"&HFFFFFFFF", u"&O20000000000", u"99999999999999999999999"}) {
        EXPECT_THROW(TextToNumber(QString::fromUtf16(text)), NumberRangeError)
            << QString::fromUtf16(text).toStdString();
    }
}

TEST(TextToNumber, RefusalNamesTheNumber)
{
    try {
        TextToNumber(QStringLiteral("5000000000"));
        FAIL() << "expected a refusal";
    } catch (const NumberRangeError& e) {
        EXPECT_NE(std::string(e.what()).find("5000000000"), std::string::npos) << e.what();
    }
}

TEST(TextToNumber, NonAsciiEndsTheNumber)
{
    EXPECT_EQ(TextToNumber(QString::fromUtf8("12\xc2\xbd")), 12); // 12½
    EXPECT_EQ(TextToNumber(QString::fromUtf8("\xd9\xa3")), 0);    // Arabic-Indic three
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Settings texts of the serial control: what they mean and when two of them are the same.

#include "link/serialcontrol.h"
#include "link/serialsettings.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

struct SettingsRow {
    const char* text;
    bool valid;
    LineSettings expected;
};

void PrintTo(const SettingsRow& row, std::ostream* os) { *os << '"' << row.text << '"'; }

class SettingsTextIsParsed : public ::testing::TestWithParam<SettingsRow> {};

TEST_P(SettingsTextIsParsed, intoBaudParityDataAndStopBits)
{
    const SettingsRow& row = GetParam();
    const auto parsed = parseLineSettings(QString::fromLatin1(row.text));
    ASSERT_EQ(parsed.has_value(), row.valid) << row.text;
    if (row.valid) {
        EXPECT_EQ(*parsed, row.expected) << row.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsTextIsParsed,
    ::testing::Values(SettingsRow{"9600,n,8,2", true, {9600, 'n', 8, 2}},
                      SettingsRow{"1200,N,8,2", true, {1200, 'n', 8, 2}},
                      SettingsRow{" 19200 , E , 7 , 1 ", true, {19200, 'e', 7, 1}},
                      SettingsRow{"4800,o,5,1.5", true, {4800, 'o', 5, 15}},
                      SettingsRow{"9600,x,8,2", false, {}},
                      SettingsRow{"9600,n,9,2", false, {}},
                      SettingsRow{"9600,n,8,3", false, {}},
                      SettingsRow{"0,n,8,2", false, {}},
                      SettingsRow{"-1200,n,8,2", false, {}},
                      SettingsRow{"9600,n,8", false, {}},
                      SettingsRow{"9600,n,8,2,1", false, {}},
                      SettingsRow{"", false, {}},
                      SettingsRow{"fast", false, {}}));

TEST(SerialSettings, baudIsTheFirstFieldOrTheOpeningSpeed)
{
    EXPECT_EQ(baudOfSettings(QStringLiteral("1200,n,8,2")), 1200);
    EXPECT_EQ(baudOfSettings(QStringLiteral("9600,N,8,2")), 9600);
    EXPECT_EQ(baudOfSettings(QStringLiteral(" 2400 ,n,8,2")), 2400);
    EXPECT_EQ(baudOfSettings(QStringLiteral("fast,n,8,2")), 9600);
    EXPECT_EQ(baudOfSettings(QString()), 9600);
}

TEST(SerialSettings, sameLineSettingsIgnoreLetterCaseAndBlanks)
{
    EXPECT_TRUE(sameSettings(QStringLiteral("9600,N,8,2"), QStringLiteral("9600,n,8,2")));
    EXPECT_TRUE(sameSettings(QStringLiteral("9600, n, 8, 2"), QStringLiteral("9600,N,8,2")));
    EXPECT_FALSE(sameSettings(QStringLiteral("1200,n,8,2"), QStringLiteral("9600,n,8,2")));
    EXPECT_FALSE(sameSettings(QStringLiteral("9600,n,8,1"), QStringLiteral("9600,n,8,2")));
    EXPECT_FALSE(sameSettings(QStringLiteral("9600,e,8,2"), QStringLiteral("9600,n,8,2")));
    // Texts that are not settings compare as texts.
    EXPECT_TRUE(sameSettings(QStringLiteral("Bogus"), QStringLiteral("bogus")));
    EXPECT_FALSE(sameSettings(QStringLiteral("bogus"), QStringLiteral("9600,n,8,2")));
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/codepage.h"
#include "setup/numbers.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

using namespace quillon;

TEST(LeadingNumber, readsTheLongestLeadingDecimalNumber)
{
    const struct {
        const char* text;
        double value;
    } rows[] = {
        {"", 0},       {"abc", 0},     {"12abc", 12},  {"1 2", 12},   {"- 5", -5},
        {".5", 0.5},   {"+7", 7},      {"007", 7},     {"2.50", 2.5}, {"3.5", 3.5},
        {"-", 0},      {"1.2.3", 1.2}, {"  42 ", 42},  {"5.", 5},     {"1e3", 1},
        {"0x1F", 0},   {"--5", 0},     {"5-3", 5},     {"-128", -128}, {"\t-1", -1},
    };
    for (const auto& row : rows)
        EXPECT_DOUBLE_EQ(leadingNumber(QString::fromLatin1(row.text)), row.value) << row.text;
}

TEST(LeadingNumber, aHugeNumberStaysHugeAndATinyOneIsZero)
{
    const double value = leadingNumber(QString(400, u'9'));
    EXPECT_GT(value, 1e300);
    EXPECT_FALSE(roundToRange(value, 0, 255).has_value());
    EXPECT_EQ(leadingNumber(QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1")), 0.0);
    EXPECT_EQ(leadingNumber(QStringLiteral("-000.") + QString(400, u'0') + QStringLiteral("1")), 0.0);
}

TEST(NumberTexts, shortestDecimalAndStatusNumberFormatAsShown)
{
    EXPECT_EQ(shortestDecimal(7), "7");
    EXPECT_EQ(shortestDecimal(-128), "-128");
    EXPECT_EQ(shortestDecimal(2.5), "2.5");
    EXPECT_EQ(shortestDecimal(leadingNumber("2.50")), "2.5");
    EXPECT_EQ(shortestDecimal(leadingNumber("007")), "7");
    EXPECT_EQ(shortestDecimal(0.1), "0.1");
    EXPECT_EQ(shortestDecimal(-0.0), "0");
    EXPECT_EQ(statusNumber(7), " 7");
    EXPECT_EQ(statusNumber(0), " 0");
    EXPECT_EQ(statusNumber(-3), "-3");
}

TEST(RoundToRange, roundsHalfToEvenAndRefusesWhatDoesNotFit)
{
    EXPECT_EQ(roundToRange(2.5, 0, 255), 2);
    EXPECT_EQ(roundToRange(3.5, 0, 255), 4);
    EXPECT_EQ(roundToRange(-0.5, 0, 255), 0);
    EXPECT_EQ(roundToRange(-0.4, 0, 255), 0);
    EXPECT_EQ(roundToRange(127.4, -128, 127), 127);
    EXPECT_FALSE(roundToRange(127.6, -128, 127));
    EXPECT_FALSE(roundToRange(-0.6, 0, 255));
    EXPECT_FALSE(roundToRange(std::numeric_limits<double>::quiet_NaN(), 0, 255));
    EXPECT_FALSE(roundToRange(-std::numeric_limits<double>::infinity(), -128, 127));
}

TEST(CodePage, everyByteRoundTripsThroughText)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const QString text = fromSingleByte(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toSingleByte(text), all);
}

TEST(CodePage, mapsWindows1252AndRefusesOtherCharacters)
{
    EXPECT_EQ(fromSingleByte("\x80\x9f\xe9"), QString::fromUtf8("€Ÿé"));
    EXPECT_EQ(fromSingleByte("\x81\x8d"), QString(QChar(0x81)) + QChar(0x8D));
    EXPECT_EQ(toSingleByte(QString::fromUtf8("‘’")), QByteArray("\x91\x92"));
    // U+0080 is not a Windows-1252 character: byte 0x80 is the euro sign.
    EXPECT_FALSE(toSingleByte(QString(QChar(0x80))));
    EXPECT_FALSE(toSingleByte(QString::fromUtf8("Ωmega")));
    EXPECT_EQ(firstUnencodable(QString::fromUtf8("abΩc€")), QChar(0x3A9));
    EXPECT_FALSE(firstUnencodable(QStringLiteral("NO AVM")));
}

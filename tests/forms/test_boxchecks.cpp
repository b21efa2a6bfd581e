// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/boxchecks.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

struct CheckCase {
    const char* typed;
    const char* left;
};

void expectChecks(Range range, std::initializer_list<CheckCase> cases)
{
    for (const CheckCase& c : cases)
        EXPECT_EQ(rangeCheckedText(QString::fromLatin1(c.typed), range), QString::fromLatin1(c.left))
            << "typed \"" << c.typed << "\"";
}

TEST(RangeCheckedText, fineAdjustIsHeldToMinus128To127AndWrittenShortest)
{
    expectChecks({-128, 127}, {
        {"200", "127"},     {"-300", "-128"},   {"12abc", "12"},  {"", "0"},
        {"3.5", "3.5"},     {"+7", "7"},        {"007", "7"},     {"2.50", "2.5"},
        {"abc", "0"},       {"127", "127"},     {"-128", "-128"}, {"127.5", "127"},
        {"-128.5", "-128"}, {"1 2", "12"},      {"-0", "0"},      {" -5", "-5"},
    });
}

TEST(RangeCheckedText, positionsAreHeldToTheirRangeFromZero)
{
    expectChecks({0, 39}, {{"45", "39"}, {"39", "39"}, {"-3", "0"}, {"12.5", "12.5"}, {"x", "0"}});
    expectChecks({0, 29}, {{"25", "25"}, {"31", "29"}, {"29.5", "29"}, {"-0.5", "0"}});
}

} // namespace
} // namespace quillon

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gui/commandline.h"

#include <gtest/gtest.h>

namespace quillon::test {
namespace {

TEST(CommandLine, helpAndVersionAnswerBeforeAWindowOpensAnythingElseStartsTheProgram)
{
    const QString version = QStringLiteral("quillon " QUILLON_VERSION "\n");
    const struct {
        QStringList args;
        std::optional<QString> begins; // nullopt: the window opens
    } cases[] = {
        {{"--help"}, "usage: quillon "},
        {{"-h"}, "usage: quillon "},
        {{"--version"}, version},
        {{"Studio.kxd", "--version"}, version},
        {{"--version", "--help"}, version}, // the first asked wins
        {{}, std::nullopt},
        {{"Studio.kxd"}, std::nullopt},
        {{"-platform", "offscreen", "Studio.kxd"}, std::nullopt},
        {{"--helpful.kxd"}, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<QString> answer = earlyAnswer(c.args);
        const std::string what = c.args.join(' ').toStdString();
        ASSERT_EQ(answer.has_value(), c.begins.has_value()) << what;
        if (answer)
            EXPECT_TRUE(answer->startsWith(*c.begins)) << what << ": " << answer->toStdString();
    }
}

} // namespace
} // namespace quillon::test

// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/setupnames.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(SetupNames, theLastLetterTellsTheKindOfSetUp)
{
    EXPECT_EQ(setupKindFromName("C:\\Sets\\Studio.A.kxm"), CardType::AVM);
    EXPECT_EQ(setupKindFromName("/home/op/STUDIO.KXM"), CardType::AVM);
    EXPECT_EQ(setupKindFromName("Studio.kxd"), CardType::SID);
    EXPECT_EQ(setupKindFromName("Unsaved"), CardType::SID);
    EXPECT_EQ(setupKindFromName("program"), CardType::AVM);
    EXPECT_EQ(setupKindFromName(""), CardType::SID);
}

TEST(SetupNames, splittingGivesTheBareNameAndTheFolderWithItsSeparator)
{
    const struct {
        const char* path;
        const char* bareName;
        const char* folder;
    } rows[] = {
        {"C:\\Sets\\Studio.A.kxm", "Studio", "C:\\Sets\\"},
        {"/home/op/sets/Studio.kxd", "Studio", "/home/op/sets/"},
        {"/home/op.d/sets/Studio", "Studio", "/home/op.d/sets/"},
        {"C:\\mixed/dir\\Final.kxd", "Final", "C:\\mixed/dir\\"},
        {"C:\\Sets\\.hidden.kxd", "", "C:\\Sets\\"},
        {"Studio.kxd", "Studio.kxd", ""},
        {"Unsaved", "Unsaved", ""},
        {"/", "", "/"},
    };
    for (const auto& row : rows) {
        const SetupName name = splitSetupName(QString::fromLatin1(row.path));
        EXPECT_EQ(name.bareName, row.bareName) << row.path;
        EXPECT_EQ(name.folder, row.folder) << row.path;
    }
}

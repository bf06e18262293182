// The letter table of the hot keys and what registration does without an
// X server (the offscreen test platform has none).
#include "HotKeys.h"

#include <gtest/gtest.h>

using namespace zk;

TEST(HotKeyLetters, FifteenLettersInTheOrderOfTheSettings)
{
    QString all;
    for (int i = 0; i < kHotKeyLetterCount; ++i)
        all += HotKeyLetter(i);
    EXPECT_EQ(all, "ABEFGHIJKLMNTUY");
    EXPECT_TRUE(HotKeyLetter(15).isNull());
    EXPECT_TRUE(HotKeyLetter(255).isNull());
    EXPECT_TRUE(HotKeyLetter(-1).isNull());
    EXPECT_EQ(HotKeyLetterIndex(QChar('e')), 2);
    EXPECT_EQ(HotKeyLetterIndex(QChar('Y')), 14);
    EXPECT_EQ(HotKeyLetterIndex(QChar('C')), -1) << "Ctrl+C stays the copy key";
    EXPECT_EQ(HotKeyLetterIndex(QChar('1')), -1);
}

TEST(HotKeyLetters, WithoutAnXServerNothingIsGrabbedAndNothingIsCalledTaken)
{
    if (TGlobalHotKeys::Available())
        GTEST_SKIP() << "runs on the offscreen platform";
    TGlobalHotKeys keys;
    EXPECT_FALSE(keys.Register(1, QChar('A')));
    const THotKeyResult result = keys.RegisterAll({{1, QChar('A')}, {2, QChar('E')}});
    EXPECT_FALSE(result.available);
    EXPECT_TRUE(result.registered.isEmpty());
    EXPECT_TRUE(result.refused.isEmpty());
    EXPECT_TRUE(keys.RegisteredIds().isEmpty());
}

#include "AsciiCase.h"

#include <gtest/gtest.h>

// Store keys and control names are lowered without the Unicode tables when
// they are ASCII; anything else is left to the caller's Unicode rule.
TEST(AsciiCase, LowersAsciiNamesAndLeavesOthersToTheCaller)
{
    const struct
    {
        QString name;
        std::optional<QString> lowered;
    } cases[] = {
        {"", QString("")},
        {"Software\\Tarvendo\\Zelkora", QString("software\\tarvendo\\zelkora")},
        {"ZKMainMenu.Items[3]", QString("zkmainmenu.items[3]")},
        {"@[Z]^`{", QString("@[z]^`{")}, // only A to Z change, not their neighbours
        {QString::fromUtf8("Größe"), std::nullopt},
        {QString::fromUtf8("ABC\u00C4"), std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(zk::AsciiLowered(c.name), c.lowered) << c.name.toStdString();

    // A name already in lower case comes back shared, not copied.
    const QString lower = QStringLiteral("software\\zelkora").toLower();
    EXPECT_EQ(zk::AsciiLowered(lower)->constData(), lower.constData());
}

// The stored layout of a side dock area: the bytes of a known layout worked
// out by hand, the way back, and damaged streams refused whole.
#include "DockStream.h"

#include <QByteArray>
#include <gtest/gtest.h>

using namespace zk;

namespace {

QByteArray le32(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    const char bytes[4] = {char(u & 0xFF), char((u >> 8) & 0xFF), char((u >> 16) & 0xFF), char((u >> 24) & 0xFF)};
    return QByteArray(bytes, 4);
}

QByteArray str(const char *s)
{
    return le32(std::int32_t(qstrlen(s))) + QByteArray(s);
}

// A left area 200 wide with the folder window (300 high) over the file
// list (250 high), nothing hidden.
QByteArray twoFormsStream()
{
    return le32(200) + le32(0x00040000) + le32(0) + le32(550)              // width, version, hidden, top limit
           + le32(0) + QByteArray(1, '\x02') + le32(200) + str("")           // top zone
           + le32(1) + QByteArray(1, '\x00') + le32(300) + str("DirBDForm")  // first child
           + le32(1) + QByteArray(1, '\x00') + le32(250) + str("NavBDForm")  // second child
           + le32(-1);                                                       // end mark
}

} // namespace

TEST(DockStream, StackedLayoutBytesAndWayBack)
{
    const TDockPanelStream s = StackedPanelStream(200, {{"DirBDForm", 300}, {"NavBDForm", 250}});
    EXPECT_EQ(s.Encode(), twoFormsStream());
    const auto back = TDockPanelStream::Decode(twoFormsStream());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 200);
    EXPECT_EQ(back->ZoneNames(), (QStringList{"DirBDForm", "NavBDForm"}));
    EXPECT_EQ(*back, s);

    // Hidden windows and an empty area go the same way.
    const TDockPanelStream hidden = StackedPanelStream(169, {}, {"NavBDForm"});
    const QByteArray bytes = hidden.Encode();
    EXPECT_EQ(bytes, le32(169) + le32(0x00040000) + le32(1) + str("NavBDForm") + le32(0) + le32(-1));
    EXPECT_EQ(TDockPanelStream::Decode(bytes), hidden);
}

TEST(DockStream, DamagedStreamsAreRefusedWhole)
{
    const QByteArray good = twoFormsStream();
    // Every cut short of the whole stream.
    for (qsizetype n = 0; n < good.size(); ++n)
        EXPECT_FALSE(TDockPanelStream::Decode(good.left(n))) << "cut at " << n;
    // Trailing bytes after the end mark.
    EXPECT_FALSE(TDockPanelStream::Decode(good + QByteArray(1, '\0')));

    struct Case
    {
        const char *what;
        QByteArray bytes;
    };
    const QByteArray tail = le32(0) + le32(-1);
    const Case cases[] = {
        {"negative width", le32(-5) + le32(0x00040000) + le32(0) + tail},
        {"absurd width", le32(1 << 20) + le32(0x00040000) + le32(0) + tail},
        {"other version", le32(200) + le32(0x00030000) + le32(0) + tail},
        {"negative name count", le32(200) + le32(0x00040000) + le32(-1) + tail},
        {"name count past the data", le32(200) + le32(0x00040000) + le32(1000000) + tail},
        {"name longer than the data", le32(200) + le32(0x00040000) + le32(1) + le32(0x7FFFFFFF) + tail},
        {"zone below a missing parent",
         le32(200) + le32(0x00040000) + le32(0) + le32(0) + le32(2) + QByteArray(1, '\0') + le32(1) + str("A") + le32(-1)},
        {"second top zone",
         le32(200) + le32(0x00040000) + le32(0) + le32(0) + le32(0) + QByteArray(1, '\0') + le32(1) + str("")
             + le32(0) + QByteArray(1, '\0') + le32(1) + str("") + le32(-1)},
        {"odd orientation",
         le32(200) + le32(0x00040000) + le32(0) + le32(0) + le32(0) + QByteArray(1, '\x07') + le32(1) + str("") + le32(-1)},
        {"garbage", QByteArray(64, '\xA5')},
    };
    for (const Case &c : cases)
        EXPECT_FALSE(TDockPanelStream::Decode(c.bytes)) << c.what;
}

#pragma once
// The stored layout of a side dock area ("DataStream"): the area's width,
// then the dock tree as the class library's dock manager writes it. Here the
// tree is built from what Qt's dock area holds: one top zone and, below it,
// one zone per docked window in order, its height as the zone's limit.
#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace zk {

struct TDockZone
{
    std::int32_t level = 0;
    std::uint8_t orientation = 0; // 0 none, 1 horizontal, 2 vertical
    std::int32_t limit = 0;
    QString name; // empty for a zone that only groups others
    bool operator==(const TDockZone &) const = default;
};

struct TDockPanelStream
{
    static constexpr std::int32_t kVersion = 0x00040000;
    // Longest name and most entries a stream may carry: a layout of a
    // handful of windows never comes near them, a damaged one may.
    static constexpr std::int32_t kMaxName = 255;
    static constexpr std::int32_t kMaxEntries = 64;
    static constexpr std::int32_t kMaxWidth = 32767;

    std::int32_t width = 0;
    std::int32_t version = kVersion;
    QStringList hidden;
    std::int32_t topLimit = 0;
    QList<TDockZone> zones; // depth first, the top zone first

    QByteArray Encode() const;
    // The whole stream is checked (lengths, counts, levels, width, the end
    // mark) before anything is returned; anything short, long or odd gives
    // nothing.
    static std::optional<TDockPanelStream> Decode(const QByteArray &data);
    // The names of the docked windows in zone order.
    QStringList ZoneNames() const;

    bool operator==(const TDockPanelStream &) const = default;
};

// A vertical stack of windows as the dock manager keeps it: one top zone,
// one child zone per window with its height as the limit.
TDockPanelStream StackedPanelStream(int width, const QList<QPair<QString, int>> &windows,
                                    const QStringList &hidden = {});

} // namespace zk

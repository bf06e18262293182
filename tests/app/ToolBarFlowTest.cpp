// Rows of a floating tool bar: where each button and separator lands for a
// given width.
#include "ToolBarFlow.h"

#include <gtest/gtest.h>

using namespace zk;

namespace {

// 'b' a 20x20 button, 'w' a 50x20 button, '|' a separator 6 wide.
QList<TFlowItem> items(const char *pattern)
{
    QList<TFlowItem> list;
    for (const char *c = pattern; *c; ++c) {
        if (*c == '|')
            list.append({QSize(6, 0), true});
        else
            list.append({QSize(*c == 'w' ? 50 : 20, 20), false});
    }
    return list;
}

// The row of each item as a string ('-' for a dropped separator).
std::string rowsOf(const TFlowResult &r)
{
    std::string s;
    for (const QRect &rect : r.rects)
        s += rect.isEmpty() ? '-' : char('0' + rect.top() / 22);
    return s;
}

} // namespace

TEST(ToolBarFlow, ButtonsWrapIntoRowsAndSeparatorsOnlyStandBetweenTwo)
{
    static const struct
    {
        const char *pattern;
        int width;
        const char *rows;
        int height;
    } cases[] = {
        {"bb|bb", 1000, "00000", 20},
        // b(0..20) b(22..42) |(44..50) b(52..72): a fourth button fits from 96.
        {"bb|bb", 72, "00001", 42},
        {"bb|bb", 71, "00-11", 42},
        // Narrower than one button: still one button per row.
        {"bb|bb", 5, "01-23", 86},
        {"bwb", 60, "012", 64},
        // Leading, doubled and trailing separators take no place.
        {"|b||b|", 1000, "-0-00-", 20},
        {"", 100, "", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " at " + std::to_string(c.width));
        const TFlowResult r = FlowItems(items(c.pattern), c.width, 2);
        EXPECT_EQ(rowsOf(r), c.rows);
        EXPECT_EQ(r.height, c.height);
        // Nothing overlaps, nothing passes the width unless it is a lone button,
        // and a separator stands as high as its row.
        for (qsizetype i = 0; i < r.rects.size(); ++i) {
            const QRect a = r.rects[i];
            if (a.isEmpty())
                continue;
            if (a.left() > 0) {
                EXPECT_LE(a.right() + 1, c.width);
            }
            EXPECT_EQ(a.height(), 20);
            for (qsizetype j = i + 1; j < r.rects.size(); ++j)
                EXPECT_FALSE(a.intersects(r.rects[j])) << i << " and " << j;
        }
    }
}

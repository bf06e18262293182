#include "ThumbImageList.h"

namespace zk {

namespace {

qsizetype costOf(const QPixmap &p)
{
    return qMax<qsizetype>(1, qsizetype(p.width()) * p.height() * ((p.depth() + 7) / 8) / 1024);
}

} // namespace

TThumbImageList::TThumbImageList(qsizetype maxBytes) : m_held(qMax<qsizetype>(1, maxBytes / 1024)) {}

int TThumbImageList::Add(const QPixmap &thumb)
{
    const int index = m_next++;
    m_held.insert(index, new QPixmap(thumb), costOf(thumb));
    return index;
}

void TThumbImageList::HoldAtLeast(int count, int side)
{
    const qsizetype need = qsizetype(count) * qMax<qsizetype>(1, qsizetype(side) * side * 4 / 1024);
    if (need > m_held.maxCost())
        m_held.setMaxCost(need);
}

QPixmap TThumbImageList::At(int index) const
{
    const QPixmap *p = m_held.object(index);
    return p ? *p : QPixmap();
}

} // namespace zk

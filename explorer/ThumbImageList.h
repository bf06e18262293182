#pragma once
// The thumbnails of the file list, held within a memory bound: when it is
// full, the thumbnails drawn least recently make room. A row whose thumbnail
// was dropped shows its type image until it is in view again and the
// thumbnail has been made anew; a folder of ten thousand pictures then holds
// a few screens of thumbnails, not all of them.
#include <QCache>
#include <QPixmap>

namespace zk {

class TThumbImageList
{
public:
    explicit TThumbImageList(qsizetype maxBytes = qsizetype(48) << 20);

    // Adds a thumbnail; returns its index, never used again for another one.
    int Add(const QPixmap &thumb);
    // Whether the thumbnail of index is still held.
    bool Holds(int index) const { return index >= 0 && m_held.contains(index); }
    // The thumbnail of index (a null pixmap once dropped); counts as drawn.
    QPixmap At(int index) const;
    // Makes room for at least count thumbnails of side x side pixels (the
    // bound only grows): a view showing more of them than the bound holds
    // would drop and make the ones it shows for ever.
    void HoldAtLeast(int count, int side);
    // How many are held now.
    qsizetype size() const { return m_held.size(); }
    void clear() { m_held.clear(); }

private:
    QCache<int, QPixmap> m_held; // cost in KB
    int m_next = 0;
};

} // namespace zk

#include "FileListModel.h"

#include <algorithm>
#include <unordered_map>

namespace zk {

namespace {

bool captionLess(const std::unique_ptr<TFileEntry> &a, const std::unique_ptr<TFileEntry> &b)
{
    return a->caption.compare(b->caption, Qt::CaseInsensitive) < 0;
}

} // namespace

int TFileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant TFileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TFileEntry &e = entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return e.caption;
    case Qt::DecorationRole: return Decoration ? QVariant(Decoration(e)) : QVariant();
    case Qt::ToolTipRole: return e.path;
    default: return {};
    }
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_caption;
    return {};
}

void TFileListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void TFileListModel::addEntries(std::vector<TFileEntry> batch)
{
    if (batch.empty())
        return;
    emit layoutAboutToBeChanged();
    // The views' current and selected rows follow their entries.
    const QModelIndexList persistent = persistentIndexList();
    std::vector<const TFileEntry *> held;
    held.reserve(static_cast<size_t>(persistent.size()));
    for (const QModelIndex &i : persistent)
        held.push_back(i.isValid() ? m_rows[static_cast<size_t>(i.row())].get() : nullptr);

    const auto middle = static_cast<std::ptrdiff_t>(m_rows.size());
    for (TFileEntry &e : batch)
        m_rows.push_back(std::make_unique<TFileEntry>(std::move(e)));
    std::stable_sort(m_rows.begin() + middle, m_rows.end(), captionLess);
    std::inplace_merge(m_rows.begin(), m_rows.begin() + middle, m_rows.end(), captionLess);

    if (!persistent.isEmpty()) {
        std::unordered_map<const TFileEntry *, int> rowOfEntry;
        for (int r = 0; r < rowCount(); ++r)
            rowOfEntry.emplace(m_rows[static_cast<size_t>(r)].get(), r);
        QModelIndexList moved;
        for (size_t k = 0; k < held.size(); ++k)
            moved.append(held[k] ? index(rowOfEntry[held[k]], persistent[static_cast<int>(k)].column())
                                 : QModelIndex());
        changePersistentIndexList(persistent, moved);
    }
    emit layoutChanged();
}

void TFileListModel::setImage(int row, int image)
{
    m_rows[static_cast<size_t>(row)]->image = image;
    emit dataChanged(index(row), index(row), {Qt::DecorationRole});
}

void TFileListModel::setThumb(int row, int thumb)
{
    m_rows[static_cast<size_t>(row)]->thumb = thumb;
    emit dataChanged(index(row), index(row), {Qt::DecorationRole});
}

int TFileListModel::rowOf(const QString &path) const
{
    for (int r = 0; r < rowCount(); ++r)
        if (m_rows[static_cast<size_t>(r)]->path == path)
            return r;
    return -1;
}

void TFileListModel::setColumnCaption(const QString &caption)
{
    m_caption = caption;
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

} // namespace zk

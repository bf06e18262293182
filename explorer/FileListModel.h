#pragma once
// The rows of the file list: one per listed file, kept sorted by caption
// (without case) however they arrive, with the one column's caption.
#include <QAbstractListModel>
#include <QIcon>
#include <functional>
#include <memory>
#include <vector>

namespace zk {

struct TFileEntry
{
    QString caption; // what the list shows
    QString path;    // the real file, for opening, deleting and copying
    int image = -1;  // type image, shell icon or ".ico" icon, by listing
    int thumb = -1;  // thumbnail, once made
};

class TFileListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void clear();
    // Adds a batch of rows at their sorted places in one layout change.
    void addEntries(std::vector<TFileEntry> batch);
    const TFileEntry &entry(int row) const { return *m_rows[static_cast<size_t>(row)]; }
    void setImage(int row, int image);
    void setThumb(int row, int thumb);
    // The row of the entry for path (-1 when it is gone).
    int rowOf(const QString &path) const;

    QString columnCaption() const { return m_caption; }
    void setColumnCaption(const QString &caption);

    // The picture a row shows; set by the form (it owns the image lists).
    std::function<QIcon(const TFileEntry &)> Decoration;

private:
    std::vector<std::unique_ptr<TFileEntry>> m_rows;
    QString m_caption;
};

} // namespace zk

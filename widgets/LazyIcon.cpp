#include "LazyIcon.h"

#include <QFileInfo>
#include <QIconEngine>
#include <QPainter>

#include <memory>

namespace zk {

namespace {

// The copies of one icon share the maker and what it made.
struct LazySource
{
    std::function<QIcon()> make;
    QIcon icon;
    bool drawable = true;
    bool made = false;

    QIcon &get()
    {
        if (!made) {
            made = true;
            icon = make();
            make = nullptr;
        }
        return icon;
    }
};

class TLazyIconEngine : public QIconEngine
{
public:
    explicit TLazyIconEngine(std::shared_ptr<LazySource> source) : m_source(std::move(source)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        m_source->get().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_source->get().pixmap(size, 1.0, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_source->get().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return m_source->get().availableSizes(mode, state);
    }
    void addPixmap(const QPixmap &pixmap, QIcon::Mode mode, QIcon::State state) override
    {
        m_source->get().addPixmap(pixmap, mode, state);
    }
    void addFile(const QString &fileName, const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        m_source->get().addFile(fileName, size, mode, state);
    }
    QString iconName() override { return m_source->get().name(); }
    bool isNull() override { return m_source->made ? m_source->icon.isNull() : !m_source->drawable; }
    QString key() const override { return QStringLiteral("zk-lazy"); }
    QIconEngine *clone() const override
    {
        // A copy that is changed (QIcon::addPixmap detaches) changes alone.
        auto copy = std::make_shared<LazySource>(*m_source);
        return new TLazyIconEngine(copy);
    }

private:
    std::shared_ptr<LazySource> m_source;
};

} // namespace

QIcon LazyIcon(std::function<QIcon()> make, bool drawable)
{
    auto source = std::make_shared<LazySource>();
    source->make = std::move(make);
    source->drawable = drawable;
    return QIcon(new TLazyIconEngine(std::move(source)));
}

QIcon LazyFileIcon(const QString &fileName)
{
    return LazyIcon([fileName] { return QIcon(fileName); }, QFileInfo::exists(fileName));
}

} // namespace zk

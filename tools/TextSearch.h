#pragma once
// The text search in files: the plain searcher (no window, tested on its
// own) and the worker thread the search dialog owns.
#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>

namespace zk {

// Why a file could not be searched.
enum class TSearchFault : std::uint8_t {
    None,
    NotRegular,  // a FIFO, device, socket: reading could block or never end
    Link,        // a symbolic link: not followed (loops, leaving the tree)
    Open,        // the system refused to open it (errnum)
    Read,        // a read failed part way (errnum)
};

// One occurrence, or one file that could not be searched (fault set).
struct TTextHit
{
    QString file;
    std::int32_t line = 0; // counted from 1
    TSearchFault fault = TSearchFault::None;
    int errnum = 0;
    bool IsError() const { return fault != TSearchFault::None; }
};

// Looks for a literal text, a to z folded when the case does not count
// (other bytes compare as they are). Files are read in blocks of BlockSize;
// a line ends at LF, CR LF or a lone CR. Every occurrence is reported; after
// a hit the search goes on behind it.
class TTextSearcher
{
public:
    static constexpr std::size_t BlockSize = 1u << 20;
    using THitSink = std::function<void(const TTextHit &hit)>;

    TTextSearcher(const QByteArray &text, bool caseSensitive);

    // Only regular files are read and links are not followed: anything else
    // reports one error hit.
    void SearchFile(const QString &fileName, const THitSink &sink, const std::atomic_bool &stop) const;
    // Every entry of the folder (hidden ones too), subfolders when recursive.
    void SearchFolder(const QString &folder, bool recursive, const THitSink &sink,
                      const std::atomic_bool &stop) const;

private:
    void SearchPath(const QByteArray &path, const QString &fileName, const THitSink &sink,
                    const std::atomic_bool &stop) const;
    void SearchTree(QByteArray path, bool recursive, const THitSink &sink, const std::atomic_bool &stop) const;
    void SearchOpenFile(int fd, const QString &fileName, const THitSink &sink, const std::atomic_bool &stop) const;

    QByteArray m_text;
    bool m_caseSensitive;
};

// The worker: searches one file (Mode 0) or a folder (Mode 1) and hands its
// hits to the GUI thread in batches, in order. Fields are set before start.
class TFndTxtThread : public QThread
{
    Q_OBJECT
public:
    // Called on the GUI thread with each batch of hits (error hits
    // included), in the order they were found.
    using TFoundEvent = std::function<void(const QList<TTextHit> &hits)>;

    // The file form.
    TFndTxtThread(const QString &SearchText, TFoundEvent OnFound, const QString &Path, bool CaseSensitive,
                  QObject *parent = nullptr);
    // The folder form.
    TFndTxtThread(const QString &SearchText, TFoundEvent OnFound, const QString &Path, bool CaseSensitive,
                  bool Recursive, QObject *parent = nullptr);
    // Stops the search and waits for it.
    ~TFndTxtThread() override;

    QString SearchText;
    bool CaseSensitive = false;
    std::uint8_t Mode = 0;
    QString Path;
    bool Recursive = false;
    TFoundEvent OnFound;

    // Asks the search to stop (between blocks and between files).
    void Stop() { m_stop = true; }
    bool Stopping() const { return m_stop; }

signals:
    // Queued to the GUI thread; OnFound is called there with the batch.
    void HitsFound(const QList<zk::TTextHit> &hits);

protected:
    void run() override;

private:
    void Execute();
    void Deliver(const QList<TTextHit> &hits);
    std::atomic_bool m_stop{false};
};

} // namespace zk

Q_DECLARE_METATYPE(zk::TTextHit)

#pragma once
// The content of one registry store file and its text form, plus the
// process-wide access point that keeps it in step with the file on disk.
// Used by TRegistry; not meant for other callers.
#include "Registry.h"
#include "StoreIo.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zk::regstore {

struct Value
{
    QString name; // as first written; "" is the key's default value
    RegDataType type = RegDataType::Unknown;
    QString text;            // String, ExpandString
    std::uint32_t dword = 0; // Integer
    QByteArray bytes;        // Binary, Unknown
    int rawKind = 0;         // the type number of an Unknown value, kept on rewrite

    int dataSize() const;
};

struct Key
{
    QString path; // components joined by '\', each in its first-written case
    QList<Value> values;
    // Read as a section of its own or made on purpose; a key that only
    // leads to deeper ones is not written as a section.
    bool section = false;

    const Value *find(const QString &name) const;
    Value *find(const QString &name);
    // Replaces the data of an existing value (keeping its name's case) or
    // appends a new one.
    void set(Value value);
    bool remove(const QString &name);

private:
    int indexOf(const QString &name) const;
    void reindex();
    QHash<QString, int> m_index; // case-folded name -> position in values
};

// Splits a key path into its components, dropping empty ones (leading,
// trailing and doubled separators). Returns false for a component that
// cannot be stored (control characters).
bool splitPath(const QString &path, QStringList *parts);
QString parentPath(const QString &path);

class Tree
{
public:
    const Key *find(const QString &path) const;
    Key *find(const QString &path);
    // Finds or creates the key and its missing ancestors. An existing
    // component keeps its case. The key itself (not the ancestors made on
    // the way) counts as a section.
    Key &make(const QString &path);
    // Removes the key with all its subkeys. Returns false when it is missing.
    bool remove(const QString &path);
    QStringList childNames(const QString &path) const; // "" is the root
    bool hasChildren(const QString &path) const;

    const std::vector<Key> &keys() const { return m_keys; }
    void clear();

private:
    int indexOf(const QString &path) const;
    void reindex();
    std::vector<Key> m_keys;
    QHash<QString, int> m_index; // folded path -> position
};

// The first line of every store file.
extern const char *const FileHeader;

// Parses store text. A damaged line is skipped with a warning naming
// fileName and the line number (the first few of them); the rest loads.
// *damaged tells whether anything was skipped.
Tree parse(const QByteArray &data, const QString &fileName, bool *damaged = nullptr);
// sizeHint: the expected size, to allocate once.
QByteArray serialize(const Tree &tree, qsizetype sizeHint = 0);

// One store file as this process sees it. All TRegistry objects on the same
// file share one instance, so a write by one is seen by the others at once.
class Store
{
public:
    static Store &at(const QString &fileName);

    // Runs fn on the newest content: refreshed from the file when it changed
    // since it was last read.
    template<class Fn>
    auto read(Fn fn)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        refresh();
        return fn(static_cast<const Tree &>(m_tree));
    }

    // Lets fn change the content and writes the result atomically when it
    // differs from the file: under the inter-process lock the file is read
    // again and fn applied to it, so values other processes wrote meanwhile
    // are kept. A change that leaves the file as it is writes nothing and
    // takes no lock, so a read-only store is no error while nothing changes.
    // fn may be run more than once and must own what it captures. Throws
    // ERegistryException when the file cannot be read or written (also when
    // the user made it read-only); the file is then unchanged.
    void write(const std::function<void(Tree &)> &fn);

    // A batch collects the writes between begin and end and makes them one
    // update of the file at the outermost end, as write does for one change.
    // Readers in between see the collected changes on the file as it was
    // when the batch first looked at it. end throws like write;
    // the collected changes are then dropped.
    void beginBatch();
    void endBatch();

    // Between beginLook and endLook reads look at the file once, as a batch
    // does, but writes are made at once. For a burst of reads where a look
    // per value would cost a system call each; changes other processes make
    // meanwhile are seen from the next look after endLook.
    void beginLook();
    void endLook();

    // The file read holds something its reader could not use (a value of
    // another type than expected): it is kept before it is next replaced.
    void markDamaged();

private:
    // Re-reads the file under the held lock and makes it the base of changes.
    // Returns whether the tree was built anew from the file.
    bool adoptFromFile();
    // Writes the tree (bytes: its text when already made).
    void flush(QByteArray bytes = QByteArray());
    // Writes the collected changes (see write).
    void commitPending();
    std::vector<std::function<void(Tree &)>> m_pending;
    int m_batchDepth = 0;
    int m_lookDepth = 0;
    bool m_stale = false; // m_tree is not m_raw with m_pending on top
    bool m_looked = false; // the running batch or look has looked at the file

    explicit Store(const QString &fileName);
    void refresh();
    // Makes data the base of the tree; returns whether it was parsed anew.
    bool adopt(const QByteArray &data, const storeio::FileStamp &stamp);

    // Keeps the file as it is on disk beside it ("NAME.damaged") before it is
    // replaced for the first time after it did not read cleanly.
    void keepDamaged();

    QString m_file;
    std::mutex m_mutex;
    Tree m_tree;
    QByteArray m_raw;
    bool m_rawDamaged = false; // m_raw did not read cleanly
    storeio::FileStamp m_stamp;
    bool m_loaded = false;
};

} // namespace zk::regstore

#pragma once
// The settings store that stands in for the Windows registry: one text file
// per root under $XDG_CONFIG_HOME/Zelkora/ ("HKCU.reg", "HKLM.reg"), in the
// .reg text style with typed values. Key and value names compare without case
// and keep the case they were first written with. Every write reaches the
// file atomically (temporary file + rename) under an exclusive lock, merged
// with what other processes wrote meanwhile.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <stdexcept>

namespace zk {

enum class RootKey { CurrentUser, LocalMachine };

enum class RegDataType { Unknown, String, ExpandString, Integer, Binary };

// Raised by a read of a missing value or of a value of another type, and by
// writes that cannot reach the file (a full disk, a folder or store file the
// user may not write). The message names the key and the value, or the file
// and the reason.
class ERegistryException : public std::runtime_error
{
public:
    explicit ERegistryException(const QString &message);
    QString message() const;
};

// Told when a store file that did not read cleanly (damaged lines, not a
// store at all) is about to be replaced and its original was kept as copy.
// Called from inside the store's write, with its lock held: a handler must
// not touch the stores, only note the files (e.g. for a message shown later).
using TDamagedStoreHandler = std::function<void(const QString &storeFile, const QString &copy)>;
void SetDamagedStoreHandler(TDamagedStoreHandler handler);
void ReportDamagedStore(const QString &storeFile, const QString &copy);
// A reader found a value it cannot use in the store of root: the file is
// kept and reported the same way before it is next replaced.
void MarkStoreDamaged(RootKey root);

class TRegistry
{
public:
    explicit TRegistry(RootKey root = RootKey::CurrentUser);
    ~TRegistry();
    TRegistry(const TRegistry &) = delete;
    TRegistry &operator=(const TRegistry &) = delete;

    RootKey rootKey() const;
    void SetRootKey(RootKey root); // closes the current key

    // Key paths use '\' ("Software\Tarvendo\Zelkora\5.0\Options"). A path
    // starting with '\' is absolute; otherwise it is relative to the open key
    // (or the root when none is open). Returns false when the key is missing
    // and canCreate is false.
    bool OpenKey(const QString &key, bool canCreate);
    bool OpenKeyReadOnly(const QString &key);
    void CloseKey();
    QString CurrentPath() const; // without leading '\'

    bool KeyExists(const QString &key) const;     // same path rules as OpenKey
    bool ValueExists(const QString &name) const;  // in the open key
    bool HasSubKeys() const;
    RegDataType GetDataType(const QString &name) const;
    int GetDataSize(const QString &name) const; // -1 when missing

    bool ReadBool(const QString &name) const;       // stored as DWORD, nonzero is true
    std::int32_t ReadInteger(const QString &name) const;
    QString ReadString(const QString &name) const;  // String or ExpandString
    QByteArray ReadBinaryData(const QString &name) const;
    // Copies at most bufSize bytes; returns how many were copied.
    int ReadBinaryData(const QString &name, void *buffer, int bufSize) const;

    void WriteBool(const QString &name, bool value);
    void WriteInteger(const QString &name, std::int32_t value);
    void WriteString(const QString &name, const QString &value);
    void WriteExpandString(const QString &name, const QString &value);
    void WriteBinaryData(const QString &name, const QByteArray &value);
    void WriteBinaryData(const QString &name, const void *buffer, int size);

    QStringList GetValueNames() const; // in the open key, in stored order
    QStringList GetKeyNames() const;   // direct subkeys of the open key

    bool DeleteKey(const QString &key); // with all subkeys; same path rules
    bool DeleteValue(const QString &name);

    // The file behind a root (for tests and diagnostics).
    static QString StoreFile(RootKey root);

private:
    struct Impl;
    Impl *d;
};

// Collects the writes to one root into a single file update: at Commit (or
// destruction) they are applied, under the store's lock, to the file as it
// is then, and the file is written once, or not at all when nothing changed.
// No lock is held while the batch collects. Use it around many writes in a
// row (saving the whole options record, everything a close keeps), where one
// update per value would cost a disk flush each.
class TRegistryBatch
{
public:
    explicit TRegistryBatch(RootKey root = RootKey::CurrentUser);
    ~TRegistryBatch(); // commits when Commit was not called; errors are logged
    TRegistryBatch(const TRegistryBatch &) = delete;
    TRegistryBatch &operator=(const TRegistryBatch &) = delete;
    // Writes the collected changes; throws ERegistryException when the file
    // cannot be written (it is then unchanged).
    void Commit();

private:
    RootKey m_root;
    bool m_open = false;
};

// While it lives, the values read from one root look at the store file once
// instead of once each, and the file's name is not worked out anew: for a
// burst of reads on one thread, such as building the main window. Writes are
// made at once, onto the newest file, as always; what other processes write
// meanwhile is read after the look ends.
class TRegistryOneLook
{
public:
    explicit TRegistryOneLook(RootKey root = RootKey::CurrentUser);
    ~TRegistryOneLook();
    TRegistryOneLook(const TRegistryOneLook &) = delete;
    TRegistryOneLook &operator=(const TRegistryOneLook &) = delete;

private:
    RootKey m_root;
};

// Ini-style access over the registry: a section is a subkey of the base key,
// an ident a value in it (as the class library's TRegistryIniFile does).
class TRegistryIniFile
{
public:
    explicit TRegistryIniFile(const QString &baseKey, RootKey root = RootKey::CurrentUser);
    ~TRegistryIniFile();

    QString ReadString(const QString &section, const QString &ident, const QString &def) const;
    std::int32_t ReadInteger(const QString &section, const QString &ident, std::int32_t def) const;
    bool ReadBool(const QString &section, const QString &ident, bool def) const;
    void WriteString(const QString &section, const QString &ident, const QString &value);
    void WriteInteger(const QString &section, const QString &ident, std::int32_t value);
    void WriteBool(const QString &section, const QString &ident, bool value);
    QStringList ReadSection(const QString &section) const; // value names
    QStringList ReadSections() const;                      // subkey names
    void EraseSection(const QString &section);
    void DeleteKey(const QString &section, const QString &ident);
    bool SectionExists(const QString &section) const;
    bool ValueExists(const QString &section, const QString &ident) const;

private:
    QString m_base;
    RootKey m_root;
};

} // namespace zk

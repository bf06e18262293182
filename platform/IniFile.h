#pragma once
// Ini files such as "ZK5.ini": keeps the order and case of sections and keys
// as they stand in the file, compares names without case, and changes only
// the lines it writes. Saved atomically after each write (temporary file +
// rename). Read as UTF-8, or as Windows-1252 when the file is not valid UTF-8.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace zk {

class TIniFile
{
public:
    explicit TIniFile(const QString &fileName);
    ~TIniFile();
    TIniFile(const TIniFile &) = delete;
    TIniFile &operator=(const TIniFile &) = delete;

    QString FileName() const;

    QString ReadString(const QString &section, const QString &ident, const QString &def) const;
    std::int32_t ReadInteger(const QString &section, const QString &ident, std::int32_t def) const;
    bool ReadBool(const QString &section, const QString &ident, bool def) const;
    // Write* return false when the file could not be saved (nothing is lost:
    // the old file stays as it was).
    bool WriteString(const QString &section, const QString &ident, const QString &value);
    bool WriteInteger(const QString &section, const QString &ident, std::int32_t value);
    bool WriteBool(const QString &section, const QString &ident, bool value);

    QStringList ReadSection(const QString &section) const;       // idents in file order
    QStringList ReadSections() const;                            // sections in file order
    QStringList ReadSectionValues(const QString &section) const; // "ident=value" lines
    bool EraseSection(const QString &section);
    bool DeleteKey(const QString &section, const QString &ident);
    bool SectionExists(const QString &section) const;
    bool ValueExists(const QString &section, const QString &ident) const;

    // Re-reads the file from disk (another process may have changed it).
    void Reload();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zk

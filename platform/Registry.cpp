#include "Registry.h"

#include "RegStore.h"

#include <QDir>
#include <QtDebug>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>

namespace zk {

using regstore::Key;
using regstore::Store;
using regstore::Tree;
using regstore::Value;

ERegistryException::ERegistryException(const QString &message)
    : std::runtime_error(message.toUtf8().toStdString())
{
}

QString ERegistryException::message() const
{
    return QString::fromUtf8(what());
}

namespace {

QString typeName(RegDataType t)
{
    switch (t) {
    case RegDataType::String: return QStringLiteral("string");
    case RegDataType::ExpandString: return QStringLiteral("expandable string");
    case RegDataType::Integer: return QStringLiteral("integer");
    case RegDataType::Binary: return QStringLiteral("binary");
    case RegDataType::Unknown: break;
    }
    return QStringLiteral("unknown");
}

QString configHome()
{
    // The XDG rules: an unset, empty or relative setting means ~/.config.
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return env;
    return QDir::homePath() + QStringLiteral("/.config");
}

} // namespace

struct TRegistry::Impl
{
    RootKey root = RootKey::CurrentUser;
    bool open = false;
    bool readOnly = false;
    QString path; // of the open key, normalised, without leading '\'

    Store &store() const;

    // Turns a key argument into a normalised absolute path. Returns false for
    // a path no key can have.
    bool resolve(const QString &key, QString *out) const
    {
        QStringList parts;
        if (!regstore::splitPath(key, &parts))
            return false;
        const bool absolute = key.startsWith(u'\\');
        QString joined = parts.join(u'\\');
        if (!absolute && open && !path.isEmpty())
            joined = joined.isEmpty() ? path : path + u'\\' + joined;
        *out = joined;
        return true;
    }

    // How a value is named in messages: the key path and the value name.
    QString valueLabel(const QString &name) const
    {
        const QString shown = name.isEmpty() ? QStringLiteral("(Default)") : name;
        return path.isEmpty() ? shown : path + u'\\' + shown;
    }

    // A copy of the value, or an exception naming what is missing or wrong.
    Value fetch(const QString &name, std::initializer_list<RegDataType> accepted, const char *wanted) const
    {
        std::optional<Value> found = store().read([&](const Tree &t) -> std::optional<Value> {
            if (!open)
                return std::nullopt;
            const Key *k = t.find(path);
            if (!k)
                return std::nullopt;
            const Value *v = k->find(name);
            if (!v)
                return std::nullopt;
            return *v;
        });
        if (!found)
            throw ERegistryException(QStringLiteral("Registry value \"%1\" is missing").arg(valueLabel(name)));
        if (std::find(accepted.begin(), accepted.end(), found->type) == accepted.end())
            throw ERegistryException(QStringLiteral("Registry value \"%1\" has type %2, not %3")
                                         .arg(valueLabel(name), typeName(found->type), QLatin1String(wanted)));
        return *found;
    }

    void put(Value v)
    {
        if (!open)
            throw ERegistryException(
                QStringLiteral("Cannot write registry value \"%1\": no key is open").arg(v.name));
        if (readOnly)
            throw ERegistryException(
                QStringLiteral("Cannot write registry value \"%1\": the key is open for reading only")
                    .arg(valueLabel(v.name)));
        if (path.isEmpty())
            throw ERegistryException(
                QStringLiteral("Cannot write registry value \"%1\" at the root; open a key first").arg(v.name));
        // A key deleted meanwhile (by us or another process) comes back, so
        // the value written is not lost.
        store().write([p = path, v](Tree &t) { t.make(p).set(v); });
    }
};

TRegistry::TRegistry(RootKey root) : d(new Impl)
{
    d->root = root;
}

TRegistry::~TRegistry()
{
    delete d;
}

RootKey TRegistry::rootKey() const
{
    return d->root;
}

void TRegistry::SetRootKey(RootKey root)
{
    CloseKey();
    d->root = root;
}

namespace {
std::mutex g_damagedMutex;
TDamagedStoreHandler g_damagedHandler;
} // namespace

void SetDamagedStoreHandler(TDamagedStoreHandler handler)
{
    std::lock_guard<std::mutex> guard(g_damagedMutex);
    g_damagedHandler = std::move(handler);
}

void ReportDamagedStore(const QString &storeFile, const QString &copy)
{
    std::lock_guard<std::mutex> guard(g_damagedMutex);
    if (g_damagedHandler)
        g_damagedHandler(storeFile, copy);
}

namespace {

// Every value read or written asks for its store. The file's name and its
// store are kept, per thread, while the two settings the name comes from
// stay the same (tests point them at folders of their own between cases).
struct KeptStore
{
    QByteArray xdg, home;
    QString file;
    Store *store = nullptr;
};

// Looks (TRegistryOneLook) open on this thread, per root: the kept name
// stands while they last.
thread_local int t_looks[2];

const KeptStore &keptStore(RootKey root)
{
    thread_local KeptStore kept[2];
    const int which = root == RootKey::LocalMachine ? 1 : 0;
    KeptStore &k = kept[which];
    if (t_looks[which] > 0 && k.store)
        return k;
    QByteArray xdg = qgetenv("XDG_CONFIG_HOME"), home = qgetenv("HOME");
    if (!k.store || xdg != k.xdg || home != k.home) {
        const QString name = root == RootKey::LocalMachine ? QStringLiteral("HKLM.reg") : QStringLiteral("HKCU.reg");
        k.file = configHome() + QStringLiteral("/Zelkora/") + name;
        k.store = &Store::at(k.file); // stores live to the program's end
        k.xdg = std::move(xdg);
        k.home = std::move(home);
    }
    return k;
}

} // namespace

Store &TRegistry::Impl::store() const
{
    return *keptStore(root).store;
}

void MarkStoreDamaged(RootKey root)
{
    keptStore(root).store->markDamaged();
}

QString TRegistry::StoreFile(RootKey root)
{
    return keptStore(root).file;
}

bool TRegistry::OpenKey(const QString &key, bool canCreate)
{
    QString target;
    if (!d->resolve(key, &target))
        return false;
    const bool exists = target.isEmpty() || d->store().read([&](const Tree &t) { return t.find(target) != nullptr; });
    if (!exists) {
        if (!canCreate)
            return false;
        try {
            d->store().write([target](Tree &t) { t.make(target); });
        } catch (const ERegistryException &e) {
            qWarning().noquote() << e.message();
            return false;
        }
    }
    // Report the path as stored, in the case it was first written with.
    if (!target.isEmpty())
        target = d->store().read([&](const Tree &t) {
            const Key *k = t.find(target);
            return k ? k->path : target;
        });
    d->open = true;
    d->readOnly = false;
    d->path = target;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const QString &key)
{
    if (!OpenKey(key, false))
        return false;
    d->readOnly = true;
    return true;
}

void TRegistry::CloseKey()
{
    d->open = false;
    d->readOnly = false;
    d->path.clear();
}

QString TRegistry::CurrentPath() const
{
    return d->path;
}

bool TRegistry::KeyExists(const QString &key) const
{
    QString target;
    if (!d->resolve(key, &target))
        return false;
    if (target.isEmpty())
        return true;
    return d->store().read([&](const Tree &t) { return t.find(target) != nullptr; });
}

bool TRegistry::ValueExists(const QString &name) const
{
    if (!d->open)
        return false;
    return d->store().read([&](const Tree &t) {
        const Key *k = t.find(d->path);
        return k && k->find(name);
    });
}

bool TRegistry::HasSubKeys() const
{
    if (!d->open)
        return false;
    return d->store().read([&](const Tree &t) { return t.hasChildren(d->path); });
}

RegDataType TRegistry::GetDataType(const QString &name) const
{
    if (!d->open)
        return RegDataType::Unknown;
    return d->store().read([&](const Tree &t) {
        const Key *k = t.find(d->path);
        const Value *v = k ? k->find(name) : nullptr;
        return v ? v->type : RegDataType::Unknown;
    });
}

int TRegistry::GetDataSize(const QString &name) const
{
    if (!d->open)
        return -1;
    return d->store().read([&](const Tree &t) {
        const Key *k = t.find(d->path);
        const Value *v = k ? k->find(name) : nullptr;
        return v ? v->dataSize() : -1;
    });
}

bool TRegistry::ReadBool(const QString &name) const
{
    return d->fetch(name, {RegDataType::Integer}, "integer").dword != 0;
}

std::int32_t TRegistry::ReadInteger(const QString &name) const
{
    return static_cast<std::int32_t>(d->fetch(name, {RegDataType::Integer}, "integer").dword);
}

QString TRegistry::ReadString(const QString &name) const
{
    return d->fetch(name, {RegDataType::String, RegDataType::ExpandString}, "string").text;
}

QByteArray TRegistry::ReadBinaryData(const QString &name) const
{
    return d->fetch(name, {RegDataType::Binary, RegDataType::Unknown}, "binary").bytes;
}

int TRegistry::ReadBinaryData(const QString &name, void *buffer, int bufSize) const
{
    const QByteArray data = ReadBinaryData(name);
    const int n = int(std::min<qsizetype>(data.size(), std::max(bufSize, 0)));
    if (n > 0) {
        if (!buffer)
            throw ERegistryException(
                QStringLiteral("Cannot read registry value \"%1\": no buffer given").arg(d->valueLabel(name)));
        std::memcpy(buffer, data.constData(), size_t(n));
    }
    return n;
}

void TRegistry::WriteBool(const QString &name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

void TRegistry::WriteInteger(const QString &name, std::int32_t value)
{
    Value v;
    v.name = name;
    v.type = RegDataType::Integer;
    v.dword = static_cast<std::uint32_t>(value);
    d->put(v);
}

void TRegistry::WriteString(const QString &name, const QString &value)
{
    Value v;
    v.name = name;
    v.type = RegDataType::String;
    v.text = value;
    d->put(v);
}

void TRegistry::WriteExpandString(const QString &name, const QString &value)
{
    Value v;
    v.name = name;
    v.type = RegDataType::ExpandString;
    v.text = value;
    d->put(v);
}

void TRegistry::WriteBinaryData(const QString &name, const QByteArray &value)
{
    Value v;
    v.name = name;
    v.type = RegDataType::Binary;
    v.bytes = value;
    d->put(v);
}

void TRegistry::WriteBinaryData(const QString &name, const void *buffer, int size)
{
    if (size < 0 || (size > 0 && !buffer))
        throw ERegistryException(
            QStringLiteral("Cannot write registry value \"%1\": invalid buffer").arg(d->valueLabel(name)));
    WriteBinaryData(name, QByteArray(static_cast<const char *>(buffer), size));
}

QStringList TRegistry::GetValueNames() const
{
    if (!d->open)
        return {};
    return d->store().read([&](const Tree &t) {
        QStringList names;
        if (const Key *k = t.find(d->path)) {
            for (const Value &v : k->values)
                names.append(v.name);
        }
        return names;
    });
}

QStringList TRegistry::GetKeyNames() const
{
    const QString at = d->open ? d->path : QString();
    return d->store().read([&](const Tree &t) { return t.childNames(at); });
}

bool TRegistry::DeleteKey(const QString &key)
{
    QString target;
    if (!d->resolve(key, &target) || target.isEmpty())
        return false; // the root itself is never deleted
    if (!KeyExists(QStringLiteral("\\") + target))
        return false;
    d->store().write([target](Tree &t) { t.remove(target); });
    return true;
}

bool TRegistry::DeleteValue(const QString &name)
{
    if (!d->open || d->path.isEmpty() || !ValueExists(name))
        return false;
    if (d->readOnly)
        throw ERegistryException(QStringLiteral("Cannot delete registry value \"%1\": the key is open for reading only")
                                     .arg(d->valueLabel(name)));
    d->store().write([p = d->path, name](Tree &t) {
        if (Key *k = t.find(p))
            k->remove(name);
    });
    return true;
}

// ---- TRegistryIniFile ------------------------------------------------------------

namespace {

QString sectionKey(const QString &base, const QString &section)
{
    return QStringLiteral("\\") + base + u'\\' + section;
}

} // namespace

TRegistryBatch::TRegistryBatch(RootKey root) : m_root(root)
{
    keptStore(m_root).store->beginBatch();
    m_open = true;
}

TRegistryBatch::~TRegistryBatch()
{
    if (!m_open)
        return;
    try {
        Commit();
    } catch (const ERegistryException &e) {
        qWarning("%s", e.what());
    }
}

void TRegistryBatch::Commit()
{
    if (!m_open)
        return;
    m_open = false;
    keptStore(m_root).store->endBatch();
}

TRegistryOneLook::TRegistryOneLook(RootKey root) : m_root(root)
{
    keptStore(m_root).store->beginLook();
    ++t_looks[root == RootKey::LocalMachine ? 1 : 0];
}

TRegistryOneLook::~TRegistryOneLook()
{
    --t_looks[m_root == RootKey::LocalMachine ? 1 : 0];
    keptStore(m_root).store->endLook();
}

TRegistryIniFile::TRegistryIniFile(const QString &baseKey, RootKey root) : m_base(baseKey), m_root(root)
{
    QStringList parts;
    regstore::splitPath(baseKey, &parts);
    m_base = parts.join(u'\\');
}

TRegistryIniFile::~TRegistryIniFile() = default;

QString TRegistryIniFile::ReadString(const QString &section, const QString &ident, const QString &def) const
{
    TRegistry reg(m_root);
    if (!reg.OpenKeyReadOnly(sectionKey(m_base, section)) || !reg.ValueExists(ident))
        return def;
    switch (reg.GetDataType(ident)) {
    case RegDataType::String:
    case RegDataType::ExpandString:
        return reg.ReadString(ident);
    case RegDataType::Integer:
        return QString::number(reg.ReadInteger(ident));
    default:
        return def;
    }
}

std::int32_t TRegistryIniFile::ReadInteger(const QString &section, const QString &ident, std::int32_t def) const
{
    TRegistry reg(m_root);
    if (!reg.OpenKeyReadOnly(sectionKey(m_base, section)) || !reg.ValueExists(ident))
        return def;
    switch (reg.GetDataType(ident)) {
    case RegDataType::Integer:
        return reg.ReadInteger(ident);
    case RegDataType::String:
    case RegDataType::ExpandString: {
        // A number kept as text (written by an ini-style writer) still counts.
        std::int32_t v = 0;
        return storeio::parseInteger(reg.ReadString(ident), &v) ? v : def;
    }
    default:
        return def;
    }
}

bool TRegistryIniFile::ReadBool(const QString &section, const QString &ident, bool def) const
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TRegistryIniFile::WriteString(const QString &section, const QString &ident, const QString &value)
{
    TRegistry reg(m_root);
    if (!reg.OpenKey(sectionKey(m_base, section), true))
        throw ERegistryException(QStringLiteral("Cannot open the registry key \"%1\\%2\"").arg(m_base, section));
    reg.WriteString(ident, value);
}

void TRegistryIniFile::WriteInteger(const QString &section, const QString &ident, std::int32_t value)
{
    TRegistry reg(m_root);
    if (!reg.OpenKey(sectionKey(m_base, section), true))
        throw ERegistryException(QStringLiteral("Cannot open the registry key \"%1\\%2\"").arg(m_base, section));
    // A value that already holds text stays text, so its readers keep working.
    const RegDataType t = reg.GetDataType(ident);
    if (t == RegDataType::String || t == RegDataType::ExpandString)
        reg.WriteString(ident, QString::number(value));
    else
        reg.WriteInteger(ident, value);
}

void TRegistryIniFile::WriteBool(const QString &section, const QString &ident, bool value)
{
    WriteInteger(section, ident, value ? 1 : 0);
}

QStringList TRegistryIniFile::ReadSection(const QString &section) const
{
    TRegistry reg(m_root);
    if (!reg.OpenKeyReadOnly(sectionKey(m_base, section)))
        return {};
    return reg.GetValueNames();
}

QStringList TRegistryIniFile::ReadSections() const
{
    TRegistry reg(m_root);
    if (!reg.OpenKeyReadOnly(QStringLiteral("\\") + m_base))
        return {};
    return reg.GetKeyNames();
}

void TRegistryIniFile::EraseSection(const QString &section)
{
    TRegistry reg(m_root);
    reg.DeleteKey(sectionKey(m_base, section));
}

void TRegistryIniFile::DeleteKey(const QString &section, const QString &ident)
{
    TRegistry reg(m_root);
    if (reg.OpenKey(sectionKey(m_base, section), false))
        reg.DeleteValue(ident);
}

bool TRegistryIniFile::SectionExists(const QString &section) const
{
    // As with ini files: a section counts when it holds at least one value.
    return !ReadSection(section).isEmpty();
}

bool TRegistryIniFile::ValueExists(const QString &section, const QString &ident) const
{
    TRegistry reg(m_root);
    return reg.OpenKeyReadOnly(sectionKey(m_base, section)) && reg.ValueExists(ident);
}

} // namespace zk

#include "KonvJobs.h"

#include "Graphic.h"
#include "GraphicConvert.h"
#include "PngDeflate.h"
#include "SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <exception>
#include <numeric>
#include <unistd.h>

namespace zk {

namespace {

std::atomic<int> g_threadCount{0};

QString frameLine(const char *version)
{
    const QString dashes(19, QLatin1Char('-'));
    return dashes + QStringLiteral("Zelkora-Konvertierungs-LogDatei (") + QLatin1String(version) + u')' + dashes;
}

// The first nine entries of the picture extensions: ".Bmp" to ".Tif".
constexpr int kTypeEntries = 9;

} // namespace

const QString KonvArrow = QStringLiteral(" ---------> ");

const TKonvJobNames &KonvJobNames(TKonvJob job)
{
    static const TKonvJobNames names[] = {
        {"FCLogFile", "FCLogFilePath", "ZK_File_Konvert.log"},
        {"DCLogFile", "DCLogFilePath", "ZK_Dir_Konvert.log"},
        {"MCLogFile", "MCLogFilePath", "ZK_Multi_Konvert.log"},
        {"TCLogFile", "TCLogFilePath", "ZK_Thumb_Konvert.log"},
    };
    return names[int(job)];
}

QString KonvHeaderLine(TKonvJob job, bool converted)
{
    if (job == TKonvJob::Dir)
        return frameLine("Version 5.0");
    if (job == TKonvJob::File && converted)
        return frameLine("V. 5.0");
    return frameLine("V. 2003 (5.0)");
}

void TKonvLog::Begin(const QString &header, const QString &action)
{
    m_lines << header << QString() << action << QString() << QStringLiteral("BEGIN");
}

QByteArray TKonvLog::Bytes() const
{
    QByteArray out;
    for (const QString &line : m_lines)
        out += line.toUtf8() + "\r\n";
    return out;
}

bool TKonvLog::Write(const QString &folder, const QString &fileName, QString *error) const
{
    const QString path = QDir(folder).filePath(fileName);
    TPendingFile pending;
    QString reason;
    if (!pending.Write(path, Bytes(), 0644, &reason) || !pending.Replace(&reason)) {
        if (error)
            *error = QStringLiteral("\"%1\" (%2)").arg(QDir::toNativeSeparators(path), reason);
        return false;
    }
    return true;
}

QString KonvStatus(bool ok)
{
    return ok ? QStringLiteral("STATUS: OK") : QStringLiteral("STATUS: FEHLER");
}

QString KonvResultLine(const QString &fileName, const QString &targetName, bool ok)
{
    return fileName + KonvArrow + targetName + KonvArrow + KonvStatus(ok);
}

QString KonvResultLine(int number, const QString &fileName, const QString &targetName, bool ok)
{
    return QString::number(number) + QStringLiteral(": ") + KonvResultLine(fileName, targetName, ok);
}

QString KonvBaseName(const QString &fileName)
{
    const bool jpeg = fileName.endsWith(QLatin1String(".jpeg"), Qt::CaseInsensitive);
    return fileName.left(std::max<qsizetype>(0, fileName.size() - (jpeg ? 5 : 4)));
}

QString KonvFileName(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString KonvFileExt(const QString &path)
{
    const QString name = KonvFileName(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

QStringList FileTargetTypes(const QString &sourceExt)
{
    QStringList out;
    const QString src = sourceExt.toLower();
    for (int i = 0; i < kTypeEntries; ++i) {
        const QString entry = QString::fromLatin1(GraphicFileExts[i]);
        if (GetConversionCode(src, entry.toLower()) != -1)
            out << entry.mid(1);
    }
    return out;
}

QStringList DirTargetTypes(const QString &sourceType)
{
    QStringList out;
    const QString src = u'.' + sourceType.toLower();
    for (int i = 0; i < kTypeEntries; ++i) {
        const QString entry = QString::fromLatin1(GraphicFileExts[i]);
        if (GetConversionCode(src, entry.toLower()) != -1)
            out << entry.mid(1).toUpper();
    }
    return out;
}

QStringList MultiTargetTypes(const QStringList &files)
{
    QStringList out;
    for (int i = 0; i < kTypeEntries; ++i) {
        const QString entry = QString::fromLatin1(GraphicFileExts[i]).toLower();
        bool present = false;
        for (const QString &f : files)
            present = present || KonvFileExt(f).toLower() == entry;
        if (!present)
            out << entry.mid(1).toUpper();
    }
    return out;
}

const QStringList &DirSourceTypes()
{
    static const QStringList types = {QStringLiteral("BMP"), QStringLiteral("JPG"), QStringLiteral("GIF"),
                                      QStringLiteral("WMF"), QStringLiteral("EMF"), QStringLiteral("ICO"),
                                      QStringLiteral("ZKG"), QStringLiteral("PNG"), QStringLiteral("TIF")};
    return types;
}

TDirScan ScanKonvFolder(const QString &folder, const QString &ext)
{
    TDirScan scan;
    QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                          QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &fi : entries) {
        if (!fi.fileName().endsWith(ext, Qt::CaseInsensitive) || fi.fileName().size() <= ext.size())
            continue;
        ++scan.Count;
        if (fi.isFile())
            scan.Files << fi.fileName();
    }
    return scan;
}

bool KonvFolderWritable(const QString &folder)
{
    const QFileInfo fi(folder);
    return fi.isDir() && ::access(QFile::encodeName(fi.absoluteFilePath()).constData(), W_OK | X_OK) == 0;
}

// ---------------------------------------------------------------------------

TKonvBatch::TKonvBatch(QObject *parent) : QObject(parent) {}

TKonvBatch::~TKonvBatch()
{
    // Workers post their reports to this object: none may outlive it.
    m_pool.waitForDone();
}

void TKonvBatch::SetThreadCount(int count)
{
    g_threadCount = std::max(0, count);
}

int TKonvBatch::ThreadCount()
{
    const int n = g_threadCount;
    return n > 0 ? n : std::max(1, QThread::idealThreadCount());
}

void TKonvBatch::Start(std::vector<Item> items)
{
    const int n = int(items.size());
    m_results.assign(n, Result{});
    m_ended.assign(n, false);
    m_next = 0;
    m_running = true;
    m_pool.setMaxThreadCount(ThreadCount());
    if (n == 0) {
        m_running = false;
        emit Finished();
        return;
    }

    // Items that share a file form one chain (union-find over the files).
    std::vector<int> parent(n);
    std::iota(parent.begin(), parent.end(), 0);
    const auto root = [&parent](int i) {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    };
    QHash<QString, int> owner;
    for (int i = 0; i < n; ++i)
        for (const QString &f : items[i].Files) {
            const QString key = QDir::cleanPath(QFileInfo(f).absoluteFilePath());
            const auto it = owner.constFind(key);
            if (it == owner.cend())
                owner.insert(key, i);
            else
                parent[root(i)] = root(*it);
        }
    std::vector<std::vector<int>> chains;
    QHash<int, int> chainOf;
    for (int i = 0; i < n; ++i) {
        const int r = root(i);
        if (!chainOf.contains(r)) {
            chainOf.insert(r, int(chains.size()));
            chains.emplace_back();
        }
        chains[size_t(chainOf.value(r))].push_back(i);
    }

    // The files already share the cores: a picture's encoder gets only its
    // worker's share, not a thread per core on top of every other picture's.
    const int cores = std::max(1, QThread::idealThreadCount());
    const int innerThreads = std::max(1, cores / std::min(m_pool.maxThreadCount(), int(chains.size())));
    auto shared = std::make_shared<std::vector<Item>>(std::move(items));
    for (std::vector<int> &chain : chains) {
        (void)QtConcurrent::run(&m_pool, [this, shared, innerThreads, chain = std::move(chain)] {
            const png::ThreadLimit limit(innerThreads);
            for (int i : chain) {
                bool ok = false;
                QString error;
                const std::function<void()> &work = (*shared)[i].Work;
                try {
                    if (work) {
                        work();
                        ok = true;
                    }
                } catch (const EGraphicError &e) {
                    error = e.message();
                } catch (const std::exception &e) {
                    error = QString::fromLocal8Bit(e.what());
                } catch (...) {
                    error = QStringLiteral("?");
                }
                QMetaObject::invokeMethod(this, [this, i, ok, error] { Ended(i, ok, error); }, Qt::QueuedConnection);
            }
        });
    }
}

void TKonvBatch::Ended(int index, bool ok, const QString &error)
{
    m_results[index] = Result{ok, error};
    m_ended[index] = true;
    emit FileEnded();
    const int n = int(m_ended.size());
    while (m_next < n && m_ended[m_next]) {
        const int i = m_next++;
        emit ResultReady(i, m_results[i].Ok);
    }
    if (m_next == n && m_running) {
        m_running = false;
        emit Finished();
    }
}

} // namespace zk

#pragma once
// What the four conversion jobs share without a window: their log files and
// log settings, the target types each job offers, the names the log lines
// give, the folder scan of the folder job, and the runner that hands every
// file to a worker thread and reports back to the GUI thread in list order.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <functional>
#include <optional>
#include <vector>

namespace zk {

enum class TKonvJob { File, Dir, Multi, Thumb };

// Where a job keeps its log setting and what its log file is called.
struct TKonvJobNames
{
    const char *flagName;  // value under "Log": is the log on
    const char *pathName;  // value under "Log": the log folder
    const char *logFile;   // the log's file name in that folder
};
const TKonvJobNames &KonvJobNames(TKonvJob job);

// " ---------> ": joins the parts of a result line.
extern const QString KonvArrow;

// The header line of a job's log; the one-file job has two, one for a file
// that was converted and one for a file that was not.
QString KonvHeaderLine(TKonvJob job, bool converted = true);

// A log as the jobs build it: header, empty line, action line, empty line,
// "BEGIN", one line per file, "END".
class TKonvLog
{
public:
    void Begin(const QString &header, const QString &action);
    void Add(const QString &line) { m_lines << line; }
    void End() { m_lines << QStringLiteral("END"); }
    const QStringList &Lines() const { return m_lines; }
    // UTF-8, every line ended by CR LF.
    QByteArray Bytes() const;
    // Writes the whole log at once to a temporary name in folder and renames
    // it to fileName, replacing an older log. False with *error (naming the
    // file and the system's reason) when that fails; nothing is left then.
    bool Write(const QString &folder, const QString &fileName, QString *error) const;

private:
    QStringList m_lines;
};

// The result line parts: "OK" or "FEHLER" after "STATUS: ".
QString KonvStatus(bool ok);
// fileName + arrow + targetName + arrow + status.
QString KonvResultLine(const QString &fileName, const QString &targetName, bool ok);
// number + ": " + the same.
QString KonvResultLine(int number, const QString &fileName, const QString &targetName, bool ok);

// The file name without its extension, as the conversion names its target:
// the last four characters dropped, five for ".jpeg".
QString KonvBaseName(const QString &fileName);
// The file name of a path (after the last '/').
QString KonvFileName(const QString &path);
// ".bmp" for "x/Bild.bmp": the extension with its dot and letter case; empty
// for a name without one.
QString KonvFileExt(const QString &path);

// Target types of the first nine picture extensions (".Bmp" .. ".Tif"):
// One file: those with a converter from sourceExt (any case), as "Jpg".
QStringList FileTargetTypes(const QString &sourceExt);
// Folder: those with a converter from "." + sourceType, in capitals ("JPG").
QStringList DirTargetTypes(const QString &sourceType);
// List: those that no listed file has as its extension, in capitals.
QStringList MultiTargetTypes(const QStringList &files);
// The folder job's fixed source types.
const QStringList &DirSourceTypes();

// The folder job's scan of folder for ext (".BMP"; any letter case matches):
// every entry whose name ends in it, hidden ones and folders included, counts;
// the files among them are the ones converted, sorted by name without case.
struct TDirScan
{
    int Count = 0;
    QStringList Files; // names without folder
};
TDirScan ScanKonvFolder(const QString &folder, const QString &ext);

// The folder a job writes into is usable: it exists and we may create files
// in it.
bool KonvFolderWritable(const QString &folder);

// Runs one piece of work per file on worker threads. Work items that read or
// write the same file run one after another in list order on one thread, so
// any number of threads leaves the same files as one. Every report arrives on
// the thread that owns the runner.
class TKonvBatch : public QObject
{
    Q_OBJECT
public:
    struct Item
    {
        // Throws on failure; a missing work counts as failed without running.
        std::function<void()> Work;
        // The files it reads and writes (for the ordering above).
        QStringList Files;
    };
    struct Result
    {
        bool Ok = false;
        QString Error; // the failure's message
    };

    explicit TKonvBatch(QObject *parent = nullptr);
    ~TKonvBatch() override;

    // Threads for later runs; 0 (the default) uses every core.
    static void SetThreadCount(int count);
    static int ThreadCount();

    // Starts the run; Finished follows at once for an empty list.
    void Start(std::vector<Item> items);
    bool Running() const { return m_running; }
    const std::vector<Result> &Results() const { return m_results; }

signals:
    // One file ended (in any order).
    void FileEnded();
    // The result of file index, in list order.
    void ResultReady(int index, bool ok);
    void Finished();

private:
    void Ended(int index, bool ok, const QString &error);

    QThreadPool m_pool;
    std::vector<Result> m_results;
    std::vector<bool> m_ended;
    int m_next = 0;
    bool m_running = false;
};

} // namespace zk

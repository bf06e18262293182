// The text search: line numbers with every line end, every occurrence, a to
// z folded and nothing else, files that cannot be searched, hits that cross
// a block, the same hits as grep, and the windows around the worker.
#include "FindTextForms.h"
#include "HistList.h"
#include "Options.h"
#include "TestSupport.h"
#include "TextSearch.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QFile>
#include <QListView>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zk;

namespace {

struct Found
{
    QString file;
    int line;
    TSearchFault fault;
    bool operator==(const Found &) const = default;
};

QList<Found> searchFile(const QString &file, const QByteArray &text, bool caseSensitive = true)
{
    QList<Found> hits;
    std::atomic_bool stop{false};
    TTextSearcher(text, caseSensitive)
        .SearchFile(file, [&](const TTextHit &h) { hits.append({h.file, h.line, h.fault}); }, stop);
    return hits;
}

QList<int> lines(const QList<Found> &hits)
{
    QList<int> out;
    for (const Found &h : hits)
        out.append(h.line);
    return out;
}

class TextSearchTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString put(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        EXPECT_TRUE(zktest::writeBytes(path, bytes));
        return path;
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(TextSearchTest, LineNumbersWithEveryLineEnd)
{
    struct Row
    {
        const char *name;
        QByteArray bytes;
        QByteArray text;
        QList<int> lines;
    };
    const QList<Row> rows = {
        {"lf", "one\ntwo key\n\nkey four\n", "key", {2, 4}},
        {"crlf", "one\r\ntwo key\r\n\r\nkey four\r\n", "key", {2, 4}},
        {"cr", "one\rtwo key\r\rkey four\r", "key", {2, 4}},
        {"mixed", "a\r\nb\rc\nkey", "key", {4}},
        {"two on a line", "x keykey y\nkey", "key", {1, 1, 2}},
        {"aab in aaab", "aaab", "aab", {1}},
        {"overlap taken once", "aaaa", "aa", {1, 1}},
        {"across a line end", "ke\ny", "ke\ny", {1}},
        {"none", "nothing here", "key", {}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(lines(searchFile(put(QString::fromLatin1(r.name), r.bytes), r.text)), r.lines);
    }
}

TEST_F(TextSearchTest, OnlyAToZFoldWithoutCase)
{
    const QString f = put("fold", "Straße\nSTRASSE\nstrasse\n\xc3\x84pfel \xc3\xa4pfel\n");
    EXPECT_EQ(lines(searchFile(f, "strasse", false)), (QList<int>{2, 3}));
    EXPECT_EQ(lines(searchFile(f, "strasse", true)), (QList<int>{3}));
    // Umlauts compare as the bytes they are.
    EXPECT_EQ(lines(searchFile(f, "\xc3\xa4pfel", false)), (QList<int>{4}));
    EXPECT_EQ(lines(searchFile(f, "STRA\xc3\x9f" "E", false)), (QList<int>{1}));
}

TEST_F(TextSearchTest, HitsAndLinesAcrossTheBlockBoundary)
{
    // A hit split by the block boundary, a CR LF split by it, and a hit
    // right after it.
    const std::size_t block = TTextSearcher::BlockSize;
    QByteArray bytes(qsizetype(block - 2), 'x');
    bytes[10] = '\n';           // line 2 starts
    bytes += "ne";              // "needle" crosses the boundary
    bytes += "edle\r";
    QByteArray second(qsizetype(block - 1 - 4 - 1), 'y'); // fills the next block up to a CR at its end
    bytes += second;
    bytes += "\r\nneedle";      // CR LF across the second boundary, then the hit on the next line
    const QString f = put("big", bytes);
    EXPECT_EQ(lines(searchFile(f, "needle")), (QList<int>{2, 4}));
}

TEST_F(TextSearchTest, TextWithALineEndAcrossTheBlockBoundaryKeepsItsStartLine)
{
    // The hit starts before the boundary and its line end is the last byte
    // of the first block: the line is the one the hit starts on.
    const std::size_t block = TTextSearcher::BlockSize;
    struct Row
    {
        const char *name;
        QByteArray text;
    };
    for (const Row &r : {Row{"lf", "ke\ny"}, Row{"cr", "ke\ry"}, Row{"crlf", "ke\r\ny"}}) {
        SCOPED_TRACE(r.name);
        QByteArray bytes = "first\n";
        bytes += QByteArray(qsizetype(block) - bytes.size() - (r.text.size() - 1), 'x');
        bytes += r.text; // all but its last byte in the first block
        bytes += "\nzz\r\nkey";
        ASSERT_EQ(bytes.indexOf(r.text), qsizetype(block) - (r.text.size() - 1));
        const QString f = put(QString::fromLatin1(r.name), bytes);
        EXPECT_EQ(lines(searchFile(f, r.text)), (QList<int>{2}));
        EXPECT_EQ(lines(searchFile(f, "key")), (QList<int>{5}));
    }
}

TEST_F(TextSearchTest, FilesThatCannotBeSearchedGiveOneErrorEach)
{
    put("tree/a.txt", "key\n");
    const QString fifo = dir.filePath("tree/fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(dir.filePath("tree"), dir.filePath("tree/loop")));
    const QString closed = put("tree/closed.txt", "key\n");
    ::chmod(QFile::encodeName(closed).constData(), 0);
    const bool root = ::geteuid() == 0;

    QList<Found> hits;
    std::atomic_bool stop{false};
    TTextSearcher("key", true).SearchFolder(dir.filePath("tree/"), true,
                                            [&](const TTextHit &h) { hits.append({h.file, h.line, h.fault}); }, stop);
    const QString t = dir.filePath("tree/");
    QList<Found> expected = {{t + "a.txt", 1, TSearchFault::None}};
    expected.append(root ? Found{t + "closed.txt", 1, TSearchFault::None} : Found{t + "closed.txt", 0, TSearchFault::Open});
    expected.append({t + "fifo", 0, TSearchFault::NotRegular});
    expected.append({t + "loop", 0, TSearchFault::Link});
    EXPECT_EQ(hits, expected);

    // Named directly, the FIFO and the link do not hang or loop either.
    EXPECT_EQ(searchFile(fifo, "key"), (QList<Found>{{fifo, 0, TSearchFault::NotRegular}}));
    EXPECT_EQ(searchFile(t + "loop", "key"), (QList<Found>{{t + "loop", 0, TSearchFault::Link}}));
}

TEST_F(TextSearchTest, NamesThatAreNotUtf8AreSearched)
{
    // Latin-1 names, a folder and a file in it, next to a plain one.
    const QByteArray root = QFile::encodeName(dir.filePath("n"));
    ASSERT_EQ(::mkdir(root.constData(), 0700), 0);
    ASSERT_EQ(::mkdir((root + "/caf\xe9").constData(), 0700), 0);
    const auto write = [](const QByteArray &path) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "\nkey\n", 5), 5);
        ::close(fd);
    };
    write(root + "/caf\xe9/\xe4pfel.txt");
    write(root + "/\xfc.txt");
    write(root + "/plain.txt");
    QList<Found> hits;
    std::atomic_bool stop{false};
    TTextSearcher("key", true).SearchFolder(dir.filePath("n/"), true,
                                            [&](const TTextHit &h) { hits.append({h.file, h.line, h.fault}); }, stop);
    EXPECT_EQ(hits.size(), 3);
    for (const Found &h : hits) {
        SCOPED_TRACE(h.file.toStdString());
        EXPECT_EQ(h.fault, TSearchFault::None);
        EXPECT_EQ(h.line, 2);
    }
    // The temporary folder is removed by decoded names, which miss these.
    ::unlink((root + "/caf\xe9/\xe4pfel.txt").constData());
    ::unlink((root + "/\xfc.txt").constData());
    ::rmdir((root + "/caf\xe9").constData());
}

TEST_F(TextSearchTest, SameHitsAsGrepOnLfFiles)
{
    if (!zktest::haveProgram(QStringLiteral("grep")))
        GTEST_SKIP();
    put("g/one.txt", "alpha Beta gamma\nbeta beta\nno\nxBETAx\n");
    put("g/sub/two.c", "int beta = 1;\n// BETA\n\n\nbeta");
    put("g/sub/deeper/three.txt", "nothing\n");
    for (bool caseSensitive : {true, false}) {
        SCOPED_TRACE(caseSensitive);
        QStringList args = {QStringLiteral("-rnoF")};
        if (!caseSensitive)
            args << QStringLiteral("-i");
        args << QStringLiteral("beta") << dir.filePath("g");
        QByteArray out;
        qputenv("LC_ALL", "C");
        zktest::runProgram(QStringLiteral("grep"), args, &out);
        qunsetenv("LC_ALL");
        QStringList grep;
        for (const QByteArray &line : out.split('\n'))
            if (!line.isEmpty())
                grep << QString::fromUtf8(line.left(line.lastIndexOf(':')));
        QStringList ours;
        std::atomic_bool stop{false};
        TTextSearcher("beta", caseSensitive)
            .SearchFolder(dir.filePath("g/"), true,
                          [&](const TTextHit &h) { ours << h.file + ':' + QString::number(h.line); }, stop);
        grep.sort();
        ours.sort();
        EXPECT_EQ(ours, grep);
        EXPECT_EQ(ours.size(), caseSensitive ? 4 : 7);
    }
}

TEST_F(TextSearchTest, WorkerDeliversInOrderAndStopsWhenFreed)
{
    for (int i = 0; i < 30; ++i)
        put(QStringLiteral("w/f%1.txt").arg(i, 2, 10, QLatin1Char('0')), QByteArray("hit\n").repeated(100));
    QList<TTextHit> got;
    {
        TFndTxtThread worker(QStringLiteral("HIT"), [&](const QList<TTextHit> &hits) { got += hits; },
                             dir.filePath("w/"), false, false);
        EXPECT_EQ(worker.Mode, 1);
        worker.start();
        QTRY_VERIFY_WITH_TIMEOUT(worker.isFinished(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), 3000, 5000);
    }
    EXPECT_TRUE(got.first().file.endsWith("f00.txt"));
    EXPECT_EQ(got[100].line, 1);
    EXPECT_TRUE(got.last().file.endsWith("f29.txt"));
    EXPECT_EQ(got.last().line, 100);
    // A worker freed while it runs stops and is waited for.
    auto running = std::make_unique<TFndTxtThread>(QStringLiteral("hit"), [](const QList<TTextHit> &) {},
                                                   dir.filePath("w/"), true, true);
    running->start();
    running.reset();
}

TEST_F(TextSearchTest, DialogListsHitsAppendsOrClearsAndOpensNamesWithEquals)
{
    put("d/a=b.txt", "word\n\nword\n");
    TZelkoraOptions options;
    options.DelLastTextscanResult = false;
    QMainWindow main;
    TFileOutputBDForm *output = new TFileOutputBDForm(&main, options);
    QStringList opened;
    output->OpenFile = [&](const QString &f) { opened << f; };
    TFindOptBMForm dlg(&main, options);
    dlg.ShowOutput = [&] { return output; };
    int ended = 0;
    dlg.OnSearchEnd = [&] {
        ++ended;
        dlg.EndSearch();
    };
    EXPECT_FALSE(dlg.FndTxtOkButton->isEnabled());
    dlg.FindTextEdit->setText(QStringLiteral("word"));
    EXPECT_TRUE(dlg.FndTxtOkButton->isEnabled());
    dlg.OnlyFileCheckBox->click();
    EXPECT_FALSE(dlg.ChkSubDirsCheckBox->isEnabled());
    dlg.OnlyFileCheckBox->click();
    dlg.FndPlcHistoryCombo->setCurrentText(dir.filePath("d"));

    const auto run = [&] {
        dlg.FndTxtOkButtonClick();
        EXPECT_TRUE(dlg.SearchRunning);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.SearchRunning, 10000);
    };
    run();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(dlg.FoundCount, 2);
    ASSERT_EQ(output->Hits->rowCount(), 2);
    EXPECT_EQ(output->Hits->index(1).data().toString(), dir.filePath("d/a=b.txt") + " = Zeile 3");
    run(); // cleared first
    EXPECT_EQ(output->Hits->rowCount(), 2);
    output->NewSearchMenuItem->trigger(); // appends from now on
    EXPECT_TRUE(options.DelLastTextscanResult);
    run();
    EXPECT_EQ(output->Hits->rowCount(), 4);
    output->FleOutpListBoxDblClick(output->Hits->index(3));
    EXPECT_EQ(opened, QStringList{dir.filePath("d/a=b.txt")});
    output->SearchResDelMenuItem->trigger();
    EXPECT_EQ(output->Hits->rowCount(), 0);

    // While one runs, the path button only says so.
    QStringList infos;
    dlg.ShowInfo = [&](const QString &t) { infos << t; };
    dlg.SearchRunning = true;
    dlg.PathOrFileButtonClick();
    dlg.SearchRunning = false;
    EXPECT_EQ(infos, QStringList{QStringLiteral("Es ist gerade ein Suchvorgang aktiv!")});
}

TEST_F(TextSearchTest, ASearchStoppedByTheNextDoesNotEndTheNextOne)
{
    // A sparse file far too large to be read through while the test runs:
    // both searches are still going when the next step comes.
    const QString big = dir.filePath("sparse");
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        if (!f.resize(qint64(1) << 40))
            GTEST_SKIP() << "no sparse file of a terabyte here";
    }
    TZelkoraOptions options;
    TFindOptBMForm dlg(nullptr, options);
    dlg.ShowOutput = [] { return nullptr; };
    int ended = 0;
    dlg.OnSearchEnd = [&] {
        ++ended;
        dlg.EndSearch();
    };
    dlg.FindTextEdit->setText(QStringLiteral("key"));
    dlg.OnlyFileCheckBox->setChecked(true);
    dlg.FndPlcHistoryCombo->setCurrentText(big);

    dlg.FndTxtOkButtonClick();
    ASSERT_TRUE(dlg.SearchRunning);
    dlg.FndTxtOkButtonClick(); // stops the first, starts the second
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(dlg.SearchRunning);
    // The first worker's end, still queued, is for the first search only.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dlg.SearchRunning);
    EXPECT_EQ(ended, 1);
    dlg.StopSearch();
    EXPECT_FALSE(dlg.SearchRunning);
    EXPECT_EQ(ended, 2);
}

TEST(TextSearchLines, ErrorLineNamesReasonAndFile)
{
    const auto german = [](const char *, const QString &g) { return g; };
    EXPECT_EQ(HitLineText({"/t/x%s", 7, TSearchFault::None, 0}, german), QStringLiteral("/t/x%s = Zeile 7"));
    EXPECT_EQ(HitLineText({"/t/f", 0, TSearchFault::NotRegular, 0}, german),
              QStringLiteral("Fehler: keine gewöhnliche Datei beim Durchsuchen der Datei /t/f"));
}

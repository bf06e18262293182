// Cutting files into numbered parts and joining them, and the dialog that
// does it on a worker thread.
#include "FileSplit.h"
#include "FileSplitForm.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zk;
using namespace zktest;

namespace {

QByteArray randomBytes(int n, quint32 seed)
{
    QByteArray b(n, '\0');
    QRandomGenerator g(seed);
    for (int i = 0; i < n; ++i)
        b[i] = char(g.bounded(256));
    return b;
}

QList<qint64> sizesOf(const QStringList &files)
{
    QList<qint64> out;
    for (const QString &f : files)
        out << QFileInfo(f).size();
    return out;
}

} // namespace

TEST(FileSplit, PartCountsAndSizes)
{
    const qint64 GiB = qint64(1) << 30;
    const struct {
        qint64 size, part, count, last;
    } rows[] = {
        {2 * 1000 + 7, 1000, 3, 7},    // a little over twice
        {3000, 1000, 4, 0},            // exact multiple: one more, empty
        {0, 1000, 1, 0},               // empty source: one empty part
        {5 * GiB + 1, GiB, 6, 1},      // past 4 GiB
        {5 * GiB, 1447034, 3711, 212980}, // 3710 whole parts of 5368496140 bytes
    };
    for (const auto &r : rows) {
        EXPECT_EQ(SplitPartCount(r.size, r.part), r.count) << r.size;
        EXPECT_EQ(SplitPartBytes(r.size, r.part, r.count), r.last) << r.size;
        EXPECT_EQ(SplitPartBytes(r.size, r.part, 1), std::min(r.size, r.part)) << r.size;
        EXPECT_EQ(SplitPartBytes(r.size, r.part, r.count + 1), 0);
    }
}

TEST(FileSplit, PartNamesAndSizeText)
{
    EXPECT_EQ(PartFileName("/out", "/src/movie.avi", 1), "/out/movie.001");
    EXPECT_EQ(PartFileName("/out", "/src/a.tar.gz", 42), "/out/a.tar.042");
    EXPECT_EQ(PartFileName("/out", "/src/noext", 999), "/out/noext.999");
    EXPECT_EQ(PartFileName("/out", "/src/x.bin", 1000), "/out/x.1000");
    EXPECT_EQ(PartFileName("/out", "/src/x.bin", 123456), "/out/x.123456");
    const struct {
        const char *text;
        int want;
        bool fellBack;
    } rows[] = {{"1447034", 1447034, false}, {" 10 ", 10, false}, {"abc", 500000, true}, {"0", 500000, true},
                {"-5", 500000, true},        {"", 500000, true},  {"99999999999", 500000, true}};
    for (const auto &r : rows) {
        bool fell = false;
        EXPECT_EQ(ParsePartSize(r.text, &fell), r.want) << r.text;
        EXPECT_EQ(fell, r.fellBack) << r.text;
    }
}

TEST(FileSplit, SplitThenJoinGivesTheSameBytes)
{
    QTemporaryDir tmp;
    const QString src = tmp.path() + "/data.bin";
    const QByteArray bytes = randomBytes(2 * 1000 + 7, 7);
    writeBytes(src, bytes);
    QDir().mkpath(tmp.path() + "/parts");
    const TSplitResult s = SplitFile(src, tmp.path() + "/parts", 1000);
    ASSERT_TRUE(s.Ok);
    EXPECT_EQ(sizesOf(s.Written), QList<qint64>({1000, 1000, 7}));
    const TSplitResult j = JoinFiles(tmp.path() + "/parts/data.001", tmp.path(), "out");
    ASSERT_TRUE(j.Ok);
    EXPECT_EQ(runProgram("cmp", {src, tmp.path() + "/data.out"}), 0);
    // No temporary files are left beside the parts.
    EXPECT_EQ(QDir(tmp.path() + "/parts").entryList(QDir::Files | QDir::Hidden).size(), 3);
}

TEST(FileSplit, ExactMultipleAndEmptySource)
{
    QTemporaryDir tmp;
    writeBytes(tmp.path() + "/three.k", randomBytes(3000, 1));
    writeBytes(tmp.path() + "/empty.k", QByteArray());
    EXPECT_EQ(sizesOf(SplitFile(tmp.path() + "/three.k", tmp.path(), 1000).Written),
              QList<qint64>({1000, 1000, 1000, 0}));
    const TSplitResult e = SplitFile(tmp.path() + "/empty.k", tmp.path(), 1000);
    EXPECT_EQ(e.Written, QStringList({tmp.path() + "/empty.001"}));
    EXPECT_EQ(QFileInfo(tmp.path() + "/empty.001").size(), 0);
}

TEST(FileSplit, JoinStopsAtAGapAndContinuesFromTheChosenPart)
{
    QTemporaryDir tmp;
    const QString p = tmp.path() + "/f.";
    writeBytes(p + "001", "AA");
    writeBytes(p + "002", "BB");
    writeBytes(p + "003", "CC");
    writeBytes(p + "004", "DD");
    writeBytes(p + "006", "FF");
    QFile::remove(p + "003");
    ASSERT_TRUE(JoinFiles(p + "001", tmp.path(), "x").Ok);
    EXPECT_EQ(readBytes(p + "x"), "AABB");
    writeBytes(p + "003", "CC");
    writeBytes(p + "005", "EE");
    // From the third part on: 003, 004, 005, 006; part 003 only once.
    ASSERT_TRUE(JoinFiles(p + "003", tmp.path(), "y").Ok);
    EXPECT_EQ(readBytes(p + "y"), "CCDDEEFF");
}

TEST(FileSplit, TargetsThatAreSourcesAreRefused)
{
    QTemporaryDir tmp;
    const QString p = tmp.path() + "/f.";
    writeBytes(p + "001", "AA");
    writeBytes(p + "002", "BB");
    const TSplitResult j = JoinFiles(p + "001", tmp.path(), "002");
    EXPECT_FALSE(j.Ok);
    EXPECT_EQ(j.Fault, TSplitFault::SameFile);
    EXPECT_EQ(readBytes(p + "002"), "BB");
    // A source named like its own first part.
    const TSplitResult s = SplitFile(p + "001", tmp.path(), 1);
    EXPECT_FALSE(s.Ok);
    EXPECT_EQ(s.Fault, TSplitFault::SameFile);
    EXPECT_EQ(readBytes(p + "001"), "AA");
}

TEST(FileSplit, UnreadableSourceAndUnwritableFolderNameTheFile)
{
    QTemporaryDir tmp;
    const TSplitResult s = SplitFile(tmp.path() + "/missing", tmp.path(), 10);
    EXPECT_EQ(s.Fault, TSplitFault::Unreadable);
    EXPECT_EQ(s.File, tmp.path() + "/missing");
    writeBytes(tmp.path() + "/a.bin", "12345");
    const TSplitResult w = SplitFile(tmp.path() + "/a.bin", tmp.path() + "/no/such/folder", 2);
    EXPECT_EQ(w.Fault, TSplitFault::Unwritable);
    EXPECT_TRUE(w.File.endsWith("a.001"));
}

TEST(FileSplitForm, PresetsAndNoChoice)
{
    TByteTempBMForm chooser;
    ASSERT_EQ(chooser.ByteValListBox->count(), 7);
    const int want[7] = {5788136, 4341102, 2894068, 1447034, 723517, 482344, 361758};
    for (int i = 0; i < 7; ++i) {
        chooser.ByteValListBox->setCurrentRow(i);
        chooser.BTOkButtonClick();
        EXPECT_EQ(chooser.ByteValue, want[i]);
        EXPECT_TRUE(chooser.ByteValListBox->item(i)->text().contains(QString::number(want[i])));
    }
    chooser.ByteValListBox->clearSelection();
    chooser.ByteValListBox->setCurrentRow(-1);
    chooser.BTOkButtonClick();
    EXPECT_EQ(chooser.ByteValue, 10000);
}

TEST(FileSplitForm, SplitsAndJoinsThroughTheDialogOnAWorker)
{
    QTemporaryDir tmp;
    const QString src = tmp.path() + "/big.dat";
    const QByteArray bytes = randomBytes(3 * 1024 * 1024 + 5, 3);
    writeBytes(src, bytes);
    const QString parts = tmp.path() + "/parts";
    QDir().mkpath(parts);

    TFileSplitBMForm form;
    QStringList messages;
    form.Prompts.Message = [&](const QString &t) { messages << t; };
    form.Prompts.BrowseFolder = [&] { return parts; };
    QString accept;
    QString pick = src;
    form.Prompts.RunFileDialog = [&](QFileDialog &d) {
        accept = d.labelText(QFileDialog::Accept);
        d.selectFile(pick);
        return true;
    };
    form.DimEdit->setText("abc");
    form.SplitButtonClick();
    EXPECT_EQ(form.DimEdit->text(), "500000");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(accept, "Splitten");
    EXPECT_EQ(form.LastResult().Written.size(), 7); // 3145733 / 500000 + 1
    EXPECT_FALSE(form.Busy());
    EXPECT_TRUE(form.SplitButton->isEnabled());

    pick = parts + "/big.001";
    form.Prompts.InputQuery = [](const QString &, const QString &, QString &v) {
        EXPECT_EQ(v, "exe");
        v = "dat";
        return true;
    };
    form.Prompts.BrowseFolder = [&] { return tmp.path() + "/joined"; };
    QDir().mkpath(tmp.path() + "/joined");
    form.UnsplitButtonClick();
    EXPECT_EQ(accept, "Entsplitten");
    EXPECT_EQ(runProgram("cmp", {src, tmp.path() + "/joined/big.dat"}), 0);

    // A cancelled folder choice writes nothing.
    form.Prompts.BrowseFolder = [] { return QString(); };
    const int before = QDir(parts).count();
    form.DimEdit->setText("100");
    pick = src;
    form.SplitButtonClick();
    EXPECT_EQ(QDir(parts).count(), before);
    EXPECT_EQ(messages.size(), 1);
}

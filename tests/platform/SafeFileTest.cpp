// Files written whole or not at all, with and without unnamed temporary
// files, and the clean-up of temporary files that dead writers left.
#include "SafeFile.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zk;

namespace {

using zktest::readBytes;

void writeAll(const QString &path, const QByteArray &bytes)
{
    ASSERT_TRUE(zktest::writeBytes(path, bytes));
}

QStringList hidden(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression("^\\."));
}

class SafeFile : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetUnnamedTempFilesDisabled(!GetParam());
    }
    void TearDown() override { SetUnnamedTempFilesDisabled(false); }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

} // namespace

TEST_P(SafeFile, ReplaceWritesWholeFilesAndKeepsTheOldMode)
{
    const QString target = path("picture.png");
    TPendingFile first;
    QString error;
    ASSERT_TRUE(first.Write(target, "first", 0666, &error)) << error.toStdString();
    if (!GetParam()) {
        EXPECT_FALSE(first.UsedUnnamedFile());
    }
    EXPECT_FALSE(QFileInfo::exists(target)); // not visible before it is put in place
    ASSERT_TRUE(first.Replace(&error)) << error.toStdString();
    EXPECT_EQ(readBytes(target), "first");

    ::chmod(QFile::encodeName(target).constData(), 0640);
    TPendingFile second;
    ASSERT_TRUE(second.Write(target, QByteArray(100000, 'x'), 0666, &error, target));
    EXPECT_EQ(readBytes(target), "first");
    ASSERT_TRUE(second.Replace(&error));
    EXPECT_EQ(readBytes(target), QByteArray(100000, 'x'));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(hidden(dir.path()), QStringList());
}

TEST_P(SafeFile, LinkNewNeverReplaces)
{
    const QString target = path("Shot1.png");
    writeAll(target, "someone else's");
    bool taken = false;
    QString error;
    {
        TPendingFile file;
        ASSERT_TRUE(file.Write(target, "ours", 0666, &error));
        EXPECT_FALSE(file.LinkNew(&taken, &error));
        EXPECT_TRUE(taken);
    }
    EXPECT_EQ(readBytes(target), "someone else's");
    {
        TPendingFile file;
        ASSERT_TRUE(file.Write(path("Shot2.png"), "ours", 0666, &error));
        EXPECT_TRUE(file.LinkNew(&taken, &error)) << error.toStdString();
        EXPECT_FALSE(taken);
    }
    EXPECT_EQ(readBytes(path("Shot2.png")), "ours");
    EXPECT_EQ(hidden(dir.path()), QStringList());
}

// Written and flushed once, a file tries name after name: a taken name
// keeps it pending, never replaced; the first free one gets it, and no
// temporary name is left.
TEST_P(SafeFile, LinkNewAsTriesNamesUntilOneIsFree)
{
    writeAll(path("Shot1.png"), "someone else's");
    writeAll(path("Shot2.png"), "another");
    TPendingFile file;
    QString error;
    ASSERT_TRUE(file.Open(path("Shot1.png"), 0666, &error)) << error.toStdString();
    ASSERT_EQ(::write(file.Fd(), "ours", 4), 4);
    ASSERT_TRUE(file.Sync(&error)) << error.toStdString();
    bool taken = false;
    for (const char *name : {"Shot1.png", "Shot2.png"}) {
        EXPECT_FALSE(file.LinkNewAs(path(name), &taken, &error)) << name;
        EXPECT_TRUE(taken) << name;
    }
    EXPECT_TRUE(file.LinkNewAs(path("Shot3.png"), &taken, &error)) << error.toStdString();
    EXPECT_FALSE(taken);
    EXPECT_EQ(readBytes(path("Shot1.png")), "someone else's");
    EXPECT_EQ(readBytes(path("Shot2.png")), "another");
    EXPECT_EQ(readBytes(path("Shot3.png")), "ours");
    EXPECT_EQ(hidden(dir.path()), QStringList());
}

TEST_P(SafeFile, AnUnpublishedFileLeavesNothingBehind)
{
    {
        TPendingFile file;
        QString error;
        ASSERT_TRUE(file.Write(path("never.png"), "bytes", 0666, &error));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    TPendingFile file;
    QString error;
    EXPECT_FALSE(file.Write(path("missing/folder.png"), "bytes", 0666, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_P(SafeFile, AFailedFinalRenameSaysSoAndLeavesNoTemporaryFile)
{
    // The name is taken by a folder with something in it: the last step,
    // putting the file in place, fails.
    const QString target = path("picture.png");
    ASSERT_TRUE(QDir().mkpath(target));
    writeAll(target + "/inside.txt", "kept");
    TPendingFile file;
    QString error;
    ASSERT_TRUE(file.Write(target, "bytes", 0666, &error, target)) << error.toStdString();
    EXPECT_FALSE(file.Replace(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(target).isDir());
    EXPECT_EQ(readBytes(target + "/inside.txt"), "kept");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList()) << "no temporary file left";
}

TEST_P(SafeFile, CleanUpTakesOnlyOrphansOfOurPattern)
{
    // Our own save that is not in place yet holds its file locked too. (Its
    // first write into the folder cleans the folder, so it comes first.)
    TPendingFile pending;
    QString error;
    ASSERT_TRUE(pending.Write(path("e.png"), "e", 0666, &error));
    const QString orphan = path(".a.png.0123456789ab.tmp");
    const QString held = path(".b.png.zzzzzzzzzzzz.tmp");
    const QString foreign = path(".c.png.short.tmp");
    const QString plain = path("d.png");
    for (const QString &f : {orphan, held, foreign, plain})
        writeAll(f, "x");
    // A living writer holds its file locked.
    const int fd = ::open(QFile::encodeName(held).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    EXPECT_EQ(RemoveOrphanedTemps(dir.path()), 1);
    EXPECT_FALSE(QFileInfo::exists(orphan));
    EXPECT_TRUE(QFileInfo::exists(held));
    EXPECT_TRUE(QFileInfo::exists(foreign));
    EXPECT_TRUE(QFileInfo::exists(plain));
    ASSERT_TRUE(pending.Replace(&error)) << error.toStdString();
    EXPECT_EQ(readBytes(path("e.png")), "e");

    ::close(fd);
    EXPECT_EQ(RemoveOrphanedTemps(dir.path()), 1);
    EXPECT_FALSE(QFileInfo::exists(held));
}

INSTANTIATE_TEST_SUITE_P(Temporaries, SafeFile, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "Unnamed" : "Named"; });

TEST(SafeFileNames, OurPatternOnly)
{
    const struct
    {
        const char *name;
        bool ours;
    } rows[] = {
        {".Shot1.png.0123456789ab.tmp", true},
        {".a.abcdefghijkl.tmp", true},
        {"..0123456789ab.tmp", false},        // no target name
        {".Shot1.png.0123456789AB.tmp", false}, // capitals are never ours
        {".Shot1.png.0123456789a.tmp", false},  // too short
        {"Shot1.png.0123456789ab.tmp", false},  // not hidden
        {".Shot1.png.0123456789ab.temp", false},
        {".Shot1.png0123456789ab.tmp", false},
        {".HKCU.reg.tmp", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(IsOurTempName(QString::fromLatin1(row.name)), row.ours) << row.name;
    const QString made = QFileInfo(TempNameFor(QStringLiteral("/x/Shot1.png"))).fileName();
    EXPECT_TRUE(IsOurTempName(made)) << made.toStdString();
    EXPECT_TRUE(made.startsWith(QLatin1String(".Shot1.png.")));
}

// The files of a mail: numbered attachment names, archives made by the zip
// module and checked with unzip, copies that never replace a file, the mail
// description, and the arguments the mail program gets.
#include "DLLImport.h"
#include "MailAttachments.h"
#include "MailProgram.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zk;

namespace {

void touch(const QString &path, const QByteArray &bytes = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(MailAttachments, NextNumberFollowsTheHighestNumberedName)
{
    const struct
    {
        QStringList existing;
        int kind;
        int want;
    } cases[] = {
        {{}, 1, 1},
        {{"Attachfile_1.jpg"}, 1, 2},
        {{"Attachfile_0.jpg"}, 1, 1},
        {{"Attachfile_old.jpg"}, 1, 1},
        {{"Attachfile_old.jpg", "Attachfile_4.jpg", "Attachfile_2.jpg"}, 1, 5},
        {{"Attachfile_7.bmp"}, 1, 1},
        {{"Attachfile_7.bmp"}, 0, 8},
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        for (const QString &name : c.existing)
            touch(dir.filePath(name));
        EXPECT_EQ(NextAttachFileNo(dir.path(), c.kind), c.want) << c.existing.join(',').toStdString();
    }
}

TEST(MailAttachments, PlaceIsTheAttachFolderOnlyWithOptionAndEntry)
{
    const struct
    {
        bool attachDir;
        const char *entry;
        const char *folder;
        bool numbered;
    } cases[] = {
        {true, "/data/attach", "/data/attach/", true},
        {true, "/data/attach/", "/data/attach/", true},
        {false, "/data/attach", "/prog/", false},
        {true, "", "/prog/", false},
        {true, "ERR", "/prog/", false},
    };
    for (const auto &c : cases) {
        const TAttachPlace p = AttachPlace(c.attachDir, QString::fromLatin1(c.entry), QStringLiteral("/prog"));
        EXPECT_EQ(p.Folder, QString::fromLatin1(c.folder)) << c.entry;
        EXPECT_EQ(p.Numbered, c.numbered) << c.entry;
    }
}

TEST(MailAttachments, AttachEntryMissingOrPresent)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("ZK5.ini");
    EXPECT_EQ(ReadAttachEntry(ini), QString());
    touch(ini, "[Entrys]\nOther=1\n");
    EXPECT_EQ(ReadAttachEntry(ini), QString());
    touch(ini, "[Entrys]\nAttach=/home/u/Anhänge\n");
    EXPECT_EQ(ReadAttachEntry(ini), QStringLiteral("/home/u/Anhänge"));
}

TEST(MailAttachments, NamesOfPicturesAndArchives)
{
    QTemporaryDir dir;
    const TAttachPlace numbered{dir.path() + "/", true};
    const TAttachPlace plain{dir.path() + "/", false};
    EXPECT_EQ(AttachFileName(numbered, 1), dir.filePath("Attachfile_1.jpg"));
    EXPECT_EQ(AttachFileName(numbered, 0), dir.filePath("Attachfile_1.bmp"));
    EXPECT_EQ(AttachFileName(plain, 1), dir.filePath("Attachfile.jpg"));
    EXPECT_EQ(SingleArchiveName(dir.filePath("Attachfile_3.jpg")), dir.filePath("Attachfile_3.zip"));
    EXPECT_EQ(ArchiveName(plain), dir.filePath("AttachArchiv.zip"));
    EXPECT_EQ(ArchiveName(numbered), dir.filePath("AttachArchivFile_1.zip"));
    // An earlier archive is never reused, whatever the picture numbers are.
    touch(dir.filePath("AttachArchivFile_3.zip"));
    touch(dir.filePath("Attachfile_9.jpg"));
    EXPECT_EQ(ArchiveName(numbered), dir.filePath("AttachArchivFile_4.zip"));
}

TEST(MailAttachments, ZipListHoldsArchiveThenFiles)
{
    EXPECT_EQ(ZipListText("/a/Attachfile_1.zip", {"/a/Attachfile_1.jpg"}),
              QStringLiteral("/a/Attachfile_1.zip\n/a/Attachfile_1.jpg\n"));
}

TEST(MailAttachments, ZipModuleWritesAnArchiveUnzipAccepts)
{
    if (!zktest::haveProgram("unzip"))
        GTEST_SKIP() << "needs unzip";
    LoadOutsideModules(QStringLiteral(ZK_PROGRAM_DIR));
    if (!ZipModuleLoaded())
        GTEST_SKIP() << "zip module not built";
    QTemporaryDir dir;
    const QString jpg = dir.filePath("Attachfile_1.jpg");
    const QString bmp = dir.filePath("other.bmp");
    touch(jpg, QByteArray(5000, 'j'));
    touch(bmp, QByteArray(7000, 'b'));
    // The module reads its list from the folder of the running program.
    const QString listFolder = QCoreApplication::applicationDirPath();
    const QString archive = dir.filePath("AttachArchivFile_1.zip");
    QString error;
    ASSERT_TRUE(ZipFiles(listFolder, archive, {jpg, bmp}, [] { return ProceedFiles(8, 0, 0); }, &error))
        << error.toStdString();
    EXPECT_EQ(readAll(listFolder + "/zipfiles.dat"), (archive + "\n" + jpg + "\n" + bmp + "\n").toUtf8());
    QByteArray out;
    EXPECT_EQ(zktest::runProgram("unzip", {"-t", archive}, &out), 0) << out.constData();
    EXPECT_TRUE(out.contains("Attachfile_1.jpg"));
    EXPECT_TRUE(out.contains("other.bmp"));
    QFile::remove(listFolder + "/zipfiles.dat");
}

TEST(MailAttachments, FailedZipIsReported)
{
    QTemporaryDir dir;
    const QString jpg = dir.filePath("a.jpg");
    touch(jpg);
    QString error;
    EXPECT_FALSE(ZipFiles(dir.path(), dir.filePath("a.zip"), {jpg}, [] { return false; }, &error));
    EXPECT_FALSE(error.isEmpty());
    // Success claimed but no archive written counts as failure too.
    EXPECT_FALSE(ZipFiles(dir.path(), dir.filePath("a.zip"), {jpg}, [] { return true; }, &error));
    EXPECT_FALSE(ZipFiles(dir.path(), dir.filePath("a.zip"), {dir.filePath("missing.jpg")}, [] { return true; },
                          &error));
    EXPECT_EQ(error, dir.filePath("missing.jpg"));
}

TEST(MailAttachments, CopiesNeverReplaceAFile)
{
    QTemporaryDir src1, src2, dest;
    touch(src1.filePath("pic.jpg"), "first");
    touch(src2.filePath("pic.jpg"), "second");
    touch(dest.filePath("pic.jpg"), "program file");
    touch(dest.filePath("here.bmp"), "already here");
    QString error;
    const QStringList copies =
        CopyAttachments({src1.filePath("pic.jpg"), src2.filePath("pic.jpg"), dest.filePath("here.bmp")}, dest.path(),
                        &error);
    ASSERT_EQ(copies.size(), 3) << error.toStdString();
    EXPECT_EQ(copies[0], dest.filePath("pic-2.jpg"));
    EXPECT_EQ(copies[1], dest.filePath("pic-3.jpg"));
    EXPECT_EQ(copies[2], dest.filePath("here.bmp"));
    EXPECT_EQ(readAll(dest.filePath("pic.jpg")), QByteArray("program file"));
    EXPECT_EQ(readAll(copies[0]), QByteArray("first"));
    EXPECT_EQ(readAll(copies[1]), QByteArray("second"));
}

TEST(MailAttachments, MissingFileStopsCopyingAndRemovesCopies)
{
    QTemporaryDir src, dest;
    touch(src.filePath("a.jpg"));
    QString error;
    EXPECT_TRUE(CopyAttachments({src.filePath("a.jpg"), src.filePath("gone.jpg")}, dest.path(), &error).isEmpty());
    EXPECT_EQ(error, src.filePath("gone.jpg"));
    EXPECT_FALSE(QFile::exists(dest.filePath("a.jpg")));
}

TEST(MailAttachments, DescriptionListsAttachmentsUpToTheFirstGap)
{
    QStringList d = MailDescription("a@b.de", "Betreff", "Zeile 1\nZeile 2", {"/x/1.jpg", "/x/2.jpg"});
    EXPECT_EQ(MailDescriptionValue(d, "to"), QStringLiteral("a@b.de"));
    EXPECT_EQ(MailDescriptionValue(d, "body"), QStringLiteral("Zeile 1\nZeile 2"));
    EXPECT_EQ(MailDescriptionAttachments(d), (QStringList{"/x/1.jpg", "/x/2.jpg"}));
    d << "attachment3=/x/4.jpg";
    EXPECT_EQ(MailDescriptionAttachments(d).size(), 2);
}

TEST(MailProgram, ArgumentsCarrySubjectBodyFullPathsAndRecipient)
{
    EXPECT_EQ(XdgEmailArguments("a@b.de", "Sub", "Body", {"/x/1.jpg", "/y/2.zip"}),
              (QStringList{"--subject", "Sub", "--body", "Body", "--attach", "/x/1.jpg", "--attach", "/y/2.zip",
                           "a@b.de"}));
    EXPECT_EQ(XdgEmailArguments("", "S", "B", {}), (QStringList{"--subject", "S", "--body", "B"}));
}

TEST(MailProgram, MailtoLinkIsPercentEncoded)
{
    EXPECT_EQ(MailtoUrl("", "Zelkora 5.0 - Screenshot", "Guten Tag,").toString(QUrl::FullyEncoded),
              QStringLiteral("mailto:?subject=Zelkora%205.0%20-%20Screenshot&body=Guten%20Tag%2C"));
    EXPECT_EQ(MailtoUrl("a@b.de", "Grüße & mehr", "").toString(QUrl::FullyEncoded),
              QStringLiteral("mailto:a@b.de?subject=Gr%C3%BC%C3%9Fe%20%26%20mehr&body="));
}

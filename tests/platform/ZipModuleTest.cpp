// The zip module through the program's binding: a copy of a small caller in
// a scratch folder makes that folder the program folder, "zipfiles.dat"
// there names the archive and the files, and unzip and Python's zipfile
// read the result.
#include "DLLImport.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QByteArray randomBytes(int n, quint32 seed)
{
    QByteArray b(n, '\0');
    QRandomGenerator gen(seed);
    for (char &c : b)
        c = char(gen.bounded(256) & (seed % 2 ? 0xFF : 0x0F)); // some compress well, some not
    return b;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ZipModule : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(prog.isValid() && data.isValid());
        const QString caller = prog.filePath("zk_module_caller");
        ASSERT_TRUE(QFile::copy(ZK_MODULE_CALLER, caller));
        const QString module = QStringLiteral(ZK_PROGRAM_DIR "/libvexzip32.so");
        ASSERT_TRUE(QFileInfo::exists(module)) << "build the vexzip32 module first";
        ASSERT_TRUE(QFile::link(module, prog.filePath("libvexzip32.so")));
    }

    // Runs the caller; its exit code (0 written, 1 refused, 2 no module).
    int proceed()
    {
        return zktest::runProgram(prog.filePath("zk_module_caller"), {QStringLiteral("8")});
    }

    void writeList(const QStringList &lines, const char *lineEnd = "\r\n", bool cp1252 = false)
    {
        QString text;
        for (const QString &l : lines)
            text += l + QString::fromLatin1(lineEnd);
        QByteArray bytes;
        if (cp1252) {
            QStringEncoder enc("windows-1252");
            ASSERT_TRUE(enc.isValid());
            bytes = enc.encode(text);
        } else {
            bytes = text.toUtf8();
        }
        ASSERT_TRUE(writeFile(prog.filePath("zipfiles.dat"), bytes));
    }

    QTemporaryDir prog, data;
};

TEST_F(ZipModule, PacksNamesWithBlanksAndUmlautsReadableByUnzipAndPython)
{
    if (!zktest::haveProgram("unzip") || !zktest::haveProgram("python3"))
        GTEST_SKIP() << "unzip or python3 missing";
    const QStringList names = {"Bild 1.bmp", "Größe äöü.txt", "plain.bin"};
    QStringList files;
    QByteArray expected;
    for (int i = 0; i < names.size(); ++i) {
        QDir().mkpath(data.filePath(QString("in%1").arg(i)));
        const QString path = data.filePath(QString("in%1/").arg(i) + names[i]);
        const QByteArray bytes = randomBytes(20000 + i * 7777, quint32(i + 1));
        ASSERT_TRUE(writeFile(path, bytes));
        files << path;
        expected += names[i].toUtf8() + ' ' +
                    QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + '\n';
    }
    const QString archive = data.filePath("Archiv für Mail.zip");
    for (bool cp1252 : {false, true}) {
        SCOPED_TRACE(cp1252 ? "Windows-1252 list, LF" : "UTF-8 list, CR LF");
        QFile::remove(archive);
        writeList(QStringList{archive} + files, cp1252 ? "\n" : "\r\n", cp1252);
        ASSERT_EQ(proceed(), 0);
        ASSERT_TRUE(QFileInfo::exists(archive));
        EXPECT_EQ(QFileInfo(archive).permissions() & QFile::ReadOther, QFile::ReadOther) << "not a private file";
        QByteArray out;
        EXPECT_EQ(zktest::runProgram("unzip", {"-t", archive}, &out), 0) << out.constData();
        const QString script = QStringLiteral(
            "import sys, zipfile, hashlib\n"
            "z = zipfile.ZipFile(sys.argv[1])\n"
            "for i in z.infolist():\n"
            "    assert i.compress_type == zipfile.ZIP_DEFLATED\n"
            "    sys.stdout.buffer.write(i.filename.encode() + b' ' + "
            "hashlib.sha256(z.read(i)).hexdigest().encode() + b'\\n')\n");
        ASSERT_EQ(zktest::runProgram("python3", {"-c", script, archive}, &out), 0);
        EXPECT_EQ(out, expected);
        // Nothing but the archive and the inputs is left in the folder.
        EXPECT_EQ(QDir(data.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Archiv für Mail.zip"});
    }
}

TEST_F(ZipModule, BadListsWriteNothingAndKeepTheOldArchive)
{
    const QString a = data.filePath("a.txt"), b = data.filePath("b.txt");
    QDir().mkpath(data.filePath("sub"));
    const QString sameName = data.filePath("sub/a.txt");
    for (const QString &f : {a, b, sameName})
        ASSERT_TRUE(writeFile(f, "some text"));
    const QString archive = data.filePath("old.zip");
    ASSERT_TRUE(writeFile(archive, "the old archive"));

    struct Case
    {
        const char *name;
        QStringList lines; // empty: no list file at all
    };
    const QList<Case> cases = {
        {"no list", {}},
        {"empty list", {""}},
        {"only the archive", {archive}},
        {"line 1 empty", {"", a}},
        {"missing file", {archive, a, data.filePath("gone.txt")}},
        {"a folder listed", {archive, a, data.filePath("sub")}},
        {"same base name twice", {archive, a, sameName}},
        {"folder not there", {data.filePath("nowhere/new.zip"), a}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(prog.filePath("zipfiles.dat"));
        if (!c.lines.isEmpty())
            writeList(c.lines);
        EXPECT_EQ(proceed(), 1);
        EXPECT_EQ(readFile(archive), QByteArray("the old archive"));
        EXPECT_EQ(QDir(data.path()).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{"a.txt", "b.txt", "old.zip"}));
    }
    // The same archive name with a good list replaces the old file.
    writeList({archive, a, b});
    EXPECT_EQ(proceed(), 0);
    EXPECT_TRUE(readFile(archive).startsWith("PK\x03\x04"));
}

TEST_F(ZipModule, WithoutTheModuleEveryWrapperSaysFalse)
{
    // The caller without the module beside it.
    ASSERT_TRUE(QFile::remove(prog.filePath("libvexzip32.so")));
    writeList({data.filePath("x.zip"), QStringLiteral(ZK_MODULE_CALLER)});
    EXPECT_EQ(proceed(), 2);
    EXPECT_FALSE(QFileInfo::exists(data.filePath("x.zip")));

    // And in this process, from an empty folder.
    zk::FreeOutsideModules();
    zk::LoadOutsideModules(data.path());
    EXPECT_FALSE(zk::ToolsModuleLoaded());
    EXPECT_FALSE(zk::ZipModuleLoaded());
    EXPECT_FALSE(zk::ProceedFiles(8, 0, 0));
    EXPECT_FALSE(zk::InstallHook(1));
    EXPECT_FALSE(zk::UninstallHook());
    EXPECT_FALSE(zk::InstallHook2(1));
    EXPECT_FALSE(zk::UninstallHook2());
    EXPECT_FALSE(zk::ShowAviFrame(1, 600, 1, 1, 1));
    EXPECT_FALSE(zk::HideAviFrame());
    // Only one load per start: a later call finds nothing new.
    zk::LoadOutsideModules(QStringLiteral(ZK_PROGRAM_DIR));
    EXPECT_FALSE(zk::ZipModuleLoaded());
    zk::FreeOutsideModules();
}

TEST(ToolsModule, WithoutAnXServerEveryEntryPointSaysFalse)
{
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    zk::FreeOutsideModules();
    zk::LoadOutsideModules(QStringLiteral(ZK_PROGRAM_DIR));
    EXPECT_TRUE(zk::ToolsModuleLoaded());
    EXPECT_FALSE(zk::InstallHook(1));
    EXPECT_FALSE(zk::InstallHook2(1));
    EXPECT_FALSE(zk::ShowAviFrame(1, 600, 1, 1, 1));
    EXPECT_FALSE(zk::UninstallHook());
    EXPECT_FALSE(zk::UninstallHook2());
    EXPECT_FALSE(zk::HideAviFrame());
    zk::FreeOutsideModules();
    if (!display.isNull())
        qputenv("DISPLAY", display);
}

} // namespace

#include "IniFile.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <sys/stat.h>

using zk::TIniFile;

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString &name = QStringLiteral("ZK5.ini")) const { return m_dir.path() + '/' + name; }

    void put(const QByteArray &bytes, const QString &name = QStringLiteral("ZK5.ini")) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QByteArray bytes(const QString &name = QStringLiteral("ZK5.ini")) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    static ino_t inode(const QString &file)
    {
        struct stat st;
        return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? st.st_ino : 0;
    }

    QTemporaryDir m_dir;
};

const QByteArray Sample = "; Zelkora settings\r\n"
                          "\r\n"
                          "[ZK_Quorvex]\r\n"
                          "AppPath = C:\\Programme\\Quorvex\\qv.exe\r\n"
                          "Mode=1 ; not a comment\r\n"
                          "\r\n"
                          "; storage folders\r\n"
                          "[Entrys]\r\n"
                          "Bilder=/home/user/Bilder\r\n"
                          "\xc3\x84rger=/tmp/\xc3\xa4\xc3\xb6\xc3\xbc\r\n"
                          "  Indented = yes  \r\n"
                          "\r\n"
                          "[Empty]\r\n"
                          "[Last]\r\n"
                          "Key=value";

} // namespace

TEST_F(IniFileTest, WritesChangeOnlyTheirOwnLineAndKeepEveryOtherByte)
{
    put(Sample);
    TIniFile ini(path());
    QByteArray expected = Sample;

    // A changed value: the ident and its spacing stay as they stand.
    ASSERT_TRUE(ini.WriteString("zk_quorvex", "APPPATH", "/usr/bin/qv"));
    expected.replace("AppPath = C:\\Programme\\Quorvex\\qv.exe", "AppPath = /usr/bin/qv");
    EXPECT_EQ(bytes(), expected);

    // A new key goes after the last entry of its section, before the blank
    // line and the comment that belong to the next section.
    ASSERT_TRUE(ini.WriteString("Entrys", "Neu", "/x"));
    expected.replace("  Indented = yes  \r\n", "  Indented = yes  \r\nNeu=/x\r\n");
    EXPECT_EQ(bytes(), expected);

    ASSERT_TRUE(ini.WriteInteger("Empty", "a", -12));
    expected.replace("[Empty]\r\n", "[Empty]\r\na=-12\r\n");
    EXPECT_EQ(bytes(), expected);

    // The last line had no line end; it gets one in the file's style.
    ASSERT_TRUE(ini.WriteBool("Last", "Other", true));
    expected += "\r\nOther=1\r\n";
    EXPECT_EQ(bytes(), expected);

    // A new section goes at the end, after a blank line.
    ASSERT_TRUE(ini.WriteString("Neue Sektion", "k\xc3\xa9", QStringLiteral("v ü")));
    expected += "\r\n[Neue Sektion]\r\nk\xc3\xa9=v \xc3\xbc\r\n";
    EXPECT_EQ(bytes(), expected);

    // Writing what is already there leaves the file alone.
    const ino_t before = inode(path());
    ASSERT_TRUE(ini.WriteString("Entrys", "bilder", "/home/user/Bilder"));
    ASSERT_TRUE(ini.WriteBool("LAST", "other", true));
    EXPECT_EQ(inode(path()), before);
    EXPECT_EQ(bytes(), expected);

    // A second object reads it all back.
    TIniFile again(path());
    EXPECT_EQ(again.ReadString("ZK_Quorvex", "AppPath", ""), "/usr/bin/qv");
    EXPECT_EQ(again.ReadInteger("Empty", "A", 0), -12);
    EXPECT_EQ(again.ReadString(QStringLiteral("neue sektion"), QStringLiteral("K\u00c9"), ""), QStringLiteral("v ü"));
}

TEST_F(IniFileTest, ReadingRules)
{
    put("orphan=before any section\n"
        "[Main]\n"
        "Quoted=\"kept as is\"\n"
        "  Spaced  =  padded value  \n"
        "Mode=1 ; not a comment\n"
        ";Commented=1\n"
        "no equals sign\n"
        "=no ident\n"
        "Dup=first\n"
        "dup=second\n"
        "Empty=\n"
        "[Other]\n"
        "x=1\n"
        "[main]\n"
        "Later=from the second block\n"
        "Dup=third\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.FileName(), path());
    EXPECT_EQ(ini.ReadString("Main", "Quoted", ""), "\"kept as is\"");
    EXPECT_EQ(ini.ReadString("MAIN", "spaced", ""), "padded value");
    EXPECT_EQ(ini.ReadString("Main", "Mode", ""), "1 ; not a comment");
    EXPECT_EQ(ini.ReadString("Main", "Commented", "def"), "def");
    EXPECT_EQ(ini.ReadString("Main", "orphan", "def"), "def");
    EXPECT_EQ(ini.ReadString("Main", "Dup", ""), "first");
    EXPECT_EQ(ini.ReadString("Main", "Empty", "def"), "");
    EXPECT_EQ(ini.ReadString("Main", "Later", ""), "from the second block");
    EXPECT_EQ(ini.ReadString("Nowhere", "x", "def"), "def");

    EXPECT_EQ(ini.ReadSections(), QStringList({"Main", "Other"}));
    EXPECT_EQ(ini.ReadSection("main"), QStringList({"Quoted", "Spaced", "Mode", "Dup", "Empty", "Later"}));
    EXPECT_EQ(ini.ReadSectionValues("Other"), QStringList({"x=1"}));
    EXPECT_EQ(ini.ReadSectionValues("Main").at(1), "Spaced=padded value");
    EXPECT_TRUE(ini.ValueExists("main", "EMPTY"));
    EXPECT_FALSE(ini.ValueExists("Main", "Commented"));
    EXPECT_TRUE(ini.SectionExists("OTHER"));
    EXPECT_FALSE(ini.SectionExists("Nowhere"));
}

TEST_F(IniFileTest, IntegersAndBooleansReadLikeTheClassLibrary)
{
    struct Case
    {
        const char *text;
        std::int32_t expected; // 99 stands for "the default"
    };
    const Case cases[] = {
        {"12", 12},         {"-7", -7},           {" 42 ", 42},         {"+3", 3},
        {"$1F", 31},        {"$1f", 31},          {"0x1f", 31},         {"0XFF", 255},
        {"$FFFFFFFF", -1},  {"$7FFFFFFF", INT_MAX}, {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
        {"2147483648", 99}, {"$100000000", 99},   {"12abc", 99},        {"", 99},
        {"abc", 99},        {"1.5", 99},          {"$", 99},            {"0x", 99},
        {"- 1", 99},        {"1 2", 99},
    };
    QByteArray text = "[N]\n";
    for (size_t i = 0; i < std::size(cases); ++i)
        text += "k" + QByteArray::number(qulonglong(i)) + "=" + cases[i].text + "\n";
    put(text);
    TIniFile ini(path());
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini.ReadInteger("N", QStringLiteral("k%1").arg(i), 99), cases[i].expected) << cases[i].text;
    EXPECT_EQ(ini.ReadInteger("N", "missing", -4), -4);

    put("[B]\none=1\nzero=0\ntwo=2\nminus=-1\nword=true\nhexzero=$0\nempty=\n");
    ini.Reload();
    EXPECT_TRUE(ini.ReadBool("B", "one", false));
    EXPECT_FALSE(ini.ReadBool("B", "zero", true));
    EXPECT_TRUE(ini.ReadBool("B", "two", false));
    EXPECT_TRUE(ini.ReadBool("B", "minus", false));
    EXPECT_FALSE(ini.ReadBool("B", "word", false)); // not a number: the default
    EXPECT_TRUE(ini.ReadBool("B", "word", true));
    EXPECT_FALSE(ini.ReadBool("B", "hexzero", true));
    EXPECT_TRUE(ini.ReadBool("B", "empty", true));
    EXPECT_TRUE(ini.ReadBool("B", "missing", true));

    ASSERT_TRUE(ini.WriteInteger("B", "int", INT_MIN));
    ASSERT_TRUE(ini.WriteBool("B", "flag", false));
    EXPECT_TRUE(bytes().endsWith("empty=\nint=-2147483648\nflag=0\n"));
    EXPECT_EQ(ini.ReadInteger("B", "int", 0), INT_MIN);
}

TEST_F(IniFileTest, DeletingKeysAndSections)
{
    put("[A]\nx=1\ny=2\n\n[Entrys]\nBilder=/b\nAttach=/a\n; note\n[A]\nx=again\n[C]\nz=3\n");
    TIniFile ini(path());
    ASSERT_TRUE(ini.DeleteKey("entrys", "ATTACH"));
    EXPECT_EQ(bytes(), "[A]\nx=1\ny=2\n\n[Entrys]\nBilder=/b\n; note\n[A]\nx=again\n[C]\nz=3\n");
    EXPECT_FALSE(ini.ValueExists("Entrys", "Attach"));
    ASSERT_TRUE(ini.DeleteKey("Entrys", "Attach")); // nothing to do
    // Every block of a section goes, with what stands in it.
    ASSERT_TRUE(ini.EraseSection("a"));
    EXPECT_EQ(bytes(), "[Entrys]\nBilder=/b\n; note\n[C]\nz=3\n");
    EXPECT_EQ(ini.ReadSections(), QStringList({"Entrys", "C"}));
    ASSERT_TRUE(ini.EraseSection("Nowhere"));
    // A section without keys does not count as existing.
    ASSERT_TRUE(ini.DeleteKey("C", "z"));
    EXPECT_EQ(bytes(), "[Entrys]\nBilder=/b\n; note\n[C]\n");
    EXPECT_FALSE(ini.SectionExists("C"));
    EXPECT_EQ(ini.ReadSections(), QStringList({"Entrys", "C"}));
}

TEST_F(IniFileTest, AFileThatIsNotUtf8IsReadAsWindows1252)
{
    const QByteArray legacy = "[Entrys]\r\n"
                              "Bilder=C:\\Eigene Dateien\\B\xe4r\r\n"
                              "Zitat=\x93Hallo\x94 \x80 5 \x9f\r\n"
                              "[ZK_Quorvex]\r\n"
                              "AppPath=C:\\Programme\\Quorvex\r\n";
    put(legacy);
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString("Entrys", "Bilder", ""), QString::fromUtf16(u"C:\\Eigene Dateien\\B\u00e4r"));
    EXPECT_EQ(ini.ReadString("Entrys", "Zitat", ""), QString::fromUtf16(u"\u201cHallo\u201d \u20ac 5 \u0178"));

    // Reading, or writing what is already there, leaves the old bytes alone.
    ASSERT_TRUE(ini.WriteString("Entrys", "Bilder", QString::fromUtf16(u"C:\\Eigene Dateien\\B\u00e4r")));
    EXPECT_EQ(bytes(), legacy);

    // A real change writes the whole file as UTF-8.
    ASSERT_TRUE(ini.WriteString("ZK_Quorvex", "AppPath", "/opt/qv"));
    QByteArray changedLegacy = legacy;
    changedLegacy.replace("C:\\Programme\\Quorvex", "/opt/qv");
    if (zktest::haveProgram("iconv")) {
        // An independent converter says what the UTF-8 file must hold.
        const QString source = path("legacy.ini");
        put(changedLegacy, "legacy.ini");
        QByteArray converted;
        ASSERT_EQ(zktest::runProgram("iconv", {"-f", "WINDOWS-1252", "-t", "UTF-8", source}, &converted), 0);
        EXPECT_EQ(bytes(), converted);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes());
    EXPECT_FALSE(utf8.hasError());
    EXPECT_TRUE(text.contains(QString::fromUtf16(u"Zitat=\u201cHallo\u201d \u20ac 5 \u0178\r\n")));
    TIniFile again(path());
    EXPECT_EQ(again.ReadString("Entrys", "Bilder", ""), QString::fromUtf16(u"C:\\Eigene Dateien\\B\u00e4r"));
}

TEST_F(IniFileTest, AByteOrderMarkAndAMissingFile)
{
    put("\xEF\xBB\xBF[S]\nk=\xc3\xa4\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadSections(), QStringList({"S"}));
    EXPECT_EQ(ini.ReadString("S", "k", ""), QStringLiteral("ä"));
    ASSERT_TRUE(ini.WriteString("S", "n", "1"));
    EXPECT_EQ(bytes(), "\xEF\xBB\xBF[S]\nk=\xc3\xa4\nn=1\n");

    // Nothing is created by reading; the first write makes the file.
    TIniFile fresh(path("new.ini"));
    EXPECT_EQ(fresh.ReadString("ZK_Quorvex", "AppPath", "ERROR"), "ERROR");
    EXPECT_FALSE(fresh.SectionExists("Entrys"));
    EXPECT_FALSE(QFile::exists(path("new.ini")));
    ASSERT_TRUE(fresh.WriteString("Entrys", "Attach", "/tmp/att"));
    EXPECT_EQ(bytes("new.ini"), "[Entrys]\nAttach=/tmp/att\n");
}

TEST_F(IniFileTest, InputThatWouldBreakTheFileIsRefused)
{
    put("[S]\nk=v\n");
    TIniFile ini(path());
    EXPECT_FALSE(ini.WriteString("S", "k", "two\nlines"));
    EXPECT_FALSE(ini.WriteString("S", "k", "carriage\rreturn"));
    EXPECT_FALSE(ini.WriteString("S", "a=b", "v"));
    EXPECT_FALSE(ini.WriteString("S", "[x", "v"));
    EXPECT_FALSE(ini.WriteString("S", ";x", "v"));
    EXPECT_FALSE(ini.WriteString("S", " ", "v"));
    EXPECT_FALSE(ini.WriteString("a]b", "k", "v"));
    EXPECT_FALSE(ini.WriteString("", "k", "v"));
    EXPECT_FALSE(ini.WriteString("S\n[T]", "k", "v"));
    EXPECT_EQ(bytes(), "[S]\nk=v\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
}

TEST_F(IniFileTest, AFailedSaveReportsFalseAndChangesNothing)
{
    // A folder stands where the file should be.
    QDir(m_dir.path()).mkpath("Taken.ini/inside");
    TIniFile ini(path("Taken.ini"));
    EXPECT_FALSE(ini.WriteString("S", "k", "v"));
    EXPECT_EQ(ini.ReadString("S", "k", "def"), "def");
    EXPECT_TRUE(QFileInfo(path("Taken.ini")).isDir());

    // A folder that cannot exist: its parent is a file.
    put("plain", "file");
    TIniFile nowhere(path("file/ZK5.ini"));
    EXPECT_FALSE(nowhere.WriteString("S", "k", "v"));
    EXPECT_FALSE(nowhere.ValueExists("S", "k"));
    EXPECT_EQ(bytes("file"), "plain");
}

TEST_F(IniFileTest, ChangesByOthersAreKeptAndSeen)
{
    put("[S]\na=1\n");
    TIniFile first(path());
    TIniFile second(path());
    ASSERT_TRUE(second.WriteString("S", "b", "2"));
    EXPECT_EQ(first.ReadString("S", "b", ""), "2");
    ASSERT_TRUE(first.WriteString("S", "c", "3"));
    EXPECT_EQ(bytes(), "[S]\na=1\nb=2\nc=3\n");

    // A file put in place by a link is written through the link.
    put("[L]\nx=1\n", "target.ini");
    ASSERT_TRUE(QFile::link(path("target.ini"), path("link.ini")));
    TIniFile linked(path("link.ini"));
    ASSERT_TRUE(linked.WriteString("L", "y", "2"));
    EXPECT_TRUE(QFileInfo(path("link.ini")).isSymLink());
    EXPECT_EQ(bytes("target.ini"), "[L]\nx=1\ny=2\n");
    // An existing file keeps its permission bits.
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    ASSERT_TRUE(first.WriteString("S", "d", "4"));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

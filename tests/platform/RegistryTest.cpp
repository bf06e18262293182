#include "Registry.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <memory>
#include <mutex>
#include <random>
#include <signal.h>

using zk::ERegistryException;
using zk::RegDataType;
using zk::RootKey;
using zk::SetDamagedStoreHandler;
using zk::TRegistry;

namespace {

// Collects the warnings Qt code prints while the object lives.
class WarningCatcher
{
public:
    WarningCatcher()
    {
        std::lock_guard<std::mutex> g(mutex());
        list().clear();
        m_previous = qInstallMessageHandler(&WarningCatcher::handler);
    }
    ~WarningCatcher() { qInstallMessageHandler(m_previous); }
    QStringList warnings() const
    {
        std::lock_guard<std::mutex> g(mutex());
        return list();
    }

private:
    static std::mutex &mutex()
    {
        static std::mutex m;
        return m;
    }
    static QStringList &list()
    {
        static QStringList l;
        return l;
    }
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &msg)
    {
        if (type == QtWarningMsg || type == QtCriticalMsg) {
            std::lock_guard<std::mutex> g(mutex());
            list().append(msg);
        }
    }
    QtMessageHandler m_previous;
};

// Every test gets a config folder of its own, so stores never leak between
// tests.
class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_config.isValid());
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", m_oldConfig); }

    QString storeFile() const { return m_config.path() + "/Zelkora/HKCU.reg"; }

    QByteArray storeBytes() const
    {
        QFile f(storeFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Puts text in place the way another program would: a new file renamed
    // over the old one.
    void replaceStore(const QByteArray &text, const QString &file = QString())
    {
        const QString target = file.isEmpty() ? storeFile() : file;
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile f(target + ".new");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        ASSERT_EQ(::rename(QFile::encodeName(f.fileName()).constData(), QFile::encodeName(target).constData()), 0);
    }

    QTemporaryDir m_config;
    QByteArray m_oldConfig;
};

QByteArray allBytes()
{
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b;
}

// The texts that stress the text form: quotes, backslashes, line breaks,
// control characters, characters beyond ASCII and beyond the BMP.
const QStringList &trickyStrings()
{
    static const QStringList s = {
        QString(),
        QStringLiteral("Grüße aus Köln: ÄÖÜ äöü ß €"),
        QStringLiteral("say \"hi\" to C:\\Programme\\ and \\\\server\\share\\"),
        QStringLiteral("line one\nline two\r\nline three\ttabbed"),
        QStringLiteral("ends with a backslash \\"),
        QString::fromUtf16(u"\u0001\u001f\u007f control, \U0001F600 emoji, [brackets]=equals;semicolon"),
        QString::fromUtf16(u"lone \xD800 surrogate"),
        QStringLiteral("  blanks around  "),
    };
    return s;
}

const char *const OptionsKey = "Software\\Tarvendo\\Zelkora\\5.0\\Options";

} // namespace

TEST_F(RegistryTest, EveryValueTypeRoundTripsInThisAndAFreshObject)
{
    const QByteArray binary = allBytes();
    const std::int32_t ints[] = {0, 1, -1, 42, -1000, INT_MIN, INT_MAX};
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(OptionsKey, true));
        for (int i = 0; i < trickyStrings().size(); ++i)
            reg.WriteString(QStringLiteral("Str%1").arg(i), trickyStrings()[i]);
        reg.WriteExpandString("Expand", QStringLiteral("%HOME%\\Bilder\\Ü"));
        for (std::int32_t v : ints)
            reg.WriteInteger(QStringLiteral("Int%1").arg(v), v);
        reg.WriteBool("True", true);
        reg.WriteBool("False", false);
        reg.WriteBinaryData("AllBytes", binary);
        reg.WriteBinaryData("Empty", QByteArray());
        const unsigned char nine[9] = {1, 0, 1, 1, 0, 0, 1, 0, 1};
        reg.WriteBinaryData("ShellExtAr", nine, 9);
        reg.WriteString("", QStringLiteral("the default value"));
    }
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "as written" : "parsed from the file");
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(OptionsKey, false));
        for (int i = 0; i < trickyStrings().size(); ++i)
            EXPECT_EQ(reg.ReadString(QStringLiteral("Str%1").arg(i)), trickyStrings()[i]) << i;
        EXPECT_EQ(reg.ReadString("Expand"), QStringLiteral("%HOME%\\Bilder\\Ü"));
        EXPECT_EQ(reg.GetDataType("Expand"), RegDataType::ExpandString);
        for (std::int32_t v : ints)
            EXPECT_EQ(reg.ReadInteger(QStringLiteral("Int%1").arg(v)), v);
        EXPECT_TRUE(reg.ReadBool("True"));
        EXPECT_FALSE(reg.ReadBool("False"));
        EXPECT_EQ(reg.ReadBinaryData("AllBytes"), binary);
        EXPECT_EQ(reg.ReadBinaryData("Empty"), QByteArray());
        unsigned char buf[9] = {};
        EXPECT_EQ(reg.ReadBinaryData("ShellExtAr", buf, 9), 9);
        EXPECT_EQ(QByteArray(reinterpret_cast<char *>(buf), 9), QByteArray("\1\0\1\1\0\0\1\0\1", 9));
        EXPECT_EQ(reg.ReadString(""), QStringLiteral("the default value"));
        // Another program's touch makes the next pass parse the file anew.
        replaceStore(storeBytes() + "; touched\n");
    }
}

TEST_F(RegistryTest, AFreshProcessReadsWhatWasWritten)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software\\Fresh", true));
        for (int i = 0; i < trickyStrings().size(); ++i)
            reg.WriteString(QStringLiteral("Str%1").arg(i), trickyStrings()[i]);
        reg.WriteInteger("Neg", -123456);
        reg.WriteBinaryData("AllBytes", allBytes());
        reg.WriteExpandString("Ex", "$HOME");
    }
    QByteArray out;
    ASSERT_EQ(zktest::runProgram(ZK_STORE_WRITER, {"dump", "Software\\Fresh"}, &out), 0);
    QStringList expected;
    for (int i = 0; i < trickyStrings().size(); ++i) {
        // A lone surrogate has no UTF-8 form; compare it as the dump prints it.
        expected << QStringLiteral("%1\tstring\t%2")
                        .arg(QString::fromLatin1(QStringLiteral("Str%1").arg(i).toUtf8().toHex()),
                             QString::fromLatin1(trickyStrings()[i].toUtf8().toHex()));
    }
    expected << QStringLiteral("%1\tinteger\t%2").arg(QString::fromLatin1(QByteArray("Neg").toHex()),
                                                      QString::fromLatin1(QByteArray("-123456").toHex()));
    expected << QStringLiteral("%1\tbinary\t%2").arg(QString::fromLatin1(QByteArray("AllBytes").toHex()),
                                                     QString::fromLatin1(allBytes().toHex()));
    expected << QStringLiteral("%1\texpand\t%2").arg(QString::fromLatin1(QByteArray("Ex").toHex()),
                                                     QString::fromLatin1(QByteArray("$HOME").toHex()));
    EXPECT_EQ(QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts), expected);
}

TEST_F(RegistryTest, TheFileIsReadableRegText)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(OptionsKey, true));
    reg.WriteInteger("Answer", 42);
    reg.WriteInteger("Minus", -2);
    reg.WriteString("Path", QStringLiteral("C:\\Bilder \"neu\"\nÄ"));
    reg.WriteBinaryData("Bytes", QByteArray("\x01\xff\x00", 3));
    reg.WriteString("", QStringLiteral("def"));
    const QString text = QString::fromUtf8(storeBytes());
    const QStringList lines = text.split('\n');
    EXPECT_TRUE(lines.contains("[Software\\Tarvendo\\Zelkora\\5.0\\Options]")) << text.toStdString();
    EXPECT_TRUE(lines.contains("\"Answer\"=dword:0000002a"));
    EXPECT_TRUE(lines.contains("\"Minus\"=dword:fffffffe"));
    EXPECT_TRUE(lines.contains(QStringLiteral("\"Path\"=\"C:\\\\Bilder \\\"neu\\\"\\nÄ\"")));
    EXPECT_TRUE(lines.contains("\"Bytes\"=hex:01,ff,00"));
    EXPECT_TRUE(lines.contains("@=\"def\""));
    // Ancestors are keys of their own, listed before their children.
    EXPECT_LT(lines.indexOf("[Software]"), lines.indexOf("[Software\\Tarvendo\\Zelkora\\5.0\\Options]"));
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheCaseFirstWritten)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Tarvendo\\Zelkora\\5.0\\GUI", true));
    reg.WriteInteger("StdPal", 1);
    reg.WriteInteger("STDPAL", 2);
    reg.WriteString("Ümlaut", "a");
    EXPECT_EQ(reg.ReadInteger("stdpal"), 2);
    EXPECT_TRUE(reg.ValueExists("sTdPaL"));
    EXPECT_EQ(reg.ReadString("üMLAUT"), "a");
    EXPECT_EQ(reg.GetValueNames(), QStringList({"StdPal", "Ümlaut"}));

    TRegistry other;
    ASSERT_TRUE(other.OpenKey("SOFTWARE\\tarvendo\\ZELKORA\\5.0\\gui", false));
    EXPECT_EQ(other.CurrentPath(), "Software\\Tarvendo\\Zelkora\\5.0\\GUI");
    EXPECT_EQ(other.ReadInteger("STDpal"), 2);
    // A subkey created through a differently cased parent joins the parent.
    ASSERT_TRUE(other.OpenKey("\\software\\TARVENDO\\Zelkora\\5.0\\Gui\\Recent", true));
    EXPECT_EQ(other.CurrentPath(), "Software\\Tarvendo\\Zelkora\\5.0\\GUI\\Recent");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Tarvendo\\Zelkora\\5.0", false));
    EXPECT_EQ(reg.GetKeyNames(), QStringList({"GUI"}));
}

TEST_F(RegistryTest, NestedKeysRelativeAndAbsolutePathsAndListings)
{
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("Software\\Missing", false));
    EXPECT_FALSE(reg.KeyExists("Software\\Missing"));
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Missing"));

    ASSERT_TRUE(reg.OpenKey("\\Software\\Tarvendo\\", true));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Tarvendo");
    EXPECT_FALSE(reg.HasSubKeys());
    ASSERT_TRUE(reg.OpenKey("Zelkora\\5.0", true)); // relative to the open key
    EXPECT_EQ(reg.CurrentPath(), "Software\\Tarvendo\\Zelkora\\5.0");
    for (const char *sub : {"Options", "GUI", "Log", "SmtpHost"})
        ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Tarvendo\\Zelkora\\5.0\\%1").arg(sub), true));
    ASSERT_TRUE(reg.OpenKey("\\Software\\Tarvendo\\Zelkora\\5.0", false));
    EXPECT_TRUE(reg.HasSubKeys());
    EXPECT_EQ(reg.GetKeyNames(), QStringList({"Options", "GUI", "Log", "SmtpHost"}));
    EXPECT_TRUE(reg.KeyExists("GUI"));
    EXPECT_TRUE(reg.KeyExists("\\Software\\Tarvendo\\Zelkora\\5.0\\GUI"));
    EXPECT_FALSE(reg.KeyExists("\\GUI"));

    ASSERT_TRUE(reg.OpenKey("Options", false));
    reg.WriteInteger("Zeta", 1);
    reg.WriteInteger("Alpha", 2);
    reg.WriteInteger("Mid", 3);
    EXPECT_EQ(reg.GetValueNames(), QStringList({"Zeta", "Alpha", "Mid"}));

    reg.CloseKey();
    EXPECT_EQ(reg.CurrentPath(), "");
    EXPECT_EQ(reg.GetKeyNames(), QStringList({"Software"}));
    EXPECT_TRUE(reg.GetValueNames().isEmpty());
    EXPECT_FALSE(reg.ValueExists("Zeta"));

    // A key that was opened for reading refuses writes and keeps its data.
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Tarvendo\\Zelkora\\5.0\\Options"));
    EXPECT_EQ(reg.ReadInteger("Mid"), 3);
    EXPECT_THROW(reg.WriteInteger("Mid", 4), ERegistryException);
    EXPECT_THROW(reg.DeleteValue("Mid"), ERegistryException);
    EXPECT_EQ(reg.ReadInteger("Mid"), 3);

    // The two roots are separate files.
    TRegistry machine(RootKey::LocalMachine);
    EXPECT_FALSE(machine.KeyExists("Software"));
    ASSERT_TRUE(machine.OpenKey("Software\\Classes\\.zkg", true));
    machine.WriteString("", "ZelkoraBitmap");
    EXPECT_TRUE(QFile::exists(m_config.path() + "/Zelkora/HKLM.reg"));
    EXPECT_EQ(TRegistry::StoreFile(RootKey::LocalMachine), m_config.path() + "/Zelkora/HKLM.reg");
    EXPECT_FALSE(reg.KeyExists("\\Software\\Classes"));
    machine.SetRootKey(RootKey::CurrentUser);
    EXPECT_EQ(machine.CurrentPath(), "");
    EXPECT_FALSE(machine.KeyExists("\\Software\\Classes"));
}

TEST_F(RegistryTest, DeletingKeysAndValues)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Z\\GUI\\Recent\\Deep", true));
    reg.WriteString("x", "1");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Z\\GUI\\RecentFiles", true)); // shares a prefix
    reg.WriteString("y", "2");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Z\\GUI", false));
    reg.WriteString("keep", "3");
    reg.WriteString("drop", "4");

    EXPECT_TRUE(reg.DeleteValue("DROP"));
    EXPECT_FALSE(reg.DeleteValue("drop"));
    EXPECT_FALSE(reg.ValueExists("drop"));
    EXPECT_EQ(reg.ReadString("keep"), "3");

    EXPECT_TRUE(reg.DeleteKey("recent")); // relative, any case, with its subkeys
    EXPECT_FALSE(reg.KeyExists("Recent"));
    EXPECT_FALSE(reg.KeyExists("Recent\\Deep"));
    EXPECT_TRUE(reg.KeyExists("RecentFiles"));
    EXPECT_FALSE(reg.DeleteKey("Recent"));
    EXPECT_FALSE(reg.DeleteKey("\\"));
    EXPECT_EQ(reg.GetKeyNames(), QStringList({"RecentFiles"}));

    // Gone from the file too, not only from this process's view.
    EXPECT_FALSE(storeBytes().contains("Deep"));
    QByteArray out;
    ASSERT_EQ(zktest::runProgram(ZK_STORE_WRITER, {"dump", "Software\\Z\\GUI\\Recent"}, &out), 1);

    // Writing into a key deleted meanwhile brings it back with the value.
    TRegistry other;
    ASSERT_TRUE(other.OpenKey("Software\\Z\\GUI\\RecentFiles", false));
    EXPECT_TRUE(reg.DeleteKey("\\Software\\Z\\GUI\\RecentFiles"));
    other.WriteString("back", "again");
    EXPECT_EQ(other.ReadString("back"), "again");
    EXPECT_FALSE(other.ValueExists("y"));
}

TEST_F(RegistryTest, FailuresRaiseExceptionsNamingKeyAndValue)
{
    TRegistry reg;
    // Without an open key nothing can be written.
    try {
        reg.WriteBool("Intro", true);
        FAIL() << "no exception";
    } catch (const ERegistryException &e) {
        EXPECT_EQ(e.message(), "Cannot write registry value \"Intro\": no key is open");
    }
    EXPECT_THROW(reg.ReadBool("Intro"), ERegistryException);

    ASSERT_TRUE(reg.OpenKey(OptionsKey, true));
    reg.WriteString("Name", "text");
    reg.WriteInteger("Number", 5);
    reg.WriteBinaryData("Blob", QByteArray("ab"));

    struct Case
    {
        std::function<void()> read;
        const char *message;
    };
    const Case cases[] = {
        {[&] { reg.ReadBool("Intro"); },
         "Registry value \"Software\\Tarvendo\\Zelkora\\5.0\\Options\\Intro\" is missing"},
        {[&] { reg.ReadString("Intro"); },
         "Registry value \"Software\\Tarvendo\\Zelkora\\5.0\\Options\\Intro\" is missing"},
        {[&] { reg.ReadBinaryData("Intro"); },
         "Registry value \"Software\\Tarvendo\\Zelkora\\5.0\\Options\\Intro\" is missing"},
        {[&] { reg.ReadInteger("Name"); },
         "Registry value \"Software\\Tarvendo\\Zelkora\\5.0\\Options\\Name\" has type string, not integer"},
        {[&] { reg.ReadBool("Blob"); },
         "Registry value \"Software\\Tarvendo\\Zelkora\\5.0\\Options\\Blob\" has type binary, not integer"},
        {[&] { reg.ReadString("Number"); },
         "Registry value \"Software\\Tarvendo\\Zelkora\\5.0\\Options\\Number\" has type integer, not string"},
        {[&] { reg.ReadBinaryData("Name"); },
         "Registry value \"Software\\Tarvendo\\Zelkora\\5.0\\Options\\Name\" has type string, not binary"},
        {[&] { reg.ReadString(""); },
         "Registry value \"Software\\Tarvendo\\Zelkora\\5.0\\Options\\(Default)\" is missing"},
    };
    for (const Case &c : cases) {
        try {
            c.read();
            ADD_FAILURE() << "no exception for: " << c.message;
        } catch (const ERegistryException &e) {
            EXPECT_EQ(e.message(), QString::fromUtf8(c.message));
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    // A short buffer gets what fits and no more.
    char two[2] = {'x', 'x'};
    reg.WriteBinaryData("Long", QByteArray("12345"));
    EXPECT_EQ(reg.ReadBinaryData("Long", two, 2), 2);
    EXPECT_EQ(QByteArray(two, 2), "12");
    EXPECT_THROW(reg.WriteBinaryData("Bad", nullptr, 3), ERegistryException);
    EXPECT_THROW(reg.WriteBinaryData("Bad", two, -1), ERegistryException);
    EXPECT_FALSE(reg.ValueExists("Bad"));
}

TEST_F(RegistryTest, DataTypesAndSizes)
{
    TRegistry reg;
    EXPECT_EQ(reg.GetDataSize("x"), -1);
    ASSERT_TRUE(reg.OpenKey("Software\\T", true));
    reg.WriteString("s", "abc");
    reg.WriteExpandString("e", "%a%");
    reg.WriteInteger("i", 7);
    reg.WriteBinaryData("b", QByteArray(9, '\1'));
    EXPECT_EQ(reg.GetDataType("s"), RegDataType::String);
    EXPECT_EQ(reg.GetDataType("e"), RegDataType::ExpandString);
    EXPECT_EQ(reg.GetDataType("i"), RegDataType::Integer);
    EXPECT_EQ(reg.GetDataType("b"), RegDataType::Binary);
    EXPECT_EQ(reg.GetDataType("none"), RegDataType::Unknown);
    EXPECT_EQ(reg.GetDataSize("s"), 8); // UTF-16 with the terminating NUL
    EXPECT_EQ(reg.GetDataSize("i"), 4);
    EXPECT_EQ(reg.GetDataSize("b"), 9);
    EXPECT_EQ(reg.GetDataSize("none"), -1);
    // Writing a value of another type replaces type and data.
    reg.WriteInteger("s", 1);
    EXPECT_EQ(reg.GetDataType("s"), RegDataType::Integer);
    EXPECT_EQ(reg.GetValueNames(), QStringList({"s", "e", "i", "b"}));
}

TEST_F(RegistryTest, DamagedLinesAreSkippedWithAWarningAndTheRestLoads)
{
    const QByteArray text = "Zelkora Registry Version 1\n"
                            "\"Orphan\"=dword:00000001\n"           // before any key
                            "\n"
                            "[Software\\Good]\r\n"                   // CRLF is fine
                            "\"A\"=dword:0000000a\n"
                            "\"B\"=dword:xyz\n"                      // bad number
                            "\"C\"=\"unterminated\n"                 // no closing quote
                            "\"D\"=\"ok \\\"quoted\\\"\"\n"
                            "garbage line\n"                         // not a line of ours
                            "\"E\"=hex:01,0g\n"                      // bad byte
                            "; a comment\n"
                            "\"F\"=\"bad escape \\q\"\n"
                            "\"G\" = \"blank before =\"\n"
                            "\"H\"=hex:de,ad,be,ef\n"
                            "\"I\"=\"\xc3\x28 not UTF-8\"\n"         // invalid UTF-8
                            "[Software\\Bad\x01Key]\n"               // control character
                            "\"J\"=dword:00000002\n"                 // orphaned by the bad key
                            "[Software\\Good\\Sub]\n"
                            "@=\"default\"\n"
                            "\"K\"=\"\xc3\xa4\"\n";
    replaceStore(text);
    WarningCatcher catcher;
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Good", false));
    EXPECT_EQ(reg.GetValueNames(), QStringList({"A", "D", "H"}));
    EXPECT_EQ(reg.ReadInteger("A"), 10);
    EXPECT_EQ(reg.ReadString("D"), "ok \"quoted\"");
    EXPECT_EQ(reg.ReadBinaryData("H"), QByteArray("\xde\xad\xbe\xef"));
    ASSERT_TRUE(reg.OpenKey("Sub", false));
    EXPECT_EQ(reg.ReadString(""), "default");
    EXPECT_EQ(reg.ReadString("K"), QStringLiteral("ä"));
    EXPECT_FALSE(reg.KeyExists("\\Software\\Bad\x01Key"));

    const QStringList w = catcher.warnings();
    ASSERT_EQ(w.size(), 10) << w.join('\n').toStdString();
    const int damagedLines[] = {2, 6, 7, 9, 10, 12, 13, 15, 16, 17};
    for (int line : damagedLines) {
        const QString needle = QStringLiteral("line %1:").arg(line);
        EXPECT_TRUE(std::any_of(w.begin(), w.end(), [&](const QString &s) { return s.contains(needle); }))
            << "no warning for line " << line;
    }
    for (const QString &s : w)
        EXPECT_TRUE(s.contains("HKCU.reg")) << s.toStdString();

    // The next write keeps every good value.
    ASSERT_TRUE(reg.OpenKey("\\Software\\Good", false));
    reg.WriteInteger("New", 1);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Good\\Sub", false));
    EXPECT_EQ(reg.ReadString("K"), QStringLiteral("ä"));
    QByteArray out;
    ASSERT_EQ(zktest::runProgram(ZK_STORE_WRITER, {"dump", "Software\\Good"}, &out), 0);
    EXPECT_EQ(out.count('\n'), 4);
}

TEST_F(RegistryTest, AnUnknownHeaderIsReportedButValuesStillLoad)
{
    replaceStore("Something Else 9\n[K]\n\"v\"=dword:00000003\n");
    WarningCatcher catcher;
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("K", false));
    EXPECT_EQ(reg.ReadInteger("v"), 3);
    EXPECT_EQ(catcher.warnings().size(), 1);
}

TEST_F(RegistryTest, ChangesMadeByOthersAreSeenByLaterReads)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Shared", true));
    reg.WriteInteger("v", 1);
    EXPECT_EQ(reg.ReadInteger("v"), 1);
    // Same size as before, so only the file identity tells the change.
    QByteArray text = storeBytes();
    text.replace("dword:00000001", "dword:00000002");
    replaceStore(text);
    EXPECT_EQ(reg.ReadInteger("v"), 2);
    // A value another process added survives our next write.
    text.replace("\"v\"=dword:00000002", "\"v\"=dword:00000002\n\"w\"=\"theirs\"");
    replaceStore(text);
    reg.WriteInteger("x", 3);
    EXPECT_EQ(reg.ReadString("w"), "theirs");
    EXPECT_TRUE(storeBytes().contains("\"w\"=\"theirs\""));
}

TEST_F(RegistryTest, AFailedWriteThrowsAndLeavesTheFileAsItWas)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Keep", true));
    reg.WriteString("old", "value");
    const QByteArray before = storeBytes();
    // The temporary name is taken by a folder with content: no file can be
    // made there, whatever the rights of the user running the test.
    ASSERT_TRUE(QDir().mkpath(storeFile() + ".tmp/blocker"));
    try {
        reg.WriteString("new", "value");
        FAIL() << "no exception";
    } catch (const ERegistryException &e) {
        EXPECT_TRUE(e.message().startsWith("Cannot write the registry file")) << e.what();
        EXPECT_TRUE(e.message().contains("HKCU.reg")) << e.what();
    }
    EXPECT_EQ(storeBytes(), before);
    EXPECT_FALSE(reg.ValueExists("new"));
    EXPECT_EQ(reg.ReadString("old"), "value");
    QDir(storeFile() + ".tmp").removeRecursively();
    reg.WriteString("new", "value");
    EXPECT_TRUE(reg.ValueExists("new"));

    // A folder that cannot be created: OpenKey with create says no.
    QTemporaryDir other;
    QFile blocker(other.path() + "/Zelkora");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(other.path()));
    WarningCatcher catcher;
    TRegistry reg2;
    EXPECT_FALSE(reg2.OpenKey("Software\\X", true));
    EXPECT_FALSE(catcher.warnings().isEmpty());
}

// Where the store can be neither written nor read back (its folder lies
// below a regular file), a failed write must not live on in memory: a later
// read would show a value that was never saved.
TEST_F(RegistryTest, AFailedWriteToAnUnreadableStoreLeavesNoValueBehind)
{
    QFile blocker(m_config.path() + "/Zelkora");
    QDir(m_config.path() + "/Zelkora").removeRecursively();
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    zk::TRegistryIniFile store("Software\\Lost");
    WarningCatcher catcher;
    for (const char *value : {"first", "second"}) {
        EXPECT_THROW(store.WriteString("S", "Name", value), ERegistryException) << value;
        EXPECT_FALSE(store.ValueExists("S", "Name")) << value;
        EXPECT_EQ(store.ReadString("S", "Name", "none"), "none") << value;
    }
    // The reason told is the real one, not a read-only file.
    const QStringList told = catcher.warnings().filter("Cannot write");
    ASSERT_FALSE(told.isEmpty());
    for (const QString &w : told)
        EXPECT_TRUE(w.endsWith("Not a directory")) << w.toStdString();
}

TEST_F(RegistryTest, IniStyleAccessOverKeys)
{
    zk::TRegistryIniFile ini("Software\\Tarvendo\\Zelkora\\5.0");
    EXPECT_EQ(ini.ReadString("Viewer", "Repeat", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("Viewer", "Intervall", 2000), 2000);
    EXPECT_FALSE(ini.SectionExists("Viewer"));
    ini.WriteInteger("Viewer", "Intervall", 1500);
    ini.WriteBool("Viewer", "Repeat", true);
    ini.WriteString("HostHistory", "0", "smtp.example.org");
    ini.WriteString("HostHistory", "1", "mail.example.org");
    EXPECT_EQ(ini.ReadInteger("viewer", "INTERVALL", 0), 1500);
    EXPECT_TRUE(ini.ReadBool("Viewer", "Repeat", false));
    EXPECT_EQ(ini.ReadSections(), QStringList({"Viewer", "HostHistory"}));
    EXPECT_EQ(ini.ReadSection("HostHistory"), QStringList({"0", "1"}));
    EXPECT_TRUE(ini.ValueExists("HostHistory", "1"));
    EXPECT_TRUE(ini.SectionExists("hosthistory"));

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Tarvendo\\Zelkora\\5.0\\Viewer", false));
    EXPECT_EQ(reg.ReadInteger("Intervall"), 1500);
    EXPECT_EQ(reg.GetDataType("Repeat"), RegDataType::Integer);

    // A number kept as text reads as a number and stays text when written.
    reg.WriteString("SlideSite", "$10");
    EXPECT_EQ(ini.ReadInteger("Viewer", "SlideSite", 0), 16);
    ini.WriteInteger("Viewer", "SlideSite", 3);
    EXPECT_EQ(reg.GetDataType("SlideSite"), RegDataType::String);
    EXPECT_EQ(reg.ReadString("SlideSite"), "3");
    reg.WriteString("Text", "abc");
    EXPECT_EQ(ini.ReadInteger("Viewer", "Text", -5), -5);
    EXPECT_EQ(ini.ReadString("Viewer", "Intervall", ""), "1500");

    ini.DeleteKey("HostHistory", "0");
    EXPECT_EQ(ini.ReadSection("HostHistory"), QStringList({"1"}));
    ini.EraseSection("HostHistory");
    EXPECT_FALSE(ini.SectionExists("HostHistory"));
    EXPECT_EQ(ini.ReadSections(), QStringList({"Viewer"}));
}

// ---- two processes ------------------------------------------------------------

namespace {

// What the writer program stores under index i (see tests/tools).
void expectWriterValue(TRegistry &reg, const QString &prefix, int i)
{
    const QString name = prefix + QString::number(i);
    switch (i % 3) {
    case 0:
        EXPECT_EQ(reg.ReadString(name), QStringLiteral("Wert %1 äöü \"%2\"\\").arg(i).arg(prefix)) << i;
        break;
    case 1:
        EXPECT_EQ(reg.ReadInteger(name), i * 7 - 1000) << i;
        break;
    default: {
        QByteArray b;
        for (int k = 0; k < 16; ++k)
            b.append(char((i * 31 + k) & 0xff));
        EXPECT_EQ(reg.ReadBinaryData(name), b) << i;
        break;
    }
    }
}

// The values of a key must be prefix0 .. prefix(n-1) in order, complete.
int checkPrefix(TRegistry &reg, const QString &prefix)
{
    const QStringList names = reg.GetValueNames();
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i], prefix + QString::number(i));
        if (names[i] != prefix + QString::number(i))
            return -1;
        expectWriterValue(reg, prefix, i);
    }
    return int(names.size());
}

} // namespace

TEST_F(RegistryTest, AWriterKilledAtAnyMomentLeavesACompleteFile)
{
    // Ballast makes every write take long enough for kills to land inside it.
    QByteArray ballast;
    for (int i = 0; i < 96 * 1024; ++i)
        ballast.append(char((i * 131) >> 3));
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software\\Ballast", true));
        reg.WriteBinaryData("Blob", ballast);
    }
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> delayMs(30, 250);
    std::vector<int> counts;
    int total = 0;
    for (int run = 0; run < 30; ++run) {
        SCOPED_TRACE(run);
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.start(ZK_STORE_WRITER, {"write", QStringLiteral("Software\\Kill\\Run%1").arg(run), "V", "100000"});
        ASSERT_TRUE(writer.waitForStarted(10000));
        QThread::msleep(static_cast<unsigned long>(delayMs(random)));
        ASSERT_EQ(::kill(static_cast<pid_t>(writer.processId()), SIGKILL), 0);
        ASSERT_TRUE(writer.waitForFinished(10000));

        WarningCatcher catcher;
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Ballast", false));
        ASSERT_EQ(reg.ReadBinaryData("Blob"), ballast);
        for (int earlier = 0; earlier < run; ++earlier) {
            if (!reg.OpenKey(QStringLiteral("\\Software\\Kill\\Run%1").arg(earlier), false)) {
                EXPECT_EQ(counts[size_t(earlier)], 0);
                continue;
            }
            EXPECT_EQ(reg.GetValueNames().size(), counts[size_t(earlier)]) << "run " << earlier << " changed";
        }
        int count = 0;
        if (reg.OpenKey(QStringLiteral("\\Software\\Kill\\Run%1").arg(run), false))
            count = checkPrefix(reg, "V");
        ASSERT_GE(count, 0);
        counts.push_back(count);
        total += count;
        EXPECT_TRUE(catcher.warnings().isEmpty()) << catcher.warnings().join('\n').toStdString();
    }
    // The kills must have hit writers that were busy writing.
    EXPECT_GT(total, 30);
}

TEST_F(RegistryTest, TwoWritersAtOnceLoseNothing)
{
    // 2,000 writes each flushed to disk take long on a slow disk; in a
    // RAM-backed folder the flushes are free and the test is about the lock.
    std::unique_ptr<QTemporaryDir> ram;
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
        ram = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/zk-store-test-XXXXXX"));
        if (ram->isValid())
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(ram->path()));
    }
    QProcess a, b;
    a.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    b.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    a.start(ZK_STORE_WRITER, {"write", "Software\\Both", "A", "1000"});
    b.start(ZK_STORE_WRITER, {"write", "Software\\Both", "B", "1000"});
    ASSERT_TRUE(a.waitForFinished(120000));
    ASSERT_TRUE(b.waitForFinished(120000));
    EXPECT_EQ(a.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(b.exitCode(), 0);

    WarningCatcher catcher;
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Both", false));
    const QStringList names = reg.GetValueNames();
    EXPECT_EQ(names.size(), 2000);
    for (const char *prefix : {"A", "B"}) {
        for (int i = 0; i < 1000; ++i)
            expectWriterValue(reg, prefix, i);
    }
    // Each writer's own values stay in the order it wrote them.
    QStringList onlyA = names.filter(QRegularExpression("^A"));
    for (int i = 0; i < onlyA.size(); ++i)
        EXPECT_EQ(onlyA[i], QStringLiteral("A%1").arg(i));
    EXPECT_TRUE(catcher.warnings().isEmpty());
}

TEST_F(RegistryTest, ABatchWritesOnceAndMergesWithAWriterThatCameInBetween)
{
    TRegistry reg;
    {
        zk::TRegistryBatch batch;
        ASSERT_TRUE(reg.OpenKey("Software\\Batch", true));
        for (int i = 0; i < 200; ++i)
            reg.WriteInteger(QStringLiteral("V%1").arg(i), i);
        // Our own reads see the collected values at once ...
        EXPECT_EQ(reg.ReadInteger("V199"), 199);
        // ... while the file, as another process reads it, has none yet.
        QByteArray out;
        EXPECT_EQ(zktest::runProgram(ZK_STORE_WRITER, {"dump", "Software\\Batch"}, &out), 1);

        // The batch holds no lock while it collects: another writer goes on.
        ASSERT_EQ(zktest::runProgram(ZK_STORE_WRITER, {"write", "Software\\Batch", "W", "3"}), 0);
        EXPECT_EQ(reg.ReadInteger("V150"), 150);
        batch.Commit();
        // Its values and ours, merged.
        EXPECT_TRUE(reg.ValueExists("W2"));
    }
    QByteArray out;
    ASSERT_EQ(zktest::runProgram(ZK_STORE_WRITER, {"dump", "Software\\Batch"}, &out), 0);
    EXPECT_EQ(out.count('\n'), 203);
    TRegistry fresh;
    ASSERT_TRUE(fresh.OpenKeyReadOnly("Software\\Batch"));
    EXPECT_EQ(fresh.ReadInteger("V0"), 0);
    EXPECT_EQ(fresh.ReadInteger("V150"), 150);
    EXPECT_TRUE(fresh.ValueExists("W2"));
}

TEST_F(RegistryTest, AOneLookReadsTheFileOnceButWritesOntoTheNewestFile)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Look", true));
    reg.WriteInteger("mine", 1);
    {
        zk::TRegistryOneLook look;
        EXPECT_EQ(reg.ReadInteger("mine"), 1);
        // Another process writes: the look does not see it ...
        ASSERT_EQ(zktest::runProgram(ZK_STORE_WRITER, {"write", "Software\\Look", "W", "2"}), 0);
        EXPECT_FALSE(reg.ValueExists("W1"));
        // ... but a write made meanwhile goes onto the file as it is now,
        // at once, and keeps the other writer's values.
        reg.WriteInteger("mine", 5);
        QByteArray out;
        ASSERT_EQ(zktest::runProgram(ZK_STORE_WRITER, {"dump", "Software\\Look"}, &out), 0);
        EXPECT_EQ(out.count('\n'), 3);
        EXPECT_EQ(reg.ReadInteger("mine"), 5);
        EXPECT_TRUE(reg.ValueExists("W1"));
        ASSERT_EQ(zktest::runProgram(ZK_STORE_WRITER, {"write", "Software\\Look", "X", "1"}), 0);
        EXPECT_FALSE(reg.ValueExists("X0"));
    }
    // Once the look ends, the next read looks at the file again.
    EXPECT_TRUE(reg.ValueExists("X0"));
    EXPECT_EQ(reg.ReadInteger("W1"), 7 - 1000);
}

TEST_F(RegistryTest, ChangesThatLeaveTheFileAsItIsTouchNothing)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Same", true));
    reg.WriteString("s", "text");
    reg.WriteInteger("i", 7);
    const QString lockFile = storeFile() + ".lock";
    ASSERT_TRUE(QFile::remove(lockFile));
    struct stat was;
    ASSERT_EQ(::stat(QFile::encodeName(storeFile()).constData(), &was), 0);
    {
        zk::TRegistryBatch batch;
        reg.WriteString("s", "text");
        reg.WriteInteger("i", 7);
        ASSERT_TRUE(reg.OpenKey("\\Software\\Same", true));
        batch.Commit();
    }
    reg.WriteString("s", "text");
    // No lock taken, no file replaced.
    EXPECT_FALSE(QFileInfo::exists(lockFile));
    struct stat now;
    ASSERT_EQ(::stat(QFile::encodeName(storeFile()).constData(), &now), 0);
    EXPECT_EQ(now.st_ino, was.st_ino);
    EXPECT_EQ(now.st_mtim.tv_nsec, was.st_mtim.tv_nsec);
}

TEST_F(RegistryTest, AFailedBatchLeavesTheFileAndDropsItsChanges)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Drop", true));
    reg.WriteString("kept", "old");
    const QByteArray before = storeBytes();
    ASSERT_TRUE(QDir().mkpath(storeFile() + ".tmp/blocker"));
    {
        zk::TRegistryBatch batch;
        reg.WriteString("kept", "new");
        reg.WriteString("added", "x");
        EXPECT_THROW(batch.Commit(), ERegistryException);
    }
    EXPECT_EQ(storeBytes(), before);
    EXPECT_EQ(reg.ReadString("kept"), "old");
    EXPECT_FALSE(reg.ValueExists("added"));
    QDir(storeFile() + ".tmp").removeRecursively();
}

template<size_t N>
QByteArray withNuls(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

// A store that did not read cleanly (garbage, NUL bytes, broken UTF-8), or a
// link to a file of the user that is no store at all, is kept as
// "<file>.damaged" before the first write replaces it, and said once; a
// link stays a link and its target is replaced in its own folder.
TEST_F(RegistryTest, ADamagedOrLinkedStoreIsKeptBeforeItIsReplaced)
{
    const struct
    {
        const char *what;
        QByteArray content;
        bool throughLink;
    } cases[] = {
        {"garbage", withNuls("\x01\x02 not a store\n\xff\xfe\n") + QByteArray(300, 'x'), false},
        {"NUL bytes", withNuls("Zelkora Registry Version 1\n[K]\n\"v\"=dword:0\0\0\n"), false},
        {"link to a file of the user", "export PATH=$HOME/bin:$PATH\n", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(m_config.path()).removeRecursively();
        QDir().mkpath(m_config.path() + "/Zelkora");
        const QString target = c.throughLink ? m_config.path() + "/dotfiles/profile" : storeFile();
        replaceStore(c.content, target);
        if (c.throughLink) {
            ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(storeFile()).constData()), 0);
        }
        QStringList told;
        SetDamagedStoreHandler([&](const QString &store, const QString &copy) { told << store << copy; });
        {
            TRegistry reg;
            ASSERT_TRUE(reg.OpenKey("Software\\Z", true));
            reg.WriteInteger("A", 1);
            reg.WriteInteger("B", 2); // told once only
        }
        SetDamagedStoreHandler(nullptr);
        EXPECT_EQ(told, QStringList({target, target + ".damaged"}));
        EXPECT_EQ(zktest::readBytes(target + ".damaged"), c.content);
        EXPECT_TRUE(zktest::readBytes(target).startsWith("Zelkora Registry Version 1\n"));
        EXPECT_EQ(QFileInfo(storeFile()).isSymLink(), c.throughLink);
    }
}

// The start-up decisions that need no window.
#include "Graphic.h"
#include "HotKeys.h"
#include "Options.h"
#include "Registry.h"
#include "StartupRules.h"
#include "ZelkoraApplication.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace zk;

namespace {

QString letters(const QList<THotKeyRequest> &requests)
{
    QString s;
    for (const THotKeyRequest &r : requests)
        s += QString::number(r.id) + r.letter;
    return s;
}

} // namespace

TEST(StartupRules, HotKeysComeFromTheOptionsOnlyWhileSystemKeysAreOn)
{
    TZelkoraOptions options;
    SetDefaultOptions(options);
    EXPECT_EQ(letters(HotKeyRequests(options)), "1A2E3F4G5H6B");

    options.HK1 = 14;
    options.HK2 = 12;
    EXPECT_EQ(letters(HotKeyRequests(options)).left(4), "1Y2T");

    // A damaged store cannot make a slot grab a letter outside the table.
    options.HK3 = 15;
    options.HK4 = 200;
    EXPECT_EQ(letters(HotKeyRequests(options)), "1Y2T3F4G5H6B");

    options.SysKeys = false;
    EXPECT_TRUE(HotKeyRequests(options).isEmpty());

    EXPECT_EQ(HotKeyDisplayName(QChar('e')), "STRG + E");
}

TEST(StartupRules, LanguageItemsNeedTheirWholeSectionLine)
{
    const TLanguageOffer none = LanguageOffer({"[german]", "[english]", "x=[france]", "[france] ", "[frances]"});
    EXPECT_FALSE(none.italian);
    EXPECT_FALSE(none.spanish);
    EXPECT_FALSE(none.french);
    const TLanguageOffer all = LanguageOffer({"[ITALIAN]", "[Espaniol]", "[france]"});
    EXPECT_TRUE(all.italian);
    EXPECT_TRUE(all.spanish);
    EXPECT_TRUE(all.french);
}

TEST(StartupRules, DroppedPicturesKeepOrderAndWholeNames)
{
    const QString longName = "/data/" + QString(300, QChar('x')) + "/shot.PNG";
    const TDropList list = DroppedPictures({"/a/b.txt", longName, "/a/c.jpeg", "", "/a/noext", "/a/d.emf",
                                            "/a/e.tif", "/a/f.zkg"});
    EXPECT_EQ(list.paths, (QStringList{longName, "/a/c.jpeg", "/a/d.emf", "/a/f.zkg"}));
    EXPECT_EQ(list.names, (QStringList{"shot.PNG", "c.jpeg", "d.emf", "f.zkg"}));
    EXPECT_TRUE(DroppedPictures({"/x/readme"}).paths.isEmpty());
    for (const char *ext : {"bmp", "JPG", "jpeg", "gif", "wmf", "emf", "ico", "zkg", "png"})
        EXPECT_TRUE(IsDroppablePicture(QString("/p/file.") + ext)) << ext;
}

TEST(StartupRules, MaximizeToggleAlternatesBetweenFillingAndRestoring)
{
    TMaximizeToggle toggle;
    const QRect screen(0, 0, 1920, 1080);
    const QRect start(200, 150, 800, 600);
    EXPECT_EQ(toggle.Toggle(start, screen, 250), QRect(250, 0, 1670, 1080));
    EXPECT_EQ(toggle.RestoreBounds(), start);
    EXPECT_EQ(toggle.Toggle(QRect(250, 0, 1670, 1080), screen, 250), start);
    EXPECT_EQ(toggle.Count(), 3);
    // A second screen to the right: the fill stays on the screen given.
    EXPECT_EQ(toggle.Toggle(start, QRect(1920, 0, 1280, 1024), 0), QRect(1920, 0, 1280, 1024));
}

TEST(StartupRules, ExceptionBoxNamesTypeAndMessage)
{
    EXPECT_EQ(ExceptionBoxText("EInvalidGraphic", "Datei defekt"),
              "Fehlertyp: EInvalidGraphic \nMeldung: Datei defekt");

    QString type, message;
    const ExceptionHandler handler = [&](const QString &t, const QString &m) {
        type = t;
        message = m;
    };
    EXPECT_FALSE(DeliverGuarded([]() -> bool { throw EInvalidGraphic("Bild beschädigt"); }, handler));
    EXPECT_EQ(type, "EInvalidGraphic");
    EXPECT_EQ(message, QString::fromUtf8("Bild beschädigt"));
    EXPECT_FALSE(DeliverGuarded([]() -> bool { throw std::out_of_range("index 7"); }, handler));
    EXPECT_EQ(type, "std::out_of_range");
    EXPECT_FALSE(DeliverGuarded([]() -> bool { throw 42; }, handler));
    EXPECT_EQ(type, "Exception");
    EXPECT_TRUE(DeliverGuarded([] { return true; }, handler));
}

TEST(StartupRules, VersionTextAndIntroValue)
{
    EXPECT_EQ(CompileVersionText(5, 0, 0, 1), "Compilierung: 5.0.0.1");
    EXPECT_EQ(CompileVersionText(12, 3, 45, 678), "Compilierung: 12.3.45.678");

    TRegistry reg;
    reg.DeleteKey("Software\\Tarvendo");
    EXPECT_FALSE(IntroWanted());
    ASSERT_TRUE(reg.OpenKey(QString::fromLatin1(OptionsStore::KeyPath), true));
    EXPECT_FALSE(IntroWanted()) << "the key without the value";
    reg.WriteString("Intro", "yes");
    EXPECT_FALSE(IntroWanted()) << "a value of the wrong type";
    reg.WriteBool("Intro", true);
    EXPECT_TRUE(IntroWanted());
    // The stored language, a hint read the same way.
    EXPECT_EQ(StoredLanguageIndex(), 0) << "no value";
    reg.WriteString("Language", "1");
    EXPECT_EQ(StoredLanguageIndex(), 0) << "a value of the wrong type";
    reg.WriteInteger("Language", 3);
    EXPECT_EQ(StoredLanguageIndex(), 3);
    reg.CloseKey();
    reg.DeleteKey("Software\\Tarvendo");
}

TEST(StartupRules, CompanionNeedsAppPathInItsSection)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + "/ZK5.ini";
    EXPECT_FALSE(CompanionConfigured(ini));
    const auto write = [&](const char *text) {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };
    write("[Other]\nAppPath=/x\n");
    EXPECT_FALSE(CompanionConfigured(ini));
    write("[ZK_Quorvex]\nAppPathX=/x\n");
    EXPECT_FALSE(CompanionConfigured(ini));
    write("[zk_quorvex]\nAppPath=\n");
    EXPECT_TRUE(CompanionConfigured(ini));
}

TEST(StartupRules, AutostartEntryQuotesThePathForTheDesktopShell)
{
    EXPECT_EQ(DesktopExecQuote("/opt/zelkora/zelkora"), "\"/opt/zelkora/zelkora\"");
    EXPECT_EQ(DesktopExecQuote("/home/a b/$x`y\"z"), "\"/home/a b/\\\\$x\\\\`y\\\\\"z\"");
    EXPECT_EQ(DesktopExecQuote("/p\\q"), "\"/p\\\\\\\\q\"");
    EXPECT_EQ(DesktopExecQuote("/x/100%"), "\"/x/100%%\"");

    // An independent reader of desktop entries: the shell sees the path the
    // entry names. Its value unescaped once (entry level), then split as
    // the Exec rules say (a double-quoted argument with backslash escapes).
    QTemporaryDir dir;
    const QString odd = dir.path() + "/we ird $HOME `x` \"q\" \\b";
    const QString exec = DesktopExecQuote(odd);
    QString value = exec;
    value.replace("\\\\", "\\");
    QByteArray out;
    QProcess sh;
    sh.start("sh", {"-c", "printf %s " + value});
    ASSERT_TRUE(sh.waitForFinished(5000));
    EXPECT_EQ(QString::fromUtf8(sh.readAllStandardOutput()), odd);
}

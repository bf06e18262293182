// The file-properties dialog: size and date texts under a German locale,
// the fields for real files, the bitmap header lines and their refusals,
// and the status bar's way in.
#include "FileInfDlgForm.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "SmallControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace zk;

namespace {

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray le32(quint32 v)
{
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}
QByteArray le16(quint16 v) { return le32(v).left(2); }

// A 3 x 2 bitmap of 24 bits: rows of 9 bytes padded to 12, 54 + 24 = 78 bytes.
QByteArray knownBitmap()
{
    QByteArray b = "BM" + le32(78) + le32(0) + le32(54);
    b += le32(40) + le32(3) + le32(2) + le16(1) + le16(24) + le32(0) + le32(24) + le32(2835) + le32(2835) +
         le32(0) + le32(0);
    b += QByteArray(24, '\x7f');
    return b;
}

class FileInfDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(FileInfDlgTest, SizeAndDateTexts)
{
    const QLocale de(QLocale::German, QLocale::Germany);
    const std::pair<qint64, const char *> sizes[] = {
        {0, "0,00 Byte"},          {500, "0,49 KB"},           {12800, "12,50 KB"},
        {1048575, "1024,00 KB"},   {1048576, "1,00 MB"},       {2097152, "2,00 MB"},
    };
    for (const auto &[size, text] : sizes)
        EXPECT_EQ(FileSizeText(size, de), QString::fromLatin1(text)) << size;
    EXPECT_EQ(FileSizeText(500, QLocale(QLocale::English, QLocale::UnitedStates)), "0.49 KB");

    const QDateTime when(QDate(2026, 3, 7), QTime(9, 5));
    EXPECT_EQ(FileDateText(when, de), "7.3.2026 9:05");
    EXPECT_EQ(FileDateText(when, QLocale(QLocale::English, QLocale::UnitedStates)), "7/3/2026 9:05");
}

TEST_F(FileInfDlgTest, FieldsAndAttributesOfRealFiles)
{
    writeFile(path("bild.bmp"), QByteArray(500, 'x'));
    writeFile(path("README"), QByteArray());
    writeFile(path(".versteckt.png"), QByteArray(2097152, 'y'));
    QFile::setPermissions(path(".versteckt.png"), QFileDevice::ReadOwner);

    struct Case {
        const char *name, *shownName, *size, *type;
        bool readOnly, hidden, dir, headButton;
    } cases[] = {
        {"bild.bmp", "bild", "0,49 KB", "bmp", false, false, false, true},
        {"README", "RE", "0,00 Byte", "", false, false, false, false},
        {".versteckt.png", ".versteckt", "2,00 MB", "png", true, true, false, false},
    };
    for (const Case &c : cases) {
        TFileInfDlgBMForm dlg;
        dlg.FillFile(path(c.name));
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dlg.PathEdit->text(), dir.path() + QLatin1Char('/'));
        EXPECT_EQ(dlg.NameEdit->text(), QString::fromLatin1(c.shownName));
        EXPECT_EQ(dlg.DimAlignEdit->text(), QString::fromLatin1(c.size));
        EXPECT_EQ(dlg.FTypAlignEdit->text(), QString::fromLatin1(c.type));
        // root writes everywhere, so a read-only mode shows only for others
        EXPECT_EQ(dlg.FIDFReadOnlyCheckBox->isChecked(), c.readOnly && geteuid() != 0);
        EXPECT_EQ(dlg.FIDFHiddenCheckBox->isChecked(), c.hidden);
        EXPECT_EQ(dlg.FIDFDirCheckBox->isChecked(), c.dir);
        EXPECT_EQ(dlg.FIDFBmpHeadButton->isEnabled(), c.headButton);
        EXPECT_FALSE(dlg.FIDFSysCheckBox->isEnabled());
        EXPECT_FALSE(dlg.FIDFArchivCheckBox->isEnabled());
        EXPECT_FALSE(dlg.FIDFSysCheckBox->isChecked());
        EXPECT_FALSE(dlg.FIDFArchivCheckBox->isChecked());
    }

    TFileInfDlgBMForm folder;
    folder.FillFile(dir.path());
    EXPECT_TRUE(folder.FIDFDirCheckBox->isChecked());

    TFileInfDlgBMForm missing;
    missing.FillFile(path("fehlt.bmp"));
    EXPECT_TRUE(missing.PathEdit->text().isEmpty());
    EXPECT_TRUE(missing.NameEdit->text().isEmpty());
    EXPECT_TRUE(missing.DimAlignEdit->text().isEmpty());
}

TEST_F(FileInfDlgTest, HeaderLinesOfAKnownBitmapAndRefusals)
{
    writeFile(path("known.bmp"), knownBitmap());
    TFileInfDlgBMForm dlg;
    dlg.FillFile(path("known.bmp"));
    EXPECT_EQ(dlg.BitmapHeaderMessage(),
              QString::fromUtf8("Grösse:\t78\r\nBreite: 3\r\nHöhe: 2\r\nF-Tiefe: 24\r\nF-Anzahl:\t0"));

    // An OS/2 bitmap: "BM", then a 12-byte core header.
    writeFile(path("os2.bmp"), "BM" + le32(32) + le32(0) + le32(26) + le32(12) + le16(2) + le16(1) + le16(1) +
                                   le16(24) + QByteArray(6, '\0'));
    const QString prefix = QString::fromUtf8("Inkompatible Header-Daten (ungültige Bitmap): ");
    const std::pair<const char *, QByteArray> bad[] = {
        {"os2.bmp", QByteArray()},
        {"png.bmp", QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(60, '\0')},
        {"cut.bmp", knownBitmap().left(30)},
    };
    for (const auto &[name, data] : bad) {
        if (!data.isEmpty())
            writeFile(path(name), data);
        TFileInfDlgBMForm d;
        d.FillFile(path(name));
        EXPECT_TRUE(d.BitmapHeaderMessage().startsWith(prefix)) << name;
        EXPECT_GT(d.BitmapHeaderMessage().size(), prefix.size()) << name;
    }
    TBitmapHeaderFault fault{};
    EXPECT_FALSE(ReadBitmapHeaders(path("os2.bmp"), &fault));
    EXPECT_EQ(fault, TBitmapHeaderFault::SmallInfoHeader);
    EXPECT_FALSE(ReadBitmapHeaders(path("none.bmp"), &fault));
    EXPECT_EQ(fault, TBitmapHeaderFault::Unreadable);
}

TEST_F(FileInfDlgTest, StatusPanelOpensTheDialogInTheChosenLanguage)
{
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    QDir().mkpath(path("prog/Templates"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"), path("prog/Templates/Languages.lng")));
    SetProgramDirOverride(path("prog"));
    writeFile(path("bild.bmp"), knownBitmap());
    TMainForm form;
    form.Options.EndDlg = false;
    form.FHasFileName = true;
    form.FFileName = path("bild.bmp");
    QString name, hint, caption;
    bool noteShown = true;
    QTimer::singleShot(0, [&] {
        for (int i = 0; i < 200; ++i) {
            if (auto *dlg = qobject_cast<TFileInfDlgBMForm *>(QApplication::activeModalWidget())) {
                name = dlg->NameEdit->text();
                hint = dlg->toolTip();
                caption = dlg->windowTitle();
                noteShown = dlg->FIDFInfoBmpButton->isVisible();
                dlg->FIDFOkButton->click();
                return;
            }
            QTest::qWait(10);
        }
    });
    form.StatusPanelAction(10);
    EXPECT_EQ(name, "bild");
    EXPECT_FALSE(noteShown);
    EXPECT_EQ(caption, "Datei-Informationen");
    EXPECT_EQ(hint, "Angaben zur Datei auf der Festplatte");
    SetProgramDirOverride(QString());
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}

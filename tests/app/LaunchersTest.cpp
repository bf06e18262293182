// The tool dialogs' common opening, the launcher items and the help pages.
#include "BaseModal.h"
#include "CaptureControl.h"
#include "KeybHlpForm.h"
#include "MainForm.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "ShellOpen.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

using namespace zk;

namespace {

// A tool dialog that notes how it was opened and closes itself once shown.
class ProbeDialog : public TBaseModalForm
{
public:
    using TBaseModalForm::TBaseModalForm;
    void SetLanguage(const QStringList &script, int index) override
    {
        TBaseModalForm::SetLanguage(script, index);
        languageIndex = index;
    }
    int languageIndex = -1;
    QString nameWhileShown;
    inline static QPointer<ProbeDialog> last;

protected:
    void showEvent(QShowEvent *e) override
    {
        TBaseModalForm::showEvent(e);
        nameWhileShown = OpenDialogName;
        QTimer::singleShot(0, this, &QDialog::reject);
    }
};

struct Seen {
    QString name;
    int language = -1, mode = -1;
    bool opened = false;
};

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

// Closes the next modal window once it is shown, noting its class and text.
void closeNextModal(QString *className, QString *text)
{
    QTimer::singleShot(0, [className, text] {
        for (int i = 0; i < 300; ++i) {
            if (QWidget *w = QApplication::activeModalWidget()) {
                *className = QString::fromLatin1(w->metaObject()->className());
                if (auto *box = qobject_cast<QMessageBox *>(w))
                    *text = box->text();
                w->close();
                return;
            }
            QTest::qWait(10);
        }
    });
}

class LaunchersTest : public ::testing::Test
{
protected:
    void SetUp() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
    void TearDown() override
    {
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
};

} // namespace

TEST_F(LaunchersTest, ProtocolNamesTheDialogWhileShownAppliesModeAndLanguageAndFreesIt)
{
    TMainForm form;
    form.Options.EndDlg = false;
    form.Options.Language = 1;
    QAction *thumbs = form.Item(QStringLiteral("ThumbMenuItem"));
    QAction *single = form.Item(QStringLiteral("EinzelnMenuItem"));
    // Without a conversion dialog its items stay off.
    form.ToolDialogs.AllKonvert = nullptr;
    form.UpdateLauncherItems();
    EXPECT_FALSE(thumbs->isEnabled());
    EXPECT_FALSE(form.Item(QStringLiteral("ConvertToolButton"))->isEnabled());

    Seen seen;
    form.ToolDialogs.AllKonvert = [&seen](QWidget *owner, int tab) -> QDialog * {
        auto *dlg = new ProbeDialog(owner);
        ProbeDialog::last = dlg;
        seen.mode = tab;
        QObject::connect(dlg, &QDialog::finished, dlg, [dlg, &seen] {
            seen.name = dlg->nameWhileShown;
            seen.language = dlg->languageIndex;
            seen.opened = true;
        });
        return dlg;
    };
    form.UpdateLauncherItems();
    ASSERT_TRUE(thumbs->isEnabled());
    EXPECT_TRUE(single->isEnabled());

    thumbs->trigger();
    EXPECT_TRUE(seen.opened);
    EXPECT_EQ(seen.mode, 3); // "Thumb&nails..." opens the fourth tab
    EXPECT_EQ(seen.name, "TAllKonvForm");
    EXPECT_EQ(seen.language, 1);
    EXPECT_TRUE(OpenDialogName.isEmpty());
    EXPECT_TRUE(ProbeDialog::last.isNull());

    seen = {};
    form.Item(QStringLiteral("ConvertToolButton"))->trigger();
    EXPECT_EQ(seen.mode, 0);
    // Without a command to say which job, nothing opens.
    seen = {};
    form.AllKonvertMenuItemClick(nullptr);
    EXPECT_FALSE(seen.opened);
}

TEST_F(LaunchersTest, KeyboardReferenceOpensFromItsItemAndButton)
{
    TMainForm form;
    form.Options.EndDlg = false;
    for (const char *name : {"KeyboardMenuItem", "KeybHlpToolButton"}) {
        QAction *item = form.Item(QString::fromLatin1(name));
        ASSERT_TRUE(item->isEnabled()) << name;
        QString cls, text;
        closeNextModal(&cls, &text);
        item->trigger();
        EXPECT_EQ(cls, "zk::TKeybHlpBMForm") << name;
        EXPECT_TRUE(form.findChildren<TKeybHlpBMForm *>().isEmpty()) << name;
    }
}

TEST_F(LaunchersTest, ManualOpensItsPageInTheBrowserOrSaysItIsMissing)
{
    QTemporaryDir prog;
    SetProgramDirOverride(prog.path() + QLatin1Char('/'));
    TMainForm form;
    form.Options.EndDlg = false;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");

    // No pages: the user is told, nothing is opened.
    QString cls, text;
    closeNextModal(&cls, &text);
    form.Item(QStringLiteral("HandbuchMenuItem"))->trigger();
    EXPECT_EQ(cls, "QMessageBox");
    EXPECT_TRUE(text.startsWith(QStringLiteral("Die Hilfeseite ist nicht installiert:"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("Help/HTM_Grafik/index.htm"))) << text.toStdString();
    EXPECT_TRUE(catcher.urls.isEmpty());

    ASSERT_TRUE(QDir(prog.path()).mkpath(QStringLiteral("Help/HTM_Grafik")));
    for (const char *page : {"index", "extratools"}) {
        QFile f(prog.path() + QStringLiteral("/Help/HTM_Grafik/") + QString::fromLatin1(page) + QStringLiteral(".htm"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    form.Item(QStringLiteral("Help2ToolButton"))->trigger();
    EXPECT_TRUE(ShowHelpPage(&form, QStringLiteral("extratools")));
    // A page name cannot step out of the help folder.
    EXPECT_TRUE(HelpPageFile(QStringLiteral("../Help/HTM_Grafik/index")).isEmpty());
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls[0].toLocalFile(), prog.path() + QStringLiteral("/Help/HTM_Grafik/index.htm"));
    EXPECT_EQ(catcher.urls[1].toLocalFile(), prog.path() + QStringLiteral("/Help/HTM_Grafik/extratools.htm"));
}

#include "LaunchersTest.moc"

// The about box: opened from the help menu, the window command and the
// status bar; the link's colours under the pointer; the hidden credits.
#include "AboutDlgForm.h"
#include "CaptureControl.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "Registry.h"
#include "SmallControls.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zk;

namespace {

struct SeenAbout {
    QString caption, version, openName;
    int count = 0;
};

// Closes the next about box once it is shown, noting what it showed.
void closeNextAbout(SeenAbout *seen)
{
    QTimer::singleShot(0, [seen] {
        for (int i = 0; i < 200; ++i) {
            if (auto *dlg = qobject_cast<TAboutDlgBMForm *>(QApplication::activeModalWidget())) {
                seen->caption = dlg->windowTitle();
                seen->version = dlg->CompVerLabel->text();
                seen->openName = OpenDialogName;
                ++seen->count;
                dlg->ADOkButton->click();
                return;
            }
            QTest::qWait(10);
        }
    });
}

class AboutDlgTest : public ::testing::Test
{
protected:
    void SetUp() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
    void TearDown() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
};

} // namespace

TEST_F(AboutDlgTest, OpensFromItsItemTheWindowCommandAndTheStatusBar)
{
    TMainForm form;
    form.Options.EndDlg = false;
    QAction *item = form.Item(QStringLiteral("InfoMenuItem"));
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->isEnabled());

    const QString version = QStringLiteral("Compilierung: %1.%2.%3.%4")
                                .arg(ZK_VERSION_MAJOR)
                                .arg(ZK_VERSION_MINOR)
                                .arg(ZK_VERSION_RELEASE)
                                .arg(ZK_VERSION_BUILD);
    SeenAbout seen;
    closeNextAbout(&seen);
    item->trigger();
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seen.version, version);
    EXPECT_EQ(seen.openName, "TAboutDlgBMForm");
    EXPECT_TRUE(OpenDialogName.isEmpty());

    closeNextAbout(&seen);
    form.StatusPanelAction(11);
    EXPECT_EQ(seen.count, 2);
    closeNextAbout(&seen);
    form.InfoMenuItemClick();
    EXPECT_EQ(seen.count, 3);
    EXPECT_TRUE(form.findChildren<TAboutDlgBMForm *>().isEmpty()); // freed after each showing
}

TEST_F(AboutDlgTest, LanguageSwitchesCaptionAndNotice)
{
    const QStringList script = ReadLanguageFile(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"));
    TAboutDlgBMForm dlg;
    dlg.SetLanguage(script, 1);
    EXPECT_EQ(dlg.windowTitle(), "About Zelkora 5.0");
    EXPECT_EQ(dlg.VertLabel1->Caption(), QString::fromUtf8("© The Zelkora project"));
    dlg.SetLanguage(script, 0);
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("Info über Zelkora 5.0"));
    EXPECT_EQ(dlg.ADOkButton->text(), "&OK");
}

TEST_F(AboutDlgTest, LinkTurnsRedUnderThePointerAndBlueElsewhere)
{
    TAboutDlgBMForm dlg;
    dlg.show();
    const auto moveOver = [](QWidget *w) {
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    };
    EXPECT_FALSE(dlg.LinkHot());
    for (auto [widget, hot] : {std::pair<QWidget *, bool>{dlg.UrlLabel, true}, {dlg.LogoImage, false},
                               {dlg.UrlShape, true}, {&dlg, false}}) {
        moveOver(widget);
        EXPECT_EQ(dlg.LinkHot(), hot) << widget->objectName().toStdString();
        EXPECT_TRUE(dlg.UrlLabel->styleSheet().contains(hot ? "#ff0000" : "#0000ff"));
    }
}

TEST_F(AboutDlgTest, CtrlAltRightReleaseOnTheLogoShowsTheCredits)
{
    EXPECT_EQ(CreditsBoxPosition(QRect(0, 0, 1920, 1080)), QPoint(760, 340));
    EXPECT_EQ(CreditsBoxPosition(QRect(1920, 0, 1280, 1024)), QPoint(2360, 312));

    TAboutDlgBMForm dlg;
    dlg.show();
    const auto release = [&](Qt::KeyboardModifiers mods) {
        QMouseEvent up(QEvent::MouseButtonRelease, QPointF(5, 5), dlg.LogoImage->mapToGlobal(QPointF(5, 5)),
                       Qt::RightButton, Qt::NoButton, mods);
        QApplication::sendEvent(dlg.LogoImage, &up);
    };
    int boxes = 0;
    QString text;
    const auto closeBox = [&] {
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ++boxes;
                text = box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
    };
    closeBox();
    release(Qt::ControlModifier); // Ctrl alone: nothing
    QTest::qWait(20);
    EXPECT_EQ(boxes, 0);
    closeBox();
    release(Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(boxes, 1);
    EXPECT_FALSE(text.isEmpty());
}

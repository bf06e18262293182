// The capture-settings test window, driven by simulated input offscreen, and
// the two ways in from the main window.
#include "DialogSupport.h"
#include "HistList.h"
#include "Options.h"
#include "OptionDlg.h"
#include "ScanBTest.h"
#include "SmallSettingsDialogs.h"
#include "edit/MainFormFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zk;

namespace {

void mouse(QWidget *w, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void drag(QWidget *w, const QPoint &from, const QPoint &to, Qt::MouseButton button = Qt::LeftButton)
{
    mouse(w, QEvent::MouseButtonPress, from, button, button);
    mouse(w, QEvent::MouseMove, to, Qt::NoButton, button);
}

// Answers modal windows as they come up, from a timer whose handler never
// blocks, so a window opened from a window is met as well.
void answerModals(const std::function<void()> &action, const std::function<void(QWidget *)> &answer)
{
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget *w = QApplication::activeModalWidget())
            answer(w);
    });
    poll.start();
    action();
    poll.stop();
}

QImage shot(QWidget *w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

class ScanTestWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        realSound = TScanBTestBMForm::PlaySound();
        TScanBTestBMForm::PlaySound() = [this](const QString &f) { played << f; };
        settings.CoordHintCheckBox->setChecked(true);
        form = new TScanBTestBMForm(&settings);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    }
    void TearDown() override
    {
        delete form;
        TScanBTestBMForm::PlaySound() = realSound;
    }
    TOptionDlgBMForm settings;
    TScanBTestBMForm *form = nullptr;
    QStringList played;
    std::function<void(const QString &)> realSound;
};

} // namespace

TEST_F(ScanTestWindow, DragShowsTheOutlineWithinWhatWasRepaintedAndReleaseCloses)
{
    form->SetTestSettings({true, 1, false, 2, false, false, 0});
    mouse(form, QEvent::MouseButtonPress, {120, 150}, Qt::LeftButton, Qt::LeftButton);
    const QImage before = shot(form);
    mouse(form, QEvent::MouseMove, {420, 330}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(form->KeybLabel1->text(), "Umschalt gedrückt halten: Bereich mit der Tastatur aufziehen.");
    EXPECT_TRUE(form->KeybLabel3->isVisible());
    const QImage after = shot(form);
    // Left edge inverted, inside untouched.
    EXPECT_NE(after.pixel(120, 240), before.pixel(120, 240));
    EXPECT_EQ(after.pixel(270, 240), before.pixel(270, 240));
    const QRegion dirty = form->LastDirty();
    int changed = 0;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            if (after.pixel(x, y) != before.pixel(x, y)) {
                ++changed;
                ASSERT_TRUE(dirty.contains(QPoint(x, y))) << x << "," << y;
            }
    EXPECT_GT(changed, 4 * 150);
    qint64 area = 0;
    for (const QRect &r : dirty)
        area += qint64(r.width()) * r.height();
    EXPECT_LT(area, 300 * 180 / 4);

    mouse(form, QEvent::MouseButtonRelease, {420, 330}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->KeybLabel1->isVisible());
    EXPECT_TRUE(played.isEmpty());
}

// What the window's own repaints of the marked strips left on screen after a
// drag must be what painting the whole window now gives, for every shape,
// pen and crosshair, moves crossing the labels and turning back included.
TEST_F(ScanTestWindow, RepaintsAfterMovesLeaveWhatAFullRepaintDraws)
{
    form->resize(700, 480);
    struct Case
    {
        int shape;
        bool cross, solid;
        int strength;
    };
    const Case cases[] = {{0, true, false, 0}, {1, true, true, 1}, {2, false, false, 2},
                          {3, true, false, 0}, {3, true, true, 2},  {0, false, true, 1}};
    const QPoint path[] = {{400, 300}, {405, 302}, {90, 20},  {60, 400}, {650, 30},
                           {655, 460}, {300, 250}, {301, 251}, {15, 5},  {520, 390}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "shape " << c.shape << " cross " << c.cross << " pen " << c.strength);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        form->SetTestSettings({c.solid, c.strength, false, 1, false, c.cross, c.shape});
        mouse(form, QEvent::MouseButtonPress, {200, 160}, Qt::LeftButton, Qt::LeftButton);
        QCoreApplication::processEvents();
        for (const QPoint &to : path) {
            mouse(form, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
            QCoreApplication::processEvents();
        }
        const QImage onScreen =
            form->screen()->grabWindow(form->winId()).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage full = shot(form);
        ASSERT_EQ(onScreen.size(), full.size());
        int differ = 0;
        for (int y = 0; y < full.height(); ++y)
            for (int x = 0; x < full.width(); ++x)
                differ += onScreen.pixel(x, y) != full.pixel(x, y);
        EXPECT_EQ(differ, 0);
        // The crosshair is there: below the shape some of its column differs
        // from the plain window, and the column beside its strip does not.
        const QRgb plain = form->palette().color(QPalette::Window).rgb();
        int onColumn = 0, besideColumn = 0;
        for (int y = 400; y < 470; ++y) {
            onColumn += full.pixel(520, y) != plain;
            besideColumn += full.pixel(540, y) != plain;
        }
        EXPECT_EQ(onColumn > 0, c.cross);
        EXPECT_EQ(besideColumn, 0);
        mouse(form, QEvent::MouseButtonRelease, {520, 390}, Qt::LeftButton, Qt::NoButton);
        EXPECT_FALSE(form->isVisible());
    }
}

TEST_F(ScanTestWindow, WindowShapeDrawsNothingAndEnterCapturesNothing)
{
    form->SetTestSettings({true, 0, false, 1, false, true, 4});
    const QImage before = shot(form);
    QTest::keyClick(form, Qt::Key_Return);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->Dragging());
    drag(form, {100, 100}, {300, 300});
    EXPECT_FALSE(form->Dragging());
    EXPECT_TRUE(form->KeybLabel2->isVisible());
    // Only the labels changed, not the picture below them.
    const QImage after = shot(form);
    EXPECT_EQ(after.copy(0, 250, after.width(), 100), before.copy(0, 250, after.width(), 100));
    mouse(form, QEvent::MouseButtonRelease, {300, 300}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ScanTestWindow, SoundOnlyWithItsFlagAndTheDialogsChoiceComesBack)
{
    for (const bool sound : {false, true}) {
        played.clear();
        form->show();
        settings.SndFleComboBox->setCurrentIndex(3);
        CaptureSoundFile = "Templates/other.wav";
        form->SetTestSettings({false, 0, sound, 1, false, false, 0});
        drag(form, {50, 200}, {90, 260});
        mouse(form, QEvent::MouseButtonRelease, {90, 260}, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(played, sound ? QStringList{"Templates/other.wav"} : QStringList{});
        EXPECT_EQ(CaptureSoundFile, sound ? "Templates/camera3.wav" : "Templates/other.wav");
    }
}

TEST_F(ScanTestWindow, HintFollowsTheDialogsBoxAndMinimisingIsRefused)
{
    form->SetTestSettings({false, 0, false, 1, false, false, 0});
    mouse(form, QEvent::MouseMove, {200, 200}, Qt::NoButton, Qt::NoButton);
    ASSERT_TRUE(form->FCoordHint);
    EXPECT_TRUE(form->FCoordHint->isVisible());
    settings.CoordHintCheckBox->setChecked(false);
    mouse(form, QEvent::MouseMove, {230, 230}, Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(form->FCoordHint->isVisible());

    form->setWindowState(Qt::WindowMinimized);
    QTest::qWait(20);
    EXPECT_EQ(form->windowState() & Qt::WindowMinimized, 0);
}

class ScanTestFromMainWindow : public zktest::MainFormFixture
{
};

TEST_F(ScanTestFromMainWindow, TestWindowAndEditorChoiceComeFromTheMainWindow)
{
    QImage red(40, 30, QImage::Format_RGB32);
    red.fill(Qt::red);
    TBitmap picture;
    picture.Assign(red);
    Load(picture);
    const QImage shown = Picture().ToImage();
    const QString autosave = programDir.path() + "/Autosave";
    const auto saved = [&] { return QDir(autosave).entryList(QDir::Files).size(); };
    const qsizetype savedBefore = saved();

    int step = 0;
    answerModals([&] { Item("SettingsMenuItem")->trigger(); }, [&](QWidget *w) {
        if (auto *dlg = qobject_cast<TOptionDlgBMForm *>(w)) {
            if (step == 0) {
                step = 1;
                dlg->ScanToolListBox->setCurrentRow(3);
                dlg->ScanToolListBoxClick();
                QTimer::singleShot(0, dlg->ScanPrevBitBtn, &QPushButton::click);
            } else if (step == 2) {
                step = 3;
                dlg->CancelButton->click();
            }
        } else if (auto *t = qobject_cast<TScanBTestBMForm *>(w); t && step == 1) {
            step = 2;
            EXPECT_EQ(t->Settings().shape, 3);
            drag(t, {60, 80}, {200, 160});
            mouse(t, QEvent::MouseButtonRelease, {200, 160}, Qt::LeftButton, Qt::NoButton);
        }
    });
    EXPECT_EQ(step, 3);
    EXPECT_EQ(Picture().ToImage(), shown);
    EXPECT_EQ(saved(), savedBefore);

    // The Extras item opens the settings on the program page with the
    // editor choice already up.
    QString chosen;
    int page = -1;
    bool editorAsked = false;
    ASSERT_TRUE(Item("ExtGrEdtMenuItem")->isEnabled());
    answerModals([&] { Item("ExtGrEdtMenuItem")->trigger(); }, [&](QWidget *w) {
        if (auto *g = qobject_cast<TGraphEdtBMForm *>(w)) {
            editorAsked = true;
            g->ExtProgHistoryCombo->setCurrentText("/bin/sh");
            g->OkButton->click();
        } else if (auto *dlg = qobject_cast<TOptionDlgBMForm *>(w); dlg && editorAsked) {
            page = dlg->OptionPageControl->currentIndex();
            chosen = dlg->ExtGrEdtPathCopy;
            dlg->CancelButton->click();
        }
    });
    EXPECT_EQ(page, 1);
    EXPECT_EQ(chosen, "/bin/sh");
}

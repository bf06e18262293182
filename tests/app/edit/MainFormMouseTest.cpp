// The mouse and keyboard tools on the real main window, offscreen, driven by
// mouse events sent to the picture control and key presses sent to the
// window: text at the clicked pixel, the cutter, the crop rectangle drawn,
// moved, sized, applied and dropped, frames that show on screen but never
// in the picture, and the coordinate hint's two-pixel rule.
#include "Bitmap.h"
#include "DialogSupport.h"
#include "CoordHint.h"
#include "EditCommands.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "MainFormFixture.h"
#include "PictureTestKit.h"
#include "MoveRect.h"
#include "ProgramDir.h"
#include "Registry.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zk;
using zktest::RandomPicture;
using zktest::SameBytes;
using zktest::AnswerNext;

namespace {

class MainFormMouseTest : public zktest::MainFormFixture
{
protected:
    void SetUp() override
    {
        MainFormFixture::SetUp();
        form->Options.AutoWinSize = false;
        form->Options.AutoWinCenter = false;
        form->Options.CRLineColr = 2;
        form->Options.CRLineWidth = 1;
        form->Options.CRDotLine = false;
        form->resize(700, 500);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    // Mouse events at picture pixels (the picture shows at its own size).
    void Mouse(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held)
    {
        const QPointF local(p);
        QMouseEvent e(type, local, form->ScanImage->mapToGlobal(local), button, held, Qt::NoModifier);
        QApplication::sendEvent(form->ScanImage, &e);
    }
    void Press(QPoint p) { Mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton); }
    void MoveHeld(QPoint p) { Mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton); }
    void Hover(QPoint p) { Mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton); }
    void Release(QPoint p) { Mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton); }
    void Drag(QPoint from, QPoint to)
    {
        Press(from);
        MoveHeld((from + to) / 2);
        MoveHeld(to);
        Release(to);
    }
    // Keys arrive at the window's focus widget, as the keyboard's would.
    QWidget *KeyTarget() const { return form->focusWidget() ? form->focusWidget() : form.get(); }
    void Key(int key) { QTest::keyClick(KeyTarget(), Qt::Key(key)); }
};

} // namespace

TEST_F(MainFormMouseTest, CommandsAreOnWithTheirCaptionsAndShortcuts)
{
    const struct
    {
        const char *name, *caption, *shortcut;
    } rows[] = {{"TxtInpMenuItem", "Te&xt einfügen...", "Ctrl+Shift+T"},
                {"CutterMenuItem", "&Zuschneiden", "Ctrl+Alt+X"},
                {"CutterEnterMenuItem", "Z&uschneiden (Enter)", "Ctrl+Shift+X"}};
    Load(RandomPicture(20, 10, 1)); // the picture tools need a picture
    for (const auto &r : rows) {
        ASSERT_NE(Item(r.name), nullptr);
        EXPECT_TRUE(Item(r.name)->isEnabled()) << r.name;
        EXPECT_EQ(Item(r.name)->text(), QString::fromUtf8(r.caption));
        EXPECT_EQ(Item(r.name)->shortcut(), QKeySequence(QString::fromLatin1(r.shortcut)));
    }
    EXPECT_TRUE(Item("CutterToolButton")->isEnabled());
    EXPECT_TRUE(Item("CutterEnterToolButton")->isEnabled());
    EXPECT_EQ(Item("CutterToolButton")->toolTip(), QStringLiteral("Grafik zuschneiden"));
}

TEST_F(MainFormMouseTest, CutterDragGivesExactlyTheDraggedArea)
{
    const TBitmap original = RandomPicture(200, 120, 1);
    const QRect area(10, 10, 100, 50);
    for (const auto &[from, to] : {std::pair{QPoint(10, 10), QPoint(110, 60)},
                                   std::pair{QPoint(110, 60), QPoint(10, 10)},
                                   std::pair{QPoint(110, 10), QPoint(10, 60)}}) {
        Load(original);
        Item("CutterToolButton")->trigger();
        ASSERT_TRUE(form->CutterActive);
        Drag(from, to);
        EXPECT_FALSE(form->CutterActive);
        ASSERT_EQ(Picture().Width(), 100);
        ASSERT_EQ(Picture().Height(), 50);
        EXPECT_TRUE(SameBytes(Picture(), CropBitmap(original, area))) << "1:1, no frame, no resampling";
        Item("UndoMenuItem")->trigger();
        EXPECT_TRUE(SameBytes(Picture(), original)) << "undo brings the whole picture back";
    }
}

TEST_F(MainFormMouseTest, ZeroSizedDragChangesNothingAndEndsTheTool)
{
    const TBitmap original = RandomPicture(80, 60, 2);
    Load(original);
    Item("CutterMenuItem")->trigger();
    Drag({30, 20}, {30, 50});
    EXPECT_FALSE(form->CutterActive);
    EXPECT_TRUE(SameBytes(Picture(), original));

    Item("CutterEnterMenuItem")->trigger();
    Drag({30, 20}, {30, 20});
    EXPECT_EQ(form->CutRect, nullptr) << "a rectangle without area ends the tool";
    Key(Qt::Key_Return);
    EXPECT_TRUE(SameBytes(Picture(), original));
}

TEST_F(MainFormMouseTest, AnyKeyEndsTheArmedCutter)
{
    Load(RandomPicture(80, 60, 3));
    Item("CutterMenuItem")->trigger();
    Key(Qt::Key_A);
    EXPECT_FALSE(form->CutterActive);
}

TEST_F(MainFormMouseTest, FrameShowsOnScreenButNeverInThePictureOrItsFile)
{
    const TBitmap original = RandomPicture(200, 120, 4);
    Load(original);
    Item("CutterEnterToolButton")->trigger();
    Drag({20, 15}, {120, 75});
    ASSERT_NE(form->CutRect, nullptr);
    EXPECT_EQ(form->CutRect->Normalized(), QRect(20, 15, 100, 60));

    const QImage screen = form->ScanImage->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // A black not-xor pen inverts what lies under the frame.
    const QRgb under = original.PixelRgb(60, 15);
    EXPECT_EQ(screen.pixel(60, 15) & 0xFFFFFF, ~under & 0xFFFFFF) << "the frame is on screen";
    EXPECT_EQ(screen.pixel(60, 40) & 0xFFFFFF, original.PixelRgb(60, 40) & 0xFFFFFF) << "inside is untouched";

    EXPECT_TRUE(SameBytes(Picture(), original)) << "the picture holds no frame";
    const QString file = programDir.filePath(QStringLiteral("now.bmp"));
    Picture().SaveToFile(file);
    TBitmap saved;
    saved.LoadFromFile(file);
    EXPECT_TRUE(SameBytes(saved, original)) << "a file saved now holds no frame";

    Key(Qt::Key_Escape);
    EXPECT_TRUE(SameBytes(Picture(), original)) << "Escape restores byte for byte";
    ASSERT_NE(form->CutRect, nullptr) << "the object stays until the next capture";
    EXPECT_FALSE(form->CutRect->Active);
    EXPECT_FALSE(form->ScanImage->Frame(TImage::CropFrame).has_value());
    const QImage after = form->ScanImage->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(after.pixel(60, 15) & 0xFFFFFF, under & 0xFFFFFF) << "the frame is gone from the screen";
}

TEST_F(MainFormMouseTest, EnterAndDoubleClickApplyTheRectangleAndUndoRestores)
{
    const TBitmap original = RandomPicture(220, 140, 5);
    const QRect area(10, 10, 100, 50);
    for (bool doubleClick : {false, true}) {
        SCOPED_TRACE(doubleClick ? "double click" : "Enter");
        Load(original);
        Item("CutterEnterMenuItem")->trigger();
        Drag({110, 60}, {10, 10}); // drawn right-to-left, bottom-to-top
        if (doubleClick) {
            Press({50, 30});
            Release({50, 30});
            Mouse(QEvent::MouseButtonDblClick, {50, 30}, Qt::LeftButton, Qt::LeftButton);
            Release({50, 30});
        } else {
            Key(Qt::Key_Return);
        }
        EXPECT_EQ(form->CutRect, nullptr);
        EXPECT_TRUE(SameBytes(Picture(), CropBitmap(original, area)));
        Item("UndoMenuItem")->trigger();
        EXPECT_TRUE(SameBytes(Picture(), original));
    }
}

TEST_F(MainFormMouseTest, RectangleMovesWithThePointerAndSizesByItsGrabber)
{
    const TBitmap original = RandomPicture(260, 180, 6);
    Load(original);
    Item("CutterEnterMenuItem")->trigger();
    Drag({10, 10}, {110, 60});
    // Hovering tells what a press would do.
    Hover({50, 30});
    EXPECT_EQ(form->ScanImage->cursor().shape(), Qt::SizeAllCursor);
    // Moved by (+30, +20).
    Press({50, 30});
    MoveHeld({65, 40});
    MoveHeld({80, 50});
    Release({80, 50});
    EXPECT_EQ(form->CutRect->Normalized(), QRect(40, 30, 100, 50));
    // The grabber is the square just outside the moving corner.
    const QPoint grab = form->CutRect->Grabber.center();
    Hover(grab);
    EXPECT_EQ(form->ScanImage->cursor().shape(), Qt::SizeFDiagCursor);
    Press(grab);
    EXPECT_TRUE(form->CutRect->Sizing);
    MoveHeld({170, 120});
    Release({170, 120});
    EXPECT_FALSE(form->CutRect->Sizing);
    EXPECT_EQ(form->CutRect->Normalized(), QRect(40, 30, 130, 90));
    Key(Qt::Key_Enter);
    EXPECT_TRUE(SameBytes(Picture(), CropBitmap(original, QRect(40, 30, 130, 90))));
}

TEST_F(MainFormMouseTest, TextStartsAtTheClickedPixelInTheTableColour)
{
    if (!QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans")))
        GTEST_SKIP() << "the DejaVu fonts are not installed";
    TBitmap white(240, 120, pf24bit);
    white.Canvas()->fillRect(QRect(0, 0, 240, 120), Qt::white);
    Load(white);
    form->Options.FontName = QStringLiteral("DejaVu Sans");
    form->Options.TxtPenWidth = 18;
    form->Options.TxtPenColr = 10; // red
    AnswerNext<QInputDialog>([](QInputDialog *d) {
        d->setTextValue(QStringLiteral("HT"));
        d->accept();
    });
    Item("TxtInpMenuItem")->trigger();
    ASSERT_TRUE(form->TextArmed);
    EXPECT_EQ(form->InsertText, QStringLiteral("HT"));
    const QPoint click(37, 41);
    Press(click);
    Release(click);
    EXPECT_FALSE(form->TextArmed);

    QRect ink;
    bool pureRed = false, offColour = false;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 240; ++x) {
            const QRgb c = Picture().PixelRgb(x, y) & 0xFFFFFF;
            if (c == 0xFFFFFF)
                continue;
            ink |= QRect(x, y, 1, 1);
            pureRed |= c == 0xFF0000;
            offColour |= qRed(c) != 255 || qGreen(c) != qBlue(c); // not between red and white
        }
    EXPECT_TRUE(pureRed);
    EXPECT_FALSE(offColour);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(TextPixelSize(18));
    const QFontMetrics fm(font);
    const QRect tight = fm.tightBoundingRect(QStringLiteral("HT"));
    const QPoint inkTopLeft(click.x() + tight.left(), click.y() + fm.ascent() + tight.top());
    EXPECT_LE((ink.topLeft() - inkTopLeft).manhattanLength(), 2)
        << "ink at " << ink.x() << "," << ink.y() << " want " << inkTopLeft.x() << "," << inkTopLeft.y();
    EXPECT_GE(ink.left(), click.x());
    EXPECT_GE(ink.top(), click.y()) << "the text box starts at the clicked pixel";

    Item("UndoMenuItem")->trigger();
    EXPECT_TRUE(SameBytes(Picture(), white));
}

TEST_F(MainFormMouseTest, EmptyTextArmsNothing)
{
    Load(RandomPicture(60, 40, 7));
    AnswerNext<QInputDialog>([](QInputDialog *d) {
        d->setTextValue(QString());
        d->accept();
    });
    Item("TxtInpMenuItem")->trigger();
    EXPECT_FALSE(form->TextArmed);
}

TEST_F(MainFormMouseTest, CoordinateHintMovesOnlyAfterTwoPixels)
{
    form->Options.CoordHint = true;
    Load(RandomPicture(200, 150, 8));
    Item("CutterEnterMenuItem")->trigger();
    Press({10, 10});
    ASSERT_NE(form->HintWindow, nullptr);
    struct Step
    {
        QPoint to;
        const char *text;
    };
    const Step steps[] = {{{40, 30}, "40, 30"}, {{41, 31}, "40, 30"}, {{41, 32}, "41, 32"},
                          {{42, 33}, "41, 32"}, {{39, 33}, "39, 33"}};
    for (const Step &s : steps) {
        MoveHeld(s.to);
        EXPECT_EQ(form->HintWindow->Text(), QString::fromLatin1(s.text));
    }
    Release({39, 33});
    EXPECT_EQ(form->HintWindow, nullptr) << "the hint goes with the mouse-up";
}

TEST_F(MainFormMouseTest, MouseWithoutPictureDoesNothing)
{
    Item("CutterMenuItem")->trigger();
    EXPECT_FALSE(form->CutterActive);
    form->CutterActive = true;
    Drag({5, 5}, {50, 50});
    EXPECT_TRUE(form->ScanImage->Picture().Empty());
    EXPECT_FALSE(form->ScanImage->Frame(TImage::CutterFrame).has_value());
}

TEST_F(MainFormMouseTest, StatusBarShowsThePointerPosition)
{
    Load(RandomPicture(100, 80, 9));
    Hover({12, 34});
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->StatusPanelText(4) == QStringLiteral("X: 12   Y: 34"); }, 5000))
        << qPrintable(form->StatusPanelText(4));
    EXPECT_EQ(form->StatusPanelText(0), QStringLiteral("Bereit"));
    // Moves off the picture's edge and far numbers, as the bar shows them.
    const struct {
        int x, y;
        const char *text;
    } moves[] = {{0, 0, "X: 0   Y: 0"},
                 {-7, 79, "X: -7   Y: 79"},
                 {1234567, -40, "X: 1234567   Y: -40"},
                 {-2147483647 - 1, 2147483647, "X: -2147483648   Y: 2147483647"}};
    for (const auto &m : moves) {
        form->ScanImageMouseMove(TShiftState{}, m.x, m.y);
        form->ZKStatusBar->ShowWaitingTexts();
        EXPECT_EQ(form->StatusPanelText(4), QString::fromLatin1(m.text));
    }
}

TEST_F(MainFormMouseTest, KeyboardDrivesTheCutterOneOrFifteenPixelsAStep)
{
    const TBitmap original = RandomPicture(200, 120, 10);
    Load(original);
    QCursor::setPos(form->ScanImage->mapToGlobal(QPoint(20, 20)));
    if (form->PointerOnPicture() != QPoint(20, 20))
        GTEST_SKIP() << "this platform cannot place the pointer";
    Item("CutterMenuItem")->trigger();
    // Key events as the keyboard sends them while Shift (and Ctrl) stay down.
    const auto send = [this](QEvent::Type type, int key, Qt::KeyboardModifiers mods) {
        QKeyEvent e(type, key, mods);
        QApplication::sendEvent(KeyTarget(), &e);
    };
    const auto arrow = [&](int key, Qt::KeyboardModifiers mods, int times) {
        for (int i = 0; i < times; ++i) {
            send(QEvent::KeyPress, key, mods);
            send(QEvent::KeyRelease, key, mods);
        }
    };
    send(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier); // a press at the pointer
    arrow(Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier, 6);
    arrow(Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier, 2);
    arrow(Qt::Key_Down, Qt::ShiftModifier, 10);
    EXPECT_EQ(form->PointerOnPicture(), QPoint(110, 60));
    EXPECT_TRUE(form->CutterActive) << "still dragging";
    send(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier); // the release cuts
    EXPECT_FALSE(form->CutterActive);
    EXPECT_TRUE(SameBytes(Picture(), CropBitmap(original, QRect(20, 20, 90, 40))));
}

TEST_F(MainFormMouseTest, KeyboardMovesThePlacedRectangle)
{
    const TBitmap original = RandomPicture(220, 140, 11);
    Load(original);
    Item("CutterEnterMenuItem")->trigger();
    Drag({10, 10}, {110, 60});
    QCursor::setPos(form->ScanImage->mapToGlobal(QPoint(50, 30)));
    if (form->PointerOnPicture() != QPoint(50, 30))
        GTEST_SKIP() << "this platform cannot place the pointer";
    const auto send = [this](QEvent::Type type, int key, Qt::KeyboardModifiers mods) {
        QKeyEvent e(type, key, mods);
        QApplication::sendEvent(KeyTarget(), &e);
    };
    send(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    for (int i = 0; i < 2; ++i) {
        send(QEvent::KeyPress, Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier);
        send(QEvent::KeyRelease, Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier);
    }
    send(QEvent::KeyPress, Qt::Key_Up, Qt::ShiftModifier);
    send(QEvent::KeyRelease, Qt::Key_Up, Qt::ShiftModifier);
    send(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
    ASSERT_NE(form->CutRect, nullptr);
    EXPECT_EQ(form->CutRect->Normalized(), QRect(40, 9, 100, 50));
    send(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    EXPECT_TRUE(SameBytes(Picture(), CropBitmap(original, QRect(40, 9, 100, 50))));
}

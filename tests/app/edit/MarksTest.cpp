// The marks on the real main window, offscreen: marker dots of the entry's
// colour and width, number marks with their count, rim, fill and text place,
// the stored number settings, the stamp's pointer table, and Undo after each.
#include "DialogSupport.h"
#include "ImageControl.h"
#include "MainFormFixture.h"
#include "MarkDialogs.h"
#include "Marks.h"
#include "PictureTestKit.h"
#include "SmallControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QValidator>

using namespace zk;

namespace {

TBitmap White(int w, int h)
{
    QImage img(w, h, QImage::Format_BGR888);
    img.fill(Qt::white);
    return TBitmap::FromImage(img);
}

class MarksTest : public zktest::MainFormFixture
{
protected:
    void SetUp() override
    {
        MainFormFixture::SetUp();
        form->Options.AutoWinSize = false;
        form->Options.AutoWinCenter = false;
        form->resize(700, 500);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        Load(White(160, 120));
    }
    void Mouse(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held)
    {
        const QPointF local(p);
        QMouseEvent e(type, local, form->ScanImage->mapToGlobal(local), button, held, Qt::NoModifier);
        QApplication::sendEvent(form->ScanImage, &e);
    }
    void Click(QPoint p)
    {
        Mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    }
    QImage Shot() { return Picture().ToImage().convertToFormat(QImage::Format_RGB32); }
    // Width of the run of non-white pixels through (x, y) along the row.
    int RunWidth(const QImage &img, int x, int y)
    {
        int l = x, r = x;
        while (l > 0 && img.pixel(l - 1, y) != qRgb(255, 255, 255))
            --l;
        while (r + 1 < img.width() && img.pixel(r + 1, y) != qRgb(255, 255, 255))
            ++r;
        return img.pixel(x, y) == qRgb(255, 255, 255) ? 0 : r - l + 1;
    }
    // A mark without a number: the conversion message comes and is closed.
    void DrawBlankMark(QPoint p)
    {
        const QStringList messages =
            zktest::AnswerDialogs([&] { form->DrawNumberMark(p, QStringLiteral(" ")); }, QString());
        EXPECT_EQ(messages.size(), 1);
    }
    void PlaceNumbers(const TNumberSettings &s)
    {
        zktest::AnswerNext<TNumKindBMForm>([s](TNumKindBMForm *d) {
            d->ApplySettings(s);
            d->OkButton()->click();
        });
        form->NumMenuItemClick();
    }
};

} // namespace

TEST_F(MarksTest, MarkerEntriesDrawRedDotsFiveAndTenWideAndUndoRestores)
{
    const QImage before = Shot();
    for (const auto &[entry, width] : {std::pair{0, 5}, std::pair{1, 10}}) {
        form->SelectMarkerByIndex(entry);
        EXPECT_EQ(form->MarkerKind, entry);
        form->MarkToolButtonClick();
        ASSERT_TRUE(form->MarkerActive);
        const QPoint p(40 + entry * 60, 60);
        Mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
        EXPECT_FALSE(form->MarkerActive) << "the mouse-up ends the marker";
        const QImage img = Shot();
        EXPECT_EQ(img.pixel(p), qRgb(255, 0, 0));
        EXPECT_EQ(RunWidth(img, p.x(), p.y()), width) << entry;
        form->UndoMenuItemClick();
        EXPECT_EQ(Shot(), before) << "undo after the marker " << entry;
    }
    // Entry 8 is thin green, 11 fat silver: the pen follows the pair table.
    for (const auto &[entry, colour, width] : {std::tuple{8, QColor(0, 0x80, 0), 5}, std::tuple{11, QColor(0xC0, 0xC0, 0xC0), 10}}) {
        form->SelectMarkerByIndex(entry);
        form->MarkToolButtonClick();
        EXPECT_EQ(form->MarkerPen.color(), colour);
        EXPECT_EQ(form->MarkerPen.width(), width);
        form->MarkerActive = false;
    }
}

TEST_F(MarksTest, MarkerDragLeavesDotsAndTheLastPositionInTheStatusBar)
{
    form->SelectMarkerByIndex(0);
    form->MarkToolButtonClick();
    const QPoint path[] = {{20, 30}, {35, 30}, {50, 44}, {90, 70}, {121, 99}};
    const QString before = form->StatusPanelText(4);
    Mouse(QEvent::MouseButtonPress, path[0], Qt::LeftButton, Qt::LeftButton);
    for (const QPoint &p : path)
        Mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
    // The burst is shown with the next frame, not move by move: no position
    // of the burst is up before the event loop runs, then only the last one.
    EXPECT_EQ(form->StatusPanelText(4), before);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->StatusPanelText(4) != before; }, 5000));
    EXPECT_EQ(form->StatusPanelText(4), QStringLiteral("X: 121   Y: 99"));
    // What the window shows, not only the picture: each dot was repainted.
    const QImage shown = form->ScanImage->grab().toImage();
    for (const QPoint &p : path) {
        EXPECT_EQ(Shot().pixel(p), qRgb(255, 0, 0)) << p.x() << "," << p.y();
        EXPECT_EQ(shown.pixel(p), qRgb(255, 0, 0)) << p.x() << "," << p.y();
    }
    EXPECT_EQ(Shot().pixel(70, 30), qRgb(255, 255, 255)) << "nothing between the moves";
    Mouse(QEvent::MouseButtonRelease, path[4], Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(form->StatusPanelText(4), QStringLiteral("X: 121   Y: 99"));
}

TEST_F(MarksTest, MarkerOnAFewColourPictureStillDrawsItsColour)
{
    TBitmap twoColours = White(40, 40);
    twoColours.SetPixelFormat(pf1bit);
    Load(twoColours);
    form->SelectMarkerByIndex(0);
    form->MarkToolButtonClick();
    Click(QPoint(20, 20));
    EXPECT_EQ(Shot().pixel(20, 20), qRgb(255, 0, 0));
    form->UndoMenuItemClick();
    EXPECT_EQ(Picture().BitsPerPixel(), 1) << "undo gives the picture back as it was";
}

TEST_F(MarksTest, MarkerOnAnEmptyPictureDoesNothing)
{
    form->ScanImage->Picture().Assign(static_cast<const TGraphic *>(nullptr));
    form->MarkToolButtonClick();
    EXPECT_FALSE(form->MarkerActive);
}

TEST_F(MarksTest, ThreeToFivePlacesThreeMarksThenTheModeIsOver)
{
    TNumberSettings s;
    s.From = 3;
    s.To = 5;
    s.Fill = 3;
    s.Rim = 2;
    s.RimItem = 0;
    PlaceNumbers(s);
    ASSERT_TRUE(form->NumberMarkActive);
    const QImage before = Shot();
    for (int i = 0; i < 3; ++i)
        Click(QPoint(5 + i * 40, 10));
    EXPECT_FALSE(form->NumberMarkActive);
    EXPECT_EQ(form->NumberFrom, 6);
    QImage placed = Shot();
    Click(QPoint(5, 60));
    EXPECT_EQ(Shot(), placed) << "the fourth click places nothing";
    EXPECT_NE(placed, before);
    // Width item "1" is a one-pixel rim: black on the circle's left edge at
    // its middle row, white fill right inside it.
    const QRect c = NumberCircle(QPoint(5, 10));
    const int mid = c.center().y();
    EXPECT_EQ(placed.pixel(c.left(), mid), qRgb(0, 0, 0));
    EXPECT_EQ(placed.pixel(c.left() + 2, mid), qRgb(255, 255, 255));
    form->UndoMenuItemClick();
    EXPECT_EQ(Shot(), before);
}

TEST_F(MarksTest, RimWidthFillIndexAndTextPlace)
{
    struct Case { int rimItem; int fill; int rimPixels; QRgb fillColour; };
    for (const Case k : {Case{5, 12, 5, qRgb(255, 255, 255)}, Case{0, 10, 1, qRgb(255, 0, 0)}}) {
        form->NumberFill = std::uint8_t(k.fill);
        form->NumberRim = 2;
        form->NumberRimWidth = std::uint8_t(k.rimItem);
        Load(White(60, 60));
        DrawBlankMark(QPoint(10, 10));
        const QImage img = Shot();
        const QRect c = NumberCircle(QPoint(10, 10));
        const int mid = c.center().y();
        int dark = 0;
        for (int x = c.left() - 3; x < c.center().x(); ++x)
            dark += qGray(img.pixel(x, mid)) < 64;
        EXPECT_NEAR(dark, k.rimPixels, 1) << k.rimItem;
        EXPECT_EQ(img.pixel(c.center().x() + 4, c.center().y() + 6), k.fillColour) << k.fill;
    }
    // The digits start 9, 6 and 3 pixels into the circle: the mark's text
    // pixels are those of the text drawn alone at that origin.
    form->NumberFill = 3;
    form->NumberRimWidth = 0;
    for (const auto &[text, dx] : {std::pair{"7", 9}, std::pair{"42", 6}, std::pair{"100", 3}}) {
        Load(White(60, 60));
        form->DrawNumberMark(QPoint(0, 0), QString::fromLatin1(text));
        const QImage mark = Shot();
        Load(White(60, 60));
        DrawBlankMark(QPoint(0, 0));
        const QImage empty = Shot();
        QImage alone(60, 60, QImage::Format_RGB32);
        alone.fill(Qt::white);
        {
            QPainter p(&alone);
            QFont f(QStringLiteral("Sans"));
            f.setPixelSize(11);
            p.setFont(f);
            p.drawText(QRect(QPoint(3 + dx, 3 + 6), QSize(64, 32)), Qt::AlignLeft | Qt::AlignTop, QString::fromLatin1(text));
        }
        int differ = 0, textPixels = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x) {
                const bool inText = alone.pixel(x, y) != qRgb(255, 255, 255);
                textPixels += inText;
                if (inText && mark.pixel(x, y) == empty.pixel(x, y))
                    ++differ;
            }
        EXPECT_GT(textPixels, 0);
        EXPECT_EQ(differ, 0) << text;
    }
}

TEST_F(MarksTest, DialogStoresSettingsRaisesBisAndReadsTheKeyOnce)
{
    EXPECT_FALSE(LoadNumberSettings().has_value()) << "no key yet";
    TNumKindBMForm d;
    EXPECT_EQ(d.NumColComboBox->currentIndex(), 3);
    d.show();
    EXPECT_EQ(d.NumVonUpDown->Position(), 1);
    EXPECT_EQ(d.NumColComboBox->currentIndex(), 0) << "defaults without the key";
    EXPECT_EQ(d.RandColComboBox->currentIndex(), 2);
    EXPECT_EQ(d.RandWidthComboBox->currentIndex(), 2);
    d.NumBisUpDown->SetPosition(4);
    d.NumVonUpDown->SetPosition(7);
    EXPECT_EQ(d.NumBisUpDown->Position(), 7) << "von raises bis";
    EXPECT_EQ(d.NumBisEdit->text(), "7");
    QString typed = QStringLiteral("12a");
    int at = 0;
    ASSERT_NE(d.NumVonEdit->validator(), nullptr);
    EXPECT_EQ(d.NumVonEdit->validator()->validate(typed, at), QValidator::Invalid) << "digits only";
    d.hide();
    d.show();
    EXPECT_EQ(d.NumVonUpDown->Position(), 7) << "a second show keeps what was typed";
    d.OutputHintCheckBox->setChecked(true);
    d.OkButton()->click();
    const std::optional<TNumberSettings> stored = LoadNumberSettings();
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->From, 7);
    EXPECT_EQ(stored->To, 7);
    EXPECT_TRUE(stored->Hint);

    // A stored bis below von is raised.
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QString::fromLatin1(kNumKindKey), false));
    reg.WriteInteger(QStringLiteral("NumBisUpDown"), 2);
    EXPECT_EQ(LoadNumberSettings()->To, 7);
}

TEST_F(MarksTest, StampItemsCarryThePointerTagsAndArmThePointer)
{
    struct Row { const char *item; int tag; Qt::CursorShape shape; };
    for (const Row r : {Row{"DefaultMenuItem", 1, Qt::ArrowCursor}, Row{"AppStartMenuItem", 2, Qt::BusyCursor},
                        Row{"DragMenuItem", 4, Qt::DragMoveCursor}, Row{"HourGlassMenuItem", 7, Qt::WaitCursor},
                        Row{"HSplitMenuItem", 8, Qt::SplitHCursor}, Row{"MultiDragMenuItem", 10, Qt::DragCopyCursor},
                        Row{"NoDropMenuItem", 12, Qt::ForbiddenCursor}, Row{"SizeMEMenuItem", 17, Qt::SizeHorCursor},
                        Row{"SQLWaitMenuItem", 18, Qt::BusyCursor}, Row{"VSplitMenuItem", 20, Qt::SplitVCursor}}) {
        QAction *a = Item(r.item);
        EXPECT_EQ(a->property("Tag").toInt(), r.tag) << r.item;
        ASSERT_TRUE(a->isEnabled()) << r.item;
        form->StampArmed = false;
        a->trigger();
        EXPECT_TRUE(a->isChecked());
        EXPECT_TRUE(form->StampArmed);
        EXPECT_EQ(form->ScanImage->cursor().shape(), r.shape) << r.item;
    }
    EXPECT_EQ(Item("TestMenuItem")->property("Tag").toInt(), 100);
    EXPECT_EQ(Item("TestMenuItem")->shortcut(), QKeySequence("Ctrl+Alt+M"));
    EXPECT_EQ(Item("NumMenuItem")->shortcut(), QKeySequence("Ctrl+Alt+N"));
    // An unknown pointer leaves the cursor as it was.
    form->SetStampCursor(42);
    EXPECT_EQ(form->ScanImage->cursor().shape(), Qt::SplitVCursor);
    EXPECT_EQ(PointerListEntries().value(13), "SizeNESW (14)");
}

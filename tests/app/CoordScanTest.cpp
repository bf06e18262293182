// The typed-coordinates dialog driven with simulated keys and clicks: its
// controls, the checks with their messages, the grab after the dialog has
// left the screen, cancelling, and its texts in all five languages.
#include "Bitmap.h"
#include "CoordScan.h"
#include "EditDialogs.h"
#include "MultiLanguage.h"
#include "Options.h"
#include "Scan.h"
#include "ScreenGrab.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <optional>

using namespace zk;

namespace {

class CoordHost : public TScanHost
{
public:
    TZelkoraOptions options;
    QStringList events;
    std::optional<TBitmap> picture;
    TCoordScanBMForm *dialog = nullptr;

    const TZelkoraOptions &ScanOptions() const override { return options; }
    void OverlayCaptured(TBitmap &&, bool, const QRect &) override {}
    void OverlayCancelled() override {}
    void WindowKeyCaptured(TBitmap &&, const QRect &) override {}
    void HideForGrab() override
    {
        events << (dialog && dialog->isVisible() ? "hide-for-grab, dialog shown" : "hide-for-grab");
    }
    QRect area;
    void CoordinatesCaptured(TBitmap &&p, const QRect &a) override
    {
        area = a;
        events << (dialog && dialog->isVisible() ? "captured, dialog shown" : "captured");
        picture = std::move(p);
    }
    void ShowApplication() override { events << "show-application"; }
};

QStringList languageScript()
{
    return ReadLanguageFile(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"));
}

// Answers the next message box and reports its text.
class MessageCatcher
{
public:
    MessageCatcher()
    {
        QTimer::singleShot(0, &m_timer, [this] { poll(); });
    }
    QString text() const { return m_text; }

private:
    void poll()
    {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            m_text = box->text();
            box->accept();
            return;
        }
        if (++m_tries < 200)
            QTimer::singleShot(10, &m_timer, [this] { poll(); });
    }
    QObject m_timer;
    QString m_text;
    int m_tries = 0;
};

void type(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

struct CoordDialog : ::testing::Test
{
    CoordHost host;
    std::unique_ptr<TCoordScanBMForm> dialog;
    void SetUp() override
    {
        dialog = std::make_unique<TCoordScanBMForm>(&host, nullptr, QSize(640, 480));
        host.dialog = dialog.get();
        dialog->SetLanguage(languageScript(), 0);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    void enter(const QString &x, const QString &y, const QString &w, const QString &h)
    {
        type(dialog->CoordXCoordEdit, x);
        type(dialog->CoordYCoordEdit, y);
        type(dialog->CoordWCoordEdit, w);
        type(dialog->CoordHCoordEdit, h);
    }
};

} // namespace

TEST_F(CoordDialog, ControlsAsDefined)
{
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Koordinaten eingeben"));
    for (QLineEdit *e : {dialog->CoordXCoordEdit, dialog->CoordYCoordEdit, dialog->CoordWCoordEdit,
                         dialog->CoordHCoordEdit})
        EXPECT_EQ(e->text(), QStringLiteral("0")) << e->objectName().toStdString();
    EXPECT_EQ(dialog->findChild<QLineEdit *>("CoordWCoordEdit"), dialog->CoordWCoordEdit);
    EXPECT_EQ(dialog->findChild<TEditUpDown *>("HCoordUpDown"), dialog->HCoordUpDown);
    EXPECT_EQ(dialog->XCoordUpDown->Max(), 640);
    EXPECT_EQ(dialog->WCoordUpDown->Max(), 640);
    EXPECT_EQ(dialog->YCoordUpDown->Max(), 480);
    EXPECT_EQ(dialog->HCoordUpDown->Max(), 480);
    EXPECT_EQ(dialog->ScCrdXLabel->text(), QStringLiteral("&X-Wert:"));
    EXPECT_EQ(dialog->ScCrdHLabel->text(), QStringLiteral("&Höhe:"));
    EXPECT_EQ(dialog->ScCrdOriginLabel->text(), QStringLiteral("Urpsrung = links oben"));
    EXPECT_EQ(dialog->ScCrdGroupBox->title(), QStringLiteral("Scan-Koordinaten"));
    EXPECT_EQ(dialog->ScCrdOkButton->text(), QStringLiteral("&OK"));
    EXPECT_TRUE(dialog->ScCrdOkButton->isDefault());
    EXPECT_EQ(dialog->ScCrdCancButton->text(), QStringLiteral("&Abbrechen"));
    EXPECT_FALSE(dialog->FCancelled);

    // Digits only; the arrows step within the screen.
    type(dialog->CoordXCoordEdit, QStringLiteral("1a2-3"));
    EXPECT_EQ(dialog->CoordXCoordEdit->text(), QStringLiteral("123"));
    type(dialog->CoordWCoordEdit, QStringLiteral("639"));
    QTest::mouseClick(dialog->WCoordUpDown->UpButton(), Qt::LeftButton);
    QTest::mouseClick(dialog->WCoordUpDown->UpButton(), Qt::LeftButton);
    EXPECT_EQ(dialog->CoordWCoordEdit->text(), QStringLiteral("640"));
}

TEST_F(CoordDialog, RefusesRectanglesOffTheScreenWithTheirMessages)
{
    struct Case
    {
        const char *x, *y, *w, *h, *key;
    };
    const Case cases[] = {
        {"1", "0", "640", "10", "showmsg_coordscan_unlogical_widthval"},
        {"0", "5", "10", "476", "showmsg_coordscan_unlogical_heightval"},
        {"0", "0", "0", "10", "showmsg_coordscan_invalid_value"},
        {"0", "0", "10", "0", "showmsg_coordscan_invalid_value"},
    };
    TMultiLanguage *ml = FormMultiLanguage(dialog.get());
    ASSERT_TRUE(ml);
    for (const Case &c : cases) {
        enter(c.x, c.y, c.w, c.h);
        MessageCatcher catcher;
        QTest::mouseClick(dialog->ScCrdOkButton, Qt::LeftButton);
        EXPECT_EQ(dialog->LastRefusal(), QString::fromLatin1(c.key));
        EXPECT_EQ(catcher.text(), ml->GetText(QString::fromLatin1(c.key)));
        EXPECT_FALSE(catcher.text().isEmpty());
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(host.events.isEmpty());
        // Closing is refused while the values are wrong, unless cancelled.
        bool canClose = true;
        dialog->FormCloseQuery(canClose);
        EXPECT_FALSE(canClose);
    }
}

TEST_F(CoordDialog, AcceptedRectangleIsGrabbedAfterTheDialogHasGone)
{
    host.options.BmpPixForm = 3; // 8 bit
    host.options.WithZelkoraWin = true;
    enter("0", "7", "640", "33"); // the whole width is allowed from X = 0
    QTest::mouseClick(dialog->ScCrdOkButton, Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    if (!ScreenGrabber::instance().isAvailable()) {
        // Nothing to grab from: no black picture, the program comes back.
        EXPECT_EQ(host.events, QStringList({"hide-for-grab", "show-application"}));
        EXPECT_FALSE(host.picture);
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
        return;
    }
    EXPECT_EQ(host.events, QStringList({"hide-for-grab", "captured"}));
    ASSERT_TRUE(host.picture);
    EXPECT_EQ(host.picture->Width(), 640);
    EXPECT_EQ(host.picture->Height(), 33);
    EXPECT_EQ(host.picture->PixelFormat(), pf8bit);
    EXPECT_EQ(host.area, QRect(0, 7, 640, 33));
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(CoordDialog, MonochromeOptionGivesOneBitPictures)
{
    host.options.BmpPixForm = 6;
    host.options.BmpMonochrome = true;
    enter("10", "10", "20", "20");
    QTest::keyClick(dialog->CoordHCoordEdit, Qt::Key_Return); // the default button
    EXPECT_TRUE(host.events.contains("hide-for-grab"));
    if (!ScreenGrabber::instance().isAvailable())
        GTEST_SKIP() << "needs an X server to grab from";
    ASSERT_TRUE(host.picture);
    EXPECT_EQ(host.picture->PixelFormat(), pf1bit);
    // Without WithZelkoraWin the program comes back when the dialog closes.
    EXPECT_EQ(host.events.last(), QStringLiteral("show-application"));
}

TEST_F(CoordDialog, CancelClosesWhateverTheValues)
{
    enter("600", "0", "640", "0");
    QTest::mouseClick(dialog->ScCrdCancButton, Qt::LeftButton);
    EXPECT_TRUE(dialog->FCancelled);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(host.events, QStringList({"show-application"}));
    EXPECT_FALSE(host.picture);
}

TEST_F(CoordDialog, EscapeAndTheWindowsCloseCommandCancel)
{
    host.options.WithZelkoraWin = true;
    enter("600", "0", "640", "0");
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->FCancelled);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(host.events.isEmpty());

    TCoordScanBMForm second(&host, nullptr, QSize(640, 480));
    second.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
    EXPECT_TRUE(second.close());
    EXPECT_TRUE(second.FCancelled);
}


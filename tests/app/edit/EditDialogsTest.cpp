// The parameter dialogs of the edit commands, driven with simulated clicks
// and keys offscreen: ranges, defaults, results read from the controls, and
// their texts from the language file in every section.
#include "EditDialogs.h"
#include "HistList.h"
#include "MultiLanguage.h"
#include "TestSupport.h"

#include <QApplication>
#include <QColorDialog>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QFile>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

using namespace zk;

namespace {

const QStringList &LanguageScript()
{
    static const QStringList script =
        ReadLanguageFile(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"));
    return script;
}

// Runs the dialog modally; `drive` runs once the dialog is showing.
int RunModal(QDialog &dialog, const std::function<void()> &drive)
{
    QTimer::singleShot(0, &dialog, [&] {
        drive();
        // A drive that forgot to close the dialog must not hang the suite.
        if (dialog.isVisible())
            dialog.done(-1);
    });
    return dialog.exec();
}

void Click(QAbstractButton *b)
{
    QTest::mouseClick(b, Qt::LeftButton);
}

void TypeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

// Answers the next message box that opens with its default button; returns
// its text through *seen.
void AnswerNextMessageBox(QString *seen)
{
    QTimer::singleShot(0, [seen] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                *seen = box->text();
                box->accept();
                return;
            }
        AnswerNextMessageBox(seen);
    });
}

} // namespace

TEST(ScaleBMForm, ButtonsAndKeysMoveTheSliderWithinMinusFourToFour)
{
    TScaleBMForm form;
    EXPECT_EQ(form.objectName(), "ScaleBMForm");
    EXPECT_EQ(form.ScaleTrackBar->minimum(), -4);
    EXPECT_EQ(form.ScaleTrackBar->maximum(), 4);
    EXPECT_EQ(form.ScaleTrackBar->value(), 0);

    int result = RunModal(form, [&] {
        for (int i = 0; i < 6; ++i)
            Click(form.AddSpeedButton);
        EXPECT_EQ(form.ScaleTrackBar->value(), 4) << "the slider stops at its end";
        Click(form.OkButton());
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(form.ScaleFactor, 5);

    result = RunModal(form, [&] {
        for (int i = 0; i < 6; ++i)
            Click(form.SubSpeedButton);
        EXPECT_EQ(form.ScaleTrackBar->value(), -2);
        form.ScaleTrackBar->setFocus();
        QTest::keyClick(form.ScaleTrackBar, Qt::Key_Right);
        EXPECT_EQ(form.ScaleTrackBar->value(), -1);
        QTest::keyClick(form.OkButton(), Qt::Key_Space);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(form.ScaleFactor, -2) << "position -1 halves";

    result = RunModal(form, [&] {
        form.ScaleTrackBar->setValue(0);
        Click(form.OkButton());
    });
    EXPECT_EQ(form.ScaleFactor, 0);

    result = RunModal(form, [&] { Click(form.CancelButton()); });
    EXPECT_EQ(result, QDialog::Rejected);
}

TEST(ScaleBMForm, TheStaticTextNamesEachPositionInTheChosenLanguage)
{
    ASSERT_FALSE(LanguageScript().isEmpty());
    for (int lang = 0; lang < 5; ++lang) {
        TScaleBMForm form;
        form.SetLanguage(LanguageScript(), lang);
        const TMultiLanguage *ml = form.Language();
        EXPECT_EQ(form.windowTitle(), ml->GetText("Set_ScaleForm_Title"));
        EXPECT_FALSE(form.windowTitle().isEmpty());
        QStringList seen;
        for (int p = -4; p <= 4; ++p) {
            form.ScaleTrackBar->setValue(p);
            const QString want = ml->GetText(QStringLiteral("caption_set_%1").arg(p));
            EXPECT_FALSE(want.isEmpty()) << "language " << lang << " position " << p;
            EXPECT_EQ(form.SFActionStaticText->text(), want);
            seen << want;
        }
        seen.removeDuplicates();
        EXPECT_EQ(seen.size(), 9) << "each position has its own text";
    }
}

TEST(GraphDimBMForm, PixelModeOnlyAndPresetsOfALargePictureSurvive)
{
    TGraphDimBMForm form;
    EXPECT_TRUE(form.GDFPixRadioButton->isChecked());
    EXPECT_EQ(form.GDFPixRadioButton->property("Tag").toInt(), 0);
    EXPECT_EQ(form.GDFProzRadioButton->property("Tag").toInt(), 1);
    EXPECT_FALSE(form.GDFProzRadioButton->isEnabled());
    EXPECT_TRUE(form.GDFPixPanel->isEnabled());
    EXPECT_FALSE(form.GDFProzPanel->isEnabled());
    EXPECT_EQ(form.PixWidthUpDown->Max(), 1600);
    EXPECT_EQ(form.PixHeightUpDown->Max(), 1200);
    EXPECT_EQ(form.ProzWidthUpDown->Min(), 0);

    form.Preset(2400, 900, 100, 100);
    EXPECT_EQ(form.PixWidth(), 2400) << "a wide picture is not shrunk unasked";
    EXPECT_EQ(form.PixHeight(), 900);
    EXPECT_EQ(form.ProzWidth(), 100);
    EXPECT_EQ(form.ProzHeight(), 100);

    const int result = RunModal(form, [&] {
        TypeInto(form.PixWidthEdit, "99999");
        TypeInto(form.PixHeightEdit, "640");
        QTest::keyClick(form.PixHeightEdit, Qt::Key_Up);
        QTest::keyClick(form.PixHeightEdit, Qt::Key_Up);
        QTest::keyClick(form.PixHeightEdit, Qt::Key_Down);
        Click(form.PixWidthUpDown->DownButton());
        Click(form.OkButton());
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(form.PixWidth(), 2399) << "typed beyond the range, held at the maximum, then stepped";
    EXPECT_EQ(form.PixHeight(), 641);
    EXPECT_TRUE(form.PixelMode());

    // Follows the language like every other dialog.
    form.SetLanguage(LanguageScript(), 1);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Scale the view"));
    EXPECT_EQ(form.GDFPixRadioButton->text(), QStringLiteral("Values in pixels:"));
}

TEST(NewDimPicBMForm, DigitsOnlyPresetFromThePictureAndZeroRefused)
{
    TNewDimPicBMForm form;
    form.Preset(QSize(1920, 1080), QSize(300, 200));
    EXPECT_EQ(form.GrWidthUpDown->Max(), 1920);
    EXPECT_EQ(form.GrHeightUpDown->Max(), 1080);
    EXPECT_EQ(form.GrWidthUpDown->Min(), 0);
    EXPECT_EQ(form.GrWidthEdit->text(), "300");
    EXPECT_EQ(form.GrHeightEdit->text(), "200");

    QString message;
    const int result = RunModal(form, [&] {
        TypeInto(form.GrWidthEdit, "4x5y0");
        EXPECT_EQ(form.GrWidthEdit->text(), "450") << "letters are not taken";
        TypeInto(form.GrHeightEdit, "0");
        AnswerNextMessageBox(&message);
        Click(form.OkButton());
        EXPECT_TRUE(form.isVisible()) << "a height of 0 is refused";
        EXPECT_FALSE(message.isEmpty());
        TypeInto(form.GrHeightEdit, "5000");
        Click(form.OkButton());
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(form.NewWidth(), 450);
    EXPECT_EQ(form.NewHeight(), 1080);

    form.Preset(QSize(1024, 768), QSize(3000, 2000));
    EXPECT_EQ(form.NewWidth(), 3000) << "a picture larger than the screen keeps its size";
    EXPECT_EQ(form.NewHeight(), 2000);
}

TEST(BorderPropertyBMForm, WidthsOneToTwentyDefaultThreeAndColoursFromGridAndDialog)
{
    TBorderPropertyBMForm form;
    EXPECT_EQ(form.BorderColor, 0);
    for (TEditUpDown *ud : {form.BorderUpDown, form.BorderLeftUpDown, form.BorderBottomUpDown,
                            form.BorderRightUpDown}) {
        EXPECT_EQ(ud->Min(), 1);
        EXPECT_EQ(ud->Max(), 20);
        EXPECT_EQ(ud->Position(), 3);
    }

    int result = RunModal(form, [&] {
        TypeInto(form.BorderEdit, "1");
        TypeInto(form.BorderLeftEdit, "2");
        TypeInto(form.BorderBottomEdit, "0");
        TypeInto(form.BorderRightEdit, "25");
        Click(form.BorderLeftUpDown->DownButton());
        Click(form.BorderLeftUpDown->DownButton());
        const int red = int(TEditColorGrid::GridColors().indexOf(clRed));
        QTest::mouseClick(form.BorderColorGrid, Qt::LeftButton, {}, form.BorderColorGrid->CellRect(red).center());
        Click(form.OkButton());
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(form.TopWidth(), 1);
    EXPECT_EQ(form.LeftWidth(), 1) << "stepping stops at the minimum";
    EXPECT_EQ(form.BottomWidth(), 1);
    EXPECT_EQ(form.RightWidth(), 20);
    EXPECT_EQ(form.BorderColor, clRed);

    result = RunModal(form, [&] {
        QTimer::singleShot(0, [&] {
            form.MoreColorDialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
            form.MoreColorDialog->accept();
        });
        Click(form.MColrButton);
        EXPECT_EQ(form.BorderColor, RGBToTColor(0x12, 0x34, 0x56));
        QTimer::singleShot(0, [&] {
            form.MoreColorDialog->setCurrentColor(Qt::green);
            form.MoreColorDialog->reject();
        });
        Click(form.MColrButton);
        Click(form.CancelButton());
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(form.BorderColor, RGBToTColor(0x12, 0x34, 0x56)) << "a cancelled colour dialog changes nothing";
}

TEST(Antialiasing2BMForm, TheLabelFollowsTheSliderAndOkReadsTheSlider)
{
    TAntialiasing2BMForm form;
    EXPECT_EQ(form.AntialiasTrackBar->minimum(), 0);
    EXPECT_EQ(form.AntialiasTrackBar->maximum(), 100);
    EXPECT_EQ(form.AntialiasTrackBar->tickInterval(), 2);
    const int result = RunModal(form, [&] {
        form.AntialiasTrackBar->setFocus();
        QTest::keyClick(form.AntialiasTrackBar, Qt::Key_End);
        EXPECT_EQ(form.TachoLabel->text(), "100");
        QTest::keyClick(form.AntialiasTrackBar, Qt::Key_Left);
        QTest::keyClick(form.AntialiasTrackBar, Qt::Key_Left);
        EXPECT_EQ(form.TachoLabel->text(), "98");
        form.TachoLabel->setText("12"); // a stale label must not decide the result
        Click(form.OkButton());
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(form.AntialiasValue, 98);

    TAntialiasing2BMForm cancelled;
    EXPECT_EQ(RunModal(cancelled, [&] {
                  cancelled.AntialiasTrackBar->setValue(40);
                  Click(cancelled.CancelButton());
              }),
              QDialog::Rejected);
    EXPECT_EQ(cancelled.AntialiasValue, 0);
}

TEST(RGBChannelsBMForm, EachSliderShowsInItsPanelAndOkGivesTheShifts)
{
    TRGBChannelsBMForm form;
    const QList<QSlider *> sliders = {form.RotTrackBar, form.GreenTrackBar, form.BlauTrackBar};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sliders[i]->property("Tag").toInt(), i);
        EXPECT_EQ(sliders[i]->minimum(), 0);
        EXPECT_EQ(sliders[i]->maximum(), 255);
        EXPECT_EQ(sliders[i]->value(), 0);
    }
    const int result = RunModal(form, [&] {
        form.RotTrackBar->setFocus();
        QTest::keyClick(form.RotTrackBar, Qt::Key_End);
        form.GreenTrackBar->setFocus();
        for (int i = 0; i < 7; ++i)
            QTest::keyClick(form.GreenTrackBar, Qt::Key_Right);
        form.BlauTrackBar->setFocus();
        QTest::keyClick(form.BlauTrackBar, Qt::Key_PageUp);
        EXPECT_EQ(form.RotPanel->text(), "255");
        EXPECT_EQ(form.GruenPanel->text(), "7");
        EXPECT_EQ(form.BlauPanel->text(), QString::number(form.BlauTrackBar->value()));
        EXPECT_GT(form.BlauTrackBar->value(), 0);
        Click(form.OkButton());
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(form.RedShift, 255);
    EXPECT_EQ(form.GreenShift, 7);
    EXPECT_EQ(form.BlueShift, form.BlauTrackBar->value());
}

TEST(WatermarkBMForm, TextAndLogoPagesAndTheBatchWindow)
{
    TWatermarkBMForm form;
    ASSERT_EQ(form.WmPageControl->count(), 2);
    EXPECT_EQ(form.WmPageControl->widget(0), form.WmTextTabSheet);
    EXPECT_EQ(form.WmPageControl->widget(1), form.WmLogoTabSheet);
    EXPECT_TRUE(form.WmTxtHistoryCombo->RegistryPath().isEmpty()) << "the text history is not stored";
    EXPECT_GT(form.WmTxtAlignComboBox->count(), 0);
    EXPECT_GT(form.WmLogoAlignComboBox->count(), 0);
    EXPECT_EQ(form.WmHideWhiteCheckBox->text(), QStringLiteral("Weiß ausblenden"));

    const QString bogus = zktest::sandboxDir() + "/not-a-logo.png";
    {
        QFile f(bogus);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a picture");
    }
    EXPECT_FALSE(form.LoadLogo(bogus));
    EXPECT_TRUE(form.LogoFileName.isEmpty());
    const QString logo = zktest::sandboxDir() + "/logo.png";
    QImage img(40, 20, QImage::Format_RGB32);
    img.fill(Qt::blue);
    ASSERT_TRUE(img.save(logo));
    EXPECT_TRUE(form.LoadLogo(logo));
    EXPECT_EQ(form.LogoFileName, logo);

    QPointer<TWmBatchModeBMForm> batch;
    QString batchTitle;
    const int result = RunModal(form, [&] {
        QTimer::singleShot(0, [&] {
            batch = form.findChild<TWmBatchModeBMForm *>();
            ASSERT_TRUE(batch);
            batchTitle = batch->windowTitle();
            QTest::keyClick(batch, Qt::Key_Escape);
        });
        Click(form.WmBatchButton);
        EXPECT_TRUE(batch.isNull()) << "the batch window is freed after it closes";
        Click(form.CancelButton());
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(batchTitle, QStringLiteral("WmBatchModeBMForm"));
}

// Every parameter dialog of the edit commands, switched to one language.
struct EditDialogsIn
{
    explicit EditDialogsIn(int lang)
    {
        for (TEditDialogBase *f : forms)
            f->SetLanguage(LanguageScript(), lang);
    }
    TScaleBMForm scale;
    TNewDimPicBMForm dim;
    TBorderPropertyBMForm border;
    TAntialiasing2BMForm anti;
    TRGBChannelsBMForm rgb;
    TWatermarkBMForm water;
    const QList<TEditDialogBase *> forms = {&scale, &dim, &border, &anti, &rgb, &water};
};

// Shown in each language, no dialog is smaller than what its layout and
// caption need, and no control inside is squeezed below its own minimum
// (the colour grid keeps all its cells).
TEST(EditDialogs, NothingIsCutOffInAnyLanguage)
{
    ASSERT_FALSE(LanguageScript().isEmpty());
    for (int lang = 0; lang < 5; ++lang) {
        SCOPED_TRACE(lang);
        EditDialogsIn all(lang);
        for (TEditDialogBase *f : all.forms) {
            f->show();
            QApplication::processEvents();
            const std::string name = f->objectName().toStdString();
            const QSize needed = f->ContentsMinimumSize();
            EXPECT_GE(f->width(), needed.width()) << name;
            EXPECT_GE(f->height(), needed.height()) << name;
            for (QWidget *w : f->findChildren<QWidget *>()) {
                // Our own controls; a tab bar's minimum counts scroll
                // buttons it does not need while its tabs fit.
                if (!w->isVisible() || w->isWindow() || w->objectName().isEmpty() ||
                    w->objectName().startsWith(QLatin1String("qt_")) || qobject_cast<QTabBar *>(w))
                    continue;
                const QSize least = w->minimumSizeHint();
                if (least.isValid() && w->minimumWidth() == 0 && w->maximumWidth() >= least.width()) {
                    EXPECT_GE(w->width(), least.width()) << name << " " << w->objectName().toStdString();
                    EXPECT_GE(w->height(), least.height()) << name << " " << w->objectName().toStdString();
                }
            }
            f->hide();
        }
        const TEditColorGrid *grid = all.border.BorderColorGrid;
        EXPECT_EQ(grid->size().expandedTo(grid->sizeHint()), grid->size())
            << "every cell of the colour grid is shown";
    }
}

// The JPEG view-scale window driven as a user would: keys on its combo box
// change the size the main picture shows at, and closing the window frees it.
#include "JpgScaleForm.h"

#include "ImageControl.h"
#include "Jpeg.h"
#include "MultiLanguage.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

using namespace zk;

namespace {

std::unique_ptr<TJPEGImage> jpegOf(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, (x + y) & 0xFF));
    TJPEGImage encoder;
    encoder.Assign(TBitmap::FromImage(img));
    auto jpeg = std::make_unique<TJPEGImage>();
    jpeg->LoadFromData(encoder.SaveToBytes());
    return jpeg;
}

QStringList languageScript()
{
    return ReadLanguageFile(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"));
}

} // namespace

TEST(JpgScaleForm, ComboScalesTheJpegPicture)
{
    TImage image;
    image.Picture().SetGraphic(jpegOf(160, 120));
    image.PictureChanged();

    QPointer<TJpgScaleBMForm> form = new TJpgScaleBMForm(&image);
    EXPECT_EQ(form->JpgScaleLabel->objectName(), QString("JpgScaleLabel"));
    EXPECT_EQ(form->JpgScaleComboBox->objectName(), QString("JpgScaleComboBox"));
    ASSERT_EQ(form->JpgScaleComboBox->count(), 4);
    EXPECT_EQ(form->JpgScaleComboBox->itemText(3), QString("1:8"));
    form->JpgScaleComboBox->setCurrentIndex(2);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    // Showing starts at full size, whatever was chosen before.
    EXPECT_EQ(form->JpgScaleComboBox->currentIndex(), 0);
    EXPECT_TRUE(form->PictureIsJpeg());

    form->JpgScaleComboBox->setFocus();
    QTest::keyClick(form->JpgScaleComboBox, Qt::Key_Down);
    EXPECT_EQ(image.Picture().Width(), 80);
    EXPECT_EQ(image.width(), 80);
    QTest::keyClick(form->JpgScaleComboBox, Qt::Key_Down);
    QTest::keyClick(form->JpgScaleComboBox, Qt::Key_Down);
    EXPECT_EQ(image.Picture().Width(), 20);
    EXPECT_EQ(image.Picture().Height(), 15);
    QTest::keyClick(form->JpgScaleComboBox, Qt::Key_Home);
    EXPECT_EQ(image.Picture().Width(), 160);

    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
}

TEST(JpgScaleForm, OtherPicturesAndAVanishedPictureAreLeftAlone)
{
    auto image = std::make_unique<TImage>();
    image->Picture().SetGraphic(std::make_unique<TBitmap>(40, 30));
    QPointer<TJpgScaleBMForm> form = new TJpgScaleBMForm(image.get());
    form->show();
    EXPECT_FALSE(form->PictureIsJpeg());
    form->JpgScaleComboBox->setCurrentIndex(3);
    EXPECT_EQ(image->Picture().Width(), 40);
    // The picture control may go before the tool window does.
    image.reset();
    form->JpgScaleComboBox->setCurrentIndex(1);
    EXPECT_FALSE(form->PictureIsJpeg());
    delete form;
}

TEST(JpgScaleForm, TakesItsTextsFromEveryLanguage)
{
    const QStringList script = languageScript();
    ASSERT_FALSE(script.isEmpty());
    TImage image;
    TJpgScaleBMForm form(&image);
    struct Expect
    {
        int index;
        const char *title;
        const char *label;
    };
    const Expect cases[] = {{0, "JPG/JPEG skalieren", "Skalierungsfaktor für JPG/JPEG:"},
                            {1, "Scale JPG/JPEG", "Scale factor for JPG/JPEG:"},
                            {2, "Scala JPG/JPEG", "Fattore di scala per JPG/JPEG:"},
                            {3, "Escalar JPG/JPEG", "Factor de escala para JPG/JPEG:"},
                            {4, "Échelle JPG/JPEG", "Facteur d'échelle pour JPG/JPEG :"}};
    for (const Expect &e : cases) {
        form.SetLanguage(script, e.index);
        EXPECT_EQ(form.windowTitle(), QString::fromUtf8(e.title)) << e.index;
        EXPECT_EQ(form.JpgScaleLabel->text(), QString::fromUtf8(e.label)) << e.index;
    }
    // Every message text of the picture-file commands exists in all five
    // languages.
    for (const char *key :
         {"opendlg_winmain_picopen", "showmsg_no_zk_support", "showmsg_file_evtl_not_exists",
          "showmsg_no_bitmap_load_will_convert", "showmsg_make_first_tmp_bmp",
          "showmsg_autosave_cannt_create_call_admin", "showmsg_except_no_storage",
          "showmsg_except_prob_with_clpbrd", "showmsg_except_file_not_opened", "showmsg_format_not_available",
          "caption_progressform_progress", "TheHistoryItem_Delete", "TheHistoryItem_Hint",
          "statbar_graphic_size_txt"}) {
        for (int lang = 0; lang < 5; ++lang) {
            bool found = false;
            for (const LanguageEntry &entry : LanguageSection(script, LanguageName(lang)))
                found = found || (entry.key == QLatin1String(key) && !entry.value.isEmpty());
            EXPECT_TRUE(found) << key << " in " << qPrintable(LanguageName(lang));
        }
    }
}

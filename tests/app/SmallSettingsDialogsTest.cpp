// The small settings dialogs: their own rules, what the settings dialog gets
// back through them, and the "Mit Zelkora betrachten" entry on disk.
#include "DialogSupport.h"
#include "EditDialogs.h"
#include "HistList.h"
#include "MultiLanguage.h"
#include "OptionDlg.h"
#include "SmallSettingsDialogs.h"
#include "TestSupport.h"
#include "ViewVerb.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace zk;

namespace {

using Checks = std::array<std::uint8_t, 9>;

QStringList entryTypes(const TViewVerbRegistrar &reg)
{
    QStringList t = reg.ExistingTypes();
    t.sort();
    return t;
}

} // namespace

TEST(SmallSettingsDialogs, AllTypesItemAndCountRangeAndGifChoice)
{
    TShlExtTypeBMForm shl;
    shl.SetTypeChecks({});
    shl.FTypesCheckListBox->item(8)->setCheckState(Qt::Checked);
    Checks c{};
    EXPECT_TRUE(shl.GetTypeChecks(c));
    EXPECT_EQ(c, (Checks{1, 1, 1, 1, 1, 1, 1, 1, 1}));
    shl.FTypesCheckListBox->item(3)->setCheckState(Qt::Unchecked);
    shl.GetTypeChecks(c);
    EXPECT_EQ(c, (Checks{1, 1, 1, 0, 1, 1, 1, 1, 0}));
    shl.SetTypeChecks({});
    EXPECT_FALSE(shl.GetTypeChecks(c));
    EXPECT_TRUE(shl.IEShellCheckBox->isHidden());

    TMinKindBMForm mk;
    mk.AnimCountUpDown->SetPosition(19);
    for (int i = 0; i < 3; ++i)
        mk.AnimCountUpDown->UpButton()->click();
    EXPECT_EQ(mk.AnimCountEdit->text(), "20");
    mk.AnimCountUpDown->SetPosition(2);
    for (int i = 0; i < 3; ++i)
        mk.AnimCountUpDown->DownButton()->click();
    EXPECT_EQ(mk.AnimCountEdit->text(), "1");
    mk.AnimCountEdit->setText("77");
    EXPECT_EQ(mk.AnimCountUpDown->Position(), 20);
    mk.AnimMinCheckBox->setChecked(true);
    EXPECT_TRUE(mk.AnimCountEdit->isEnabled());
    mk.AnimMinCheckBox->setChecked(false);
    EXPECT_FALSE(mk.AnimCountUpDown->isEnabled());

    TGifColOptBMForm gif;
    for (std::uint8_t v = 0; v <= 6; ++v) {
        gif.SetColOpt(v);
        std::uint8_t back = 99;
        gif.GetColOpt(back);
        EXPECT_EQ(back, v);
    }
}

TEST(SmallSettingsDialogs, HooksSwitchTheSettingsButtonsOnAndCarryValuesOnOkOnly)
{
    InstallOptionSubDialogs();
    TOptionDlgBMForm dlg;
    dlg.ExtGrEdtCheckBox->setChecked(true);
    dlg.ExtGrEdtCheckBoxClick();
    for (QWidget *w : std::initializer_list<QWidget *>{dlg.ScanPrevBitBtn, dlg.ColOptButton, dlg.ShlExtTypeButton,
                                                       dlg.SetGrEdtButton, dlg.ExtGrEdtCheckBox})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(dlg.MinKindMenuItem->isEnabled());

    for (const bool ok : {false, true}) {
        dlg.GifColOptCopy = 2;
        dlg.AnimMinCopy = false;
        dlg.AnimCountCopy = 3;
        dlg.ShellExtArCopy = {};
        dlg.ExtGrEdtPathCopy.clear();
        dlg.ExtGrEdtCheckBox->setChecked(true);
        dlg.ExtGrEdtCheckBoxClick();
        const auto finish = [ok](TSmallSettingsForm *f) { (ok ? f->OkButton : f->CancelButton)->click(); };
        zktest::AnswerNext<TGifColOptBMForm>([&](TGifColOptBMForm *f) {
            f->ColOptRadioGroup->Button(5)->click();
            finish(f);
        });
        dlg.ColOptButton->click();
        zktest::AnswerNext<TMinKindBMForm>([&](TMinKindBMForm *f) {
            f->AnimMinCheckBox->click();
            f->AnimCountUpDown->SetPosition(9);
            finish(f);
        });
        dlg.MinKindMenuItem->trigger();
        // Nothing checked: OK removes nothing and writes nothing.
        zktest::AnswerNext<TShlExtTypeBMForm>([&](TShlExtTypeBMForm *f) {
            f->FTypesCheckListBox->item(5)->setCheckState(Qt::Checked);
            finish(f);
        });
        dlg.ShlExtTypeButton->click();
        zktest::AnswerNext<TGraphEdtBMForm>([&](TGraphEdtBMForm *f) {
            f->ExtProgHistoryCombo->setCurrentText("/bin/sh");
            finish(f);
        });
        dlg.SetGrEdtButton->click();
        EXPECT_EQ(dlg.GifColOptCopy, ok ? 5 : 2);
        EXPECT_EQ(dlg.AnimMinCopy, ok);
        EXPECT_EQ(dlg.AnimCountCopy, ok ? 9 : 3);
        EXPECT_EQ(dlg.ShellExtArCopy, ok ? (Checks{0, 0, 0, 0, 0, 1, 0, 0, 0}) : Checks{});
        EXPECT_EQ(dlg.ExtGrEdtPathCopy, ok ? "/bin/sh" : "");
    }
    OptionSubDialogs() = {};
}

class ViewVerbTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        form.DataHome = home.path();
        form.ProgramPath = "/opt/Zelkora 5/zelkora";
        form.Ask = [this](const QString &t) {
            asked << t;
            return answer;
        };
        form.Message = [this](const QString &t) { told << t; };
    }
    void run(const Checks &handed, const std::vector<int> &checked, bool confirm)
    {
        form.SetTypeChecks(handed);
        for (int i = 0; i < 8; ++i)
            form.FTypesCheckListBox->item(i)->setCheckState(
                std::find(checked.begin(), checked.end(), i) != checked.end() ? Qt::Checked : Qt::Unchecked);
        form.SETInfCheckBox->setChecked(confirm);
        form.SETOkButtonClick();
    }
    QTemporaryDir home;
    TShlExtTypeBMForm form;
    TViewVerbRegistrar reg{home.path(), "/opt/Zelkora 5/zelkora"};
    QStringList asked, told;
    bool answer = true;
};

TEST_F(ViewVerbTest, EntryIsValidListsTheCheckedTypesAndReachesTheDesktopCaches)
{
    run({}, {1, 6, 7}, false);
    EXPECT_EQ(form.result(), 1);
    EXPECT_EQ(entryTypes(reg), (QStringList{"image/jpeg", "image/png", kZkgMimeType}));
    EXPECT_EQ(reg.ExistingExec(), "\"/opt/Zelkora 5/zelkora\" %f");
    const QByteArray text = zktest::readBytes(reg.EntryPath());
    EXPECT_TRUE(text.contains("\nName=Mit Zelkora betrachten\n"));
    EXPECT_TRUE(text.contains("\nIcon=zelkora\n"));
    if (zktest::haveProgram("desktop-file-validate")) {
        QByteArray out;
        EXPECT_EQ(zktest::runProgram("desktop-file-validate", {reg.EntryPath()}, &out), 0) << out.toStdString();
    }
    if (zktest::haveProgram("update-desktop-database")) {
        const QByteArray cache = zktest::readBytes(home.path() + "/applications/mimeinfo.cache");
        EXPECT_TRUE(cache.contains("image/png=zelkora-view.desktop;")) << cache.toStdString();
        EXPECT_FALSE(cache.contains("image/bmp="));
    }
    if (zktest::haveProgram("update-mime-database")) {
        QByteArray out;
        const QByteArray sandbox = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        EXPECT_EQ(zktest::runProgram(ZK_MIME_OF, {"a.zkg"}, &out), 0);
        qputenv("XDG_DATA_HOME", sandbox);
        EXPECT_EQ(out.trimmed(), QByteArray(kZkgMimeType));
    }

    // Unchecking keeps the others; the last type takes the entry along.
    run({0, 1, 0, 0, 0, 0, 1, 1, 0}, {7}, false);
    EXPECT_EQ(entryTypes(reg), QStringList{"image/png"});
    run({0, 0, 0, 0, 0, 0, 0, 1, 0}, {}, false);
    EXPECT_FALSE(QFile::exists(reg.EntryPath()));
    EXPECT_TRUE(QFile::exists(reg.MimePackagePath()));
}

TEST_F(ViewVerbTest, AnotherCopysEntryAsksOnlyWithConfirmationsAndNoKeepsTheRest)
{
    TViewVerbRegistrar other(home.path(), "/usr/local/bin/zelkora");
    QString error;
    ASSERT_TRUE(other.SetType(0, true, &error));

    answer = false;
    run({1, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 2, 7}, true);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains(".bmp") && asked[0].contains("\"/usr/local/bin/zelkora\" %f"));
    EXPECT_EQ(reg.ExistingExec(), "\"/usr/local/bin/zelkora\" %f");
    EXPECT_EQ(entryTypes(reg), QStringList{"image/bmp"});
    Checks back{};
    form.GetTypeChecks(back);
    EXPECT_EQ(back, (Checks{1, 0, 0, 0, 0, 0, 0, 0, 0}));

    asked.clear();
    run({1, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 2}, false);
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(reg.ExistingExec(), "\"/opt/Zelkora 5/zelkora\" %f");
    EXPECT_EQ(entryTypes(reg), (QStringList{"image/bmp", "image/gif"}));
}

TEST_F(ViewVerbTest, UnwritableApplicationsFolderSaysSoOnceAndRecordsNothing)
{
    ASSERT_TRUE(zktest::writeBytes(home.path() + "/applications", "not a folder"));
    run({0, 0, 1, 0, 0, 0, 0, 0, 0}, {0, 1, 7}, false);
    EXPECT_EQ(told.size(), 1);
    Checks back{};
    form.GetTypeChecks(back);
    EXPECT_EQ(back, (Checks{0, 0, 1, 0, 0, 0, 0, 0, 0}));
}

TEST(SmallSettingsDialogs, TextsInAllFiveLanguages)
{
    const QStringList script = ReadLanguageFile(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"));
    const QStringList keys = {"ColOptRadioGroup.Items", "FTypesCheckListBox.Items", "SETInfCheckBox.Caption",
                              "msgdlg_shell_ext_reg_1", "msgdlg_shell_ext_reg_4", "msgdlg_shell_ext_write_error",
                              "AnimMinCheckBox.Caption", "GraphEdtGroupBox.Caption", "Set_New_HintLabel3_Caption",
                              "Set_Hint_output_in_MainForm", "HintLabel.Caption"};
    for (int language = 0; language < 5; ++language) {
        QStringList found;
        for (const LanguageEntry &e : LanguageSection(script, LanguageName(language)))
            if (keys.contains(e.key) && !e.value.isEmpty())
                found << e.key;
        found.removeDuplicates();
        EXPECT_EQ(found.size(), keys.size()) << LanguageName(language).toStdString();
    }
    TShlExtTypeBMForm form;
    form.SetLanguage(script, 1);
    EXPECT_EQ(form.windowTitle(), "Shell settings");
    EXPECT_EQ(form.FTypesCheckListBox->item(1)->text(), "JPEG picture: JPG/JPEG");
    EXPECT_EQ(FormMultiLanguage(&form)->GetText("msgdlg_shell_ext_reg_1"), "The file extension ");
    form.SetLanguage(script, 0);
    EXPECT_EQ(form.SETInfCheckBox->text(), "Bestätigungen für jeden Eintrag anzeigen");
}

// The settings dialog: the record through the controls and back, the closing
// checks, the defaults menus, the live rules and the attachment link.
#include "DialogSupport.h"
#include "EditDialogs.h"
#include "HistList.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "OptionDlg.h"
#include "OptionDlgRules.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "SendForms.h"
#include "TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace zk;
using zktest::readBytes;
using zktest::writeBytes;

namespace {

QString fieldText(const OptionField &f, const TZelkoraOptions &o)
{
    if (f.type == OptionType::String)
        return *static_cast<QString *>(f.field(const_cast<TZelkoraOptions &>(o)));
    if (f.type == OptionType::Bytes9) {
        const auto &a = *static_cast<std::array<std::uint8_t, 9> *>(f.field(const_cast<TZelkoraOptions &>(o)));
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(a.data()), 9).toHex());
    }
    return QString::number(OptionIntValue(f, o));
}

// Names of the stored fields whose values differ.
QStringList differences(const TZelkoraOptions &a, const TZelkoraOptions &b)
{
    QStringList out;
    for (const OptionField &f : OptionTable())
        if (fieldText(f, a) != fieldText(f, b))
            out << QString::fromLatin1(f.name.data(), qsizetype(f.name.size()));
    return out;
}

// The same, without the view switches the main window stores on its own.
QStringList storedDifferences(const TZelkoraOptions &a, const TZelkoraOptions &b)
{
    QStringList out = differences(a, b);
    for (std::string_view v : OptionViewSwitches())
        out.removeAll(QString::fromLatin1(v.data(), qsizetype(v.size())));
    return out;
}

// Every stored field off its default, inside what its control can show.
TZelkoraOptions offDefaults(const QString &outDir)
{
    TZelkoraOptions o;
    SetDefaultOptions(o);
    for (const OptionField &f : OptionTable()) {
        const QString name = QString::fromLatin1(f.name.data(), qsizetype(f.name.size()));
        switch (f.type) {
        case OptionType::Bool: SetOptionIntValue(f, o, f.defInt ? 0 : 1); break;
        case OptionType::String: *static_cast<QString *>(f.field(o)) = QStringLiteral("x_") + name; break;
        case OptionType::Bytes9: o.ShellExtAr = {1, 0, 1, 1, 0, 0, 1, 0, 1}; break;
        default: {
            std::int64_t v = f.defInt + 1;
            if (f.rangeMin <= f.rangeMax && v > f.rangeMax)
                v = f.rangeMin;
            SetOptionIntValue(f, o, v);
        }
        }
    }
    // One naming kind at a time, as the radio buttons allow.
    o.IsAutoincFileName = false;
    o.IsDateTimeToFile = true;
    o.IsManualInputFile = false;
    o.ScanPerSec = 30;
    o.OutDir = outDir;
    o.TimeScanRunning = true;
    return o;
}

class OptionDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        SetProgramDirOverride(programDir.path());
        QDir().mkpath(qEnvironmentVariable("XDG_DATA_HOME")); // where the trash lives
        dlg.Prompts.Message = [this](const QString &key, const QString &) { messages << key; };
        dlg.Prompts.Confirm = [](const QString &, const QString &) { return true; };
    }
    void TearDown() override
    {
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    QTemporaryDir programDir;
    QTemporaryDir outDir;
    // A main window made earlier in this process fills the openers: these
    // cases are about the dialog without them.
    bool noSubDialogs = (OptionSubDialogs() = {}, true);
    TOptionDlgBMForm dlg;
    QStringList messages;
};

} // namespace

TEST_F(OptionDlgTest, EveryFieldHasItsPlaceAndEveryBoundControlExists)
{
    EXPECT_TRUE(OptionFieldsNotCovered().isEmpty()) << OptionFieldsNotCovered().join(", ").toStdString();
    for (const OptionBinding &b : OptionBindings()) {
        EXPECT_NE(dlg.findChild<QObject *>(QString::fromLatin1(b.control)), nullptr) << b.control;
        EXPECT_NE(FindOptionField(b.field), nullptr) << b.control;
    }
    EXPECT_EQ(dlg.OptionPageControl->count(), 12);
    EXPECT_EQ(dlg.OptionPageControl->tabText(11), "Sonstige");
}

TEST_F(OptionDlgTest, RecordComesBackThroughTheControls)
{
    const TZelkoraOptions seed = offDefaults(outDir.path());
    TZelkoraOptions defaults;
    SetDefaultOptions(defaults);
    // Each stored field is off its default but the one naming kind left off.
    EXPECT_EQ(differences(seed, defaults).size() + 1, qsizetype(OptionTable().size()));

    dlg.PrintersComboBox->addItems({"P0", "P1", "P2"});
    dlg.SetOptions(seed);
    EXPECT_FALSE(dlg.TimeScanCheckBox->isChecked());
    EXPECT_EQ(dlg.DelayComboBox->count(), 12);
    TZelkoraOptions out;
    // The view switches are not the dialog's: whatever the target holds stays.
    out.AutoWinSize = !seed.AutoWinSize;
    out.DocCenter = !seed.DocCenter;
    out.FocusMode = !seed.FocusMode;
    out.Stretch = !seed.Stretch;
    out.Trans = !seed.Trans;
    dlg.GetOptions(out);
    EXPECT_EQ(differences(seed, out), (QStringList{"AutoWinSize", "DocCenter", "Stretch", "FocusMode", "Trans"}));
    EXPECT_FALSE(out.TimeScanRunning);
}

TEST_F(OptionDlgTest, OutOfRangeShowsTheDefaultAndNoChoiceKeepsTheValue)
{
    TZelkoraOptions o;
    SetDefaultOptions(o);
    o.HK3 = 200;
    o.FileTyp = 200;
    o.FontName = QStringLiteral("No Such Font Family 123");
    dlg.SetOptions(o);
    EXPECT_EQ(dlg.HKComboBoxes[2]->currentIndex(), 3);
    dlg.ScanToolListBox->setCurrentRow(-1);
    o.ScanTool = 7;
    dlg.GetOptions(o);
    EXPECT_EQ(o.ScanTool, 7);
    EXPECT_EQ(o.FontName, "No Such Font Family 123");
    EXPECT_EQ(o.HK3, 3);
}

TEST_F(OptionDlgTest, DelayItemsAndTheCustomValue)
{
    struct Row { int stored; int item; int count; };
    for (const Row &r : {Row{100, 0, 11}, Row{240, 1, 11}, Row{3000, 10, 11}, Row{500, 11, 12}}) {
        TZelkoraOptions o;
        o.ScanDelay = r.stored;
        dlg.SetOptions(o);
        EXPECT_EQ(dlg.DelayComboBox->currentIndex(), r.item) << r.stored;
        EXPECT_EQ(dlg.DelayComboBox->count(), r.count) << r.stored;
        TZelkoraOptions back;
        dlg.GetOptions(back);
        EXPECT_EQ(back.ScanDelay, r.stored);
    }
    // Two custom values in a row: the second replaces the first.
    for (const char *typed : {"777", " 1234 ", "12a", "-5"}) {
        dlg.Prompts.InputQuery = [typed](const QString &caption, const QString &, QString &v) {
            EXPECT_EQ(caption, "Benutzerdefinierter Wert");
            v = QString::fromLatin1(typed);
            return true;
        };
        dlg.OtherValButton->click();
    }
    EXPECT_EQ(dlg.DelayComboBox->count(), 12);
    EXPECT_EQ(dlg.DelayComboBox->currentText(), "1234");
    EXPECT_EQ(messages, (QStringList{"showmsg_except_no_int", "showmsg_except_no_int"}));
    TZelkoraOptions back;
    dlg.GetOptions(back);
    EXPECT_EQ(back.ScanDelay, 1234);
}

TEST_F(OptionDlgTest, HotKeyConflictByKeyboardRestoresThePreviousKey)
{
    TZelkoraOptions o;
    SetDefaultOptions(o);
    // A, B, E (HK3), H, I, J: F and G are free.
    o.HK1 = 0, o.HK2 = 1, o.HK3 = 2, o.HK4 = 5, o.HK5 = 6, o.HK6 = 7;
    dlg.SetOptions(o);
    QComboBox *hk3 = dlg.HKComboBoxes[2];
    QTest::keyClick(hk3, Qt::Key_Down); // F
    QTest::keyClick(hk3, Qt::Key_Down); // G
    QTest::keyClick(hk3, Qt::Key_Down); // H is HK4's: back to G, not to E
    EXPECT_EQ(hk3->currentText(), "STRG + G");
    QTest::keyClick(hk3, Qt::Key_Up); // F
    QTest::keyClick(hk3, Qt::Key_Up); // E
    QTest::keyClick(hk3, Qt::Key_Up); // B is HK2's
    EXPECT_EQ(hk3->currentText(), "STRG + E");
    EXPECT_EQ(messages, (QStringList{"showmsg_new_hotkey_make_valid", "showmsg_new_hotkey_make_valid",
                                     "showmsg_hotkey_must_validvalue", "showmsg_new_hotkey_make_valid",
                                     "showmsg_new_hotkey_make_valid", "showmsg_hotkey_must_validvalue"}));
}

TEST_F(OptionDlgTest, ClosingChecksNameTheMessagePageAndBox)
{
    const QString folder = outDir.path();
    struct Row {
        bool persSave; QString path; QString name; bool manual; bool editor;
        int result; QString key; int page;
    };
    const Row rows[] = {
        {true, folder, "", false, false, 1, "showmsg_no_filename", 0},
        {true, folder, "", true, false, -1, "", 2},
        {true, folder + "/missing", "Scan_", false, false, 0, "showmsg_please_cordir", 0},
        {true, folder + "/missing", "", false, false, 0, "showmsg_please_cor_save_dir", 0},
        {false, "", "", false, true, 2, "showmsg_no_graphedt_define", 1},
        {false, "", "", false, false, -1, "", 2},
    };
    for (const Row &r : rows) {
        messages.clear();
        dlg.PersSaveCheckBox->setChecked(r.persSave);
        dlg.EnableAutoSaveControls(r.persSave);
        dlg.PathHistoryCombo->setCurrentText(r.path);
        dlg.FileNameHistoryCombo->setCurrentText(r.name);
        dlg.MiRadioButton->setChecked(r.manual);
        dlg.AiRadioButton->setChecked(!r.manual);
        dlg.ExtGrEdtCheckBox->setChecked(r.editor);
        dlg.ExtGrEdtPathCopy = r.editor ? folder + "/no-editor" : QString();
        {
            const QSignalBlocker block(dlg.OptionPageControl);
            dlg.OptionPageControl->setCurrentIndex(2);
        }
        dlg.OkPressed = false;
        EXPECT_EQ(dlg.ValidateEntries(), r.result) << r.key.toStdString();
        EXPECT_EQ(messages, r.key.isEmpty() ? QStringList{} : QStringList{r.key});
        EXPECT_EQ(dlg.OptionPageControl->currentIndex(), r.page) << r.key.toStdString();
        if (r.result == 0) {
            EXPECT_EQ(dlg.focusWidget(), dlg.PathHistoryCombo);
        } else if (r.result == 1) {
            EXPECT_EQ(dlg.focusWidget(), dlg.FileNameHistoryCombo);
        } else if (r.result == 2) { // no editor chooser yet: the editor is switched off
            EXPECT_FALSE(dlg.ExtGrEdtCheckBox->isChecked());
        }
    }
    // On page 0 without OK the automatic-file check waits.
    messages.clear();
    dlg.PersSaveCheckBox->setChecked(true);
    dlg.PathHistoryCombo->setCurrentText(folder + "/missing");
    dlg.OptionPageControl->blockSignals(true);
    dlg.OptionPageControl->setCurrentIndex(0);
    dlg.OptionPageControl->blockSignals(false);
    EXPECT_EQ(dlg.ValidateEntries(), -1);
    dlg.OkPressed = true;
    EXPECT_EQ(dlg.ValidateEntries(), 0);
}

TEST_F(OptionDlgTest, EachDefaultsMenuChangesOnlyItsOwnFields)
{
    ASSERT_TRUE(QDir(programDir.path()).mkpath("Pictures"));
    struct Row { QMenu *TOptionDlgBMForm::*menu; QStringList fields; };
    const Row rows[] = {
        {&TOptionDlgBMForm::FilesPopupMenu, {"PersSave", "OutDir", "FileTyp", "FileName", "IsAutoincFileName",
                                             "IsDateTimeToFile", "IsManualInputFile"}},
        {&TOptionDlgBMForm::ProgPopupMenu, {"AutoWinCenter", "AutoSysStart", "XPMenStyle", "XPContrStyle",
                                            "OnceCellStatbar", "ExtGrafikEditor", "ZKVisAScan", "TrayStart", "TnaUse",
                                            "StatBar", "EndDlg", "SaveHist", "FileExp", "OAsBmp", "ControlHints",
                                            "MagneticFE", "BackColr", "ShapeColorBg"}},
        {&TOptionDlgBMForm::ScanPopupMenu, {"ScanTool", "Loupe", "SCross", "ScanSound", "MinAScan", "WithZelkoraWin",
                                            "ImgWithMouse", "CtrlScanInStatbar", "ScanToClipboard",
                                            "DelLastTextscanResult", "LFaktor", "SBorder", "SBForce", "ScanDelay",
                                            "SoundFileNr"}},
        {&TOptionDlgBMForm::ExternPopupMenu, {"VType", "ImgPath"}},
        {&TOptionDlgBMForm::HotkeyPopupMenu, {"SysKeys", "HK1", "HK2", "HK3", "HK4", "HK5", "HK6",
                                              "HotkeyOutputExtern"}},
        {&TOptionDlgBMForm::PrintPopupMenu, {"PrintScan", "PrintDate", "PrintTime", "PrintUser", "PrTextFont",
                                             "PrTextGrFont", "PrintText"}},
        {&TOptionDlgBMForm::TimeScanPopupMenu, {"ScanDest", "ScanPerSec", "TimeScanCount"}},
        {&TOptionDlgBMForm::AviStdPopupMenu, {"VdoPixVal", "AviFrameInit", "AviFramePerSec", "AviTimerIntrv",
                                              "AviStretch", "MoveGrabber", "AVICopyDir", "TmpAviDel",
                                              "NoAviTimerSound", "TmpAviPath", "AviCopyPath"}},
        {&TOptionDlgBMForm::GifPopupMenu, {"GifComp", "GifDith", "GifColOpt"}},
        {&TOptionDlgBMForm::JpgPopupMenu, {"JpgPixelFormat", "JpgColr", "JpgPerformance", "JpgEncoding",
                                           "JpgIncDisplay"}},
        {&TOptionDlgBMForm::BmpPopupMenu, {"BmpMonochrome", "BmpPixForm"}},
    };
    // Two records, so that each field the menu sets differs from it in one.
    TZelkoraOptions zero;
    zero.IsManualInputFile = true;
    zero.TmpAviDel = true;
    const TZelkoraOptions seeds[] = {offDefaults(outDir.path()), zero};
    for (const Row &r : rows) {
        QStringList changed;
        for (const TZelkoraOptions &seed : seeds) {
            dlg.SetOptions(seed);
            TZelkoraOptions before = seed, after = seed;
            dlg.GetOptions(before);
            (dlg.*(r.menu))->actions().first()->trigger();
            dlg.GetOptions(after);
            for (const QString &f : differences(before, after))
                if (!changed.contains(f))
                    changed << f;
        }
        QStringList expected = r.fields;
        changed.sort();
        expected.sort();
        EXPECT_EQ(changed, expected) << (dlg.*(r.menu))->objectName().toStdString();
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(OptionDlgTest, AllDefaultsGiveTheFirstRunRecordForTheirFields)
{
    dlg.SetOptions(offDefaults(outDir.path()));
    QTest::keyClick(dlg.FileNameHistoryCombo, Qt::Key_Menu); // anywhere in the dialog
    EXPECT_EQ(messages, QStringList{"showmsg_std_settings_was_set"});
    EXPECT_TRUE(QFileInfo(programDir.filePath("Pictures")).isDir());
    TZelkoraOptions out;
    dlg.GetOptions(out);
    EXPECT_EQ(out.OutDir, ProgramDir() + "Pictures");
    EXPECT_EQ(out.FileName, "Scan_");
    EXPECT_EQ(out.PrintText, "Zelkora 5.0");
    EXPECT_EQ(out.Mapi.Subject, "Zelkora 5.0 - Screenshot");
    EXPECT_TRUE(out.Mapi.MailTo.isEmpty());
    EXPECT_TRUE(out.Smtp.Host.isEmpty());
    EXPECT_EQ(out.Smtp.Subject, "x_SmtpSubject"); // not among the seven
    EXPECT_EQ(out.TxtPenWidth, 10);
    EXPECT_EQ(out.CRLineColr, 2);
    EXPECT_EQ(out.HK6, 1);
    EXPECT_EQ(out.AnimCount, 1);
    EXPECT_TRUE(out.ExpDimParts);
    EXPECT_EQ(out.ScanDelay, 240);
}

TEST_F(OptionDlgTest, LiveRules)
{
    TZelkoraOptions o;
    SetDefaultOptions(o);
    dlg.SetOptions(o);
    // Dashed resets the strength; a strong border turns solid.
    dlg.ScanBFComboBox->setCurrentIndex(2);
    dlg.ScanBComboBox->setCurrentIndex(0);
    emit dlg.ScanBComboBox->activated(0);
    EXPECT_EQ(dlg.ScanBFComboBox->currentIndex(), 0);
    dlg.ScanBFComboBox->setCurrentIndex(1);
    emit dlg.ScanBFComboBox->activated(1);
    EXPECT_EQ(dlg.ScanBComboBox->currentIndex(), 1);
    // The one-part bar excludes the panel bar; neither unchecks the hints.
    dlg.StatHintsCheckBox->setChecked(true);
    dlg.OnePartStatBarCheckBox->click();
    EXPECT_FALSE(dlg.StatBarCheckBox->isChecked());
    EXPECT_TRUE(dlg.StatHintsCheckBox->isChecked());
    dlg.OnePartStatBarCheckBox->click();
    EXPECT_FALSE(dlg.StatHintsCheckBox->isChecked());
    // Line width above 1 means a solid line.
    dlg.LineWidthUpDown->UpButton()->click();
    EXPECT_TRUE(dlg.LineKindCheckBox->isChecked());
    dlg.LineWidthUpDown->DownButton()->click();
    EXPECT_FALSE(dlg.LineKindCheckBox->isChecked());
    // The AVI interval steps by 100.
    dlg.AviTimerUpDown->UpButton()->click();
    EXPECT_EQ(dlg.AviTimerEdit->text(), "1100");
    // Desktop origin cannot move the frame.
    dlg.MoveGrabCheckBox->setChecked(true);
    dlg.AviFrInitRadioGroup->Button(0)->click();
    EXPECT_FALSE(dlg.MoveGrabCheckBox->isChecked());
    EXPECT_FALSE(dlg.MoveGrabCheckBox->isEnabled());
    // The pen width: below 6 becomes 6, a non-number keeps the width.
    dlg.PenWidthEdit->setText("3");
    dlg.PenWidthEditExit();
    EXPECT_EQ(dlg.PenWidthEdit->text(), "6");
    dlg.PenWidthUpDown->SetPosition(12);
    dlg.PenWidthEdit->setText("");
    dlg.PenWidthEditExit();
    EXPECT_EQ(dlg.PenWidthEdit->text(), "12");
    EXPECT_EQ(messages, QStringList{"showmsg_except_no_int"});
    // Capture tools above 4 have no preview; the help is off without pages.
    EXPECT_FALSE(dlg.HelpBitBtn->isEnabled());
    // The mail buttons follow the service.
    dlg.SendServiceRadioGroup->Button(1)->click();
    EXPECT_TRUE(dlg.SmtpConfButton->isEnabled());
    EXPECT_FALSE(dlg.MapiConfigButton->isEnabled());
    dlg.SendServiceRadioGroup->Button(2)->click();
    EXPECT_FALSE(dlg.AttachCheckBox->isEnabled());
    // The defaults switch on what their checked boxes lead to.
    dlg.LoupeCheckBox->setChecked(false);
    dlg.LoupeCheckBoxClick();
    dlg.SysKeyCheckBox->setChecked(false);
    dlg.SysKeyCheckBoxClick();
    ASSERT_FALSE(dlg.LFaktorEdit->isEnabled());
    ASSERT_FALSE(dlg.HKComboBoxes[0]->isEnabled());
    dlg.ScanStdMenuItemClick();
    dlg.HotkeyStdMenuItemClick();
    EXPECT_TRUE(dlg.LFaktorEdit->isEnabled());
    EXPECT_TRUE(dlg.HKComboBoxes[0]->isEnabled());
}

TEST_F(OptionDlgTest, ScriptListAndTheChosenScript)
{
    TZelkoraOptions o;
    o.Script = QStringLiteral("b.sh");
    dlg.SetOptions(o);
    dlg.OptionPageControl->setCurrentIndex(5);
    EXPECT_EQ(dlg.ScriptCheckListBox->count(), 0); // no Script folder
    QDir(programDir.path()).mkpath("Script");
    for (const char *name : {"b.sh", "a.vbs", "notes.txt"})
        writeBytes(programDir.filePath(QStringLiteral("Script/") + name), "x");
    dlg.OptionPageControl->setCurrentIndex(0);
    dlg.OptionPageControl->setCurrentIndex(5);
    ASSERT_EQ(dlg.ScriptCheckListBox->count(), 2);
    EXPECT_EQ(dlg.ScriptCheckListBox->item(1)->checkState(), Qt::Checked);
    // Ticking the box of a row that is not the selected one chooses that row
    // and unchecks the rest; ticking the chosen one leaves it chosen.
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QListWidget *list = dlg.ScriptCheckListBox;
    const auto tickBox = [list](int row) {
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = list->visualItemRect(list->item(row));
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    };
    list->setCurrentRow(1);
    tickBox(0);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
    tickBox(0);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    TZelkoraOptions out;
    dlg.GetOptions(out);
    EXPECT_EQ(out.Script, "a.vbs");
    EXPECT_EQ(ChosenScript({"a", "b", "c"}, {false, true, true}, "z"), "b");
    EXPECT_EQ(ChosenScript({"a", "b"}, {false, false}, "z"), "z");
}

TEST_F(OptionDlgTest, SoundTestGoesBackToTheStoredSound)
{
    TZelkoraOptions o;
    SetDefaultOptions(o);
    o.ScanSound = true;
    o.SoundFileNr = 3;
    dlg.SetOptions(o);
    dlg.SoundTestTimer->setInterval(20);
    dlg.SndFleComboBox->setCurrentIndex(5);
    emit dlg.SndFleComboBox->activated(5);
    EXPECT_EQ(CaptureSoundFile, "Templates/camera5.wav");
    dlg.SndTestBitBtn->click();
    EXPECT_FALSE(dlg.SndTestBitBtn->isEnabled());
    for (int i = 0; i < 200 && dlg.SndFleComboBox->currentIndex() != 3; ++i)
        QTest::qWait(10);
    EXPECT_EQ(dlg.SndFleComboBox->currentIndex(), 3);
    EXPECT_EQ(CaptureSoundFile, "Templates/camera3.wav");
    EXPECT_TRUE(dlg.SndTestBitBtn->isEnabled());
}

TEST(OptionDlgRules, StartPagesAndAviWidths)
{
    QObject a;
    const std::pair<const char *, int> rows[] = {{"ExtGraphToolButton", 1}, {"ExtGraphHKMenuItem", 4},
                                                 {"EMailSetToolButton", 11}, {"SettingsMenuItem", 0}};
    for (const auto &[name, page] : rows) {
        a.setObjectName(name);
        EXPECT_EQ(TMainForm::OptionsStartPage(&a), page) << name;
    }
    EXPECT_EQ(AviSizesTooWide(600), (QList<int>{2, 3, 4}));
    EXPECT_EQ(AviSizesTooWide(1100), (QList<int>{4}));
    EXPECT_TRUE(AviSizesTooWide(1280).isEmpty());
}

TEST_F(OptionDlgTest, AttachmentLinkTouchesOnlyItsLineAndTrashesTheFolder)
{
    const QString ini = programDir.filePath("ZK5.ini");
    const QByteArray original = "[Entrys]\r\nBilder=/tmp/x\r\n\r\n[Other]\r\nKey = value ; kept\r\n";
    ASSERT_TRUE(writeBytes(ini, original));
    const AttachLinkResult linked = LinkAttachFolder(ini, ProgramDir());
    ASSERT_TRUE(linked.ok);
    EXPECT_TRUE(QFileInfo(linked.folder).isDir());
    const QByteArray after = readBytes(ini);
    EXPECT_EQ(after, "[Entrys]\r\nBilder=/tmp/x\r\nAttach=" + linked.folder.toUtf8() +
                         "\r\n\r\n[Other]\r\nKey = value ; kept\r\n");
    // Emptying moves the files, keeps sub-folders.
    writeBytes(linked.folder + "/one.jpg", "1");
    QDir(linked.folder).mkdir("sub");
    EXPECT_EQ(EmptyAttachFolder(ini), 1);
    EXPECT_FALSE(QFile::exists(linked.folder + "/one.jpg"));
    EXPECT_TRUE(QFileInfo(linked.folder + "/sub").isDir());
    EXPECT_TRUE(UnlinkAttachFolder(ini, ProgramDir()));
    EXPECT_EQ(readBytes(ini), original);
    EXPECT_FALSE(QFileInfo::exists(linked.folder));
    EXPECT_TRUE(QFileInfo(qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files/Attach").isDir());
    // A relative or empty value never empties the current folder.
    for (const QByteArray &value : {QByteArray(""), QByteArray("Attach"), QByteArray(".")}) {
        writeBytes(ini, "[Entrys]\nAttach=" + value + "\n");
        EXPECT_EQ(EmptyAttachFolder(ini), 0);
    }
    // An ini that cannot be written: nothing changes.
    QFile::remove(ini);
    QDir(programDir.path()).mkdir("ZK5.ini");
    EXPECT_FALSE(LinkAttachFolder(ini, ProgramDir()).ok);
    EXPECT_FALSE(QFileInfo::exists(programDir.filePath("Attach")));
    dlg.CreateDirButton->setEnabled(true);
    dlg.CreateDirButton->click();
    EXPECT_EQ(messages, QStringList{"showmsg_error_no_ini_entry"});
    EXPECT_FALSE(dlg.RestartWanted);
}

// --- through the main window ------------------------------------------------

TEST_F(OptionDlgTest, OkStoresTheRecordAndCancelKeepsIt)
{
    TMainForm form;
    EXPECT_TRUE(form.Item("SettingsToolButton")->isEnabled());
    EXPECT_TRUE(form.Item("EMailSetMenuItem")->isEnabled());
    TZelkoraOptions seed = offDefaults(outDir.path());
    seed.FileName = QStringLiteral("Shot_");
    seed.MailService = 1; // SMTP: its button is on
    // An editor switched on without an editor file would be asked for at once.
    seed.ExtGrafikEditor = false;
    seed.HotkeyOutputExtern = false;
    form.Options = seed;
    form.SaveOptions();

    // Cancel after the SMTP dialog changed the copy: record and store stay.
    zktest::AnswerNext<TOptionDlgBMForm>([](TOptionDlgBMForm *d) {
        EXPECT_EQ(d->OptionPageControl->currentIndex(), 11);
        zktest::AnswerNext<TSmtpBMForm>([](TSmtpBMForm *s) {
            EXPECT_EQ(s->HostHistoryCombo->currentText(), "x_SmtpHost");
            s->HostHistoryCombo->setCurrentText("changed.example");
            s->OkButton->click();
        });
        d->SmtpConfButton->click();
        EXPECT_EQ(d->SmtpCopy.Host, "changed.example");
        d->CancelButton->click();
    });
    form.Item("EMailSetToolButton")->trigger();
    EXPECT_TRUE(differences(form.Options, seed).isEmpty());
    TZelkoraOptions stored;
    OptionsStore::Load(stored);
    EXPECT_TRUE(storedDifferences(stored, seed).isEmpty()) << storedDifferences(stored, seed).join(", ").toStdString();

    // OK: the record as the dialog shows it is stored; timed capture stops.
    form.SetTimeScan(true);
    zktest::AnswerNext<TOptionDlgBMForm>([](TOptionDlgBMForm *d) {
        EXPECT_EQ(d->OptionPageControl->currentIndex(), 0);
        EXPECT_FALSE(d->TimeScanCheckBox->isChecked());
        d->OkButton->click();
    });
    form.Item("SettingsMenuItem")->trigger();
    EXPECT_FALSE(form.Options.TimeScanRunning);
    EXPECT_FALSE(form.TimeScanTimer->isActive());
    TZelkoraOptions reloaded;
    OptionsStore::Load(reloaded);
    EXPECT_TRUE(storedDifferences(reloaded, form.Options).isEmpty())
        << storedDifferences(reloaded, form.Options).join(", ").toStdString();
    EXPECT_TRUE(differences(form.Options, seed).isEmpty()) << differences(form.Options, seed).join(", ").toStdString();
}

TEST_F(OptionDlgTest, LinkingTheAttachmentFolderRestartsThroughTheNormalClose)
{
    ASSERT_TRUE(writeBytes(programDir.filePath("ZK5.ini"), "[Entrys]\n"));
    TMainForm form;
    form.Options.EndDlg = true; // the end question must not come up
    form.Options.PersSave = false;
    form.Options.ExtGrafikEditor = false;
    form.Options.HotkeyOutputExtern = false;
    form.Options.MailService = 0;
    form.Options.Stretch = !form.Options.Stretch; // only the close stores it
    QString started;
    form.RestartCommand = [&started](const QString &program) { started = program; };
    form.show();
    zktest::AnswerNext<TOptionDlgBMForm>([](TOptionDlgBMForm *d) {
        d->Prompts.Message = [](const QString &, const QString &) {};
        d->CreateDirButton->click();
        EXPECT_TRUE(d->RestartWanted);
        d->OkButton->click();
    });
    bool asked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&asked] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            asked = true;
            box->reject();
        }
    });
    poll.start(10);
    form.Item("SettingsMenuItem")->trigger();
    poll.stop();
    EXPECT_EQ(started, QCoreApplication::applicationFilePath());
    EXPECT_FALSE(asked);
    EXPECT_FALSE(form.isVisible());
    TZelkoraOptions stored;
    OptionsStore::Load(stored);
    EXPECT_EQ(stored.Stretch, form.Options.Stretch);
    EXPECT_TRUE(stored.AttachDir);
}

TEST_F(OptionDlgTest, LanguageSwitchReachesTabsRadioItemsAndLists)
{
    const QStringList script = ReadLanguageFile(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"));
    dlg.ScanBComboBox->setCurrentIndex(1);
    dlg.SetLanguage(script, 1);
    EXPECT_EQ(dlg.windowTitle(), "Options");
    EXPECT_EQ(dlg.OptionPageControl->tabText(0), "Files");
    EXPECT_EQ(dlg.DocAlignRadioGroup->Button(1)->text(), "Landscape");
    EXPECT_EQ(dlg.ScanBComboBox->itemText(0), "Dashed");
    EXPECT_EQ(dlg.ScanBComboBox->currentIndex(), 1);
    dlg.SetLanguage(script, 0);
    EXPECT_EQ(dlg.OptionPageControl->tabText(0), "Dateien");
    EXPECT_EQ(dlg.DocAlignRadioGroup->Button(1)->text(), "Vertikal");
}

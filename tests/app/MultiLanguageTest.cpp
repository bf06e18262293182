// The language layer: how the file is read, how its lines reach the
// controls of a form, and how a form switches between languages.
#include "MultiLanguage.h"

#include <QAction>
#include <QComboBox>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <QTabBar>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <memory>
#include <ostream>

// Readable failure messages for Qt strings (declared before gtest so its
// printers find it).
static void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

#include <gtest/gtest.h>

using zk::TMultiLanguage;

namespace {

QStringList Lines(const char *text)
{
    return QString::fromUtf8(text).split(QLatin1Char('\n'));
}

// A form with one control of each kind the file usually addresses.
struct SampleForm {
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    QLabel *label = new QLabel(QStringLiteral("Bitte wählen"), form.get());
    QPushButton *button = new QPushButton(QStringLiteral("&Abbrechen"), form.get());
    QFrame *panel = new QFrame(form.get());
    QPushButton *inner = new QPushButton(QStringLiteral("Innen"), panel);
    QListWidget *list = new QListWidget(form.get());
    QComboBox *combo = new QComboBox(form.get());
    QPlainTextEdit *memo = new QPlainTextEdit(QStringLiteral("Zeile"), form.get());
    QLineEdit *edit = new QLineEdit(form.get());
    QTabBar *tabs = new QTabBar(form.get());
    QAction *action = new QAction(QStringLiteral("Ö&ffnen..."), form.get());
    TMultiLanguage *ml = new TMultiLanguage(form.get());

    SampleForm()
    {
        form->setObjectName(QStringLiteral("SampleForm"));
        form->setWindowTitle(QStringLiteral("Beispiel"));
        label->setObjectName(QStringLiteral("InfoLabel"));
        button->setObjectName(QStringLiteral("CancelButton"));
        panel->setObjectName(QStringLiteral("MainPanel"));
        inner->setObjectName(QStringLiteral("InnerButton"));
        list->setObjectName(QStringLiteral("ChoiceListBox"));
        list->addItems({QStringLiteral("Eins"), QStringLiteral("Zwei")});
        combo->setObjectName(QStringLiteral("KindComboBox"));
        combo->addItems({QStringLiteral("Rot"), QStringLiteral("Grün"), QStringLiteral("Blau")});
        combo->setCurrentIndex(2);
        memo->setObjectName(QStringLiteral("NoteMemo"));
        edit->setObjectName(QStringLiteral("NameEdit"));
        edit->setMaxLength(40);
        tabs->setObjectName(QStringLiteral("KonvTabSet"));
        tabs->addTab(QStringLiteral("Datei"));
        tabs->addTab(QStringLiteral("Ordner"));
        action->setObjectName(QStringLiteral("OpenMenuItem"));
    }

    void Switch(const char *script, const QString &language) { ml->Assign(Lines(script), language); }
};

} // namespace

// ---------------------------------------------------------------------------
// Reading the file

TEST(LanguageFile, EntryValuesFollowQuoteLineBreakAndFirstEqualsRules)
{
    const QList<zk::LanguageEntry> e = zk::LanguageSection(Lines(
        "[german]\n"
        "  Quoted =   '  Leerzeichen bleiben  '  \n"
        "OneQuote='nur vorne\n"
        "TwoQuotes=''\n"
        "Lone='\n"
        "Break=erste\\nzweite\\n\n"
        "Math = a = b=c \n"
        "=ohne Schlüssel\n"
        "ohne Gleichheitszeichen\n"), QStringLiteral("german"));
    ASSERT_EQ(e.size(), 7);
    EXPECT_EQ(e[0].key, "Quoted");
    EXPECT_EQ(e[0].value, "  Leerzeichen bleiben  ");
    EXPECT_EQ(e[1].value, "'nur vorne");
    EXPECT_EQ(e[2].value, "");
    EXPECT_EQ(e[3].value, "'");
    EXPECT_EQ(e[4].value, "erste\nzweite\n");
    EXPECT_EQ(e[5].key, "Math");
    EXPECT_EQ(e[5].value, "a = b=c");
    EXPECT_EQ(e[6].key, "");
    EXPECT_EQ(e[6].value, "ohne Schlüssel");
}

TEST(LanguageFile, SectionsMatchWithoutCaseButTextKeysDoNot)
{
    TMultiLanguage ml(nullptr);
    ml.Assign(Lines("[English]\nshowmsg_nofileload=No file loaded\nStatbar_App_Run=Running\n"
                    "[GERMAN]\nshowmsg_nofileload=Keine Datei geladen\n"),
              zk::LanguageName(1));
    EXPECT_EQ(ml.GetText("showmsg_nofileload"), "No file loaded");
    EXPECT_EQ(ml.GetText("statbar_app_run"), "");
    EXPECT_FALSE(ml.HasText("statbar_app_run"));
    EXPECT_EQ(ml.GetText("Statbar_App_Run"), "Running");
    ml.SetLanguage(QStringLiteral("german"));
    EXPECT_EQ(ml.GetText("showmsg_nofileload"), "Keine Datei geladen");
    EXPECT_EQ(ml.GetText("Statbar_App_Run"), "");
}

TEST(LanguageFile, ASectionSplitWhileTheFileIsReadIsTheSectionReadLater)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/Languages.lng";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[german]\nOkButton.Caption=Ja\nmsg_a=Eins\nmsg_a=Zwei\n;msg_b=nicht\n"
            "[English]\nOkButton.Caption='Yes '\nmsg_a=One\n[german]\nmsg_c=Drei\\nVier\n");
    f.close();
    // Told english (any case), the reading thread splits that section; the
    // german one, asked for afterwards, is split as before.
    zk::PreloadLanguageFile(path, QStringLiteral("ENGLISH"));
    const QStringList lines = zk::ReadLanguageFile(path);
    ASSERT_EQ(lines.size(), 10);
    TMultiLanguage english(nullptr);
    english.Assign(lines, QStringLiteral("English"));
    ASSERT_EQ(english.Lines().size(), 2);
    EXPECT_EQ(english.Lines()[0].key, "OkButton.Caption");
    EXPECT_EQ(english.Lines()[0].value, "Yes ");
    EXPECT_EQ(english.GetText("msg_a"), "One");
    TMultiLanguage german(nullptr);
    german.Assign(lines, zk::LanguageName(0));
    ASSERT_EQ(german.Lines().size(), 4);
    EXPECT_EQ(german.GetText("msg_a"), "Eins");
    EXPECT_EQ(german.GetText("msg_c"), "Drei\nVier");
    EXPECT_FALSE(german.HasText("msg_b"));
    // A language the file lacks: nothing is split ahead, nothing is found.
    zk::PreloadLanguageFile(path, QStringLiteral("france"));
    TMultiLanguage french(nullptr);
    french.Assign(zk::ReadLanguageFile(path), zk::LanguageName(4));
    EXPECT_TRUE(french.Lines().isEmpty());
    EXPECT_EQ(english.Lines()[0].value, "Yes ") << "an earlier form keeps its texts";
}

TEST(LanguageFile, TheSectionCutWhileTheFileIsDecodedIsTheSectionOfTheDecodedLines)
{
    // The reading thread cuts the wanted section from the file's bytes; the
    // same file decoded line by line and split afterwards is the yardstick.
    const QByteArray files[] = {
        "intro=x\n[german]\nA=1\n[english]\nA=one\nB= 'two ' \n;C=x\n\n[German]\nD=drei\\nvier\n[ENGLISH]\nE=five\n",
        "\xef\xbb\xbf[english]\r\nA=one\r\n[german]\r\nA=eins\r\n",
        "[english] ; note\nA=1\n[english\nB=2\n[englisch]\nC=3\n  [english]x\nD=4\n",
        "\xc2\xa0[english]\nA=1\n\xe3\x80\x80[german]\nB=2\n\tC\t=\t3\t\n[english]\nD=4\n\xc2\xa0[german]\nE=5\n",
        "[german]\nA=1\n\xef\xbb\xbf[english]\nB=2\n[english]\nC=3\n",
        // Not UTF-8 in the German section: the whole file is Windows-1252,
        // and the English section's bytes read so are other characters.
        "[german]\nA=Gr\xf6\xdf" "e\n[english]\nA=caf\xc3\xa9\n",
        "[german]\nA=1\n[english]\nA=caf\xe9\n",
        "[german]\nA=1\n",
        "",
        "no header=at all\n;[english]\nA=1\n=empty key\nnoequals\n",
    };
    const char *const names[] = {"english", "GERMAN", "france"};
    QTemporaryDir dir;
    const QString path = dir.path() + "/Languages.lng";
    for (const QByteArray &bytes : files) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        for (const char *name : names) {
            const QString language = QString::fromLatin1(name);
            zk::PreloadLanguageFile(path, language);
            const QStringList lines = zk::ReadLanguageFile(path);
            const QList<zk::LanguageEntry> cut = zk::LanguageSection(lines, language);
            const QStringList decoded = zk::DecodeLanguageLines(bytes);
            EXPECT_EQ(lines, decoded) << bytes.toHex().constData();
            const QList<zk::LanguageEntry> split = zk::LanguageSection(decoded, language);
            ASSERT_EQ(cut.size(), split.size()) << name << " " << bytes.toHex().constData();
            for (qsizetype i = 0; i < cut.size(); ++i) {
                EXPECT_EQ(cut[i].key, split[i].key) << name << " " << bytes.toHex().constData();
                EXPECT_EQ(cut[i].value, split[i].value) << name << " " << bytes.toHex().constData();
            }
        }
    }
    // Two of them by hand: a byte-order mark inside the file is no blank, so
    // its line is no header; a file read as Windows-1252 gives "Ã©" for the
    // two bytes of a UTF-8 "é".
    const auto englishOf = [&path](const QByteArray &bytes) {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
        f.close();
        zk::PreloadLanguageFile(path, QStringLiteral("english"));
        const QList<zk::LanguageEntry> e = zk::LanguageSection(zk::ReadLanguageFile(path), QStringLiteral("english"));
        QStringList out;
        for (const zk::LanguageEntry &entry : e)
            out << entry.key + u'=' + entry.value;
        return out;
    };
    EXPECT_EQ(englishOf(files[4]), QStringList{"C=3"});
    EXPECT_EQ(englishOf(files[5]), QStringList{QStringLiteral("A=caf\u00c3\u00a9")});
}

TEST(LanguageFile, LanguageIndexOutsideTheFiveIsGerman)
{
    EXPECT_EQ(zk::LanguageName(0), "german");
    EXPECT_EQ(zk::LanguageName(1), "english");
    EXPECT_EQ(zk::LanguageName(2), "italian");
    EXPECT_EQ(zk::LanguageName(3), "espaniol");
    EXPECT_EQ(zk::LanguageName(4), "france");
    EXPECT_EQ(zk::LanguageName(7), "german");
    EXPECT_EQ(zk::LanguageName(255), "german");
    EXPECT_EQ(zk::LanguageName(-1), "german");

    // The same through a whole form switch.
    SampleForm f;
    const QStringList script = Lines("[german]\nInfoLabel.Caption=Deutsch\n[english]\nInfoLabel.Caption=English\n");
    zk::SetFormLanguage(f.form.get(), script, 1);
    EXPECT_EQ(f.label->text(), "English");
    zk::SetFormLanguage(f.form.get(), script, 7);
    EXPECT_EQ(f.label->text(), "Deutsch");
    EXPECT_EQ(f.ml->Language(), "german");
}

TEST(LanguageFile, DuplicateKeysFirstForTextsLastForProperties)
{
    SampleForm f;
    f.Switch("[german]\n"
             "msg=erste\n"
             "InfoLabel.Caption=eins\n"
             "msg=zweite\n"
             "InfoLabel.Caption=zwei\n",
             QStringLiteral("german"));
    EXPECT_EQ(f.ml->GetText("msg"), "erste");
    EXPECT_EQ(f.label->text(), "zwei");
    EXPECT_EQ(f.ml->Lines().size(), 4);
}

TEST(LanguageFile, UnnamedSectionCommentsAndBrokenHeaders)
{
    const QStringList script = Lines(
        "vorne=before the first header\n"
        "; kommentar=not an entry\n"
        "[german]\n"
        "   ;InfoLabel.Caption=commented out\n"
        "text=deutsch\n"
        "[]\n"
        "leer=empty-name header\n"
        "[english\n"
        "text=english without closing bracket\n");
    TMultiLanguage ml(nullptr);
    ml.Assign(script, QString());
    EXPECT_EQ(ml.GetText("vorne"), "before the first header");
    EXPECT_EQ(ml.GetText("leer"), "empty-name header");
    EXPECT_FALSE(ml.HasText("; kommentar"));
    EXPECT_FALSE(ml.HasText("text"));

    ml.SetLanguage(QStringLiteral("german"));
    EXPECT_EQ(ml.Lines().size(), 1);
    EXPECT_EQ(ml.GetText("text"), "deutsch");
    EXPECT_FALSE(ml.HasText("vorne"));

    ml.SetLanguage(QStringLiteral("english"));
    EXPECT_EQ(ml.GetText("text"), "english without closing bracket");

    EXPECT_EQ(zk::LanguageSectionNames(script), (QStringList{"german", "", "english"}));
}

TEST(LanguageFile, Utf8OrWindows1252)
{
    EXPECT_EQ(zk::DecodeLanguageLines(QByteArray("Gr\xc3\xb6\xc3\x9f" "e \xe2\x82\xac")),
              QStringList{QString::fromUtf8("Größe €")});
    EXPECT_EQ(zk::DecodeLanguageLines(QByteArray("\xef\xbb\xbf" "a=b")), QStringList{"a=b"});
    // Not UTF-8: the bytes of the Western Windows code page.
    EXPECT_EQ(zk::DecodeLanguageLines(QByteArray("Gr\xf6\xdf" "e \x80 \x93x\x94")),
              QStringList{QString::fromUtf8("Größe € “x”")});

    // The lines the file is read as: a carriage return before a line feed
    // and the empty line after the last line feed are not part of them; a
    // byte-order mark only at the very start; one byte that is no UTF-8
    // makes every line Windows-1252.
    const struct
    {
        QByteArray bytes;
        QStringList lines;
    } files[] = {
        {"", {}},
        {"\n", {""}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\rb\n", {"a\rb"}},
        {"\xef\xbb\xbf[x]\n\xef\xbb\xbfy=1\n", {"[x]", QChar(0xFEFF) + QStringLiteral("y=1")}},
        {"ok=\xc3\xa4\nbad=\xe4\r\n", {QString::fromUtf8("ok=\xc3\x83\xc2\xa4"), QString::fromUtf8("bad=\xc3\xa4")}},
    };
    for (const auto &f : files)
        EXPECT_EQ(zk::DecodeLanguageLines(f.bytes), f.lines) << f.bytes.toHex().constData();

    QTemporaryDir dir;
    const QString path = dir.filePath("Languages.lng");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[france]\r\nmsg=Fen\xeatre\r\n");
    file.close();
    const QStringList lines = zk::ReadLanguageFile(path);
    EXPECT_EQ(lines, (QStringList{"[france]", QString::fromUtf8("msg=Fenêtre")}));
    EXPECT_TRUE(zk::ReadLanguageFile(dir.filePath("missing.lng")).isEmpty());
}

TEST(LanguageFile, IntegerValuesByNumberCursorColourCharsetOrHex)
{
    EXPECT_EQ(zk::LanguageIntegerValue("42"), 42);
    EXPECT_EQ(zk::LanguageIntegerValue("-7"), -7);
    EXPECT_EQ(zk::LanguageIntegerValue("crHourGlass"), -11);
    EXPECT_EQ(zk::LanguageIntegerValue("CRHANDPOINT"), -21);
    EXPECT_EQ(zk::LanguageIntegerValue("crDefault"), 0);
    EXPECT_EQ(zk::LanguageIntegerValue("clRed"), 0x0000FF);
    EXPECT_EQ(zk::LanguageIntegerValue("clBlue"), 0xFF0000);
    EXPECT_EQ(zk::LanguageIntegerValue("ANSI_CHARSET"), 0);
    EXPECT_EQ(zk::LanguageIntegerValue("RUSSIAN_CHARSET"), 204);
    EXPECT_EQ(zk::LanguageIntegerValue("#1F"), 0x1F);
    EXPECT_FALSE(zk::LanguageIntegerValue("#").has_value());
    EXPECT_FALSE(zk::LanguageIntegerValue("zwölf").has_value());
    EXPECT_EQ(zk::CursorCodeToShape(-11), Qt::WaitCursor);
    EXPECT_EQ(zk::CursorCodeToShape(-21), Qt::PointingHandCursor);
}

// ---------------------------------------------------------------------------
// Writing properties

TEST(LanguageProperties, CaptionsHintsAndNamesWithoutCase)
{
    SampleForm f;
    f.Switch("[english]\n"
             "infolabel.CAPTION=Please choose\n"
             "CancelButton.Caption=&Cancel\n"
             "CancelButton.Hint=Cancel|Closes the window without saving\n"
             "OpenMenuItem.Caption=&Open...\n"
             "OpenMenuItem.Hint=Opens a picture\n"
             "MainPanel.InnerButton.Caption=Inside\n"
             "Caption=Sample\n"
             "MainPanel.Caption=a panel has no caption\n"
             "MissingButton.Caption=nobody\n"
             "InfoLabel.NoSuchProperty=nothing\n"
             "statbar_app_run=a text key is no property\n",
             QStringLiteral("english"));
    EXPECT_EQ(f.label->text(), "Please choose");
    EXPECT_EQ(f.button->text(), "&Cancel");
    EXPECT_EQ(f.button->toolTip(), "Cancel");
    EXPECT_EQ(f.button->statusTip(), "Closes the window without saving");
    EXPECT_EQ(f.action->text(), "&Open...");
    EXPECT_EQ(f.action->toolTip(), "Opens a picture");
    EXPECT_EQ(f.action->statusTip(), "Opens a picture");
    EXPECT_EQ(f.inner->text(), "Inside");
    EXPECT_EQ(f.form->windowTitle(), "Sample");
    EXPECT_EQ(f.panel->windowTitle(), "");
    EXPECT_EQ(f.form->objectName(), "SampleForm");
}

// Lines of controls the waiting test picks are written later, in file order
// (behind the form's name too); a line that starts at another control is
// written at once, and the next switch drops what still waits.
TEST(LanguageProperties, WaitingLinesFollowInFileOrderUntilTheNextSwitch)
{
    SampleForm f;
    f.ml->SetWaitingTest([&f](QObject *o) { return o == f.action || o == f.inner; });
    const char *english = "[english]\n"
                          "OpenMenuItem.Caption=&Open...\n"
                          "CancelButton.Caption=&Cancel\n"
                          "SampleForm.OpenMenuItem.Caption=Open &again\n"
                          "MainPanel.InnerButton.Caption=Inside\n"
                          "LaterButton.Caption=Later\n"
                          "[german]\n"
                          "CancelButton.Caption=Ab&brechen\n";
    f.Switch(english, QStringLiteral("english"));
    EXPECT_EQ(f.button->text(), "&Cancel");
    EXPECT_EQ(f.inner->text(), "Inside") << "the line starts at the panel";
    EXPECT_EQ(f.action->text(), "Ö&ffnen...");
    ASSERT_TRUE(f.ml->HasWaiting());
    // A control made meanwhile takes its line with the waiting ones.
    auto *later = new QPushButton(QStringLiteral("Später"), f.form.get());
    later->setObjectName(QStringLiteral("LaterButton"));
    f.ml->ApplyWaiting();
    EXPECT_FALSE(f.ml->HasWaiting());
    EXPECT_EQ(f.action->text(), "Open &again");
    EXPECT_EQ(later->text(), "Later");

    f.Switch(english, QStringLiteral("english"));
    EXPECT_EQ(f.action->text(), "Ö&ffnen...") << "back to its own text while its lines wait";
    f.ml->SetWaitingTest({});
    f.Switch(english, QStringLiteral("german"));
    EXPECT_FALSE(f.ml->HasWaiting());
    f.ml->ApplyWaiting();
    EXPECT_EQ(f.action->text(), "Ö&ffnen...");
    EXPECT_EQ(f.button->text(), "Ab&brechen");
}

// A form writes only the lines that start with something it has: lines
// that start at the form itself (its name, its font, its own properties,
// with or without a dot) must still arrive.
TEST(LanguageProperties, LinesStartingAtTheFormItselfAreWritten)
{
    SampleForm f;
    f.Switch("[english]\n"
             "OtherForm.CancelButton.Caption=not ours\n"
             "SAMPLEFORM.CancelButton.Caption=&Stop\n"
             "Font.Size=15\n"
             "windowIconText=Form icon text\n"
             "Hint=Form hint|long\n"
             "InfoLabel.Caption=Overwritten by the next line\n"
             "sampleform.InfoLabel.Caption=By the form's name\n",
             QStringLiteral("english"));
    EXPECT_EQ(f.button->text(), "&Stop");
    EXPECT_EQ(f.form->font().pointSize(), 15);
    EXPECT_EQ(f.form->windowIconText(), "Form icon text");
    EXPECT_EQ(f.form->toolTip(), "Form hint");
    EXPECT_EQ(f.form->statusTip(), "long");
    EXPECT_EQ(f.label->text(), "By the form's name");
    f.Switch("[german]\n", QStringLiteral("german"));
    EXPECT_EQ(f.button->text(), "&Abbrechen");
}

TEST(LanguageProperties, ListsTextsAndLineBreaks)
{
    SampleForm f;
    f.list->setCurrentRow(1);
    f.Switch("[english]\n"
             "ChoiceListBox.Items=One\\nTwo\\nThree\n"
             "KindComboBox.Items=Red\\nGreen\\nBlue\n"
             "NoteMemo.Lines=line one\\nline two\n"
             "KonvTabSet.Tabs=File\\nFolder\\nSurplus\n"
             "InfoLabel.Caption=first\\nsecond\n"
             "NameEdit.Text='  padded  '\n",
             QStringLiteral("english"));
    ASSERT_EQ(f.list->count(), 3);
    EXPECT_EQ(f.list->item(2)->text(), "Three");
    EXPECT_EQ(f.list->currentRow(), 1);
    ASSERT_EQ(f.combo->count(), 3);
    EXPECT_EQ(f.combo->currentIndex(), 2);
    EXPECT_EQ(f.combo->currentText(), "Blue");
    EXPECT_EQ(f.memo->document()->blockCount(), 2);
    EXPECT_EQ(f.memo->toPlainText(), "line one\nline two");
    ASSERT_EQ(f.tabs->count(), 2);
    EXPECT_EQ(f.tabs->tabText(1), "Folder");
    EXPECT_EQ(f.label->text(), "first\nsecond");
    EXPECT_EQ(f.edit->text(), "  padded  ");

    // The user's choice survives a switch back to the defined texts.
    f.combo->setCurrentIndex(1);
    f.list->setCurrentRow(0);
    f.Switch("[german]\n", QStringLiteral("german"));
    EXPECT_EQ(f.combo->currentText(), QString::fromUtf8("Grün"));
    EXPECT_EQ(f.list->currentItem()->text(), "Eins");
    EXPECT_EQ(f.list->count(), 2);
    EXPECT_EQ(f.memo->toPlainText(), "Zeile");
    EXPECT_EQ(f.tabs->tabText(0), "Datei");
}

TEST(LanguageProperties, FontsColoursCursorsAndIntegers)
{
    SampleForm f;
    const QFont definedFont = f.label->font();
    f.Switch("[english]\n"
             "InfoLabel.Font.Name=DejaVu Serif\n"
             "InfoLabel.Font.Size=17\n"
             "InfoLabel.Font.Style=[fsBold,fsItalic]\n"
             "InfoLabel.Font.Color=clRed\n"
             "InfoLabel.Font.Charset=ANSI_CHARSET\n"
             "MainPanel.Color=clBlue\n"
             "CancelButton.Cursor=crHandPoint\n"
             "NameEdit.MaxLength=12\n"
             "NameEdit.Enabled=False\n"
             "ChoiceListBox.Tag=crHourGlass\n"
             "KindComboBox.Tag=not a number\n",
             QStringLiteral("english"));
    EXPECT_EQ(f.label->font().family(), "DejaVu Serif");
    EXPECT_EQ(f.label->font().pointSize(), 17);
    EXPECT_TRUE(f.label->font().bold());
    EXPECT_TRUE(f.label->font().italic());
    EXPECT_EQ(f.label->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(f.panel->palette().color(QPalette::Window), QColor(0, 0, 255));
    EXPECT_TRUE(f.panel->autoFillBackground());
    EXPECT_EQ(f.button->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(f.edit->maxLength(), 12);
    EXPECT_FALSE(f.edit->isEnabled());
    EXPECT_EQ(f.list->property("Tag").toInt(), -11);
    EXPECT_FALSE(f.combo->property("Tag").isValid());

    // An unreadable integer leaves the property as it was.
    f.Switch("[english]\nNameEdit.MaxLength=zwölf\nInfoLabel.Font.Size=groß\n", QStringLiteral("english"));
    EXPECT_EQ(f.edit->maxLength(), 40);
    EXPECT_EQ(f.label->font(), definedFont);
    EXPECT_TRUE(f.edit->isEnabled());
    EXPECT_FALSE(f.panel->autoFillBackground());
    EXPECT_FALSE(f.button->testAttribute(Qt::WA_SetCursor));
    EXPECT_FALSE(f.list->property("Tag").isValid());
}

TEST(LanguageProperties, TheFileCannotDriveTheLanguageComponent)
{
    SampleForm f;
    f.ml->setObjectName(QStringLiteral("ZKMultiLanguage"));
    f.Switch("[german]\n"
             "ZKMultiLanguage.Language=english\n"
             "ZKMultiLanguage.Script=[german]\n"
             "InfoLabel.Caption=still applied\n"
             "[english]\n"
             "InfoLabel.Caption=must not be reached\n",
             QStringLiteral("german"));
    EXPECT_EQ(f.ml->Language(), "german");
    EXPECT_EQ(f.ml->Script().size(), 7);
    EXPECT_EQ(f.label->text(), "still applied");
}

// A form docked into another one keeps its controls: a namesake found first
// in the docked form's tree must not take the host's entry.
TEST(LanguageProperties, ADockedFormsNamesakeLeavesTheHostsControlWritten)
{
    SampleForm host;
    auto *docked = new QWidget(host.form.get());
    new TMultiLanguage(docked);
    auto *dockedItem = new QAction(QStringLiteral("Gleich groß"), docked);
    dockedItem->setObjectName(QStringLiteral("SameMenuItem"));
    auto *menu = new QMenu(host.panel);
    auto *hostItem = menu->addAction(QStringLiteral("Gleich groß"));
    hostItem->setObjectName(QStringLiteral("SameMenuItem"));
    host.Switch("[english]\nSameMenuItem.Caption=Same size\n", QStringLiteral("english"));
    EXPECT_EQ(hostItem->text(), "Same size");
    EXPECT_EQ(dockedItem->text(), QString::fromUtf8("Gleich groß")) << "the docked form translates its own";
}

TEST(LanguageProperties, EventsFire)
{
    int created = 0;
    QWidget form;
    auto *ml = new TMultiLanguage(&form, [&](TMultiLanguage *self) {
        ++created;
        EXPECT_EQ(self->parent(), &form);
    });
    EXPECT_EQ(created, 1);
    int translated = 0;
    QObject::connect(ml, &TMultiLanguage::OnTranslate, [&] { ++translated; });
    ml->SetScript(Lines("[german]\na=b\n"));
    ml->SetLanguage(QStringLiteral("german"));
    zk::SetFormLanguage(&form, ml->Script(), 0);
    EXPECT_EQ(translated, 3);
    EXPECT_EQ(zk::FormMultiLanguage(&form), ml);
}

// ---------------------------------------------------------------------------
// A whole form switched between languages

namespace zktest {

// Its class name is one of the caption-key table, so SetLanguage sets the title.
class TAboutDlgBMForm : public QMainWindow
{
    Q_OBJECT
public:
    TAboutDlgBMForm()
    {
        setWindowTitle(QStringLiteral("Info über Zelkora 5.0"));
        auto *central = new QWidget(this);
        auto *layout = new QVBoxLayout(central);
        OkButton = new QPushButton(QStringLiteral("&OK"), central);
        OkButton->setObjectName(QStringLiteral("OkButton"));
        InfoLabel = new QLabel(QStringLiteral("Zuletzt geöffnet:"), central);
        InfoLabel->setObjectName(QStringLiteral("InfoLabel"));
        OptionsGroupBox = new QGroupBox(QStringLiteral("Optionen"), central);
        OptionsGroupBox->setObjectName(QStringLiteral("OptionsGroupBox"));
        ChoiceListBox = new QListWidget(central);
        ChoiceListBox->setObjectName(QStringLiteral("ChoiceListBox"));
        ChoiceListBox->addItems({QStringLiteral("Eins"), QStringLiteral("Zwei"), QStringLiteral("Drei")});
        for (QWidget *w : {static_cast<QWidget *>(OkButton), static_cast<QWidget *>(InfoLabel),
                           static_cast<QWidget *>(OptionsGroupBox), static_cast<QWidget *>(ChoiceListBox)})
            layout->addWidget(w);
        setCentralWidget(central);
        DateiMenuItem = menuBar()->addMenu(QStringLiteral("&Datei"));
        DateiMenuItem->setObjectName(QStringLiteral("DateiMenuItem"));
        OpenMenuItem = DateiMenuItem->addAction(QStringLiteral("Ö&ffnen..."));
        OpenMenuItem->setObjectName(QStringLiteral("OpenMenuItem"));
        OpenMenuItem->setToolTip(QStringLiteral("Öffnen"));
        OpenMenuItem->setStatusTip(QStringLiteral("Öffnet eine Grafik"));
        ZKMultiLanguage = new TMultiLanguage(this);
    }
    void SetLanguage(const QStringList &Script, int LanguageIndex) { zk::SetFormLanguage(this, Script, LanguageIndex); }

    QPushButton *OkButton;
    QLabel *InfoLabel;
    QGroupBox *OptionsGroupBox;
    QListWidget *ChoiceListBox;
    QMenu *DateiMenuItem;
    QAction *OpenMenuItem;
    TMultiLanguage *ZKMultiLanguage;
};

} // namespace zktest

namespace {

struct Expected {
    const char *title, *ok, *info, *group, *menu, *item, *tip, *status;
    QStringList items;
};

void ExpectTexts(const zktest::TAboutDlgBMForm &f, const Expected &e, const char *step)
{
    SCOPED_TRACE(step);
    EXPECT_EQ(f.windowTitle(), QString::fromUtf8(e.title));
    EXPECT_EQ(f.OkButton->text(), QString::fromUtf8(e.ok));
    EXPECT_EQ(f.InfoLabel->text(), QString::fromUtf8(e.info));
    EXPECT_EQ(f.OptionsGroupBox->title(), QString::fromUtf8(e.group));
    EXPECT_EQ(f.DateiMenuItem->title(), QString::fromUtf8(e.menu));
    EXPECT_EQ(f.OpenMenuItem->text(), QString::fromUtf8(e.item));
    EXPECT_EQ(f.OpenMenuItem->toolTip(), QString::fromUtf8(e.tip));
    EXPECT_EQ(f.OpenMenuItem->statusTip(), QString::fromUtf8(e.status));
    QStringList items;
    for (int i = 0; i < f.ChoiceListBox->count(); ++i)
        items << f.ChoiceListBox->item(i)->text();
    EXPECT_EQ(items, e.items);
}

const char *const kSwitchScript =
    "; Languages of the test form\n"
    "[german]\n"
    "Set_AboutDlgForm_Title=Info über Zelkora 5.0\n"
    "showmsg_nofileload=Es ist keine Datei geladen!\n"
    "[english]\n"
    "Set_AboutDlgForm_Title=About Zelkora 5.0\n"
    "showmsg_nofileload=No file is loaded!\n"
    "OkButton.Caption=&OK\n"
    "InfoLabel.Caption=Last opened:\n"
    "OptionsGroupBox.Caption=Options\n"
    "DateiMenuItem.Caption=&File\n"
    "OpenMenuItem.Caption=&Open...\n"
    "OpenMenuItem.Hint=Open|Opens a picture\n"
    "ChoiceListBox.Items=One\\nTwo\\nThree\n"
    "[france]\n"
    "; this section lacks the caption key, the group box, the hint and the list\n"
    "showmsg_nofileload=Aucun fichier n'est chargé !\n"
    "OkButton.Caption=&Valider\n"
    "InfoLabel.Caption=Dernier ouvert :\n"
    "DateiMenuItem.Caption=&Fichier\n"
    "OpenMenuItem.Caption=&Ouvrir...\n";

} // namespace

TEST(LanguageSwitch, FormGoesGermanEnglishFrenchGerman)
{
    zktest::TAboutDlgBMForm form;
    const QStringList script = Lines(kSwitchScript);
    const Expected german{"Info über Zelkora 5.0", "&OK", "Zuletzt geöffnet:", "Optionen", "&Datei",
                          "Ö&ffnen...", "Öffnen", "Öffnet eine Grafik", {"Eins", "Zwei", "Drei"}};
    const Expected english{"About Zelkora 5.0", "&OK", "Last opened:", "Options", "&File",
                           "&Open...", "Open", "Opens a picture", {"One", "Two", "Three"}};
    // What French lacks comes back as the form defines it, not left in English.
    const Expected french{"Info über Zelkora 5.0", "&Valider", "Dernier ouvert :", "Optionen", "&Fichier",
                          "&Ouvrir...", "Öffnen", "Öffnet eine Grafik", {"Eins", "Zwei", "Drei"}};

    form.SetLanguage(script, 0);
    ExpectTexts(form, german, "german");
    EXPECT_EQ(form.ZKMultiLanguage->GetText("showmsg_nofileload"), "Es ist keine Datei geladen!");

    form.SetLanguage(script, 1);
    ExpectTexts(form, english, "english");
    EXPECT_EQ(form.ZKMultiLanguage->GetText("showmsg_nofileload"), "No file is loaded!");

    form.SetLanguage(script, 4);
    ExpectTexts(form, french, "france");
    EXPECT_EQ(form.ZKMultiLanguage->GetText("showmsg_nofileload"), QString::fromUtf8("Aucun fichier n'est chargé !"));

    form.SetLanguage(script, 0);
    ExpectTexts(form, german, "german again");
}

TEST(LanguageSwitch, MissingFileKeepsTheGermanFormIncludingItsTitle)
{
    zktest::TAboutDlgBMForm form;
    form.SetLanguage(Lines(kSwitchScript), 1);
    ASSERT_EQ(form.windowTitle(), "About Zelkora 5.0");
    form.SetLanguage(zk::ReadLanguageFile(QStringLiteral("/nonexistent/Languages.lng")), 1);
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Info über Zelkora 5.0"));
    EXPECT_EQ(form.OptionsGroupBox->title(), "Optionen");
    EXPECT_EQ(form.ZKMultiLanguage->GetText("showmsg_nofileload"), "");
}

TEST(LanguageSwitch, CaptionKeysByClass)
{
    EXPECT_EQ(zk::CaptionKeyFor("TAboutDlgBMForm"), "Set_AboutDlgForm_Title");
    EXPECT_EQ(zk::CaptionKeyFor("zk::TPrPrevForm"), "Set_PrPrevForm_Titel");
    EXPECT_EQ(zk::CaptionKeyFor("TKeybHlpBMForm"), "Set_HelpKeybForm_Title");
    EXPECT_EQ(zk::CaptionKeyFor("TFileKonvertForm"), "");
    EXPECT_EQ(zk::CaptionKeyFor("TByteTempBMForm"), "Set_ByteTempForm_Title");
    EXPECT_EQ(zk::CaptionKeyTable().size(), 46);
}

// ---------------------------------------------------------------------------
// The shipped language file

TEST(ShippedLanguageFile, EveryKeyInAllFiveLanguages)
{
    const QString path = QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QByteArray bytes = file.readAll();
    QStringDecoder strict(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString decoded = strict(bytes);
    EXPECT_FALSE(decoded.isEmpty());
    EXPECT_FALSE(strict.hasError()) << "the shipped file is UTF-8";

    const QStringList script = zk::ReadLanguageFile(path);
    const QStringList sections = zk::LanguageSectionNames(script);
    EXPECT_EQ(sections, (QStringList{"german", "english", "italian", "espaniol", "france"}));

    QStringList required;
    for (const zk::CaptionKey &k : zk::CaptionKeyTable())
        required << QString::fromLatin1(k.key);
    required << zk::OtherFormKeys() << QStringLiteral("showmsg_nofileload") << QStringLiteral("statbar_app_run");

    QStringList germanKeys;
    for (int index = 0; index < 5; ++index) {
        const QString name = zk::LanguageName(index);
        SCOPED_TRACE(name.toStdString());
        QStringList keys;
        for (const zk::LanguageEntry &e : zk::LanguageSection(script, name)) {
            EXPECT_FALSE(keys.contains(e.key)) << "twice: " << e.key.toStdString();
            keys << e.key;
        }
        TMultiLanguage ml(nullptr);
        ml.Assign(script, name);
        for (const QString &key : required)
            EXPECT_FALSE(ml.GetText(key).trimmed().isEmpty()) << "missing: " << key.toStdString();
        keys.sort();
        if (index == 0)
            germanKeys = keys;
        else
            EXPECT_EQ(keys, germanKeys) << "differs from german";
    }

    // Where the forms define their German caption, the file repeats it.
    TMultiLanguage german(nullptr);
    german.Assign(script, QStringLiteral("german"));
    EXPECT_EQ(german.GetText("Set_AboutDlgForm_Title"), QString::fromUtf8("Info über Zelkora 5.0"));
    EXPECT_EQ(german.GetText("Set_CoordScanForm_Title"), "Koordinaten eingeben");
    EXPECT_EQ(german.GetText("Set_DragDropFilesForm_Title"), "Drag&Drop Dateien");
    EXPECT_EQ(german.GetText("Set_ScaleForm_Title"), "Grafik skalieren");
    EXPECT_TRUE(german.GetText("Set_ImgPreviewForm_Title_Tag2").endsWith(QLatin1Char(' ')))
        << "the folder follows this text";
}

// Every key a source file of the program names as a literal: the texts it
// asks for at run time must be in each language, or a message comes up
// empty or in German.
TEST(ShippedLanguageFile, EveryKeyTheSourcesAskForIsInEverySection)
{
    const QRegularExpression literal(QStringLiteral(
        "\"((?:showmsg|caption|opendlg|msgdlg|statbar|err_msg|select|inputquery|inputbox)_[A-Za-z0-9_-]*"
        "[A-Za-z0-9]|Set_[A-Za-z0-9]+_Tit(?:le|el)|TheHistoryItem_[A-Za-z]+)\""));
    // Any other key, as the first argument of a text lookup.
    const QRegularExpression lookup(QStringLiteral("\\b(?:Get)?Text\\(\\s*(?:QStringLiteral\\()?\"([A-Za-z0-9_.]+)\""));
    QMap<QString, QString> used; // key -> a file that names it
    for (const char *folder : {"app", "shell", "capture", "edit", "output", "explorer", "modules", "tools", "widgets",
                               "platform", "formats"}) {
        QDirIterator it(QStringLiteral(ZK_SOURCE_DIR "/") + QString::fromLatin1(folder),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            const QString source = QString::fromUtf8(file.readAll());
            for (const QRegularExpression *re : {&literal, &lookup})
                for (auto m = re->globalMatch(source); m.hasNext();)
                    used.insert(m.next().captured(1), QFileInfo(path).fileName());
        }
    }
    ASSERT_GT(used.size(), 50) << "the scan found the program's keys";
    const QStringList script = zk::ReadLanguageFile(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"));
    for (int index = 0; index < 5; ++index) {
        TMultiLanguage ml(nullptr);
        ml.Assign(script, zk::LanguageName(index));
        for (auto it = used.cbegin(); it != used.cend(); ++it)
            EXPECT_TRUE(ml.HasText(it.key()) && !ml.GetText(it.key()).trimmed().isEmpty())
                << zk::LanguageName(index).toStdString() << " lacks " << it.key().toStdString() << " ("
                << it.value().toStdString() << ")";
    }
}

#include "MultiLanguageTest.moc"

// Sending driven through the main window and its dialogs: the mail program,
// the outside editor and the word processor are recording scripts first in
// PATH; the SMTP route goes to a real server on 127.0.0.1.
#include "Bitmap.h"
#include "DirBDForm.h"
#include "FolderExplorerSetup.h"
#include "ImageControl.h"
#include "MailProgram.h"
#include "MailSink.h"
#include "MainForm.h"
#include "QuietForm.h"
#include "SvcAppProperties.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "SendForms.h"
#include "SmtpMail.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QSignalSpy>
#include <QUrl>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace zk;
using zktest::QuietForm;

namespace {

void setPicture(TMainForm &form)
{
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(qRgb(30, 120, 200));
    form.ScanImage->Picture().Bitmap().Assign(img);
    form.ScanImage->PictureChanged();
}

// A script that appends its arguments, one a line, to <script>.args and
// exits with the number in <script>.exit (0 without one).
QString makeStub(const QString &dir, const QString &name)
{
    const QString path = dir + "/" + name;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$0.args\"; done\n"
            "printf -- '--end--\\n' >> \"$0.args\"\nexit $(cat \"$0.exit\" 2>/dev/null || echo 0)\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// The arguments of the stub's first run (waits for them).
QStringList stubArgs(const QString &stub, int timeoutMs = 10000)
{
    QFile f(stub + ".args");
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (f.open(QIODevice::ReadOnly)) {
            const QString text = QString::fromUtf8(f.readAll());
            f.close();
            if (text.contains("--end--\n"))
                return text.left(text.indexOf("--end--\n")).split('\n', Qt::SkipEmptyParts);
        }
        QTest::qWait(20);
    }
    return {};
}

struct TBox
{
    QString name;
    QString text;
};

// Runs action (may be empty) and then the event loop until a message box
// comes up; answers it.
TBox boxOf(const std::function<void()> &action, int timeoutMs = 15000)
{
    TBox box;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *b = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); b && box.name.isEmpty()) {
            box = {b->objectName(), b->text()};
            b->accept();
        }
    });
    poll.start();
    if (action)
        action();
    for (int waited = 0; waited < timeoutMs && box.name.isEmpty(); waited += 20)
        QTest::qWait(20);
    return box;
}

TBox waitForBox()
{
    return boxOf({});
}

class SendTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        SetProgramDirOverride(programDir.path());
        oldPath = qgetenv("PATH");
        qputenv("PATH", (stubs.path() + ":" + QString::fromLocal8Bit(oldPath)).toLocal8Bit());
    }
    void TearDown() override
    {
        qputenv("PATH", oldPath);
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    // An "Attach" entry in "ZK5.ini" naming a new folder; empty on failure.
    QString makeAttachEntry()
    {
        const QString attachDir = programDir.filePath("Anhang");
        QFile ini(programDir.filePath("ZK5.ini"));
        if (!QDir().mkpath(attachDir) || !ini.open(QIODevice::WriteOnly))
            return QString();
        ini.write(("[Entrys]\nAttach=" + attachDir + "\n").toUtf8());
        return attachDir;
    }
    QTemporaryDir programDir;
    QTemporaryDir stubs;
    QByteArray oldPath;
};

} // namespace

TEST_F(SendTest, MailProgramGetsSubjectBodyAndTheAttachmentsFullPath)
{
    const QString stub = makeStub(stubs.path(), "xdg-email");
    QuietForm form;
    setPicture(form);
    form.Options.MailService = 0;
    form.Options.GraphicAsAttach = true;
    form.Options.AttachType = 1;
    form.Options.AttachDir = false;
    form.Options.AttachZipped = false;
    form.Item("SendMenuItem")->trigger();
    const QString file = programDir.filePath("Attachfile.jpg");
    EXPECT_EQ(stubArgs(stub), (QStringList{"--subject", "Zelkora 5.0 - Screenshot", "--body", "Guten Tag,",
                                           "--attach", file}));
    QImage sent(file);
    EXPECT_EQ(sent.size(), QSize(64, 48));
}

TEST_F(SendTest, MissingMailProgramShowsTheLogonError)
{
    const QString stub = makeStub(stubs.path(), "xdg-email");
    QFile exit(stub + ".exit");
    ASSERT_TRUE(exit.open(QIODevice::WriteOnly));
    exit.write("3");
    exit.close();
    QuietForm form;
    form.Options.MailService = 0;
    form.Options.GraphicAsAttach = false;
    form.Options.Mapi.MailTo = "a@b.de";
    form.Options.Mapi.Subject = "Betreff";
    form.SendMenuItemClick();
    const TBox box = waitForBox();
    EXPECT_EQ(box.name, QStringLiteral("MapiLogonError"));
    EXPECT_EQ(box.text, QStringLiteral("Fehler, während des Versuchs die Mail zu senden!"));
    EXPECT_EQ(stubArgs(stub), (QStringList{"--subject", "Betreff", "--body", "Guten Tag,", "a@b.de"}));
}

TEST_F(SendTest, MailProgramSendRereadsAnOpenAttachmentListing)
{
    const QString attachDir = makeAttachEntry();
    ASSERT_FALSE(attachDir.isEmpty());
    struct Row
    {
        const char *selected;
        QStringList listed;
    };
    for (const Row &row : {Row{"Attach", {attachDir}}, Row{"Ablage", {}}}) {
        SCOPED_TRACE(row.selected);
        QFile::remove(stubs.filePath("xdg-email.args"));
        const QString stub = makeStub(stubs.path(), "xdg-email");
        QuietForm form;
        setPicture(form);
        TDirBDForm *explorer = CreateFolderExplorer(form);
        QTreeWidgetItem *node = nullptr;
        for (int i = 0; i < explorer->InternNodeCount() && !node; ++i)
            if (explorer->InternNode(i)->text(0) == QLatin1String(row.selected))
                node = explorer->InternNode(i);
        ASSERT_NE(node, nullptr);
        explorer->InternTreeView->setCurrentItem(node);
        QStringList listed;
        explorer->FileList.ListEntryFolder = [&](const QString &f) { listed << f; };
        form.Options.MailService = 0;
        form.Options.GraphicAsAttach = true;
        form.Options.AttachDir = true;
        form.Options.AttachZipped = false;
        QSignalSpy finished(form.MailProgram.get(), &TMailProgram::Finished);
        form.Item("SendMenuItem")->trigger();
        ASSERT_TRUE(finished.wait(10000));
        EXPECT_FALSE(stubArgs(stub).isEmpty());
        EXPECT_EQ(listed, row.listed);
    }
}

TEST_F(SendTest, SeveralChosenFilesReachTheMailProgramAsSeparateCopiesWithFullPaths)
{
    const QString stub = makeStub(stubs.path(), "xdg-email");
    QTemporaryDir one, two;
    QStringList chosen;
    for (QTemporaryDir *d : {&one, &two}) {
        QFile f(d->filePath("shot.jpg"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(d->path().toUtf8());
        chosen << f.fileName();
    }
    QuietForm form;
    form.Options.MailService = 0;
    form.Options.GraphicAsAttach = true;
    form.Options.AttachZipped = false;
    form.Options.AttachDir = false;
    QTimer::singleShot(0, [&] {
        if (auto *dialog = qobject_cast<TAttachBMForm *>(QApplication::activeModalWidget())) {
            dialog->AddFiles(chosen);
            QTest::mouseClick(dialog->AttOkButton, Qt::LeftButton);
        }
    });
    form.Item("MultiSendToolButton")->trigger();
    const QString first = programDir.filePath("shot.jpg"), second = programDir.filePath("shot-2.jpg");
    EXPECT_EQ(stubArgs(stub), (QStringList{"--subject", "Zelkora 5.0 - Screenshot", "--body", "Guten Tag,",
                                           "--attach", first, "--attach", second}));
    for (const auto &[copy, source] : {std::pair{first, one.path()}, std::pair{second, two.path()}}) {
        QFile f(copy);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), source.toUtf8());
    }
}

TEST_F(SendTest, NoPictureNothingSent)
{
    const QString stub = makeStub(stubs.path(), "xdg-email");
    QuietForm form;
    form.Options.MailService = 1;
    form.Options.GraphicAsAttach = true;
    EXPECT_EQ(boxOf([&] { form.SendMenuItemClick(); }).name, QStringLiteral("showmsg_no_img_load_no_send"));
    EXPECT_FALSE(form.ZKMailNMSMTP->Running());
}

TEST_F(SendTest, SmtpSendsTheNumberedPictureToTheServer)
{
    zktest::TMailSink sink;
    ASSERT_TRUE(sink.Ready());
    const QString attachDir = makeAttachEntry();
    ASSERT_FALSE(attachDir.isEmpty());

    QuietForm form;
    setPicture(form);
    form.SmtpPort = sink.Port();
    form.Options.MailService = 1;
    form.Options.GraphicAsAttach = true;
    form.Options.AttachDir = true;
    form.Options.AttachType = 0;
    form.Options.AttachZipped = false;
    form.Options.Smtp.Host = "127.0.0.1";
    form.Options.Smtp.MailFrom = "me@example.org";
    form.Options.Smtp.MailTo = "you@example.org\r\nother@example.org";
    form.Options.Smtp.Subject = "Bildschirmfoto";
    form.Options.Smtp.Body = "Guten Tag,\nanbei das Bild.";
    form.Item("StdSendToolButton")->trigger();
    EXPECT_FALSE(form.Item("StdSendToolButton")->isEnabled());
    const TBox box = waitForBox();
    EXPECT_EQ(box.name, QStringLiteral("showmsg_mail_send"));
    EXPECT_TRUE(form.Item("StdSendToolButton")->isEnabled());
    const auto mails = sink.Mails();
    ASSERT_EQ(mails.size(), 1);
    const QJsonArray att = mails[0]["attachments"].toArray();
    ASSERT_EQ(att.size(), 1);
    EXPECT_EQ(att[0].toObject()["name"].toString(), QStringLiteral("Attachfile_1.bmp"));
    QFile written(attachDir + "/Attachfile_1.bmp");
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QByteArray::fromBase64(att[0].toObject()["data"].toString().toLatin1()), written.readAll());
    EXPECT_EQ(mails[0]["headers"].toObject()["To"].toString(), QStringLiteral("you@example.org, other@example.org"));
}

TEST_F(SendTest, RefusingServerShowsItsReply)
{
    zktest::TMailSink sink(QStringLiteral("reject-rcpt"));
    ASSERT_TRUE(sink.Ready());
    QuietForm form;
    form.SmtpPort = sink.Port();
    form.Options.MailService = 1;
    form.Options.GraphicAsAttach = false;
    form.Options.Smtp.Host = "127.0.0.1";
    form.Options.Smtp.MailFrom = "me@example.org";
    form.Options.Smtp.MailTo = "nobody@example.org";
    form.SendMenuItemClick();
    const TBox box = waitForBox();
    EXPECT_EQ(box.name, QStringLiteral("showmsg_mail_not_send"));
    EXPECT_TRUE(box.text.endsWith(QStringLiteral("550 5.1.1 Mailbox unknown"))) << box.text.toStdString();
}

// The host field may name the port; a host the mail library cannot use is
// reported with the program's own lead and the library's reason after it.
TEST_F(SendTest, HostFieldWithPortReachesThatPortAndABadHostIsExplained)
{
    zktest::TMailSink sink;
    ASSERT_TRUE(sink.Ready());
    QuietForm form;
    form.SmtpPort = 25; // the field's port wins
    form.Options.MailService = 1;
    form.Options.GraphicAsAttach = false;
    form.Options.Smtp.MailFrom = "me@example.org";
    form.Options.Smtp.MailTo = "you@example.org";
    form.Options.Smtp.Host = QStringLiteral(" 127.0.0.1:%1 ").arg(sink.Port());
    form.SendMenuItemClick();
    EXPECT_EQ(waitForBox().name, QStringLiteral("showmsg_mail_send"));
    EXPECT_EQ(sink.Mails().size(), 1);

    form.Options.Smtp.Host = QStringLiteral("127.0.0.1:port");
    form.SendMenuItemClick();
    const TBox box = waitForBox();
    EXPECT_EQ(box.name, QStringLiteral("showmsg_mail_not_send"));
    const QString lead = QString::fromUtf8("Die Mail konnte nicht gesendet werden:");
    ASSERT_TRUE(box.text.startsWith(lead)) << box.text.toStdString();
    EXPECT_GT(box.text.mid(lead.size()).trimmed().size(), 5) << "the library's reason follows";
    EXPECT_EQ(sink.Mails().size(), 1);
}

TEST_F(SendTest, SeveralAttachmentsOnlyWithoutMailtoLink)
{
    QuietForm form;
    QMenu *mail = form.SubMenu("EMailMenuItem");
    ASSERT_NE(mail, nullptr);
    for (int service : {0, 1, 2}) {
        form.Options.MailService = std::uint8_t(service);
        emit mail->aboutToShow();
        EXPECT_EQ(form.Item("MoreAttachMenuItem")->isEnabled(), service != 2) << service;
    }
}

TEST_F(SendTest, EditorGetsThePictureFromAPrivateFolder)
{
    const QString stub = makeStub(stubs.path(), "editor");
    QuietForm form;
    setPicture(form);
    form.Options.ExtGrEdtPath = stub;
    form.StartExtGraphEditor();
    const QStringList args = stubArgs(stub);
    ASSERT_EQ(args.size(), 1);
    EXPECT_TRUE(args[0].endsWith("/ZK_TmpPic.bmp"));
    EXPECT_EQ(QImage(args[0]).size(), QSize(64, 48));
    struct stat st{};
    ASSERT_EQ(stat(QFile::encodeName(QFileInfo(args[0]).path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(SendTest, EditorSwitchFollowsEditorAndOption)
{
    QuietForm form;
    int optionsOpened = 0;
    form.CaptureHooks.OpenOptionsDialog = [&](QObject *) { ++optionsOpened; };
    QAction *item = form.Item("ExtGraphMenuItem");
    QAction *button = form.Item("ExtGraphToolButton");
    form.Options.ExtGrEdtPath = stubs.filePath("missing-editor");
    item->trigger();
    EXPECT_EQ(optionsOpened, 1);
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(form.Options.ExtGrafikEditor);

    form.Options.ExtGrEdtPath = makeStub(stubs.path(), "editor");
    button->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_TRUE(button->isChecked());
    EXPECT_TRUE(form.Options.ExtGrafikEditor);
    item->trigger();
    EXPECT_FALSE(button->isChecked());
    EXPECT_FALSE(form.Options.ExtGrafikEditor);
    EXPECT_EQ(optionsOpened, 1);

    form.Item("ExtGraphHKToolButton")->trigger();
    EXPECT_TRUE(form.Options.HotkeyOutputExtern);
    EXPECT_TRUE(form.Item("ExtGraphHKMenuItem")->isChecked());
}

TEST_F(SendTest, DesktopBackgroundIsSavedAndHandedToTheDesktopTiledOrCentred)
{
    const QByteArray oldDesktop = qgetenv("XDG_CURRENT_DESKTOP");
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    const QString stub = makeStub(stubs.path(), "gsettings");
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/Zelkora/Zelkora_Backgr.bmp");
    const QString uri = QUrl::fromLocalFile(file).toString();
    const QString schema = QStringLiteral("org.gnome.desktop.background");
    QuietForm form;
    setPicture(form);
    for (const auto &[item, style] : {std::pair{"DTBackgrTileMenuItem", "wallpaper"},
                                      std::pair{"DTBackgrCenterMenuItem", "centered"}}) {
        SCOPED_TRACE(item);
        QFile::remove(stub + ".args");
        form.Item(QString::fromLatin1(item))->trigger();
        QFile log(stub + ".args");
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        const QString runs = QString::fromUtf8(log.readAll());
        EXPECT_EQ(runs, QStringList({"set", schema, "picture-uri", uri, "--end--", "set", schema, "picture-uri-dark",
                                     uri, "--end--", "set", schema, "picture-options", style, "--end--", ""})
                            .join('\n'));
        const QImage shown(file);
        EXPECT_EQ(shown.size(), QSize(64, 48));
        EXPECT_EQ(shown.pixel(5, 5), qRgb(30, 120, 200));
    }
    // A desktop that refuses: the message names the failure.
    QFile exit(stub + ".exit");
    ASSERT_TRUE(exit.open(QIODevice::WriteOnly));
    exit.write("1");
    exit.close();
    const TBox box = boxOf([&] { form.Item("DTBackgrTileMenuItem")->trigger(); });
    EXPECT_EQ(box.name, QStringLiteral("showmsg_wallpaper_not_set"));
    EXPECT_TRUE(box.text.contains(QStringLiteral("gsettings"))) << box.text.toStdString();
    if (oldDesktop.isNull())
        qunsetenv("XDG_CURRENT_DESKTOP");
    else
        qputenv("XDG_CURRENT_DESKTOP", oldDesktop);
}

TEST_F(SendTest, WordProcessorStartsWithANewDocumentOrIsReportedMissing)
{
    QuietForm form;
    qputenv("PATH", stubs.path().toLocal8Bit());
    EXPECT_EQ(boxOf([&] { form.Item("WordToolButton")->trigger(); }).name, QStringLiteral("showmsg_word_no_starts"));
    const QString stub = makeStub(stubs.path(), "soffice");
    form.Item("WordToolButton")->trigger();
    EXPECT_EQ(stubArgs(stub), QStringList{"--writer"});
}

TEST(SendForms, AttachDialogListsDroppedAndChosenFilesAndDeletes)
{
    QTemporaryDir dir;
    for (const char *name : {"a.jpg", "b.png", "c.bmp"}) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
    }
    TAttachBMForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // The drop as the window gets it (offscreen there is no drag to start):
    // the dialog's application component takes it on the way.
    ASSERT_NE(form.findChild<TsvcApplicationProperties *>("svcApplicationProperties1"), nullptr);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(dir.filePath("a.jpg")), QUrl::fromLocalFile(dir.filePath("b.png"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(form.Files(), (QStringList{dir.filePath("a.jpg"), dir.filePath("b.png")}));
    EXPECT_EQ(form.CntLabel->text(), QStringLiteral("2"));

    QString title, filter;
    QTimer::singleShot(0, [&] {
        auto *dlg = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        title = dlg->windowTitle();
        filter = dlg->selectedNameFilter();
        dlg->selectFile(dir.filePath("c.bmp"));
        QMetaObject::invokeMethod(dlg, "accept");
    });
    QTest::mouseClick(form.AttChoiceButton, Qt::LeftButton);
    EXPECT_EQ(title, QStringLiteral("Anhänge wählen"));
    EXPECT_TRUE(filter.startsWith(QStringLiteral("Alle Grafiktypen"))) << filter.toStdString();
    EXPECT_EQ(form.CntLabel->text(), QStringLiteral("3"));

    form.AttachFilesListBox->clearSelection();
    form.AttachFilesListBox->setCurrentRow(-1);
    form.AttachFilesListBox->setFocus();
    EXPECT_EQ(boxOf([&] { QTest::keyClick(form.AttachFilesListBox, Qt::Key_Delete); }).name,
              QStringLiteral("showmsg_no_entry_selected"));
    form.AttachFilesListBox->setCurrentRow(0);
    QTest::keyClick(form.AttachFilesListBox, Qt::Key_Backspace);
    EXPECT_EQ(form.Files(), (QStringList{dir.filePath("b.png"), dir.filePath("c.bmp")}));
    EXPECT_EQ(form.CntLabel->text(), QStringLiteral("2"));
    form.findChild<QAction *>("AttDelAllMenuItem")->trigger();
    EXPECT_EQ(form.CntLabel->text(), QStringLiteral("0"));
}

TEST(SendForms, SmtpAndMapiFieldsGoBothWays)
{
    TSmtpBMForm smtp;
    for (const char *name : {"HostHistoryCombo", "UserIDHistoryCombo", "MailFromHistoryCombo", "MailToHistoryCombo",
                             "CopyHistoryCombo", "BlindCopyHistoryCombo", "MailMemo", "SubjectEdit"})
        EXPECT_NE(smtp.findChild<QWidget *>(name), nullptr) << name;
    TSmtpConfig in{"smtp.x.de", "me", "a@x.de", "b@x.de", "c@x.de", "d@x.de", "Text\nzwei", "Betreff"};
    smtp.LoadFrom(in);
    smtp.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&smtp));
    smtp.SubjectEdit->selectAll();
    QTest::keyClicks(smtp.SubjectEdit, "Neu");
    TSmtpConfig out;
    smtp.SaveTo(out);
    EXPECT_EQ(out.Host, in.Host);
    EXPECT_EQ(out.BlindCopy, in.BlindCopy);
    EXPECT_EQ(out.Body, in.Body);
    EXPECT_EQ(out.Subject, QStringLiteral("Neu"));
    // No help pages in the program folder: the button stays off.
    EXPECT_FALSE(smtp.HelpButton->isEnabled());

    TMapiConfigBMForm mapi;
    mapi.LoadFrom(TMapiConfig{"x@y.de", "S", "B"});
    TMapiConfig m;
    mapi.SaveTo(m);
    EXPECT_EQ(m.MailTo, QStringLiteral("x@y.de"));
    EXPECT_EQ(m.Subject, QStringLiteral("S"));
    EXPECT_EQ(m.Body, QStringLiteral("B"));
}

// The shadow lies behind the group box: inside the box, labels sit on the
// dialog's own background, and only the offset strip right of the box is grey.
TEST(SendConfigForms, ShadowShowsOnlyBesideTheGroupBox)
{
    TSmtpBMForm smtp;
    TMapiConfigBMForm mapi;
    for (TSendConfigForm *form : {static_cast<TSendConfigForm *>(&smtp), static_cast<TSendConfigForm *>(&mapi)}) {
        form->show();
        QApplication::processEvents();
        const QImage shot = form->grab().toImage();
        const QRect box = form->ConfigGroupBox->geometry();
        const QColor shadow(0x80, 0x80, 0x80);
        const QColor inside = shot.pixelColor(box.left() + 7, box.center().y());
        EXPECT_GT(inside.lightness(), 200) << form->objectName().toStdString() << " shows its shadow inside";
        EXPECT_EQ(shot.pixelColor(box.right() + 3, box.center().y()), shadow);
        form->hide();
    }
}

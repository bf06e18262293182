// Sending the picture: by the user's mail program or an SMTP server, with
// one picture or several chosen files as attachments, and handing it to an
// outside editor, the desktop background or the word processor.
#include "MainForm.h"

#include "CaptureControl.h"
#include "DLLImport.h"
#include "Globals.h"
#include "ImageControl.h"
#include "MailAttachments.h"
#include "MultiLanguage.h"
#include "MailProgram.h"
#include "PictureFiles.h"
#include "Progress.h"
#include "ProgramDir.h"
#include "SendForms.h"
#include "SmtpMail.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace zk {

namespace {

// The mail program asks for the recipient when none is set.
const QString kDefaultRecipient;
const QString kDefaultSubject = QStringLiteral("Zelkora 5.0 - Screenshot");
const QString kDefaultBody = QStringLiteral("Guten Tag,");

void sendMessage(TMainForm &form, const char *key, const QString &fallback, const QString &detail = {},
                 QMessageBox::Icon icon = QMessageBox::Warning)
{
    QString text = form.Text(QString::fromLatin1(key), fallback);
    if (!detail.isEmpty())
        text += QLatin1Char(' ') + detail;
    QMessageBox box(icon, form.windowTitle(), text, QMessageBox::Ok, &form);
    box.setObjectName(QString::fromLatin1(key));
    TOpenDialogScope scope(box.windowTitle());
    box.exec();
}

void mailNotSent(TMainForm &form, const QString &detail)
{
    sendMessage(form, "showmsg_mail_not_send", QStringLiteral("Die Mail konnte nicht gesendet werden:"), detail);
}

// The picture as a bitmap, whatever class holds it.
std::optional<TBitmap> pictureBitmap(const TMainForm &form)
{
    const TGraphic *g = form.ScanImage->Picture().Graphic();
    if (!g || form.ScanImage->Picture().Empty())
        return std::nullopt;
    if (const auto *bmp = dynamic_cast<const TBitmap *>(g))
        return *bmp;
    return TBitmap::FromImage(g->ToImage());
}

// A folder only this user can enter, for files handed to other programs
// (a fixed name in the shared temporary folder could be planted by others).
QString privateTempDir(QString *error)
{
    const QString dir = QDir::tempPath() + QStringLiteral("/zelkora-") + QString::number(getuid());
    const QByteArray path = QFile::encodeName(dir);
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        *error = dir + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
        return QString();
    }
    struct stat st{};
    if (lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()
        || (st.st_mode & 077) != 0) {
        *error = dir;
        return QString();
    }
    return dir + QLatin1Char('/');
}

} // namespace

void TMainForm::SetupSending()
{
    ZKMailNMSMTP = std::make_unique<TSmtpSender>();
    MailProgram = std::make_unique<TMailProgram>();
    connect(ZKMailNMSMTP.get(), &TSmtpSender::PacketSent, this,
            [this](qint64 sent, qint64 total) { ZKMailNMSMTPPacketSent(sent, total); });
    connect(ZKMailNMSMTP.get(), &TSmtpSender::Finished, this, [this](bool ok, const QString &error) {
        if (SmtpProgress)
            SmtpProgress->deleteLater();
        for (const char *name : {"SendMenuItem", "MoreAttachMenuItem", "StdSendToolButton", "MultiSendToolButton"})
            if (QAction *a = Item(QString::fromLatin1(name)))
                a->setEnabled(true);
        if (ok)
            sendMessage(*this, "showmsg_mail_send", QStringLiteral("Die Mail wurde gesendet."), {},
                        QMessageBox::Information);
        else
            mailNotSent(*this, error);
    });
    connect(MailProgram.get(), &TMailProgram::Finished, this, [this](int code, const QString &detail) {
        if (code == kNoMailProgramExit) {
            QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                            QStringLiteral("Fehler, während des Versuchs die Mail zu senden!"), QMessageBox::Ok, this);
            box.setObjectName(QStringLiteral("MapiLogonError"));
            box.exec();
        } else if (code != 0) {
            mailNotSent(*this, detail.isEmpty() ? QStringLiteral("xdg-email (%1)").arg(code) : detail);
        }
        if (SendHooks.AttachEntryCurrent && SendHooks.AttachEntryCurrent() && SendHooks.RefreshAttachTree)
            SendHooks.RefreshAttachTree();
    });

    // The e-mail and desktop-background items stand in the file menu after
    // the mail settings.
    QMenu *datei = SubMenu(QStringLiteral("DateiMenuItem"));
    QAction *settings = Item(QStringLiteral("EMailSetMenuItem"));
    const QList<QAction *> items = datei->actions();
    const qsizetype at = items.indexOf(settings);
    QAction *before = at >= 0 && at + 1 < items.size() ? items[at + 1] : nullptr;
    const auto subMenu = [&](const char *name, const QString &caption) {
        auto *menu = new QMenu(caption, datei);
        datei->insertMenu(before, menu);
        RegisterItem(menu->menuAction(), name);
        m_subMenus.insert(QString::fromLatin1(name), menu);
        return menu;
    };
    QMenu *mail = subMenu("EMailMenuItem", QStringLiteral("E-&Mail"));
    AddItem(mail, "SendMenuItem", QStringLiteral("Standard &senden..."));
    AddItem(mail, "MoreAttachMenuItem", QStringLiteral("Mehrere Anhänge..."));
    connect(mail, &QMenu::aboutToShow, this, [this] { EMailMenuItemClick(); });
    QMenu *backgr = subMenu("DTBackgrMenuItem", QStringLiteral("Desktop-&Hintergrund"));
    AddItem(backgr, "DTBackgrTileMenuItem", QStringLiteral("&Gekachelt"))->setProperty("Tag", 0);
    AddItem(backgr, "DTBackgrCenterMenuItem", QStringLiteral("&Zentrieren"))->setProperty("Tag", 1);

    const auto wire = [this](const char *name, auto handler) {
        if (QAction *a = Item(QString::fromLatin1(name))) {
            connect(a, &QAction::triggered, this, [this, a, handler] { handler(a); });
            a->setEnabled(true);
        }
    };
    wire("SendMenuItem", [this](QAction *) { SendMenuItemClick(); });
    wire("StdSendToolButton", [this](QAction *) { SendMenuItemClick(); });
    wire("MoreAttachMenuItem", [this](QAction *) { MoreAttachMenuItemClick(); });
    wire("MultiSendToolButton", [this](QAction *) { MoreAttachMenuItemClick(); });
    wire("DTBackgrTileMenuItem", [this](QAction *a) { DTBackgrMenuItemClick(a); });
    wire("DTBackgrCenterMenuItem", [this](QAction *a) { DTBackgrMenuItemClick(a); });
    wire("WordToolButton", [this](QAction *) { WordClick(); });
    for (const char *name : {"ExtGraphMenuItem", "ExtGraphToolButton", "ExtGraphHKMenuItem", "ExtGraphHKToolButton"})
        if (QAction *a = Item(QString::fromLatin1(name)))
            a->setCheckable(true);
    wire("ExtGraphMenuItem", [this](QAction *a) { ExtGraphMenuItemClick(a); });
    wire("ExtGraphToolButton", [this](QAction *a) { ExtGraphMenuItemClick(a); });
    wire("ExtGraphHKMenuItem", [this](QAction *a) { ExtGraphHKMenuItemClick(a); });
    wire("ExtGraphHKToolButton", [this](QAction *a) { ExtGraphHKMenuItemClick(a); });
    CaptureHooks.StartExtGraphEditor = [this] { StartExtGraphEditor(); };
    // The new items get their texts in the language already chosen (a hint
    // "short|long" is tool tip and status text, as the language switch does).
    for (const char *name : {"EMailMenuItem", "SendMenuItem", "MoreAttachMenuItem", "DTBackgrMenuItem",
                             "DTBackgrTileMenuItem", "DTBackgrCenterMenuItem"}) {
        QAction *a = Item(QString::fromLatin1(name));
        const QString caption = ZKMultiLanguage->GetText(QString::fromLatin1(name) + QStringLiteral(".Caption"));
        const QString hint = ZKMultiLanguage->GetText(QString::fromLatin1(name) + QStringLiteral(".Hint"));
        if (!caption.isEmpty())
            a->setText(caption);
        if (!hint.isEmpty()) {
            a->setToolTip(hint.section(QLatin1Char('|'), 0, 0));
            a->setStatusTip(hint.section(QLatin1Char('|'), -1));
        }
    }
}

void TMainForm::EMailMenuItemClick()
{
    if (QAction *more = Item(QStringLiteral("MoreAttachMenuItem")))
        more->setEnabled(Options.MailService != 2 && !ZKMailNMSMTP->Running());
}

// ---------------------------------------------------------------------------
// Attachments

QString TMainForm::ReadAttachEntry() const
{
    return ::zk::ReadAttachEntry(ProgramDir() + QStringLiteral("ZK5.ini"));
}

int TMainForm::NextAttachFileNo(int kind) const
{
    return ::zk::NextAttachFileNo(AttachPlace(true, ReadAttachEntry(), ProgramDir()).Folder, kind);
}

QString TMainForm::MakeAttachFile()
{
    const std::optional<TBitmap> bmp = pictureBitmap(*this);
    if (!bmp) {
        sendMessage(*this, "showmsg_no_img_load_no_send",
                    QStringLiteral("Es ist keine Grafik geladen, es kann nichts gesendet werden."));
        return QString();
    }
    const int kind = Options.AttachType == 1 ? 1 : 0;
    const TAttachPlace place = AttachPlace(Options.AttachDir, ReadAttachEntry(), ProgramDir());
    const QString file = AttachFileName(place, kind);
    try {
        const QByteArray data = EncodePicture(*bmp, kind == 1 ? ptJpg : ptBmp, Options, TSaveOrigin::SaveDialog);
        // A numbered name is new; the unnumbered one is replaced each time.
        if (place.Numbered ? !WriteFileNew(file, data) : (WriteFileReplacing(file, data), false))
            throw std::runtime_error(file.toStdString());
    } catch (const std::exception &e) {
        mailNotSent(*this, QString::fromUtf8(e.what()));
        return QString();
    }
    return file;
}

QString TMainForm::BuildAttachFile(const QString &file)
{
    const QString archive = SingleArchiveName(file);
    QString error;
    if (!ZipFiles(ProgramDir(), archive, {file}, [] { return ProceedFiles(8, 0, 0); }, &error)) {
        mailNotSent(*this, error);
        return QString();
    }
    return archive;
}

QString TMainForm::BuildAttachArchive(const QStringList &files)
{
    const QString archive = ArchiveName(AttachPlace(Options.AttachDir, ReadAttachEntry(), ProgramDir()));
    QString error;
    if (!ZipFiles(ProgramDir(), archive, files, [] { return ProceedFiles(8, 0, 0); }, &error)) {
        mailNotSent(*this, error);
        return QString();
    }
    return archive;
}

QStringList TMainForm::CopyAttachments(const QStringList &files)
{
    QString error;
    const QStringList copies =
        ::zk::CopyAttachments(files, AttachPlace(Options.AttachDir, ReadAttachEntry(), ProgramDir()).Folder, &error);
    if (copies.isEmpty() && !files.isEmpty())
        mailNotSent(*this, error);
    return copies;
}

// ---------------------------------------------------------------------------
// The two commands

QStringList TMainForm::SetDefaultMailFields() const
{
    const QString to = Options.Mapi.MailTo.trimmed().isEmpty() ? kDefaultRecipient : Options.Mapi.MailTo;
    const QString subject = Options.Mapi.Subject.isEmpty() ? kDefaultSubject : Options.Mapi.Subject;
    const QString body = Options.Mapi.Body.isEmpty() ? kDefaultBody : Options.Mapi.Body;
    return MailDescription(to, subject, body, {});
}

void TMainForm::SendMapiMail(const QStringList &description)
{
    const QStringList args = XdgEmailArguments(MailDescriptionValue(description, QStringLiteral("to")),
                                               MailDescriptionValue(description, QStringLiteral("subject")),
                                               MailDescriptionValue(description, QStringLiteral("body")),
                                               MailDescriptionAttachments(description));
    MailProgram->Start(args);
}

TSmtpMessage TMainForm::PrepareSmtpSend()
{
    if (!SmtpProgress)
        SmtpProgress = new TProgressForm(this);
    TSmtpMessage m;
    m.Host = Options.Smtp.Host.trimmed();
    m.Port = SmtpPort;
    m.ClientName = Options.Smtp.UserID.trimmed();
    m.From = Options.Smtp.MailFrom.trimmed();
    m.To = SplitMailAddresses(Options.Smtp.MailTo);
    m.Cc = SplitMailAddresses(Options.Smtp.Copy);
    m.Bcc = SplitMailAddresses(Options.Smtp.BlindCopy);
    m.Body = Options.Smtp.Body;
    m.Subject = Options.Smtp.Subject;
    return m;
}

void TMainForm::ZKMailNMSMTPPacketSent(qint64 sent, qint64 total)
{
    if (!SmtpProgress || total <= 0)
        return;
    if (!SmtpProgress->isVisible()) {
        SmtpProgress->SetMax(100);
        SmtpProgress->show();
    }
    // The bar moves in whole per cent; it closes itself at the end.
    const qint64 percent = qMin<qint64>(100, sent * 100 / total);
    const qint64 step = percent - SmtpProgress->Position();
    if (step > 0)
        SmtpProgress->SetPosition(std::uint8_t(step));
}

namespace {

// Starts the SMTP send of the prepared message; false after a message.
bool startSmtp(TMainForm &form, TSmtpMessage message)
{
    if (!form.ZKMailNMSMTP->Start(message)) {
        if (form.SmtpProgress)
            form.SmtpProgress->deleteLater();
        mailNotSent(form, form.ZKMailNMSMTP->Error());
        return false;
    }
    for (const char *name : {"SendMenuItem", "MoreAttachMenuItem", "StdSendToolButton", "MultiSendToolButton"})
        if (QAction *a = form.Item(QString::fromLatin1(name)))
            a->setEnabled(false);
    return true;
}

// The mail with its attachments by the route the options choose.
void sendMail(TMainForm &form, const QStringList &attachments)
{
    if (form.Options.MailService == 0) {
        QStringList d = form.SetDefaultMailFields();
        for (int i = 0; i < attachments.size(); ++i)
            d << QStringLiteral("attachment%1=%2").arg(i).arg(attachments[i]);
        form.SendMapiMail(d);
        return;
    }
    TSmtpMessage m = form.PrepareSmtpSend();
    m.Attachments = attachments;
    startSmtp(form, m);
}

} // namespace

void TMainForm::SendMenuItemClick()
{
    if (ZKMailNMSMTP->Running())
        return;
    if (Options.GraphicAsAttach && ScanImage->Picture().Empty() && Options.MailService != 2) {
        sendMessage(*this, "showmsg_no_img_load_no_send",
                    QStringLiteral("Es ist keine Grafik geladen, es kann nichts gesendet werden."));
        return;
    }
    if (Options.MailService == 2) {
        QDesktopServices::openUrl(MailtoUrl(kDefaultRecipient, kDefaultSubject, kDefaultBody));
        return;
    }
    QStringList attachments;
    if (Options.GraphicAsAttach) {
        QString file = MakeAttachFile();
        if (file.isEmpty())
            return;
        if (Options.AttachZipped) {
            file = BuildAttachFile(file);
            if (file.isEmpty())
                return;
        }
        attachments << file;
    }
    sendMail(*this, attachments);
}

void TMainForm::MoreAttachMenuItemClick()
{
    if (ZKMailNMSMTP->Running() || Options.MailService == 2)
        return;
    QStringList files;
    {
        TAttachBMForm form(this);
        form.SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
        if (FormLookHook)
            FormLookHook(&form, Options.XPContrStyle);
        TOpenDialogScope scope(form.windowTitle());
        if (form.exec() != QDialog::Accepted)
            return;
        files = form.Files();
    }
    QStringList attachments;
    if (Options.GraphicAsAttach && !files.isEmpty()) {
        if (Options.AttachZipped) {
            const QString archive = BuildAttachArchive(files);
            if (archive.isEmpty())
                return;
            attachments << archive;
        } else {
            attachments = CopyAttachments(files);
            if (attachments.isEmpty())
                return;
        }
    }
    sendMail(*this, attachments);
}

// ---------------------------------------------------------------------------
// Hand-offs

void TMainForm::StartExtGraphEditor()
{
    const std::optional<TBitmap> bmp = pictureBitmap(*this);
    if (!bmp || Options.ExtGrEdtPath.isEmpty())
        return;
    QString error;
    const QString dir = privateTempDir(&error);
    const QString file = dir + QStringLiteral("ZK_TmpPic.bmp");
    try {
        if (dir.isEmpty())
            throw std::runtime_error(error.toStdString());
        WriteFileReplacing(file, EncodePicture(*bmp, ptBmp, Options, TSaveOrigin::SaveDialog));
    } catch (const std::exception &e) {
        sendMessage(*this, "showmsg_ext_editor_no_start", QStringLiteral("Der externe Editor kann nicht starten:"),
                    QString::fromUtf8(e.what()));
        return;
    }
    if (!QProcess::startDetached(Options.ExtGrEdtPath, {file}))
        sendMessage(*this, "showmsg_ext_editor_no_start", QStringLiteral("Der externe Editor kann nicht starten:"),
                    Options.ExtGrEdtPath);
}

namespace {

void editorSwitch(TMainForm &form, QAction *sender, bool &option, const char *item, const char *button)
{
    const bool editorThere = !form.Options.ExtGrEdtPath.isEmpty() && QFileInfo(form.Options.ExtGrEdtPath).isFile();
    if (!sender->isChecked()) {
        option = false;
    } else if (editorThere) {
        option = true;
    } else if (form.CaptureHooks.OpenOptionsDialog) {
        form.CaptureHooks.OpenOptionsDialog(sender);
    }
    const bool on = !form.Options.ExtGrEdtPath.isEmpty() && QFileInfo(form.Options.ExtGrEdtPath).isFile() && option;
    option = on;
    for (const char *name : {item, button})
        if (QAction *a = form.Item(QString::fromLatin1(name)))
            a->setChecked(on);
}

} // namespace

void TMainForm::ExtGraphMenuItemClick(QAction *Sender)
{
    editorSwitch(*this, Sender, Options.ExtGrafikEditor, "ExtGraphMenuItem", "ExtGraphToolButton");
}

void TMainForm::ExtGraphHKMenuItemClick(QAction *Sender)
{
    editorSwitch(*this, Sender, Options.HotkeyOutputExtern, "ExtGraphHKMenuItem", "ExtGraphHKToolButton");
}

void TMainForm::DTBackgrMenuItemClick(QAction *Sender)
{
    const std::optional<TBitmap> bmp = pictureBitmap(*this);
    if (!bmp)
        return;
    const bool tile = Sender && Sender->property("Tag").toInt() == 0;
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Zelkora/");
    const QString file = dir + QStringLiteral("Zelkora_Backgr.bmp");
    QString error;
    try {
        if (!QDir().mkpath(dir))
            throw std::runtime_error(dir.toStdString());
        WriteFileReplacing(file, EncodePicture(*bmp, ptBmp, Options, TSaveOrigin::SaveDialog));
        if (!SetWallpaper(file, tile, &error))
            throw std::runtime_error(error.toStdString());
    } catch (const std::exception &e) {
        sendMessage(*this, "showmsg_wallpaper_not_set",
                    QStringLiteral("Der Desktop-Hintergrund konnte nicht gesetzt werden:"), QString::fromUtf8(e.what()));
    }
}

void TMainForm::WordClick()
{
    QString program = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    if (program.isEmpty() || !QProcess::startDetached(program, {QStringLiteral("--writer")})) {
        sendMessage(*this, "showmsg_word_no_starts", QStringLiteral("Word kann nicht gestartet werden!"));
        return;
    }
}

} // namespace zk

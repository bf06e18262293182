#include "FileInfDlgForm.h"

#include "Globals.h"
#include "LeBytes.h"
#include "MultiLanguage.h"
#include "SmallControls.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace zk {

QString FileSizeText(qint64 size, const QLocale &locale)
{
    double value = double(size);
    QString unit = QStringLiteral(" Byte");
    if (size >= 1048576) {
        value = double(size) / 1048576.0;
        unit = QStringLiteral(" MB");
    } else if (size > 0) {
        value = double(size) / 1024.0;
        unit = QStringLiteral(" KB");
    }
    QString number = QString::asprintf("%3.2f", value);
    number.replace(QLatin1Char('.'), locale.decimalPoint());
    return number + unit;
}

namespace {
// The first character of a format that is no field letter, or the fallback.
QString separatorOf(const QString &format, const QString &fallback)
{
    for (const QChar c : format)
        if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('\''))
            return QString(c);
    return fallback;
}
} // namespace

QString FileDateText(const QDateTime &time, const QLocale &locale)
{
    const QString ds = separatorOf(locale.dateFormat(QLocale::ShortFormat), QStringLiteral("/"));
    const QString ts = separatorOf(locale.timeFormat(QLocale::ShortFormat), QStringLiteral(":"));
    const QDate d = time.date();
    const QTime t = time.time();
    return QStringLiteral("%1%2%3%2%4 %5%6%7")
        .arg(d.day())
        .arg(ds)
        .arg(d.month())
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(t.hour())
        .arg(ts)
        .arg(t.minute(), 2, 10, QLatin1Char('0'));
}

std::optional<TBitmapHeaderValues> ReadBitmapHeaders(const QString &fileName, TBitmapHeaderFault *fault,
                                                     QString *reason)
{
    const auto fail = [&](TBitmapHeaderFault f) -> std::optional<TBitmapHeaderValues> {
        *fault = f;
        return std::nullopt;
    };
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (reason)
            *reason = file.errorString();
        return fail(TBitmapHeaderFault::Unreadable);
    }
    const QByteArray head = file.read(14 + 40);
    if (head.size() < 18)
        return fail(TBitmapHeaderFault::Unreadable);
    const auto *p = reinterpret_cast<const unsigned char *>(head.constData());
    if (p[0] != 'B' || p[1] != 'M')
        return fail(TBitmapHeaderFault::NoBmMark);
    if (rdU32(p + 14) < 40)
        return fail(TBitmapHeaderFault::SmallInfoHeader);
    if (head.size() < 54)
        return fail(TBitmapHeaderFault::Unreadable);
    TBitmapHeaderValues v;
    v.FileSize = rdU32(p + 2);
    v.Width = rdI32(p + 18);
    v.Height = rdI32(p + 22);
    v.BitCount = rdU16(p + 28);
    v.ColorsUsed = rdU32(p + 46);
    *fault = TBitmapHeaderFault::None;
    return v;
}

TFileInfDlgBMForm::TFileInfDlgBMForm(QWidget *opener) : TBaseModalForm(opener)
{
    setObjectName(QStringLiteral("FileInfDlgBMForm"));
    setWindowTitle(QStringLiteral("Datei-Informationen"));
    FileInfDlgMultiLanguage = new TMultiLanguage(this);
    FileInfDlgMultiLanguage->setObjectName(QStringLiteral("FileInfDlgMultiLanguage"));

    auto *outer = new QVBoxLayout(this);
    outer->setSpacing(10);

    BaseGroupBox = new QGroupBox(QStringLiteral("Basisdaten"), this);
    BaseGroupBox->setObjectName(QStringLiteral("BaseGroupBox"));
    BaseGroupBox->setAutoFillBackground(true); // covers the shadow drawn behind it
    auto *form = new QFormLayout(BaseGroupBox);
    const auto field = [&](TAlignEdit *&edit, const char *name, const char *labelName, const QString &caption) {
        edit = new TAlignEdit(BaseGroupBox);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setReadOnly(true);
        edit->setMinimumWidth(280);
        auto *label = new QLabel(caption, BaseGroupBox);
        label->setObjectName(QString::fromLatin1(labelName));
        label->setBuddy(edit);
        form->addRow(label, edit);
    };
    field(PathEdit, "PathEdit", "FIDFPathLabel", QStringLiteral("&Verzeichnis:"));
    field(NameEdit, "NameEdit", "FIDFNameLabel", QStringLiteral("&Name:"));
    field(DimAlignEdit, "DimAlignEdit", "FIDFDimLabel", QStringLiteral("&Grösse:"));
    field(DateAlignEdit, "DateAlignEdit", "FIDFDateLabel", QStringLiteral("&Erstelldatum und Zeit:"));
    field(FTypAlignEdit, "FTypAlignEdit", "FIDFFTypLabel", QStringLiteral("&Typ:"));
    FIDFBmpHeadButton = new QPushButton(QStringLiteral("&Header..."), BaseGroupBox);
    FIDFBmpHeadButton->setObjectName(QStringLiteral("FIDFBmpHeadButton"));
    form->addRow(QString(), FIDFBmpHeadButton);
    outer->addWidget(BaseGroupBox);

    AttrGroupBox = new QGroupBox(QStringLiteral("&Datei-Attribute"), this);
    AttrGroupBox->setObjectName(QStringLiteral("AttrGroupBox"));
    AttrGroupBox->setAutoFillBackground(true);
    auto *grid = new QGridLayout(AttrGroupBox);
    const auto check = [&](QCheckBox *&box, const char *name, const QString &caption, int row, int col) {
        box = new QCheckBox(caption, AttrGroupBox);
        box->setObjectName(QString::fromLatin1(name));
        // The boxes report; they change nothing on the disk.
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        box->setFocusPolicy(Qt::NoFocus);
        grid->addWidget(box, row, col);
    };
    check(FIDFReadOnlyCheckBox, "FIDFReadOnlyCheckBox", QStringLiteral("Schreibgeschützt"), 0, 0);
    check(FIDFArchivCheckBox, "FIDFArchivCheckBox", QStringLiteral("Archiv"), 0, 1);
    check(FIDFHiddenCheckBox, "FIDFHiddenCheckBox", QStringLiteral("Versteckt"), 1, 0);
    check(FIDFDirCheckBox, "FIDFDirCheckBox", QStringLiteral("Verzeichnis"), 1, 1);
    check(FIDFSysCheckBox, "FIDFSysCheckBox", QStringLiteral("System"), 2, 0);
    // Linux files carry no system or archive mark.
    FIDFArchivCheckBox->setEnabled(false);
    FIDFSysCheckBox->setEnabled(false);
    outer->addWidget(AttrGroupBox);

    auto *buttons = new QHBoxLayout;
    FIDFInfoBmpButton = new QPushButton(QStringLiteral("Hinweis zu |bmp|-Dateien..."), this);
    FIDFInfoBmpButton->setObjectName(QStringLiteral("FIDFInfoBmpButton"));
    FIDFInfoBmpButton->setVisible(false);
    buttons->addWidget(FIDFInfoBmpButton);
    buttons->addStretch();
    FIDFOkButton = new QPushButton(QStringLiteral("&OK"), this);
    FIDFOkButton->setObjectName(QStringLiteral("FIDFOkButton"));
    FIDFOkButton->setDefault(true);
    buttons->addWidget(FIDFOkButton);
    outer->addLayout(buttons);

    connect(FIDFOkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(FIDFBmpHeadButton, &QPushButton::clicked, this, &TFileInfDlgBMForm::FIDFBmpHeadButtonClick);
    connect(FIDFInfoBmpButton, &QPushButton::clicked, this, &TFileInfDlgBMForm::FIDFInfoBmpButtonClick);
}

TFileInfDlgBMForm::~TFileInfDlgBMForm() = default;

QString TFileInfDlgBMForm::text(const char *key, const QString &fallback) const
{
    const QString t = FileInfDlgMultiLanguage->GetText(QString::fromLatin1(key));
    return t.isEmpty() ? fallback : t;
}

void TFileInfDlgBMForm::FillFile(const QString &Name)
{
    FileName = Name;
    const QFileInfo info(Name);
    if (Name.isEmpty() || !info.exists())
        return; // the fields stay empty; the dialog still shows
    QString folder = QDir::toNativeSeparators(info.absolutePath());
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    PathEdit->setText(folder);
    if (info.suffix().toLower() != QLatin1String("bmp"))
        FIDFBmpHeadButton->setEnabled(false);
    // The name loses its last four characters, a three-letter extension or not.
    NameEdit->setText(info.fileName().chopped(qMin<qsizetype>(4, info.fileName().size())));
    DimAlignEdit->setText(FileSizeText(info.size(), QLocale()));
    DateAlignEdit->setText(FileDateText(info.lastModified(), QLocale()));
    FTypAlignEdit->setText(info.suffix());
    FIDFReadOnlyCheckBox->setChecked(!info.isWritable());
    FIDFHiddenCheckBox->setChecked(info.fileName().startsWith(QLatin1Char('.')));
    FIDFDirCheckBox->setChecked(info.isDir());
    FIDFSysCheckBox->setChecked(false);
    FIDFArchivCheckBox->setChecked(false);
}

void TFileInfDlgBMForm::SetFile(const QString &Name)
{
    FillFile(Name);
    exec();
}

void TFileInfDlgBMForm::FormShow()
{
    const QString hint = text("Set_FileInfDlgForm_Hint", QString());
    setToolTip(hint);
    setStatusTip(hint);
}

void TFileInfDlgBMForm::showEvent(QShowEvent *event)
{
    TBaseModalForm::showEvent(event);
    FormShow();
}

QString TFileInfDlgBMForm::BitmapHeaderMessage() const
{
    TBitmapHeaderFault fault = TBitmapHeaderFault::None;
    QString reason;
    const auto v = ReadBitmapHeaders(FileName, &fault, &reason);
    if (!v) {
        switch (fault) {
        case TBitmapHeaderFault::NoBmMark:
            reason = text("fileinf_no_bm_mark", QStringLiteral("Die Datei beginnt nicht mit \"BM\"."));
            break;
        case TBitmapHeaderFault::SmallInfoHeader:
            reason = text("fileinf_small_info_header",
                          QStringLiteral("Der Informations-Header ist kürzer als 40 Byte."));
            break;
        default:
            if (reason.isEmpty())
                reason = text("fileinf_header_short", QStringLiteral("Die Header sind unvollständig."));
            break;
        }
        return text("fileinf_bad_header", QStringLiteral("Inkompatible Header-Daten (ungültige Bitmap):")) +
               QLatin1Char(' ') + reason;
    }
    const QString crlf = QStringLiteral("\r\n");
    const auto line = [this](const char *key, const QString &label, const QString &gap, qint64 value) {
        return text(key, label) + gap + QString::number(value);
    };
    const QString tab = QStringLiteral("\t"), blank = QStringLiteral(" ");
    return line("fileinf_head_size", QStringLiteral("Grösse:"), tab, v->FileSize) + crlf +
           line("fileinf_head_width", QStringLiteral("Breite:"), blank, v->Width) + crlf +
           line("fileinf_head_height", QStringLiteral("Höhe:"), blank, v->Height) + crlf +
           line("fileinf_head_depth", QStringLiteral("F-Tiefe:"), blank, v->BitCount) + crlf +
           line("fileinf_head_colors", QStringLiteral("F-Anzahl:"), tab, v->ColorsUsed);
}

void TFileInfDlgBMForm::FIDFBmpHeadButtonClick()
{
    QMessageBox box(QMessageBox::Information, windowTitle(), BitmapHeaderMessage(), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("BmpHeadBox"));
    box.exec();
}

void TFileInfDlgBMForm::FIDFInfoBmpButtonClick()
{
    QMessageBox box(
        QMessageBox::Information, windowTitle(),
        text("fileinf_bmp_note",
             QStringLiteral("Ein Eintrag \"|bmp|\" oder \"|bmp| - jpg\" in der Statuszeile steht nur für eine "
                            "vorläufige Bitmap-Ansicht im Programm. Dieser Dialog zeigt die Daten der Datei auf "
                            "der Festplatte. Mit einem Klick auf \"|bmp|\" oder mit \"Speichern unter...\" wird "
                            "die Bitmap dauerhaft gespeichert. Die Kombination entsteht, wenn Dateien als Bitmap "
                            "geöffnet werden; so lässt sich die Ansicht als Bitmap bearbeiten.")),
        QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("BmpNoteBox"));
    box.exec();
}

void TFileInfDlgBMForm::paintEvent(QPaintEvent *event)
{
    TBaseModalForm::paintEvent(event);
    QPainter p(this);
    for (QWidget *child : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (!qobject_cast<QPushButton *>(child))
            PaintShadow(p, child, 4, TColor(0x808080));
}

} // namespace zk

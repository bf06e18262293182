#pragma once
// The file-properties dialog: folder, name, size, date, type and attributes
// of a file, and for bitmaps the values of their headers.
#include "BaseModal.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace zk {

class TAlignEdit;
class TMultiLanguage;

// The size as the dialog shows it: "%3.2f" with the locale's decimal
// separator, then " MB" from 1048576 bytes, " KB" above 0 bytes, else " Byte".
QString FileSizeText(qint64 size, const QLocale &locale);
// "d/m/yyyy h:nn" with the separators of the locale's short date and time.
QString FileDateText(const QDateTime &time, const QLocale &locale);

// The values of a bitmap's file and information headers.
struct TBitmapHeaderValues {
    quint32 FileSize = 0;
    qint32 Width = 0, Height = 0;
    quint16 BitCount = 0;
    quint32 ColorsUsed = 0;
};
enum class TBitmapHeaderFault { None, Unreadable, NoBmMark, SmallInfoHeader };
// Reads the 14-byte file header and the 40-byte information header; anything
// but "BM" followed by an information header of at least 40 bytes is refused
// (an OS/2 bitmap's 12-byte header among them). `reason` gets the read error.
std::optional<TBitmapHeaderValues> ReadBitmapHeaders(const QString &fileName, TBitmapHeaderFault *fault,
                                                     QString *reason = nullptr);

class TFileInfDlgBMForm : public TBaseModalForm
{
    Q_OBJECT

public:
    explicit TFileInfDlgBMForm(QWidget *opener = nullptr);
    ~TFileInfDlgBMForm() override;

    QPushButton *FIDFOkButton = nullptr;
    QGroupBox *AttrGroupBox = nullptr;
    QCheckBox *FIDFReadOnlyCheckBox = nullptr;
    QCheckBox *FIDFArchivCheckBox = nullptr;
    QCheckBox *FIDFHiddenCheckBox = nullptr;
    QCheckBox *FIDFDirCheckBox = nullptr;
    QCheckBox *FIDFSysCheckBox = nullptr;
    QGroupBox *BaseGroupBox = nullptr;
    TAlignEdit *PathEdit = nullptr;
    TAlignEdit *NameEdit = nullptr;
    TAlignEdit *DimAlignEdit = nullptr;
    TAlignEdit *DateAlignEdit = nullptr;
    TAlignEdit *FTypAlignEdit = nullptr;
    QPushButton *FIDFBmpHeadButton = nullptr;
    QPushButton *FIDFInfoBmpButton = nullptr;
    TMultiLanguage *FileInfDlgMultiLanguage = nullptr;
    QString FileName;

    // Fills the dialog for the file, shows it modally.
    void SetFile(const QString &Name);
    // The filling part of SetFile.
    void FillFile(const QString &Name);
    void FormShow();
    // The header lines (or the refusal) as the header button shows them.
    QString BitmapHeaderMessage() const;
    void FIDFBmpHeadButtonClick();
    void FIDFInfoBmpButtonClick();

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString text(const char *key, const QString &fallback) const;
};

} // namespace zk

#pragma once
// The parameter dialogs of the picture edit commands. Each is built in code;
// every control carries its name as objectName so the language file can
// address it. Results are read from the controls when the dialog is
// confirmed, never from the labels that echo them.
#include "BaseModal.h"
#include "Colors.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QSize>
#include <QWidget>

#include <algorithm>

class QCheckBox;
class QColorDialog;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QToolButton;

namespace zk {

class THistoryCombo;
class TMultiLanguage;

// An up-down control tied to an edit: the arrows (and the Up/Down keys in the
// edit) step the number, the edit takes digits only, and Position() reads
// the edit, limited to Min..Max, so a number typed and never stepped counts.
class TEditUpDown : public QWidget
{
    Q_OBJECT

public:
    explicit TEditUpDown(QWidget *parent = nullptr);

    void Associate(QLineEdit *edit);
    QLineEdit *AssociatedEdit() const { return m_edit; }

    int Min() const { return m_min; }
    int Max() const { return m_max; }
    void SetRange(int min, int max);
    int Position() const;
    void SetPosition(int position);
    // One arrow step moves the position by Increment (1 unless set).
    void StepBy(int steps);
    int Increment() const { return m_increment; }
    void SetIncrement(int increment) { m_increment = std::max(1, increment); }

    QToolButton *UpButton() const { return m_up; }
    QToolButton *DownButton() const { return m_down; }

signals:
    void Changed(int position);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void WriteEdit();

    QLineEdit *m_edit = nullptr;
    QToolButton *m_up = nullptr;
    QToolButton *m_down = nullptr;
    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
    int m_increment = 1;
};

// An up-down named `name` beside `edit`, limited to min..max, at `position`.
TEditUpDown *AttachUpDown(QLineEdit *edit, const char *name, int min, int max, int position);

// A grid of the 16 basic colours; a left click chooses the foreground colour.
class TEditColorGrid : public QWidget
{
    Q_OBJECT

public:
    explicit TEditColorGrid(QWidget *parent = nullptr);

    static const QList<TColor> &GridColors();
    TColor ForegroundColor() const { return GridColors().at(m_foreground); }
    int ForegroundIndex() const { return m_foreground; }
    void SetForegroundIndex(int index);
    // The cell of a colour index in widget coordinates (for tests and painting).
    QRect CellRect(int index) const;

    QSize sizeHint() const override;
    // The whole grid: a smaller cell would hide colours.
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void Clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    int m_foreground = 0;
};

// Shared by the dialogs: OK and cancel buttons, the language component and
// text lookups with a German fallback.
class TEditDialogBase : public TBaseModalForm
{
    Q_OBJECT

public:
    TEditDialogBase(QWidget *owner, const QString &prefix);

    QPushButton *OkButton() const { return m_ok; }
    QPushButton *CancelButton() const { return m_cancel; }
    TMultiLanguage *Language() const { return m_language; }
    QString Text(const QString &key, const QString &fallback) const;

protected:
    // Called by the OK button; accept() unless a check refuses.
    virtual void OkClick();
    QWidget *ButtonRow();

private:
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    TMultiLanguage *m_language = nullptr;
};

// Persistent scaling: a slider from -4 (one fifth) to 4 (five times).
class TScaleBMForm : public TEditDialogBase
{
    Q_OBJECT

public:
    explicit TScaleBMForm(QWidget *owner = nullptr);

    QSlider *ScaleTrackBar = nullptr;
    QToolButton *SubSpeedButton = nullptr;
    QToolButton *AddSpeedButton = nullptr;
    QLabel *SFActionStaticText = nullptr;

    int ScaleFactor = 0;

    void ScaleTrackBarChange(int position);
    void SetLanguage(const QStringList &Script, int LanguageIndex) override;

protected:
    void OkClick() override;
};

// Temporary (view) scaling; German only, as it has no language method.
class TGraphDimBMForm : public TEditDialogBase
{
    Q_OBJECT

public:
    explicit TGraphDimBMForm(QWidget *owner = nullptr);

    QRadioButton *GDFPixRadioButton = nullptr;
    QRadioButton *GDFProzRadioButton = nullptr;
    QWidget *GDFPixPanel = nullptr;
    QWidget *GDFProzPanel = nullptr;
    QLineEdit *PixWidthEdit = nullptr;
    QLineEdit *PixHeightEdit = nullptr;
    QLineEdit *ProzWidthEdit = nullptr;
    QLineEdit *ProzHeightEdit = nullptr;
    TEditUpDown *PixWidthUpDown = nullptr;
    TEditUpDown *PixHeightUpDown = nullptr;
    TEditUpDown *ProzWidthUpDown = nullptr;
    TEditUpDown *ProzHeightUpDown = nullptr;

    // Maxima follow the picture; then the four values are preset.
    void Preset(int pixWidth, int pixHeight, int prozWidth, int prozHeight);
    int PixWidth() const;
    int PixHeight() const;
    int ProzWidth() const;
    int ProzHeight() const;
    bool PixelMode() const;

    void RadioButtonClick(int tag);
    void SetLanguage(const QStringList &Script, int LanguageIndex) override;
};

// Scaling by value: the new width and height in pixels.
class TNewDimPicBMForm : public TEditDialogBase
{
    Q_OBJECT

public:
    explicit TNewDimPicBMForm(QWidget *owner = nullptr);

    QLineEdit *GrWidthEdit = nullptr;
    QLineEdit *GrHeightEdit = nullptr;
    TEditUpDown *GrWidthUpDown = nullptr;
    TEditUpDown *GrHeightUpDown = nullptr;

    // Maxima: the screen, or the picture where it is larger; positions: the
    // picture's size.
    void Preset(const QSize &screenSize, const QSize &pictureSize);
    int NewWidth() const;
    int NewHeight() const;

protected:
    void OkClick() override; // refuses a width or height of 0
};

class TBorderPropertyBMForm : public TEditDialogBase
{
    Q_OBJECT

public:
    explicit TBorderPropertyBMForm(QWidget *owner = nullptr);

    QGroupBox *BorderColorGroupBox = nullptr;
    TEditColorGrid *BorderColorGrid = nullptr;
    QPushButton *MColrButton = nullptr;
    QColorDialog *MoreColorDialog = nullptr;
    QLabel *BorderColorShape = nullptr;
    QGroupBox *BorderWidthGroupBox = nullptr;
    QLineEdit *BorderEdit = nullptr;
    QLineEdit *BorderLeftEdit = nullptr;
    QLineEdit *BorderBottomEdit = nullptr;
    QLineEdit *BorderRightEdit = nullptr;
    TEditUpDown *BorderUpDown = nullptr;
    TEditUpDown *BorderLeftUpDown = nullptr;
    TEditUpDown *BorderBottomUpDown = nullptr;
    TEditUpDown *BorderRightUpDown = nullptr;

    TColor BorderColor = clBlack;

    int TopWidth() const;
    int LeftWidth() const;
    int BottomWidth() const;
    int RightWidth() const;

    void BorderColorGridClick();
    void MColrButtonClick();

private:
    void ShowColor();
};

class TAntialiasing2BMForm : public TEditDialogBase
{
    Q_OBJECT

public:
    explicit TAntialiasing2BMForm(QWidget *owner = nullptr);

    QSlider *AntialiasTrackBar = nullptr;
    QLabel *TachoLabel = nullptr;
    QLabel *AntialiasLabel = nullptr;

    int AntialiasValue = 0;

    void AntialiasTrackBarChange(int position);

protected:
    void OkClick() override;
};

class TRGBChannelsBMForm : public TEditDialogBase
{
    Q_OBJECT

public:
    explicit TRGBChannelsBMForm(QWidget *owner = nullptr);

    QSlider *RotTrackBar = nullptr;
    QSlider *GreenTrackBar = nullptr;
    QSlider *BlauTrackBar = nullptr;
    QLabel *RotPanel = nullptr;
    QLabel *GruenPanel = nullptr;
    QLabel *BlauPanel = nullptr;

    int RedShift = 0;
    int GreenShift = 0;
    int BlueShift = 0;

    // One handler for the three sliders, told apart by their Tag.
    void TrackBarChange(QSlider *sender);

protected:
    void OkClick() override;
};

// Text and logo watermark settings. Applying a watermark is not part of the
// program, so the dialog only collects its settings.
class TWatermarkBMForm : public TEditDialogBase
{
    Q_OBJECT

public:
    explicit TWatermarkBMForm(QWidget *owner = nullptr);

    QTabWidget *WmPageControl = nullptr;
    QWidget *WmTextTabSheet = nullptr;
    QWidget *WmLogoTabSheet = nullptr;
    THistoryCombo *WmTxtHistoryCombo = nullptr;
    QComboBox *WmTxtAlignComboBox = nullptr;
    QPushButton *WmFontButton = nullptr;
    QSlider *WmTxtIntensTrackBar = nullptr;
    QLabel *WmLogoImage = nullptr;
    QPushButton *WmLogoSelectButton = nullptr;
    QComboBox *WmLogoAlignComboBox = nullptr;
    QSlider *WmLogoIntensTrackBar = nullptr;
    QCheckBox *WmHideWhiteCheckBox = nullptr;
    QPushButton *WmBatchButton = nullptr;

    QFont WatermarkFont;
    QString LogoFileName;

    void WmFontButtonClick();
    void WmLogoSelectButtonClick();
    // Shows the batch-mode dialog modally and frees it.
    void WmBatchButtonClick();
    // Loads a logo picture into the preview; false (preview unchanged) when
    // the file is no picture.
    bool LoadLogo(const QString &fileName);
};

// The batch mode of the watermark: an empty window for now, closed with the
// window's own button or Esc.
class TWmBatchModeBMForm : public TBaseModalForm
{
    Q_OBJECT

public:
    explicit TWmBatchModeBMForm(QWidget *owner = nullptr);

    TMultiLanguage *Language() const { return m_language; }

private:
    TMultiLanguage *m_language = nullptr;
};

} // namespace zk

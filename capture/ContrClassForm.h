#pragma once
// The window-information tool window: class, title, size, handle of the
// window under the mouse pointer and the pointer's position. The pick button
// starts the tracking; releasing the mouse button anywhere ends it. The
// texts it shows are made by the plain functions below.
#include "InfoField.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QToolButton;

namespace zk {

class TMainForm;
class TModuleMessages;

// The window's title as the tool shows it: at most 29 characters, the
// no-title text when it is empty.
QString ElementTitleText(const QString &title, const QString &noTitle);
// "640x480".
QString ElementSizeText(const QRect &bounds);
// "X = 12   Y = 34".
QString CursorPositionText(const QPoint &pos);
// Status panel 0 in the status-bar mode.
QString ElementStatusText(const QString &nameLabel, const QString &className, const QString &handleLabel,
                          const QString &handle);
// The six lines the clipboard button copies.
QStringList ElementClipboardLines(const QString &className, const QString &handle, const QString &title,
                                  const QString &module, const QString &cursor, const QString &size);

class TContrClassForm : public QWidget
{
    Q_OBJECT

public:
    explicit TContrClassForm(TMainForm *main);
    ~TContrClassForm() override;

    QLabel *ClassNameLabel = nullptr;
    TInfoField *ClassNameEdit = nullptr;
    QLabel *WinTitleLabel = nullptr;
    TInfoField *WinTitleEdit = nullptr;
    QLabel *ModuleLabel = nullptr;
    TInfoField *ModuleEdit = nullptr;
    QLabel *DimAlignLabel = nullptr;
    TInfoField *DimAlignEdit = nullptr;
    QLabel *CurPosAlignLabel = nullptr;
    TInfoField *CurPosAlignEdit = nullptr;
    QLabel *WinHandleLabel = nullptr;
    TInfoField *WinHandleEdit = nullptr;
    QPushButton *ClipbrdButton = nullptr;
    QPushButton *CloseCIFButton = nullptr;
    QFrame *SToolPanel = nullptr;
    QLabel *CIInfLabel = nullptr;
    QToolButton *ActionSpeedButton = nullptr;
    QCheckBox *InvertCheckBox = nullptr;

    void SetLanguage(const QStringList &script, int languageIndex);
    // Tracking starts at the press on the pick button; the release of the
    // button (from the tools module, or the button's own release, which Qt
    // delivers wherever the pointer is) ends it.
    void ActionSpeedButtonMouseDown();
    void LButtonUp();
    void ClipbrdButtonClick();
    void CloseCIFButtonClick();
    // Whether the tracking runs now.
    bool Tracking() const { return m_tracking; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    TMainForm *m_main;
    TModuleMessages *m_messages = nullptr;
    bool m_tracking = false;
    bool m_hookInstalled = false;
    bool m_closing = false;
};

} // namespace zk

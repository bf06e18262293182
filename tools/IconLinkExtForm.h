#pragma once
// The icon the desktop shows for a file extension, one at a time or through
// a typed list; the icon can be framed, floated in a window of its own and
// saved as an icon file.
#include "BaseModal.h"
#include "ToolPrompts.h"

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QStringList>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace zk {

class TMultiLanguage;
class TRadioGroup;

// The extensions of a list answer: the characters before each ";" (the text
// after the last one is dropped; empty entries are kept as typed).
QStringList SplitExtensionList(const QString &answer);

inline constexpr const char *kDefaultExtensionList =
    "doc;txt;rtf;bmp;jpg;gif;tif;wmf;emf;zkg;ico;htm;html;xls;chm;exe;hlp;url;pas;cpp;h;dll;com;bat;ini;msc;";

class TIconLinkExtBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TIconLinkExtBMForm(QWidget *opener = nullptr);
    ~TIconLinkExtBMForm() override;

    TToolPrompts Prompts;

    QFrame *DlgClientPanel = nullptr, *ImgClientPanel = nullptr;
    QLabel *ExtLabel = nullptr, *IcoLabel = nullptr, *IcoLinkImage = nullptr;
    QLineEdit *ExtEdit = nullptr;
    QPushButton *ILEFindButton = nullptr, *ListButton = nullptr, *SaveBitBtn = nullptr, *ILECloseButton = nullptr;
    TRadioGroup *IcoDimRadioGroup = nullptr;
    QMenu *OptPopupMenu = nullptr;
    QAction *TransMenuItem = nullptr, *MoveableMenuItem = nullptr;
    TMultiLanguage *IconLinkExtMultiLanguage = nullptr;

    QStringList ExtList;
    int ListIndex = -1;
    bool ListMode = false;
    int BevelState = 0;
    bool Moveable = false;

    // The icon shown (16 or 32 pixels a side; null before the first search).
    QImage ShownIcon() const { return m_icon; }
    // The window the icon floats in while dragged out; null while docked.
    QWidget *FloatingWindow() const { return m_float; }

    void ILEFindButtonClick(QObject *Sender);
    void IcoDimRadioGroupClick();
    void IcoLinkImageClick();
    void ILESaveButtonClick();
    void ListButtonClick();
    void TransMenuItemClick(QAction *Sender);
    // Floats the icon in its own window at the global position.
    void FloatIcon(const QPoint &globalPos);
    // Puts a floating icon back into its panel.
    void ImgClientPanelDockDrop();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString text(const char *key, const QString &german) const;
    void applyBevel();
    void showIcon();

    QImage m_icon;
    QPointer<QWidget> m_float;
    QPoint m_pressPos;
    bool m_pressed = false, m_dragged = false;
};

} // namespace zk

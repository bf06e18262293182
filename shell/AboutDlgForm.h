#pragma once
// The about box: the program's logo, its build version and the maker's notice.
#include "BaseModal.h"
#include "FileInfo.h"

#include <QPoint>
#include <QRect>

class QFrame;
class QLabel;
class QPushButton;

namespace zk {

class TMultiLanguage;
class TVertLabel;

// The project publishes no web address, so the link label opens nothing.
inline constexpr const char *kProjectAddress = "";

// Where the credits box goes: its top-left 200 pixels left of and above the
// centre of the screen.
QPoint CreditsBoxPosition(const QRect &screen);

class TAboutDlgBMForm : public TBaseModalForm
{
    Q_OBJECT

public:
    explicit TAboutDlgBMForm(QWidget *opener = nullptr);
    ~TAboutDlgBMForm() override;

    QFrame *Bevel1 = nullptr;
    TVertLabel *VertLabel1 = nullptr;
    QFrame *UrlShape = nullptr;
    QLabel *UrlLabel = nullptr;
    QPushButton *ADOkButton = nullptr;
    QFrame *AboutPicPanel = nullptr;
    QLabel *LogoImage = nullptr;
    QLabel *CompVerLabel = nullptr;
    TMultiLanguage *AboutDlgMultiLanguage = nullptr;
    TFileInfo AboutFileInfo;

    void SetLanguage(const QStringList &Script, int LanguageIndex) override;
    void FormCreate();
    // Colours the link red while the pointer is over it, blue elsewhere.
    void SetLinkHot(bool hot);
    bool LinkHot() const { return m_linkHot; }
    void UrlLabelClick();
    void CreditsBox();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString text(const char *key, const QString &fallback) const;
    bool m_linkHot = true;
};

} // namespace zk

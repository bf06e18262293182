#pragma once
// The base of the program's dialogs (their class names end in "BMForm").
#include <QDialog>
#include <QPointer>
#include <QStringList>

namespace zk {

// A dialog that stands above the window the user was working in when it was
// made, whichever that is, while its lifetime stays with the opener that
// created it: closing that other window neither deletes the dialog nor leaves
// it pointing at a dead window.
class TBaseModalForm : public QDialog
{
    Q_OBJECT

public:
    explicit TBaseModalForm(QWidget *opener = nullptr, Qt::WindowFlags flags = {});

    // The window this dialog stays above (the active one at creation, else
    // the opener's window); null when there was none or it is gone.
    QWidget *OwnerWindow() const { return owner_; }

    // The per-form language switch: the form's language component gets the
    // script and the section of the index, and the caption comes from the
    // form's caption key when its class has one.
    virtual void SetLanguage(const QStringList &Script, int LanguageIndex);

    // The smallest size that shows everything: the layout's minimum, and
    // wide enough for the caption in the title bar. Every show (and every
    // language switch of a shown dialog) grows the dialog to it.
    QSize ContentsMinimumSize() const;

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void attachToOwner();
    void fitContents();

    QPointer<QWidget> owner_;
};

} // namespace zk

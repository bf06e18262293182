#pragma once
// The list of several dropped pictures, loaded one after another into the
// main window. Made once and refilled by every drop of several files.
#include "BaseModal.h"
#include "StartupRules.h"

#include <QStringList>
#include <functional>

class QListWidget;
class QPushButton;

namespace zk {

class TMultiLanguage;

class TDragDropFilesBMForm : public TBaseModalForm
{
    Q_OBJECT

public:
    using Opener = std::function<void(const QString &fileName)>;
    TDragDropFilesBMForm(QWidget *owner, Opener opener);
    ~TDragDropFilesBMForm() override;

    QListWidget *FilesListBox = nullptr;
    QPushButton *LoadDDFButton = nullptr;
    QPushButton *CancDDFButton = nullptr;
    TMultiLanguage *DragDropMultiLanguage = nullptr;
    QStringList FilePaths;

    // Replaces the list (and the button captions of the previous round).
    void Fill(const TDropList &list);
    void SelectRow(int row);
    int SelectedRow() const;

    // fromButton: the load button, which then moves the selection on (from
    // the last entry back to the first); a double click loads in place.
    void LoadDDFButtonClick(bool fromButton);
    void CancDDFButtonClick();
    void SetLanguage(const QStringList &Script, int LanguageIndex) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString Text(const QString &key, const QString &fallback) const;

    Opener m_opener;
    QString m_loadCaption = QStringLiteral("&Laden");
    QString m_cancelCaption = QStringLiteral("&Abbrechen");
};

} // namespace zk

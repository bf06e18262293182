#pragma once
// The keyboard reference: the main window's commands with their keys (menus
// two levels deep and the six global hot keys) in a sortable list that can
// be copied, printed and saved.
#include "BaseModal.h"
#include "Options.h"

#include <QKeySequence>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace zk {

class TBarPopupMenu;
class TXPrint;

struct TKeybRow {
    QString caption, keys, description;
    bool hotKey = false; // one of the six global hot keys (drawn bold and blue)
};

// A key sequence as the German key names write it ("Strg+Umschalt+X", "Entf").
QString GermanKeyText(const QKeySequence &seq);
// The rows of a menu: each item, then each item of its sub-menu; separators
// and deeper levels are left out.
std::vector<TKeybRow> MenuRows(const QMenu *menu);
// The six hot-key rows; text(key) looks a language key up.
std::vector<TKeybRow> HotKeyRows(const TZelkoraOptions &options, const std::function<QString(const QString &)> &text);
// Case-insensitive ascending by column 0 (caption), 1 (keys) or 2 (description).
void SortRows(std::vector<TKeybRow> &rows, int column);
// The saved text: per row "caption; " then each non-empty sub-item and "; ".
QString RowsAsSavedText(const std::vector<TKeybRow> &rows);

class TKeybHlpBMForm : public TBaseModalForm
{
    Q_OBJECT

public:
    // menuOf(name) gives the main window's menu of that item name.
    TKeybHlpBMForm(std::function<QMenu *(const QString &)> menuOf, const TZelkoraOptions &options,
                   QWidget *opener = nullptr);
    ~TKeybHlpBMForm() override;

    QTreeWidget *KeybCmdListView = nullptr;
    QComboBox *KHCmdComboBox = nullptr;
    QPushButton *KeybHPrtBitBtn = nullptr;
    QPushButton *KeybHCpyBitBtn = nullptr;
    QPushButton *KeybHLCpyBitBtn = nullptr;
    QPushButton *KeybHlpBitBtn = nullptr;
    QPushButton *ListSaveBitBtn = nullptr;
    TBarPopupMenu *KeybHlpPopupMenu = nullptr;
    std::unique_ptr<TXPrint> KeybHlpXPrint;
    int SortColumn = 0;
    // The rows as listed now, in list order.
    const std::vector<TKeybRow> &Rows() const { return m_rows; }

    void FormCreate();
    void FormShow();
    void SetLanguage(const QStringList &Script, int LanguageIndex) override;
    void KHCmdComboBoxChange();
    void KeybHCpyBitBtnClick();
    void KeybHLCpyBitBtnClick();
    void KeybHPrtBitBtnClick();
    void TabSaveMenuItemClick();
    void KeybHlpFontMenuItemClick();
    void KeybHlpBitBtnClick();
    void KeyHlpCloseMenuItemClick();
    void KeybCmdListViewColumnClick(int column);
    // Writes the list to the file; false after a message when it cannot.
    bool SaveList(const QString &fileName);
    // Prints the list through KeybHlpXPrint without asking.
    bool PrintList();
    // The help page of this window (empty when it is not installed).
    static QString HelpPage();

protected:
    void showEvent(QShowEvent *e) override;

private:
    void showHeaders();
    QString text(const char *key, const QString &fallback = {}) const;
    void fillList();
    void message(const char *key, const QString &fallback);

    std::function<QMenu *(const QString &)> m_menuOf;
    TZelkoraOptions m_options;
    std::vector<TKeybRow> m_rows;
};

} // namespace zk

#pragma once
// Lists of recently used entries (files, folders, host names, mail addresses,
// text lines) that survive between runs.
//
// THistoryList is a plain class: the newest entry sits at index 0, the list
// never grows past MaxCount, and it stores itself as the string values
// "History0", "History1", ... of a registry key or an ini-file section. It can
// mirror its entries as numbered menu items, either as the whole content of a
// popup menu or appended below a menu item's existing sub-items. Nothing but
// the menu mirroring needs a QApplication.
//
// THistoryCombo is an editable combo box that owns such a list: it loads it
// once both RegistryPath and IniSection are set, adds the typed text when the
// user leaves the box, and saves the list when the box is destroyed.
#include <QComboBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>

class QAction;
class QFocusEvent;
class QMenu;

namespace zk {

// Raised by THistoryList::SaveHistory when an ini file cannot be written.
// Registry write failures arrive as the store's own ERegistryException; both
// derive from std::runtime_error.
class EHistoryStoreError : public std::runtime_error
{
public:
    explicit EHistoryStoreError(const QString &message);
};

class THistoryList
{
public:
    // sender is the bound menu item (nullptr when only a popup menu is bound),
    // text the chosen entry.
    using HistoryClickEvent = std::function<void(QObject *sender, const QString &text)>;

    THistoryList();
    ~THistoryList();
    THistoryList(const THistoryList &) = delete;
    THistoryList &operator=(const THistoryList &) = delete;

    // Largest number of entries (values below 0 count as 0).
    int MaxCount = 10;
    // true: the store is the registry key HKCU\<path>; false: the ini file <path>.
    bool UseRegistry = true;
    HistoryClickEvent OnHistoryClick;

    int Count() const { return m_items.size(); }
    const QString &Strings(int index) const { return m_items.at(index); }
    const QStringList &Items() const { return m_items; }
    // Index of the entry equal to text ignoring letter case, or -1.
    int IndexOf(const QString &text) const;

    // Puts text on top. An entry that equals it but for letter case is
    // replaced, so the list keeps the newest spelling. The menus are rebuilt.
    void AddHistory(const QString &text);
    // Empties the list; the menus are rebuilt so no item of a vanished entry
    // stays clickable.
    void Clear();

    // Writes entries as "History0".."History<Count-1>" and removes the values
    // from Count up to MaxCount-1; values at MaxCount and beyond stay. Throws
    // ERegistryException or EHistoryStoreError when the store cannot be written.
    void SaveHistory(const QString &path, const QString &section) const;
    // Reads "History0".."History<MaxCount-1>", skipping missing, empty and
    // unreadable values so later ones close up. A missing store gives an
    // empty list. The menus are rebuilt.
    void LoadHistory(const QString &path, const QString &section);

    // Binds a popup menu whose items are exactly the generated items. The
    // previously bound popup menu is emptied; the new one keeps what it holds
    // until the next rebuild.
    void SetMenu(QMenu *menu);
    // Binds a menu item; a separator and the generated items are appended
    // below the sub-items it has now. The generated items of the previously
    // bound item are removed. An item without a sub-menu gets one.
    void SetMenuItem(QAction *item);
    // The same for a sub-menu given directly (its menuAction() is the item).
    void SetMenuItem(QMenu *subMenu);

    // Removes the generated items of both bindings (every item of the popup
    // menu, the separator and entries below the menu item).
    void DeleteMenuItems();
    // Appends the generated items: first to the popup menu, then below the item.
    void CreateMenuItems();

    QMenu *BoundMenu() const;
    QAction *BoundMenuItem() const;

private:
    void RebuildMenus();
    void AppendEntryItems(QMenu *target);
    void EntryItemTriggered(QAction *action);
    void ReleaseOwnSubMenu();

    QStringList m_items;
    QPointer<QMenu> m_menu;
    QPointer<QAction> m_menuItem;
    QPointer<QMenu> m_itemMenu;     // the sub-menu that holds the item's entries
    std::unique_ptr<QMenu> m_ownSubMenu; // created when the bound item had none
    int m_baseItemCount = 0;
};

class THistoryCombo : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QString RegistryPath READ RegistryPath WRITE SetRegistryPath)
    Q_PROPERTY(QString IniFileName READ IniFileName WRITE SetIniFileName)
    Q_PROPERTY(QString IniSection READ IniSection WRITE SetIniSection)
    Q_PROPERTY(bool ManualUpdate READ ManualUpdate WRITE SetManualUpdate)

public:
    explicit THistoryCombo(QWidget *parent = nullptr);
    ~THistoryCombo() override;

    QString RegistryPath() const { return m_registryPath; }
    // Also empties IniFileName. Loads the list when path and section are set.
    void SetRegistryPath(const QString &path);
    QString IniFileName() const { return m_iniFileName; }
    // Also empties RegistryPath. The name is kept, but the box stores nothing
    // in an ini file.
    void SetIniFileName(const QString &fileName);
    QString IniSection() const { return m_iniSection; }
    void SetIniSection(const QString &section);
    bool ManualUpdate() const { return m_manualUpdate; }
    // true: leaving the box does not add its text to the history.
    void SetManualUpdate(bool manual) { m_manualUpdate = manual; }

    // The entries as they stand (index 0 the newest).
    const QStringList &HistoryItems() const { return m_history->Items(); }

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool HasStore() const;
    void StorePropertyChanged();
    // Replaces the item list by the history, keeping the text in the edit.
    void FillItemsFromHistory();

    std::unique_ptr<THistoryList> m_history;
    QString m_registryPath;
    QString m_iniFileName;
    QString m_iniSection;
    bool m_manualUpdate = false;
};

} // namespace zk

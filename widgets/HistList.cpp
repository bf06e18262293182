#include "HistList.h"

#include "IniFile.h"
#include "Registry.h"

#include <QAction>
#include <QCompleter>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QtDebug>

namespace zk {

namespace {

// Marks the menu items a history list made, so clearing a popup can tell them
// from items that other code put there.
constexpr char kEntryItemProperty[] = "zkHistoryEntry";

QString ValueName(int index)
{
    return QStringLiteral("History") + QString::number(index);
}

// An '&' in a file name would otherwise turn into a hidden mnemonic.
QString EntryCaption(int number, const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(number).arg(shown);
}

// Takes an item out of its menu. Items the menu owns are deleted once control
// is back in the event loop: the item may be the one whose click is being
// handled right now (a click that opens a file adds it to this very list).
void DiscardMenuItem(QMenu *menu, QAction *action)
{
    menu->removeAction(action);
    if (action->property(kEntryItemProperty).toBool())
        QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
    if (action->parent() == menu)
        action->deleteLater();
}

} // namespace

EHistoryStoreError::EHistoryStoreError(const QString &message)
    : std::runtime_error(message.toStdString())
{
}

// ---------------------------------------------------------------- THistoryList

THistoryList::THistoryList() = default;

THistoryList::~THistoryList()
{
    // The generated items call back into this list: they go with it.
    DeleteMenuItems();
    ReleaseOwnSubMenu();
}

int THistoryList::IndexOf(const QString &text) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void THistoryList::AddHistory(const QString &text)
{
    const int found = IndexOf(text);
    if (found >= 0)
        m_items.removeAt(found);
    m_items.prepend(text);
    const int limit = qMax(0, MaxCount);
    while (m_items.size() > limit)
        m_items.removeLast();
    RebuildMenus();
}

void THistoryList::Clear()
{
    m_items.clear();
    RebuildMenus();
}

void THistoryList::SaveHistory(const QString &path, const QString &section) const
{
    const int limit = qMax(0, MaxCount);
    if (UseRegistry) {
        TRegistryIniFile store(path);
        for (int i = 0; i < m_items.size(); ++i)
            store.WriteString(section, ValueName(i), m_items.at(i));
        for (int i = m_items.size(); i < limit; ++i) {
            if (store.ValueExists(section, ValueName(i)))
                store.DeleteKey(section, ValueName(i));
        }
        return;
    }

    TIniFile store(path);
    const auto fail = [&](const QString &name) {
        throw EHistoryStoreError(QStringLiteral("Could not write \"%1\" of section [%2] to \"%3\".")
                                     .arg(name, section, path));
    };
    for (int i = 0; i < m_items.size(); ++i) {
        if (!store.WriteString(section, ValueName(i), m_items.at(i)))
            fail(ValueName(i));
    }
    for (int i = m_items.size(); i < limit; ++i) {
        if (store.ValueExists(section, ValueName(i)) && !store.DeleteKey(section, ValueName(i)))
            fail(ValueName(i));
    }
}

void THistoryList::LoadHistory(const QString &path, const QString &section)
{
    m_items.clear();
    const int limit = qMax(0, MaxCount);
    const auto readAll = [&](const auto &store) {
        for (int i = 0; i < limit; ++i) {
            QString text;
            try {
                text = store.ReadString(section, ValueName(i), QString());
            } catch (const std::exception &e) {
                // A value of another type counts as a gap.
                qWarning("History value %s of [%s] in %s is unreadable: %s",
                         qPrintable(ValueName(i)), qPrintable(section), qPrintable(path), e.what());
                continue;
            }
            if (!text.isEmpty())
                m_items.append(text);
        }
    };
    try {
        if (UseRegistry)
            readAll(TRegistryIniFile(path));
        else
            readAll(TIniFile(path));
    } catch (const std::exception &e) {
        // An unreadable store leaves what could be read; the program still starts.
        qWarning("History store %s cannot be read: %s", qPrintable(path), e.what());
    }
    RebuildMenus();
}

void THistoryList::SetMenu(QMenu *menu)
{
    if (m_menu) {
        const auto items = m_menu->actions();
        for (QAction *a : items)
            DiscardMenuItem(m_menu, a);
    }
    m_menu = menu;
    if (m_menu)
        AppendEntryItems(m_menu);
}

void THistoryList::SetMenuItem(QAction *item)
{
    if (m_itemMenu) {
        while (m_itemMenu->actions().size() > m_baseItemCount)
            DiscardMenuItem(m_itemMenu, m_itemMenu->actions().constLast());
    }
    ReleaseOwnSubMenu();
    m_menuItem = item;
    m_itemMenu = nullptr;
    m_baseItemCount = 0;
    if (!item)
        return;
    QMenu *sub = item->menu();
    if (!sub) {
        m_ownSubMenu = std::make_unique<QMenu>();
        item->setMenu(m_ownSubMenu.get());
        sub = m_ownSubMenu.get();
    }
    m_itemMenu = sub;
    m_baseItemCount = sub->actions().size();
    sub->addSeparator();
    AppendEntryItems(sub);
}

void THistoryList::SetMenuItem(QMenu *subMenu)
{
    SetMenuItem(subMenu ? subMenu->menuAction() : nullptr);
}

void THistoryList::DeleteMenuItems()
{
    if (m_menu) {
        const auto items = m_menu->actions();
        for (QAction *a : items)
            DiscardMenuItem(m_menu, a);
    }
    if (m_itemMenu) {
        while (m_itemMenu->actions().size() > m_baseItemCount)
            DiscardMenuItem(m_itemMenu, m_itemMenu->actions().constLast());
    }
}

void THistoryList::CreateMenuItems()
{
    if (m_menu)
        AppendEntryItems(m_menu);
    if (m_itemMenu) {
        m_itemMenu->addSeparator();
        AppendEntryItems(m_itemMenu);
    }
}

QMenu *THistoryList::BoundMenu() const
{
    return m_menu;
}

QAction *THistoryList::BoundMenuItem() const
{
    return m_menuItem;
}

void THistoryList::RebuildMenus()
{
    DeleteMenuItems();
    CreateMenuItems();
}

void THistoryList::AppendEntryItems(QMenu *target)
{
    for (int i = 0; i < m_items.size(); ++i) {
        auto *action = new QAction(EntryCaption(i + 1, m_items.at(i)), target);
        action->setProperty(kEntryItemProperty, true);
        target->addAction(action);
        QObject::connect(action, &QAction::triggered, action,
                         [this, action] { EntryItemTriggered(action); });
    }
}

void THistoryList::EntryItemTriggered(QAction *action)
{
    if (!OnHistoryClick)
        return;
    // The caption carries the entry's number: "&<n> <text>".
    const QString caption = action->text();
    const int blank = caption.indexOf(QLatin1Char(' '));
    if (blank < 2)
        return;
    bool ok = false;
    const int number = caption.mid(1, blank - 1).toInt(&ok);
    // An item left over from an older state of the list must not pick a
    // different entry or run past the end.
    if (!ok || number <= 0 || number > m_items.size())
        return;
    // The handler may change the list or this handler; work on copies.
    const QString entry = m_items.at(number - 1);
    const HistoryClickEvent handler = OnHistoryClick;
    handler(m_menuItem.data(), entry);
}

void THistoryList::ReleaseOwnSubMenu()
{
    if (!m_ownSubMenu)
        return;
    if (m_menuItem && m_menuItem->menu() == m_ownSubMenu.get())
        m_menuItem->setMenu<QMenu *>(nullptr);
    m_ownSubMenu.reset();
}

// --------------------------------------------------------------- THistoryCombo

THistoryCombo::THistoryCombo(QWidget *parent)
    : QComboBox(parent)
    , m_history(std::make_unique<THistoryList>())
{
    setEditable(true);
    // The item list mirrors the history; Return must not add items of its own.
    setInsertPolicy(QComboBox::NoInsert);
    // Completion must not change the case of what the user types: "/data/Pics"
    // and "/data/pics" are different folders.
    if (QCompleter *c = completer())
        c->setCaseSensitivity(Qt::CaseSensitive);
}

THistoryCombo::~THistoryCombo()
{
    if (!HasStore())
        return;
    m_history->UseRegistry = true;
    try {
        m_history->SaveHistory(m_registryPath, m_iniSection);
    } catch (const std::exception &e) {
        // A destructor cannot pass the failure on; the entries of this
        // session are lost, the stored ones stay as they were.
        qWarning("History of [%s] could not be saved: %s", qPrintable(m_iniSection), e.what());
    }
}

void THistoryCombo::SetRegistryPath(const QString &path)
{
    m_registryPath = path;
    m_iniFileName.clear();
    StorePropertyChanged();
}

void THistoryCombo::SetIniFileName(const QString &fileName)
{
    m_iniFileName = fileName;
    m_registryPath.clear();
    StorePropertyChanged();
}

void THistoryCombo::SetIniSection(const QString &section)
{
    m_iniSection = section;
    StorePropertyChanged();
}

bool THistoryCombo::HasStore() const
{
    return !m_registryPath.isEmpty() && !m_iniSection.isEmpty();
}

void THistoryCombo::StorePropertyChanged()
{
    if (!HasStore())
        return;
    m_history->UseRegistry = true;
    m_history->LoadHistory(m_registryPath, m_iniSection);
    FillItemsFromHistory();
}

void THistoryCombo::focusOutEvent(QFocusEvent *event)
{
    QComboBox::focusOutEvent(event);
    // Opening the drop-down list (or a context menu) does not leave the box.
    if (event->reason() == Qt::PopupFocusReason || m_manualUpdate)
        return;
    // Also an empty text: leaving an emptied box records it like any other.
    m_history->AddHistory(currentText());
    FillItemsFromHistory();
}

void THistoryCombo::FillItemsFromHistory()
{
    const QString text = currentText();
    QLineEdit *edit = lineEdit();
    const int cursor = edit ? edit->cursorPosition() : 0;
    {
        // Refilling is not a change the form should react to: the text ends
        // up as it was.
        const QSignalBlocker blocker(this);
        clear();
        addItems(m_history->Items());
        setCurrentIndex(findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
        if (isEditable())
            setEditText(text);
    }
    if (edit)
        edit->setCursorPosition(cursor);
}

} // namespace zk

#pragma once
// The settings dialog's rules that need no window: which control shows which
// option field and how, the capture-delay list, the script choice, the
// hot-key duplicate test and the attachment-folder link in "ZK5.ini".
#include <QString>
#include <QStringList>

#include <optional>
#include <span>
#include <string_view>

namespace zk {

struct TZelkoraOptions;

// How a control shows its field.
enum class BindRule {
    Checked,   // check box or radio button
    Unchecked, // check box that means the field is false
    ItemIndex, // list, combo or radio group; the field's usable index
    Position,  // up-down
    Text,      // edit or combo text
};

struct OptionBinding
{
    const char *control; // object name
    std::string_view field; // OptionTable() name
    BindRule rule;
};

// Every field that travels through a control by one of the rules above.
std::span<const OptionBinding> OptionBindings();
// Fields the dialog exchanges by hand (special rules or working copies).
std::span<const std::string_view> OptionFieldsByHand();
// Fields the dialog leaves alone (they belong to the view menu).
std::span<const std::string_view> OptionFieldsUntouched();
// Names of OptionTable() fields that none of the three lists covers (empty
// when the dialog knows every field).
QStringList OptionFieldsNotCovered();

// The capture delays of the delay list's first eleven items (ms).
std::span<const int> DelayValues();
// The item texts of the delay list.
QStringList DelayItems();
// The item of a stored delay; -1 when it needs a twelfth item.
int DelayItemFor(int delay);
// A whole number in text (surrounding blanks allowed); nothing otherwise.
std::optional<int> WholeNumber(const QString &text);

// The script to keep: the text of the lowest checked item, else current.
QString ChosenScript(const QStringList &items, const QList<bool> &checked, const QString &current);
// The script files of folder ("*.vbs" and "*.sh"), names only, sorted;
// empty when the folder is missing.
QStringList ScriptFiles(const QString &folder);

// True when text equals one of others (the hot-key duplicate test).
bool HotKeyTaken(const QString &text, const QStringList &others);

// AVI size items that do not fit a screen of this width (indices into
// 240x300, 480x600, 800x600, 1024x768, 1152x864).
QList<int> AviSizesTooWide(int screenWidth);

// The attachment link: value "Attach" of [Entrys] in iniFile.
struct AttachLinkResult
{
    bool ok = false;
    QString folder;
};
// Writes the value (when missing) as programDir + "Attach" and creates the
// folder. Fails, changing nothing, when the ini cannot be written.
AttachLinkResult LinkAttachFolder(const QString &iniFile, const QString &programDir);
// Removes the value and moves programDir + "Attach" to the trash. Fails,
// changing nothing, when the ini cannot be written.
bool UnlinkAttachFolder(const QString &iniFile, const QString &programDir);
// Moves the files (not sub-folders) of the linked folder to the trash. An
// empty, relative or missing folder does nothing; returns the files moved.
int EmptyAttachFolder(const QString &iniFile);

} // namespace zk

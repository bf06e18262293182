#pragma once
// What the icon and split tools ask the user. Each form fills these with
// real boxes over itself; tests answer them without a modal window.
#include <QString>

#include <functional>

class QFileDialog;
class QWidget;

namespace zk {

struct TToolPrompts {
    std::function<void(const QString &text)> Message;
    std::function<bool(const QString &text)> Confirm; // Yes/No
    // false: cancelled
    std::function<bool(const QString &caption, const QString &prompt, QString &value)> InputQuery;
    std::function<QString()> BrowseFolder; // "" when cancelled
    // Runs a prepared file dialog; true when the user confirmed a file.
    std::function<bool(QFileDialog &dialog)> RunFileDialog;
};

// The boxes shown over owner, titled with its caption.
TToolPrompts DefaultToolPrompts(QWidget *owner);

} // namespace zk

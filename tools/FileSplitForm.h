#pragma once
// Cutting a file into parts of a chosen size and joining the parts again;
// the copying runs on a worker thread while the dialog stays live.
#include "BaseModal.h"
#include "FileSplit.h"
#include "ToolPrompts.h"

#include <cstdint>

class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zk {

class TMultiLanguage;

// Index of the chooser's entry -> bytes; kPartSizeNoChoice for -1 (none).
std::int32_t PartSizePreset(int index);

class TByteTempBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TByteTempBMForm(QWidget *opener = nullptr);

    QListWidget *ByteValListBox = nullptr;
    QPushButton *BTOkButton = nullptr, *BTCancButton = nullptr;
    TMultiLanguage *ByteTempMultiLanguage = nullptr;
    std::int32_t ByteValue = 0;

    void BTOkButtonClick();
};

class TFileSplitBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TFileSplitBMForm(QWidget *opener = nullptr);
    ~TFileSplitBMForm() override;

    TToolPrompts Prompts;
    // Runs the part-size chooser; tests replace it. Returns the dialog after
    // its run (null when cancelled), owned by the caller.
    std::function<TByteTempBMForm *(QWidget *owner)> RunByteChooser;
    // The program's look for the chooser (unset: the plain look).
    std::function<void(QWidget *form)> FormLook;

    QFrame *FileSplitPanel = nullptr;
    QLabel *SpHintLabel = nullptr;
    QLineEdit *DimEdit = nullptr;
    QPushButton *ByteChoiceButton = nullptr, *SplitButton = nullptr, *UnsplitButton = nullptr,
                *SpCloseButton = nullptr;
    TMultiLanguage *FileSplitMultiLanguage = nullptr;
    std::int32_t PartSize = 0;

    void SetLanguage(const QStringList &Script, int LanguageIndex) override;
    void ByteChoiceButtonClick();
    void SplitButtonClick();
    void UnsplitButtonClick();
    void SplitOpenDialogShow(QFileDialog &dialog);
    // True while a copy runs (the buttons are off then).
    bool Busy() const { return m_busy; }
    // The result of the last split or join.
    const TSplitResult &LastResult() const { return m_last; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    QString text(const char *key, const QString &german) const;
    // Runs job on a worker thread, keeping the dialog live; reports failure.
    void runJob(const std::function<TSplitResult()> &job);
    bool chooseFile(bool join, QString *file);

    TSplitResult m_last;
    bool m_busy = false;
    QStringList m_script;
    int m_languageIndex = 0;
};

} // namespace zk

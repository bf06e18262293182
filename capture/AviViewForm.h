#pragma once
// Playing AVI files: TAviAnimate shows the frames of one file on a timer at
// the file's rate; TAviViewBMForm is the player window around it, and
// TAskAviViewBMForm asks whether a newly built file should be played.
#include "BaseModal.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

namespace zk {

class TAviFileReader;

class TAviAnimate : public QWidget
{
    Q_OBJECT

public:
    explicit TAviAnimate(QWidget *parent = nullptr);
    ~TAviAnimate() override;

    // Opens the file (stopped at its first frame). False with *error when it
    // cannot be shown; the previous file stays then.
    bool Open(const QString &fileName, QString *error = nullptr);
    int FrameCount() const;
    int CurrentFrame() const { return m_current; } // 0-based
    int StartFrame = 0;
    int StopFrame = -1; // -1: the last frame
    int Repetitions = 1; // 0 plays for ever
    QColor Color = Qt::white;

    void Play();
    void Stop();
    bool Playing() const;
    // Shows frame index; false (nothing changed) when it cannot be read.
    bool Seek(int index);

signals:
    void FrameShown(int index);
    void Stopped();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void tick();

    std::unique_ptr<TAviFileReader> m_reader;
    QTimer *m_timer = nullptr;
    QImage m_image;
    int m_current = 0;
    int m_round = 0;
};

class TAviViewBMForm : public TBaseModalForm
{
    Q_OBJECT

public:
    static constexpr const char *AviKey = "Software\\Tarvendo\\Zelkora\\5.0\\GUI\\AVI";

    explicit TAviViewBMForm(QWidget *opener = nullptr);

    TAviAnimate *AviAnimate = nullptr;
    QWidget *ControlPanel = nullptr;
    QPushButton *StartButton = nullptr;
    QPushButton *StopButton = nullptr;
    QPushButton *ForwardButton = nullptr;
    QPushButton *BackButton = nullptr;
    QLabel *CountDispPanel = nullptr;
    QCheckBox *AutoRepCheckBox = nullptr;
    QPushButton *ReloadButton = nullptr;
    int FrameCounter = 1;
    // The popup item's text ("caption_avi_background").
    QString BackgroundCaption = QStringLiteral("Hintergrundfarbe...");
    void SetLanguage(const QStringList &Script, int LanguageIndex) override;

    // The main window's load command; unset, "Neu laden..." stays disabled.
    std::function<void()> ReloadAvi;
    // Tests answer the colour question here; unset, the colour dialog shows.
    std::function<QColor(const QColor &current)> AskColor;

    bool OpenFile(const QString &fileName, QString *error = nullptr);
    void StartButtonClick();
    void StopButtonClick();
    void ForwardButtonClick();
    void BackButtonClick();
    void AutoRepCheckBoxClick();
    void BkColorMenuItemClick();
    void ReloadButtonClick();

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;
};

class TAskAviViewBMForm : public TBaseModalForm
{
    Q_OBJECT

public:
    explicit TAskAviViewBMForm(QWidget *opener = nullptr);
    QCheckBox *AskAviNotViewCheckBox = nullptr;
    QPushButton *PlayAviButton = nullptr;
    QPushButton *CancelButton = nullptr;

    // Whether the question is to be skipped ("AskAviNotView").
    static bool NotAsked();

protected:
    void done(int result) override;
};

} // namespace zk

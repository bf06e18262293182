#pragma once
// The AVI recorder's control window: takes frames of the screen area inside
// the recording frame (by button, timer or the Print key), builds an AVI
// file from them, and hands over to frame editing. The rules live in
// capture/RecorderLogic.h.
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QPushButton;
class QTimer;

namespace zk {

class TMainForm;
class TModuleMessages;

class TRecorderForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kEscapeHotKey = 1000;

    explicit TRecorderForm(TMainForm *main);
    ~TRecorderForm() override;

    QPushButton *AviManPicButton = nullptr;
    QPushButton *AVIEditButton = nullptr;
    QPushButton *AviStartButton = nullptr;
    QPushButton *AviStopButton = nullptr;
    QPushButton *AviEndButton = nullptr;
    QPushButton *AVIDelButton = nullptr;
    QPushButton *CompAviButton = nullptr;
    QPushButton *ChangeAviBitBtn = nullptr;
    QTimer *AviTimer = nullptr;

    QSize AreaSize;
    QPoint AreaOrigin;
    int FrameCount = 0;
    QString AviFileName;

    // Questions and messages, replaceable by tests. AskAviFileName returns
    // an empty name when the user cancelled; AskFolder likewise.
    std::function<QString(const QString &title)> AskAviFileName;
    std::function<QString(const QString &caption, const QString &start)> AskFolder;
    std::function<void(const QString &text)> ShowMessage;

    void SetLanguage(const QStringList &script, int languageIndex);
    void SetRecordArea();
    void SetRecordAreaCentered();
    int CountFrameFiles() const;
    // False (after a message) when the frames could not be copied.
    bool CollectFrameFiles();
    void DeleteFrameFiles();

    // sender: a button (or null) or AviTimer.
    void AviManPicButtonClick(QObject *sender = nullptr);
    void AviStartButtonClick();
    void AviStopButtonClick();
    void AviEndButtonClick();
    // True when a file was written.
    bool CompAviButtonClick();
    void AVIDelButtonClick();
    void ChangeAviDirButtonClick();
    void AVIEditButtonClick();

    // The frame's reported position (left edge, top edge).
    void FrameMoved(QPoint areaTopLeft);
    void PrintKey(bool pressed);
    void HotKey(int id);
    // The frame around the recording area (the tools module draws it).
    void ShowFrame();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void setControlsEnabled(bool on);
    void applyCaptions();
    QString text(const QString &key, const QString &fallback) const;
    // Stands outside the recorded area, so no frame shows this window.
    QRect areaRect() const;
    void placeOutsideArea();
    void keepPlace(QPoint place);
    void installPrintHook();
    void tellKeyTaken(const QString &key, const QString &fallback);
    void tellPrintKeyTaken();

    QPointer<TMainForm> m_main;
    std::optional<QPoint> m_place; // where it stood when it was hidden
    TModuleMessages *m_messages = nullptr;
    bool m_closing = false;
    bool m_printKeyTaken = false;
};

} // namespace zk

#pragma once
// TProgressForm: the program's one progress window. It ends itself: when the
// position reaches the maximum, when the maximum is 0 (or less) as it is
// shown, or when the position has not moved between two ticks of its timer
// (the caller's loop stopped or failed). Callers hold it through a
// QPointer<TProgressForm>, which turns null once the window is gone; the
// Ended signal tells the same at once, and a step given after the end (while
// the window waits for deletion) does nothing.
#include <QPointer>
#include <QWidget>

#include <cstdint>

class QProgressBar;
class QTimer;

namespace zk {

class TProgressForm : public QWidget
{
    Q_OBJECT
public:
    static constexpr int DefaultIdleInterval = 2000; // ms between two looks at the position

    // owner: the window it is centred on (usually the main window).
    explicit TProgressForm(QWidget *owner = nullptr);
    ~TProgressForm() override;

    QProgressBar *KonvProgressBar = nullptr;
    QTimer *ExceptTimer = nullptr;
    std::int32_t MaxValue = 0;

    void SetMax(std::int32_t value);
    // Advances the bar by step; a position past the maximum counts as the
    // maximum, which ends the window.
    void SetPosition(std::uint8_t step);

    std::int64_t Position() const { return m_position; }
    bool IsEnded() const { return m_ended; }

    // Tests shorten the timer; the window behaves the same otherwise.
    void SetIdleInterval(int ms);

signals:
    void Ended();

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void ExceptTimerTimer();

private:
    void FormShow();
    void finish();

    std::int64_t m_position = 0;
    bool m_ended = false;
};

} // namespace zk

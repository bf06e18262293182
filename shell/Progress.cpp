#include "Progress.h"

#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace zk {

TProgressForm::TProgressForm(QWidget *owner)
    : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("ProgressForm"));
    setWindowTitle(QStringLiteral("Fortschrittsanzeige..."));
    setCursor(Qt::WaitCursor);

    KonvProgressBar = new QProgressBar(this);
    KonvProgressBar->setObjectName(QStringLiteral("KonvProgressBar"));
    KonvProgressBar->setTextVisible(false);
    // A smooth yellow bar.
    KonvProgressBar->setStyleSheet(QStringLiteral("QProgressBar::chunk { background-color: #FFFF00; }"));
    KonvProgressBar->setRange(0, 0 == MaxValue ? 1 : MaxValue);
    KonvProgressBar->setValue(0);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(KonvProgressBar);
    resize(320, 48);

    ExceptTimer = new QTimer(this);
    ExceptTimer->setObjectName(QStringLiteral("ExceptTimer"));
    ExceptTimer->setInterval(DefaultIdleInterval);
    ExceptTimer->setProperty("Tag", qint64(0));
    connect(ExceptTimer, &QTimer::timeout, this, &TProgressForm::ExceptTimerTimer);
}

TProgressForm::~TProgressForm() = default;

void TProgressForm::SetMax(std::int32_t value)
{
    MaxValue = value;
}

void TProgressForm::SetIdleInterval(int ms)
{
    ExceptTimer->setInterval(std::max(1, ms));
}

void TProgressForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TProgressForm::FormShow()
{
    if (m_ended)
        return;
    if (QWidget *owner = parentWidget()) {
        const QRect frame = owner->window()->frameGeometry();
        move(frame.center() - QPoint(width() / 2, height() / 2));
    }
    // A maximum of 0 (or a nonsensical negative one) means nothing to do.
    if (MaxValue <= 0) {
        finish();
        return;
    }
    KonvProgressBar->setRange(0, MaxValue);
    KonvProgressBar->setValue(int(std::min<std::int64_t>(m_position, MaxValue)));
    ExceptTimer->setProperty("Tag", qint64(m_position));
    ExceptTimer->start();
    if (m_position >= MaxValue)
        finish();
}

void TProgressForm::SetPosition(std::uint8_t step)
{
    if (m_ended)
        return;
    m_position = std::min<std::int64_t>(m_position + step, std::max<std::int32_t>(MaxValue, 0));
    if (MaxValue > 0) {
        KonvProgressBar->setRange(0, MaxValue);
        KonvProgressBar->setValue(int(m_position));
    }
    if (m_position >= MaxValue)
        finish();
}

void TProgressForm::ExceptTimerTimer()
{
    if (m_ended)
        return;
    if (ExceptTimer->property("Tag").toLongLong() == m_position) {
        finish();
        return;
    }
    ExceptTimer->setProperty("Tag", qint64(m_position));
}

void TProgressForm::finish()
{
    if (m_ended)
        return;
    m_ended = true;
    ExceptTimer->stop();
    hide();
    emit Ended();
    deleteLater();
}

} // namespace zk

// What the main window does so that nothing from outside can stack dialogs
// or hang it: messages of the program's channel are handled one after
// another from the main loop, a repeated refusal is counted into the box
// already open instead of opening another, a damaged settings file that was
// kept is told once, and a close by a termination signal reports instead of
// asking.
#include "MainForm.h"

#include "ChannelModule.h"
#include "Registry.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <climits>
#include <cstdio>
#include <syslog.h>

namespace zk {

namespace {

// A name shown in a box: a path of a megabyte would take the text layout
// seconds and show nobody anything useful.
constexpr qsizetype kShownNameLength = 300;

QString shownName(const QString &name)
{
    return name.size() <= kShownNameLength ? name : name.left(kShownNameLength) + QChar(0x2026);
}

} // namespace

void TMainForm::InstallStoreNotices()
{
    QPointer<TMainForm> self(this);
    SetDamagedStoreHandler([self](const QString &store, const QString &copy) {
        // Called inside the store's write: only note it here; the box comes
        // from the event loop, or at the end of the close.
        QMetaObject::invokeMethod(
            self.data(),
            [self, store, copy] {
                if (self)
                    self->NoteDamagedStore(store, copy);
            },
            QThread::currentThread() == (self ? self->thread() : nullptr) ? Qt::DirectConnection
                                                                          : Qt::QueuedConnection);
    });
}

void TMainForm::NoteDamagedStore(const QString &store, const QString &copy)
{
    m_damagedNotes.append(Text(QStringLiteral("showmsg_store_damaged_kept"),
                               QStringLiteral("Die Einstellungsdatei \"%1\" war beschädigt. Das Original bleibt "
                                              "als \"%2\" erhalten; die Einstellungen werden neu geschrieben."))
                              .arg(store, copy));
    if (!m_closeDone)
        QTimer::singleShot(0, this, [this] { ShowDamagedStoreNotes(); });
}

void TMainForm::ShowDamagedStoreNotes()
{
    const QStringList notes = std::exchange(m_damagedNotes, {});
    for (const QString &note : notes) {
        if (m_closingBySignal) {
            ReportToJournal(note);
            continue;
        }
        QMessageBox box(QMessageBox::Warning, windowTitle(), note, QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("StoreDamagedBox"));
        box.exec();
    }
}

void TMainForm::ReportToJournal(const QString &message)
{
    // Nobody may be there to read a box: the standard error and the
    // journal (through syslog) keep it.
    const QByteArray text = message.toUtf8();
    std::fprintf(stderr, "zelkora: %s\n", text.constData());
    std::fflush(stderr);
    ::syslog(LOG_ERR, "%s", text.constData());
}

QMessageBox *TMainForm::ShowCountedMessage(const QString &name, QMessageBox::Icon icon, const QString &text)
{
    QPointer<QMessageBox> &slot = m_countedBoxes[name];
    if (slot && slot->isVisible()) {
        slot->setProperty("zkCount", slot->property("zkCount").toInt() + 1);
        // The text follows once per turn of the loop: laying the box out
        // anew for each of thousands of refusals would take minutes.
        if (!slot->property("zkRecount").toBool()) {
            slot->setProperty("zkRecount", true);
            QTimer::singleShot(0, slot, [this, box = slot.data()] {
                box->setProperty("zkRecount", false);
                box->setText(box->property("zkText").toString() + QStringLiteral("\n\n") +
                             Text(QStringLiteral("showmsg_refused_times"),
                                  QStringLiteral("Insgesamt %1-mal abgelehnt."))
                                 .arg(box->property("zkCount").toInt()));
            });
        }
        return slot;
    }
    // Opened, not run: no loop of its own in which the next refusal (or the
    // next message of the channel) could open yet another box.
    auto *box = new QMessageBox(icon, windowTitle(), text, QMessageBox::Ok, this);
    box->setObjectName(name);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setProperty("zkCount", 1);
    box->setProperty("zkText", text);
    slot = box;
    box->open();
    return box;
}

void TMainForm::QueueChannelMessage(quint32 id, const QByteArray &payload)
{
    m_channelQueue.append({id, payload});
    if (!m_channelDrainQueued) {
        m_channelDrainQueued = true;
        QTimer::singleShot(0, this, [this] { DrainChannelMessages(); });
    }
}

void TMainForm::DrainChannelMessages()
{
    m_channelDrainQueued = false;
    if (m_channelQueue.isEmpty())
        return;
    // Inside the loop of a dialog run by someone (the main loop is level 1):
    // a message handled here would nest its own boxes into that one. It waits
    // until the dialog is done.
    const bool nested = QThread::currentThread()->loopLevel() > 1;
    // One after another, each to its end; the loop gets its turn at least
    // every few milliseconds, so a flood cannot freeze the window.
    QElapsedTimer slice;
    slice.start();
    while (!nested && !m_channelBusy && !m_channelQueue.isEmpty() && slice.elapsed() < 15) {
        const auto [id, payload] = m_channelQueue.takeFirst();
        m_channelBusy = true;
        OnChannelMessage(id, payload);
        ChannelMessage(id, payload);
        m_channelBusy = false;
    }
    if (!m_channelQueue.isEmpty()) {
        m_channelDrainQueued = true;
        QTimer::singleShot(nested ? 50 : 0, this, [this] { DrainChannelMessages(); });
    }
}

bool TMainForm::RefuseChannelLoad(const QByteArray &payload)
{
    // Checked before the name is even decoded: no file has a longer name.
    if (payload.size() < PATH_MAX && !payload.contains('\0'))
        return false;
    ShowLoadRefusal(shownName(QString::fromUtf8(payload.left(kShownNameLength * 4))));
    return true;
}

void TMainForm::ShowLoadRefusal(const QString &name)
{
    ShowCountedMessage(QStringLiteral("LoadFileRefusedBox"), QMessageBox::Warning,
                       Text(QStringLiteral("showmsg_file_evtl_not_exists"),
                            QStringLiteral("Die Datei existiert eventuell nicht (mehr):")) +
                           QLatin1Char('\n') + shownName(name));
}

} // namespace zk

#pragma once
// Answering the modal dialogs a command opens, from inside the test.
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace zktest {

// Runs `answer` on the next modal dialog of type D once it shows.
template <class D>
void AnswerNext(const std::function<void(D *)> &answer)
{
    QTimer::singleShot(0, [answer] {
        for (int i = 0; i < 300; ++i) {
            if (auto *d = qobject_cast<D *>(QApplication::activeModalWidget())) {
                answer(d);
                return;
            }
            QTest::qWait(10);
        }
        ADD_FAILURE() << "no dialog of the expected kind opened";
    });
}

// Runs action while answering the first modal window that comes up with
// answer(window); returns whether one came up.
inline bool WithModal(const std::function<void()> &action, const std::function<void(QWidget *)> &answer)
{
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || seen)
            return;
        seen = true;
        answer(w);
    });
    poll.start();
    action();
    poll.stop();
    return seen;
}


// Answers every modal window that comes up while action runs: file dialogs
// get the name typed into them, message boxes are read and closed.
inline QStringList AnswerDialogs(const std::function<void()> &action, const QString &typedName,
                          const std::function<void(QFileDialog *)> &look = {})
{
    QStringList messages;
    QTimer poll;
    poll.setInterval(10);
    QPointer<QWidget> answered;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || w == answered)
            return;
        answered = w;
        if (auto *dlg = qobject_cast<QFileDialog *>(w)) {
            if (look)
                look(dlg);
            auto *edit = dlg->findChild<QLineEdit *>("fileNameEdit");
            edit->setText(typedName);
            QTest::keyClick(edit, Qt::Key_Return);
        } else if (auto *box = qobject_cast<QMessageBox *>(w)) {
            messages << box->text();
            box->accept();
        } else {
            w->close();
        }
    });
    poll.start();
    action();
    poll.stop();
    return messages;
}

} // namespace zktest

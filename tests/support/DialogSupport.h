#pragma once
// Answering the modal dialogs a command opens, from inside the test.
#include <QApplication>
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

} // namespace zktest

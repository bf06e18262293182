// A field's new text repaints only the area inside its frame (the panel
// behind it copied from the style's picture), and the window then shows what
// painting it whole gives: the old text is gone, the frame (plain or with
// the focus) is as it was.
#include "InfoField.h"

#include <gtest/gtest.h>

#include <QPaintEvent>
#include <QRegion>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

using namespace zk;

namespace {

// Records the region of every paint a widget gets.
class PaintSpy : public QObject
{
public:
    QRegion painted;
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent *>(event)->region();
            ++paints;
        }
        return false;
    }
};

QImage onScreen(QWidget *window)
{
    return window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(InfoField, NewTextRepaintsInsideTheFrameAndLeavesWhatAWholeRepaintDraws)
{
    const QString longText = QStringLiteral("A title far longer than the field is wide, so it scrolls to its end");
    const struct {
        const char *before;
        QString after;
        bool focused;
    } cases[] = {
        {"short", longText, false},
        {"A title far longer than the field is wide, WWWWWWWWWWWWWWWW", QStringLiteral("x"), false},
        {"", QStringLiteral("X = 12   Y = 34"), false},
        {"640x480", QString(), false},
        {"Zelkora bench window one", QStringLiteral("Zelkora bench window two"), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.before << " -> " << c.after.toStdString() << " focused "
                                        << c.focused);
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *field = new TInfoField(&window);
        field->setReadOnly(true);
        field->setMinimumWidth(220);
        auto *other = new TInfoField(&window);
        layout->addWidget(field);
        layout->addWidget(other);
        field->setText(QString::fromLatin1(c.before));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        (c.focused ? field : other)->setFocus();
        QCoreApplication::processEvents();
        ASSERT_EQ(field->hasFocus(), c.focused);

        PaintSpy spy;
        field->installEventFilter(&spy);
        field->ShowText(c.after);
        QCoreApplication::processEvents();
        EXPECT_EQ(field->text(), c.after);
        EXPECT_EQ(spy.paints, 1);
        // The frame, two pixels at each edge in the common styles, is not repainted.
        EXPECT_FALSE(spy.painted.isEmpty());
        EXPECT_TRUE(field->TextArea().contains(spy.painted.boundingRect()));
        EXPECT_TRUE(field->rect().adjusted(1, 1, -1, -1).contains(spy.painted.boundingRect()));

        const QImage shown = onScreen(&window);
        const QImage whole = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), whole.size());
        EXPECT_TRUE(shown == whole);

        // The same text again paints nothing.
        spy.paints = 0;
        field->ShowText(c.after);
        QCoreApplication::processEvents();
        EXPECT_EQ(spy.paints, 0);
    }
}

// Where the field cannot be repainted in part (hidden), the text still arrives.
TEST(InfoField, HiddenFieldTakesTheText)
{
    TInfoField field;
    field.ShowText(QStringLiteral("abc"));
    EXPECT_EQ(field.text(), "abc");
    field.ShowText(QString());
    EXPECT_TRUE(field.text().isEmpty());
}

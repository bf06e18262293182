#pragma once
// Helpers for the tests that run against the real X server that
// scripts/test.sh starts: a window showing a known picture, and waiting for
// the server and the window manager to catch up.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <QWidget>

#include <functional>

#include "TestSupport.h"

namespace zktest {

inline bool haveX11()
{
    return qEnvironmentVariableIsSet("ZK_TEST_X11") && qEnvironmentVariableIsSet("DISPLAY")
           && QGuiApplication::platformName() == "xcb";
}

// Random pixels from a seed: any offset or scaling error shows in a compare.
inline QImage knownPicture(int w, int h, quint32 seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator gen(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(int(gen.bounded(256)), int(gen.bounded(256)), int(gen.bounded(256))));
    return img;
}

// A window that shows exactly the given picture and nothing else.
class PictureWindow : public QWidget
{
public:
    PictureWindow(const QImage &picture, Qt::WindowFlags flags) : QWidget(nullptr, flags), m_picture(picture)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(picture.size());
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.drawImage(0, 0, m_picture);
    }

private:
    QImage m_picture;
};

// Runs the event loop until the condition holds or the time is up.
inline bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < timeoutMs)
        QTest::qWait(20);
    return condition();
}

} // namespace zktest

// Skips a test that needs the test X server and xdotool to drive it.
#define REQUIRE_X11_XDOTOOL()                                                       \
    do {                                                                           \
        if (!zktest::haveX11())                                                    \
            GTEST_SKIP() << "needs the test X server (ZK_TEST_X11 and DISPLAY)";   \
        if (!zktest::haveProgram("xdotool"))                                       \
            GTEST_SKIP() << "needs xdotool";                                       \
    } while (0)

// The window-information tool against windows of another process
// (zk_probe_window): the fields, the status-bar mode, the clipboard lines,
// the inverting frame as the screen shows it, and the tray items it
// switches off while it runs.
#include "ContrClassForm.h"
#include "QuietForm.h"
#include "ScreenGrab.h"
#include "WindowElement.h"
#include "WindowFrame.h"
#include "X11Support.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>

using namespace zk;
using namespace zktest;

namespace {

// A window of another program, placed where asked.
struct Probe
{
    QProcess process;
    std::uint32_t id = 0;
    Probe(const QString &cls, const QString &title, QRect where, const char *rgb)
    {
        process.start(ZK_PROBE_WINDOW, {cls, title, QString::number(where.x()), QString::number(where.y()),
                                        QString::number(where.width()), QString::number(where.height()),
                                        QLatin1String(rgb)});
        if (process.waitForReadyRead(5000))
            id = process.readLine().trimmed().toUInt();
        QTest::qWait(300); // the window manager frames and places it
    }
    ~Probe()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished(1000);
    }
    // The outer bounds: the client's place widened by the manager's frame.
    QRect Outer() const
    {
        // xwininfo's absolute place of the client (xdotool adds the frame twice).
        QByteArray out;
        runProgram("xwininfo", {"-id", QString::number(id)}, &out);
        QHash<QString, int> v;
        for (const QByteArray &line : out.split('\n')) {
            const QByteArray t = line.trimmed();
            const int colon = t.indexOf(':');
            if (colon > 0)
                v[QString::fromLatin1(t.left(colon))] = t.mid(colon + 1).trimmed().toInt();
        }
        v["X"] = v["Absolute upper-left X"];
        v["Y"] = v["Absolute upper-left Y"];
        v["WIDTH"] = v["Width"];
        v["HEIGHT"] = v["Height"];
        QByteArray ext;
        runProgram("xprop", {"-id", QString::number(id), "_NET_FRAME_EXTENTS"}, &ext);
        int l = 0, r = 0, t = 0, b = 0;
        const int eq = ext.indexOf('=');
        if (eq > 0) {
            const QList<QByteArray> parts = ext.mid(eq + 1).split(',');
            if (parts.size() == 4) {
                l = parts[0].trimmed().toInt();
                r = parts[1].trimmed().toInt();
                t = parts[2].trimmed().toInt();
                b = parts[3].trimmed().toInt();
            }
        }
        return QRect(v["X"] - l, v["Y"] - t, v["WIDTH"] + l + r, v["HEIGHT"] + t + b);
    }
};

void movePointer(QPoint p)
{
    runProgram("xdotool", {"mousemove", QString::number(p.x()), QString::number(p.y())});
    QTest::qWait(30);
}

QImage grabScreen(const QRect &area)
{
    GrabbedPixels px;
    if (!ScreenGrabber::instance().grab(area, &px))
        return {};
    QImage img(area.size(), QImage::Format_RGB32);
    for (int y = 0; y < px.height; ++y)
        for (int x = 0; x < px.width; ++x) {
            const std::uint8_t *p = px.row(y) + 4 * x;
            img.setPixel(x, y, qRgb(p[2], p[1], p[0]));
        }
    return img;
}

QRgb inverted(QRgb c)
{
    return qRgb(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c));
}

// The frame's windows are up and painted when the top-left pixel changed.
bool waitForPixel(QPoint p, QRgb want)
{
    return waitFor([&] { return grabScreen(QRect(p, QSize(1, 1))).pixel(0, 0) == want; }, 3000);
}

} // namespace

TEST(WindowInfoX11, ToolWindowShowsTheElementAndFramesIt)
{
    REQUIRE_X11_XDOTOOL();
    const QString title = "Zelkora probe 0123456789 abcdefghijklmno"; // 40 characters
    ASSERT_EQ(title.size(), 40);
    Probe probe("ZkProbeClass", title, QRect(260, 180, 300, 200), "20a040");
    ASSERT_NE(probe.id, 0u);
    QuietForm form;
    form.show();
    ASSERT_TRUE(waitFor([&] { return form.isVisible(); }, 3000));

    form.WEMenuItemClick();
    ASSERT_TRUE(form.ContrClassForm);
    TContrClassForm *tool = form.ContrClassForm;
    ASSERT_TRUE(waitFor([&] { return tool->isVisible() && !form.isVisible(); }, 3000));
    tool->move(700, 40);
    QTest::qWait(200);
    // The tray's capture items are off while the tool runs, the others as they were.
    for (const char *name : {"ZKCloseMenuItem", "WE3MenuItem", "Desk3MenuItem", "ScanMenuItem2", "SettingsMenuItem2"})
        EXPECT_FALSE(form.Item(name)->isEnabled()) << name;
    EXPECT_TRUE(form.Item("Desk2MenuItem")->isEnabled());

    const QRect outer = probe.Outer();
    const QImage before = grabScreen(outer);
    const QPoint centre = outer.center();
    movePointer(centre);
    tool->ActionSpeedButtonMouseDown();
    EXPECT_TRUE(form.WinFormFrameTimer->isActive());
    form.WinFormFrameTimerTimer();
    EXPECT_EQ(form.FLastElement, probe.id);
    EXPECT_EQ(tool->ClassNameEdit->text(), "ZkProbeClass");
    EXPECT_EQ(tool->WinTitleEdit->text(), "Zelkora probe 0123456789 abcd");
    EXPECT_EQ(tool->WinHandleEdit->text(), QString::number(probe.id));
    EXPECT_EQ(tool->DimAlignEdit->text(), QString("%1x%2").arg(outer.width()).arg(outer.height()));
    EXPECT_EQ(tool->CurPosAlignEdit->text(), QString("X = %1   Y = %2").arg(centre.x()).arg(centre.y()));
    EXPECT_TRUE(tool->ModuleEdit->text().isEmpty());
    EXPECT_FALSE(tool->ModuleEdit->isEnabled());

    // The frame: 3-pixel strips inverted, the inside as it was.
    ASSERT_TRUE(waitForPixel(outer.topLeft(), inverted(before.pixel(0, 0))));
    QImage framed = grabScreen(outer);
    for (const QPoint p : {QPoint(0, 0), QPoint(2, 2), QPoint(outer.width() - 1, outer.height() - 3),
                           QPoint(outer.width() / 2, 1), QPoint(1, outer.height() / 2)})
        EXPECT_EQ(framed.pixel(p), inverted(before.pixel(p))) << p.x() << "," << p.y();
    for (const QPoint p : {QPoint(3, 3), QPoint(outer.width() / 2, outer.height() / 2),
                           QPoint(outer.width() - 4, outer.height() - 4)})
        EXPECT_EQ(framed.pixel(p), before.pixel(p)) << p.x() << "," << p.y();

    // The strips are the server's own override-redirect windows at the
    // element's edges, and the pointer passes through them.
    {
        xcb_connection_t *c = xcb_connect(nullptr, nullptr);
        const QList<std::uint32_t> ids = form.WindowFrame->WindowIds();
        ASSERT_EQ(ids.size(), 4);
        for (std::uint32_t id : ids) {
            auto *a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr);
            ASSERT_TRUE(a);
            EXPECT_TRUE(a->override_redirect);
            EXPECT_EQ(a->map_state, XCB_MAP_STATE_VIEWABLE);
            std::free(a);
        }
        auto *g = xcb_get_geometry_reply(c, xcb_get_geometry(c, ids.first()), nullptr);
        ASSERT_TRUE(g);
        auto *t = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, ids.first(), g->root, 0, 0),
                                                  nullptr);
        ASSERT_TRUE(t);
        EXPECT_EQ(QRect(t->dst_x, t->dst_y, g->width, g->height), QRect(outer.topLeft(), QSize(outer.width(), 3)));
        std::free(t);
        std::free(g);
        xcb_disconnect(c);
    }
    movePointer(outer.topLeft() + QPoint(outer.width() / 2, 1));
    form.WinFormFrameTimerTimer();
    EXPECT_EQ(form.FLastElement, probe.id);
    EXPECT_TRUE(form.WindowFrame->Visible());

    // Over the tool window itself: the last element stays.
    movePointer(tool->frameGeometry().center());
    form.WinFormFrameTimerTimer();
    EXPECT_EQ(tool->ClassNameEdit->text(), "ZkProbeClass");
    EXPECT_EQ(form.FLastElement, probe.id);

    // The release ends the tracking; the clipboard gets the six lines.
    tool->LButtonUp();
    EXPECT_FALSE(form.WinFormFrameTimer->isActive());
    tool->ClipbrdButtonClick();
    const QStringList lines = QApplication::clipboard()->text().split('\n');
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], "Klasse: ZkProbeClass");
    EXPECT_EQ(lines[1], "Handle: " + QString::number(probe.id));
    EXPECT_EQ(lines[2], "Fenstertitel: Zelkora probe 0123456789 abcd");
    EXPECT_EQ(lines[3], "Modul: ");
    EXPECT_EQ(lines[5], QString("Maße: %1x%2").arg(outer.width()).arg(outer.height()));

    // Filled: the whole rectangle inverted; moving to the bare root takes it away.
    tool->InvertCheckBox->setChecked(true);
    tool->ActionSpeedButtonMouseDown();
    movePointer(QPoint(5, 590));
    form.WinFormFrameTimerTimer();
    EXPECT_EQ(form.FLastElement, 0u);
    ASSERT_TRUE(waitForPixel(outer.topLeft(), before.pixel(0, 0)));
    EXPECT_EQ(grabScreen(outer), before);
    movePointer(centre);
    form.WinFormFrameTimerTimer();
    const QPoint mid = outer.center() - outer.topLeft();
    ASSERT_TRUE(waitForPixel(outer.center(), inverted(before.pixel(mid))));
    framed = grabScreen(outer);
    EXPECT_EQ(framed.pixel(mid), inverted(before.pixel(mid)));
    EXPECT_EQ(framed.pixel(0, 0), inverted(before.pixel(0, 0)));

    // Closing: the screen as before, the program and its items back.
    tool->CloseCIFButtonClick();
    EXPECT_FALSE(tool->isVisible());
    EXPECT_EQ(form.FLastElement, 0u);
    ASSERT_TRUE(waitForPixel(outer.center(), before.pixel(mid)));
    EXPECT_EQ(grabScreen(outer), before);
    EXPECT_TRUE(waitFor([&] { return form.isVisible(); }, 3000));
    for (const char *name : {"ZKCloseMenuItem", "WE3MenuItem", "Desk3MenuItem", "SettingsMenuItem2"})
        EXPECT_TRUE(form.Item(name)->isEnabled()) << name;

    // The tool window is made once.
    form.WEMenuItemClick();
    EXPECT_EQ(form.ContrClassForm.data(), tool);
    tool->CloseCIFButtonClick();
}

TEST(WindowInfoX11, StatusBarModeEndsWithEscape)
{
    REQUIRE_X11_XDOTOOL();
    Probe probe("ZkNoTitle", "", QRect(200, 200, 240, 160), "c0c0ff");
    ASSERT_NE(probe.id, 0u);
    QuietForm form;
    form.Options.CtrlScanInStatbar = true;
    QStringList messages;
    form.WindowInfoMessage = [&messages](const QString &t) { messages << t; };
    form.show();
    ASSERT_TRUE(waitFor([&] { return form.isVisible(); }, 3000));
    form.move(620, 300);
    QTest::qWait(200);

    form.WEMenuItemClick();
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(form.WinFormFrameTimer->isActive());
    movePointer(probe.Outer().center());
    form.WinFormFrameTimerTimer();
    EXPECT_EQ(form.StatusPanelText(0), "Klassenname: ZkNoTitle - Handle: " + QString::number(probe.id));
    // Without a title the tool window (when shown) names that.
    form.Options.CtrlScanInStatbar = false;
    form.ShowWinElementInfo(form.FLastElement);
    EXPECT_EQ(form.ContrClassForm->WinTitleEdit->text(), "(kein Fenstertitel)");
    form.Options.CtrlScanInStatbar = true;

    int key = Qt::Key_Escape;
    form.FormKeyDown(key, Qt::NoModifier);
    EXPECT_FALSE(form.WinFormFrameTimer->isActive());
    EXPECT_EQ(form.FLastElement, 0u);
    EXPECT_FALSE(form.WindowFrame->Visible());
}

TEST(WindowInfoX11, FramePiecesAreCutToTheScreen)
{
    const QRect screen(0, 0, 800, 600);
    EXPECT_EQ(TWindowFrame::Pieces(QRect(10, 20, 100, 50), false, screen),
              QList<QRect>({QRect(10, 20, 100, 3), QRect(10, 67, 100, 3), QRect(10, 23, 3, 44),
                            QRect(107, 23, 3, 44)}));
    EXPECT_EQ(TWindowFrame::Pieces(QRect(-5, -5, 20, 20), true, screen), QList<QRect>({QRect(0, 0, 15, 15)}));
    // A window right of the screen: only what lies on it.
    EXPECT_EQ(TWindowFrame::Pieces(QRect(790, 100, 40, 10), false, screen),
              QList<QRect>({QRect(790, 100, 10, 3), QRect(790, 107, 10, 3), QRect(790, 103, 3, 4)}));
    EXPECT_TRUE(TWindowFrame::Pieces(QRect(), false, screen).isEmpty());
}

namespace {

xcb_window_t childWindow(xcb_connection_t *c, xcb_window_t parent, const char *wmClass, bool withState)
{
    const xcb_window_t w = xcb_generate_id(c);
    const std::uint32_t values[] = {1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, parent, 10, 10, 50, 40, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, values);
    if (wmClass) {
        const QByteArray bytes = QByteArray("zk") + '\0' + wmClass + '\0'; // instance, class
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            std::uint32_t(bytes.size()), bytes.constData());
    }
    if (withState) {
        auto *r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 8, "WM_STATE"), nullptr);
        const std::uint32_t state[] = {1, 0};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, r->atom, r->atom, 32, 2, state);
        std::free(r);
    }
    return w;
}

} // namespace

// A frame's client is remembered, but only used while it still lies there:
// a new client in the same frame, at one or two levels, is found anew. The
// window under the pointer is taken only when it is a client.
TEST(WindowInfoX11, RememberedClientIsCheckedEveryTime)
{
    if (!haveX11())
        GTEST_SKIP() << "needs the test X server (ZK_TEST_X11 and DISPLAY)";
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_window_t frame = childWindow(c, root, nullptr, false);
    for (int i = 0; i < 3; ++i) // decoration windows beside the client
        childWindow(c, frame, nullptr, false);
    const xcb_window_t first = childWindow(c, frame, "First", true);
    // The pointer over a decoration that lies on the client: not the client.
    childWindow(c, frame, nullptr, false);
    xcb_map_subwindows(c, frame);
    xcb_map_window(c, frame);
    xcb_warp_pointer(c, XCB_NONE, frame, 0, 0, 0, 0, 30, 30);
    xcb_flush(c);
    TWindowTracker tracker;
    ASSERT_TRUE(tracker.IsAvailable());

    struct Step
    {
        const char *what;
        std::function<xcb_window_t()> change; // the client expected afterwards
        const char *className;
    };
    xcb_window_t second = 0;
    const Step steps[] = {
        {"first look", [&] { return first; }, "First"},
        {"remembered", [&] { return first; }, "First"},
        {"client gone, another in its place",
         [&] {
             xcb_destroy_window(c, first);
             return second = childWindow(c, frame, "Second", true);
         },
         "Second"},
        {"client one level deeper",
         [&] {
             childWindow(c, childWindow(c, frame, nullptr, false), "Third", true);
             return second;
         },
         "Second"}, // the direct child is found first and stays valid
        {"direct client gone: the deeper one",
         [&] {
             xcb_destroy_window(c, second);
             return xcb_window_t(0);
         },
         "Third"},
        {"deeper one remembered", [&] { return xcb_window_t(0); }, "Third"},
    };
    for (const Step &step : steps) {
        const xcb_window_t want = step.change();
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // all done
        const std::optional<TWindowElement> e = tracker.Describe(frame);
        ASSERT_TRUE(e) << step.what;
        if (want) {
            EXPECT_EQ(e->window, want) << step.what;
        }
        EXPECT_EQ(e->className, step.className) << step.what;
        EXPECT_EQ(e->frame, frame) << step.what;
    }
    // The frame itself a client (a manager that draws no frame window).
    const xcb_window_t bare = childWindow(c, root, "Bare", true);
    xcb_destroy_window(c, frame);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // all done
    EXPECT_FALSE(tracker.Describe(frame));
    const std::optional<TWindowElement> e = tracker.Describe(bare);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->window, bare);
    EXPECT_EQ(e->className, "Bare");
    xcb_disconnect(c);
}

// The one main() of every test executable: a QApplication exists for widget
// and picture code, and the home and XDG folders point into a throw-away
// directory so no test ever reads or writes the settings of the person
// running it, and a missing home does not matter.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (!std::getenv("DISPLAY") || !std::getenv("ZK_TEST_X11"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);

    QTemporaryDir sandbox;
    if (!sandbox.isValid())
        return 2;
    const QByteArray root = sandbox.path().toLocal8Bit();
    // A home of its own as well: with a missing one, Qt's trash falls back
    // to the top of the volume ("/.Trash-0").
    setenv("HOME", (root + "/home").constData(), 1);
    QDir().mkpath(sandbox.path() + "/home");
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").constData(), 1);
    setenv("ZK_TEST_SANDBOX", root.constData(), 1);
    // No session bus unless a test starts its own: without an address libdbus
    // forks to autolaunch one, and a fork under the sanitizers can hang the
    // child with the parent's X connection (and its key grabs) still open.
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + root + "/no-session-bus").constData(), 1);
    QDir().mkpath(sandbox.path() + "/runtime");
    QFile::setPermissions(sandbox.path() + "/runtime",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The one main() of every test executable: a QApplication exists for widget
// and picture code, and HOME and the XDG folders point into a throw-away
// directory so no test ever reads or writes the settings of the person
// running it.
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
    // A home of its own as well: the trash and the pictures folder follow
    // it, and the caller's may not even exist yet.
    QDir().mkpath(sandbox.path() + "/home");
    setenv("HOME", (root + "/home").constData(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").constData(), 1);
    setenv("ZK_TEST_SANDBOX", root.constData(), 1);
    QDir().mkpath(sandbox.path() + "/runtime");
    QFile::setPermissions(sandbox.path() + "/runtime",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

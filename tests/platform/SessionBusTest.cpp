#include "SessionBus.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zk;

TEST(SessionBus, CannotStartOnlyWithoutAddressSocketAndStarter)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    for (const char *sub : {"run-with-bus", "run-empty", "bin-starter", "bin-plain", "bin-empty"})
        ASSERT_TRUE(QDir(root).mkdir(QString::fromLatin1(sub)));
    const auto touch = [](const QString &path, bool executable) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        f.setPermissions(executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                    : QFile::ReadOwner | QFile::WriteOwner);
    };
    touch(root + "/run-with-bus/bus", false);
    touch(root + "/bin-starter/dbus-launch", true);
    touch(root + "/bin-plain/dbus-launch", false); // not a program

    const QByteArray emptyBin = (root + "/bin-empty").toLocal8Bit();
    const QByteArray starterBin = (root + "/bin-starter").toLocal8Bit();
    const QByteArray plainBin = (root + "/bin-plain").toLocal8Bit();
    const struct
    {
        const char *what;
        QByteArray address;
        QString runtime;
        QByteArray path;
        bool cannot;
    } cases[] = {
        {"nothing anywhere", {}, root + "/run-empty", emptyBin, true},
        {"no runtime folder, empty path entries", {}, {}, "::" + emptyBin + ":", true},
        {"an address", "unix:path=/nowhere", root + "/run-empty", emptyBin, false},
        {"a bus socket", {}, root + "/run-with-bus", emptyBin, false},
        {"a starter later in the path", {}, root + "/run-empty", emptyBin + ":" + starterBin, false},
        {"a starter that is no program", {}, root + "/run-empty", plainBin, true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SessionBusCannotStart(c.address, c.runtime, c.path), c.cannot) << c.what;
}

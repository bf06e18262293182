// The help menu's text file reaches the desktop's opener under a real X
// server: a recording xdg-open first on PATH receives it.
#include "MainForm.h"
#include "ProgramDir.h"
#include "QuietForm.h"
#include "Registry.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace zk;

TEST(ShellHandOffX11, ReadmeGoesToXdgOpen)
{
    if (!zktest::haveX11())
        GTEST_SKIP() << "needs the test X server";
    QTemporaryDir prog, bin;
    SetProgramDirOverride(prog.path() + "/");
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    const QString log = bin.path() + "/log";
    ASSERT_TRUE(zktest::writeBytes(bin.path() + "/xdg-open",
                                   QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1'\n").arg(log).toUtf8()));
    QFile(bin.path() + "/xdg-open").setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(zktest::writeBytes(prog.path() + "/Readme.txt", "hello"));
    const QByteArray oldPath = qgetenv("PATH"), oldDesktop = qgetenv("XDG_CURRENT_DESKTOP");
    qputenv("PATH", bin.path().toUtf8() + ":" + oldPath);
    qunsetenv("XDG_CURRENT_DESKTOP");
    {
        zktest::QuietForm form;
        form.Item(QStringLiteral("ReadmeMenuItem"))->trigger();
        ASSERT_TRUE(zktest::waitFor([&] { return QFileInfo::exists(log); }, 5000));
        QTest::qWait(50);
        const QString line = QString::fromUtf8(zktest::readBytes(log)).trimmed();
        EXPECT_TRUE(line.endsWith(prog.path() + "/Readme.txt")) << line.toStdString();
    }
    qputenv("PATH", oldPath);
    if (!oldDesktop.isEmpty())
        qputenv("XDG_CURRENT_DESKTOP", oldDesktop);
    SetProgramDirOverride(QString());
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}

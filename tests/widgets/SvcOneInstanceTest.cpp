// The one-copy test in one process: each component opens the lock files on
// its own, and flock locks of separate opens exclude each other as those of
// separate processes do.
#include "SvcOneInstance.h"

#include "TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace zk;

namespace {

QString lockFolder()
{
    const QString dir = zktest::sandboxDir() + "/locks";
    QDir().mkpath(dir);
    return dir;
}

} // namespace

TEST(SvcOneInstance, SecondCopyFindsTheFirstUntilItEnds)
{
    TsvcOneInstance first, second, third;
    for (TsvcOneInstance *c : {&first, &second, &third})
        c->LockFolder = lockFolder();
    EXPECT_FALSE(first.InstanceExists());
    EXPECT_TRUE(QFile::exists(lockFolder() + "/Zelkora 5.0.OneInstance.Default"));
    EXPECT_TRUE(second.InstanceExists());
    EXPECT_TRUE(second.LockError().isEmpty());
    first.ReleaseLock(); // the kernel does the same for a copy that died
    EXPECT_FALSE(third.InstanceExists());
}

TEST(SvcOneInstance, UnusableFolderCountsAsRunningAndSaysWhere)
{
    TsvcOneInstance c;
    c.LockFolder = zktest::sandboxDir() + "/no-such-folder";
    EXPECT_TRUE(c.InstanceExists());
    EXPECT_TRUE(c.LockError().contains("no-such-folder")) << c.LockError().toStdString();
}

TEST(SvcOneInstance, MessageTextAndTerminate)
{
    TsvcOneInstance c;
    c.LockFolder = lockFolder();
    EXPECT_EQ(c.MessageText(), "Application \"Zelkora 5.0\" is already running.");
    c.Message = "Schon da";
    EXPECT_EQ(c.MessageText(), "Schon da");

    // OnShowMessage clearing terminate keeps the copy; nothing is activated.
    c.ActivatePrevInstance = false;
    c.ShowMessage = true;
    int asked = 0;
    c.OnShowMessage = [&asked](TsvcOneInstance *, bool &terminate) {
        ++asked;
        terminate = false;
    };
    c.DoInstanceFound();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(c.Terminated());
    c.OnShowMessage = [](TsvcOneInstance *, bool &) {};
    c.DoInstanceFound();
    EXPECT_TRUE(c.Terminated());
}

TEST(SvcOneInstance, HandOverGivesUpWhenNobodyListens)
{
    TsvcOneInstance c;
    c.ChannelPath = zktest::sandboxDir() + "/runtime/nobody.sock";
    c.HandOverTimeoutMs = 200;
    c.Files = {"/tmp/x.png"};
    c.DoInstanceFound();
    EXPECT_FALSE(c.HandedOver());
    EXPECT_FALSE(c.HandOverError().isEmpty());
}

TEST(SvcOneInstance, CommandLineFilesBecomeAbsolute)
{
    EXPECT_EQ(TsvcOneInstance::AbsoluteFiles({"a.png", "../b/c.bmp", "/x/y.gif", ""}, "/home/u/pics"),
              QStringList({"/home/u/pics/a.png", "/home/u/b/c.bmp", "/x/y.gif"}));
}

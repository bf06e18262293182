// Autostart entries by kind, in sandboxed XDG folders.
#include "SvcAutoRun.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace zk;

namespace {

class SvcAutoRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_user = qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart";
        m_machineRoot = zktest::sandboxDir() + "/xdg-machine";
        qputenv("XDG_CONFIG_DIRS", (m_machineRoot + ":/etc/xdg").toLocal8Bit());
        QDir(m_user).removeRecursively();
        QDir(m_machineRoot).removeRecursively();
    }
    void TearDown() override { qunsetenv("XDG_CONFIG_DIRS"); }

    QString m_user;
    QString m_machineRoot;
};

bool validDesktopEntry(const QString &path)
{
    QByteArray out;
    return zktest::runProgram("desktop-file-validate", {path}, &out) == 0 && out.trimmed().isEmpty();
}

} // namespace

TEST_F(SvcAutoRunTest, EachKindWritesItsOwnEntryOrNothing)
{
    const QString exe = "/opt/zelkora dir/zelkora";
    struct Row
    {
        int kind;
        QString path; // empty: refused
    };
    const Row rows[] = {
        {aekMachineRun, m_machineRoot + "/autostart/zelkora.desktop"},
        {aekMachineRunOnce, m_machineRoot + "/autostart/zelkora-runonce.desktop"},
        {aekUserRun, m_user + "/zelkora.desktop"},
        {aekUserRunOnce, m_user + "/zelkora-runonce.desktop"},
        {aekServiceRun, {}},
        {aekServiceRunOnce, {}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.kind);
        EXPECT_EQ(AutoRunEntryPath(r.kind, exe), r.path);
        EXPECT_EQ(AutoRunWrite(r.kind, exe), !r.path.isEmpty());
        if (r.path.isEmpty())
            continue;
        ASSERT_TRUE(QFile::exists(r.path));
        const QByteArray text = zktest::readBytes(r.path);
        EXPECT_TRUE(text.contains("\nExec=\"/opt/zelkora dir/zelkora\"\n")) << text.constData();
        EXPECT_TRUE(validDesktopEntry(r.path));
        EXPECT_TRUE(AutoRunRemove(r.kind, exe));
        EXPECT_FALSE(QFile::exists(r.path));
    }
    // Kinds 4 and 5 touch nothing.
    EXPECT_FALSE(AutoRunRemove(aekServiceRun, exe));
}

TEST_F(SvcAutoRunTest, RemoverRules)
{
    // No folder: false; folder without the entry: true.
    EXPECT_FALSE(AutoRunRemove(aekUserRun, "/usr/bin/zelkora"));
    ASSERT_TRUE(QDir().mkpath(m_user));
    EXPECT_TRUE(AutoRunRemove(aekUserRun, "/usr/bin/zelkora"));
    // A machine folder that cannot be written: the writer says false.
    qputenv("XDG_CONFIG_DIRS", "/proc/zelkora-none");
    EXPECT_FALSE(AutoRunWrite(aekMachineRun, "/usr/bin/zelkora"));
}

TEST_F(SvcAutoRunTest, ComponentFollowsAutoRunAndKind)
{
    const QString exe = "/usr/local/bin/zelkora";
    const QString user = m_user + "/zelkora.desktop";
    const QString machine = m_machineRoot + "/autostart/zelkora.desktop";
    TsvcAutoRun run;
    run.SetFileName(exe);
    run.SetAutoRun(true);
    // Nothing happens while the properties are being set.
    EXPECT_FALSE(QFile::exists(machine));
    run.Loaded();
    EXPECT_TRUE(QFile::exists(machine));
    run.SetKind(aekUserRun);
    EXPECT_FALSE(QFile::exists(machine));
    EXPECT_TRUE(QFile::exists(user));
    run.SetAutoRun(false);
    EXPECT_FALSE(QFile::exists(user));
    run.SetAutoRun(true);
    run.SetFileName("/other/zelkora-beta");
    EXPECT_FALSE(QFile::exists(user));
    EXPECT_TRUE(QFile::exists(m_user + "/zelkora-beta.desktop"));
}

TEST_F(SvcAutoRunTest, OneTimeEntryIsTheOnceKind)
{
    ASSERT_TRUE(WriteRunOnceEntry("/a/b/zk-build"));
    EXPECT_EQ(RunOnceEntryPath(), m_user + "/zelkora-runonce.desktop");
    EXPECT_TRUE(zktest::readBytes(RunOnceEntryPath()).contains("Exec=\"/a/b/zk-build\""));
    RemoveRunOnceEntry();
    EXPECT_FALSE(QFile::exists(RunOnceEntryPath()));
}

#include "ProgramDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(ProgramDir, WritableExecutableFolderIsTheProgramDirectory)
{
    QTemporaryDir exe, data;
    EXPECT_EQ(zk::ResolveProgramDir(exe.path(), data.path()), exe.path() + "/");
}

TEST(ProgramDir, ReadOnlyInstallUsesDataHomeSeededFromTemplates)
{
    QTemporaryDir exe, data;
    QDir(exe.path()).mkpath("Templates");
    QFile f(exe.path() + "/Templates/Languages.lng");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[german]\n");
    f.close();
    const QString dir = zk::ResolveProgramDir(exe.path(), data.path(), 0);
    EXPECT_EQ(dir, data.path() + "/Zelkora/");
    EXPECT_TRUE(QFile::exists(dir + "Templates/Languages.lng"));
}

TEST(ProgramDir, SeedingKeepsWhatTheUserAlreadyHas)
{
    QTemporaryDir exe, data;
    QDir(exe.path()).mkpath("Templates");
    QFile f(exe.path() + "/Templates/Languages.lng");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("installed");
    f.close();
    QDir(data.path()).mkpath("Zelkora/Templates");
    QFile mine(data.path() + "/Zelkora/Templates/Languages.lng");
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
    mine.write("mine");
    mine.close();
    zk::ResolveProgramDir(exe.path(), data.path(), 0);
    ASSERT_TRUE(mine.open(QIODevice::ReadOnly));
    EXPECT_EQ(mine.readAll(), QByteArray("mine"));
}

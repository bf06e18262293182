#pragma once
// A test whose program folder holds the shipped language file, so every
// language switch uses what ships; the settings store starts and ends empty.
// For the suites that link the program's rooms (ProgramDir, Registry).
#include "ProgramDir.h"
#include "Registry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zktest {

class ShippedLanguageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid());
        QDir().mkpath(programDir.path() + "/Templates");
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"),
                                programDir.path() + "/Templates/Languages.lng"));
        zk::SetProgramDirOverride(programDir.path());
        zk::TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    void TearDown() override
    {
        zk::SetProgramDirOverride(QString());
        zk::TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    QTemporaryDir programDir;
};

} // namespace zktest

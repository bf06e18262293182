#pragma once
// A main window of its own for each test: a fresh program directory and an
// empty store, both cleaned up afterwards.
#include "Bitmap.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "ProgramDir.h"
#include "Registry.h"

#include <QAction>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace zktest {

class MainFormFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid());
        zk::SetProgramDirOverride(programDir.path());
        zk::TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        form = std::make_unique<zk::TMainForm>();
    }
    void TearDown() override
    {
        form.reset();
        zk::SetProgramDirOverride(QString());
        zk::TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }

    zk::TBitmap &Picture() { return form->ScanImage->Picture().Bitmap(); }
    void Load(const zk::TBitmap &bmp)
    {
        form->ScanImage->Picture().SetGraphic(std::make_unique<zk::TBitmap>(bmp));
        form->ScanImage->PictureChanged();
        // The commands follow the picture at the next idle moment: now.
        form->ZKApplicationEventsIdle();
    }
    QAction *Item(const char *name)
    {
        QAction *a = form->Item(QString::fromLatin1(name));
        EXPECT_NE(a, nullptr) << name;
        return a;
    }

    QTemporaryDir programDir;
    std::unique_ptr<zk::TMainForm> form;
};

} // namespace zktest

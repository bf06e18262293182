#pragma once
// A main window for tests: closing asks nothing and no system-wide keys are
// taken from the desktop the tests run on.
#include "MainForm.h"

namespace zktest {

class QuietForm : public zk::TMainForm
{
public:
    QuietForm()
    {
        Options.EndDlg = false;
        Options.SysKeys = false;
    }
};

} // namespace zktest

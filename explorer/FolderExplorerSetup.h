#pragma once
// Puts the folder explorer into the main window: creates it in the left dock
// area, hands the main window its pointer and binds the main window's
// explorer menu items to the explorer's commands.
namespace zk {

class TMainForm;
class TDirBDForm;

TDirBDForm *CreateFolderExplorer(TMainForm &mainForm);

// The start: shows the main window, then builds the explorer into it while
// the window manager frames the window, and settles the layout before the
// event loop can paint, so the first frame is the one the window would show
// with the explorer built before.
TDirBDForm *ShowWithFolderExplorer(TMainForm &mainForm);

} // namespace zk

#pragma once
// Puts the folder explorer into the main window: creates it in the left dock
// area, hands the main window its pointer and binds the main window's
// explorer menu items to the explorer's commands.
namespace zk {

class TMainForm;
class TDirBDForm;

TDirBDForm *CreateFolderExplorer(TMainForm &mainForm);

} // namespace zk

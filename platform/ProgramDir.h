#pragma once
#include <QString>

namespace zk {

// The program directory: where "ZK5.ini", "Templates/", "Script/" and
// "Autosave/" live. It is the executable's folder when that folder is
// writable (the build tree, a portable copy); an installed read-only copy uses
// $XDG_DATA_HOME/Zelkora/ instead, seeded from the installed Templates/ on
// first use. Always ends in '/'. Everything else asks this function.
QString ProgramDir();

// Overrides the answer of ProgramDir() (tests, and a copy started with an
// explicit folder). An empty string restores the automatic choice.
void SetProgramDirOverride(const QString &dir);

// The rule itself, free of process state so it can be tested: exeDir is the
// executable's folder, dataHome the XDG data home. exeDirWritable overrides
// the access check (root may write anywhere, so tests need to force it).
QString ResolveProgramDir(const QString &exeDir, const QString &dataHome, int exeDirWritable = -1);

} // namespace zk

#pragma once
// Small helpers shared by the test suites.
#include <QByteArray>
#include <QString>

namespace zktest {

// The per-process sandbox folder TestMain created (XDG folders live below it).
QString sandboxDir();

// Runs a program to completion; returns its exit code, or -1 when it could not
// start or did not finish within timeoutMs. Standard output lands in *out.
int runProgram(const QString &program, const QStringList &args, QByteArray *out = nullptr,
               int timeoutMs = 30000);

// A whole file's bytes (empty when it cannot be read), and a whole file
// written (false when that failed).
QByteArray readBytes(const QString &path);
bool writeBytes(const QString &path, const QByteArray &data);

// True when the given program can be found on PATH or as an absolute path.
bool haveProgram(const QString &program);

// The X id of the first window titled exactly `title`, polled through
// xdotool until it appears (onlyVisible: mapped windows only; pid: only a
// window of that process, by _NET_WM_PID); empty when none appeared within
// timeoutMs.
QByteArray waitForWindow(const QString &title, int timeoutMs, bool onlyVisible = false, qint64 pid = 0);
// Every named window of the process with its title, one a line: what a test
// that waited in vain prints.
QByteArray windowsOf(qint64 pid);

} // namespace zktest

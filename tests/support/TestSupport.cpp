#include "TestSupport.h"

#include <QFile>

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace zktest {

QString sandboxDir()
{
    return QString::fromLocal8Bit(qgetenv("ZK_TEST_SANDBOX"));
}

int runProgram(const QString &program, const QStringList &args, QByteArray *out, int timeoutMs)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForStarted(timeoutMs))
        return -1;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool haveProgram(const QString &program)
{
    if (program.startsWith('/'))
        return QFileInfo(program).isExecutable();
    return !QStandardPaths::findExecutable(program).isEmpty();
}

QByteArray waitForWindow(const QString &title, int timeoutMs, bool onlyVisible, qint64 pid)
{
    // All conditions at once; the process by the window's _NET_WM_PID, so a
    // window of the same title left by another process is never taken.
    QStringList args = {"search", "--all"};
    if (onlyVisible)
        args << "--onlyvisible";
    if (pid > 0)
        args << "--pid" << QString::number(pid);
    args << "--name" << "^" + title + "$";
    for (int waited = 0; waited < timeoutMs; waited += 200) {
        QByteArray out;
        if (runProgram("xdotool", args, &out) == 0) {
            const QByteArray id = out.split('\n').value(0).trimmed();
            if (!id.isEmpty())
                return id;
        }
        QThread::msleep(200);
    }
    return {};
}

QByteArray windowsOf(qint64 pid)
{
    QByteArray ids;
    if (runProgram("xdotool", {"search", "--all", "--pid", QString::number(pid), "--name", "."}, &ids) != 0)
        return "(no window of process " + QByteArray::number(pid) + ")";
    QByteArray out;
    for (const QByteArray &id : ids.split('\n')) {
        if (id.trimmed().isEmpty())
            continue;
        QByteArray name;
        runProgram("xdotool", {"getwindowname", QString::fromLatin1(id.trimmed())}, &name);
        out += id.trimmed() + " \"" + name.trimmed() + "\"\n";
    }
    return out;
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

} // namespace zktest

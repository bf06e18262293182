#include "TestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

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

} // namespace zktest

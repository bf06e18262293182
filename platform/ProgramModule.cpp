#include "ProgramModule.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dlfcn.h>
#include <unistd.h>

namespace zk {

void *OpenProgramModule(const char *fileName, QString *reason)
{
    QStringList folders;
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0)
        folders << QFileInfo(QFile::decodeName(QByteArray(self, qsizetype(n)))).absolutePath();
#ifdef ZK_BUILD_PROGRAM_DIR
    folders << QStringLiteral(ZK_BUILD_PROGRAM_DIR);
#endif
    for (const QString &folder : folders) {
        const QString path = folder + u'/' + QLatin1String(fileName);
        if (!QFileInfo::exists(path))
            continue;
        void *lib = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!lib && reason)
            *reason = QString::fromLocal8Bit(::dlerror());
        return lib;
    }
    if (reason)
        *reason = QStringLiteral("%1 is not beside the program").arg(QLatin1String(fileName));
    return nullptr;
}

} // namespace zk

#include "PrintQueue.h"

#include <QFile>

#include <cups/cups.h>
#include <dlfcn.h>
#include <mutex>

namespace zk {

namespace {

// libcups is opened at the first print only: it brings the TLS, Kerberos
// and service-discovery libraries, which a start never needs.
struct TCups
{
    decltype(&::cupsPrintFile2) PrintFile = nullptr;
    decltype(&::cupsLastErrorString) LastErrorString = nullptr;
};

constexpr const char *kCupsLibrary = "libcups.so.2";

const TCups *Cups(QString &error)
{
    static TCups api;
    static QString loadError;
    static std::once_flag once;
    std::call_once(once, [] {
        void *lib = dlopen(kCupsLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            loadError = QString::fromLocal8Bit(dlerror());
            return;
        }
        api.PrintFile = reinterpret_cast<decltype(api.PrintFile)>(dlsym(lib, "cupsPrintFile2"));
        api.LastErrorString = reinterpret_cast<decltype(api.LastErrorString)>(dlsym(lib, "cupsLastErrorString"));
        if (!api.PrintFile || !api.LastErrorString) {
            api = TCups{};
            loadError = QStringLiteral("%1: cupsPrintFile2").arg(QLatin1String(kCupsLibrary));
        }
    });
    error = loadError;
    return api.PrintFile ? &api : nullptr;
}

} // namespace

TPrintJobResult SubmitPrintJob(const QString &queue, const QString &file, const QString &title)
{
    TPrintJobResult result;
    const TCups *cups = Cups(result.Error);
    if (!cups)
        return result;
    const QByteArray name = queue.toUtf8();
    const QByteArray path = QFile::encodeName(file);
    const QByteArray job = title.toUtf8();
    result.JobId = cups->PrintFile(CUPS_HTTP_DEFAULT, name.constData(), path.constData(), job.constData(), 0,
                                   nullptr);
    if (result.JobId == 0) {
        const char *why = cups->LastErrorString();
        result.Error = why && *why ? QString::fromUtf8(why) : queue;
    }
    return result;
}

} // namespace zk

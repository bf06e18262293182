#include "ReaderCancel.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <dlfcn.h>
#include <pthread.h>

namespace {

using TSetCancelType = int (*)(int, int *);
std::atomic<TSetCancelType> g_next{nullptr};
std::atomic_int g_deferred{0};

TSetCancelType Next()
{
    TSetCancelType next = g_next.load();
    if (!next) {
        next = reinterpret_cast<TSetCancelType>(::dlsym(RTLD_NEXT, "pthread_setcanceltype"));
        g_next = next;
    }
    return next;
}

// SANE installs its backends as .../sane/libsane-NAME.so.N.
bool FromSaneBackend(void *caller)
{
    Dl_info info;
    return caller && ::dladdr(caller, &info) != 0 && info.dli_fname &&
           std::strstr(info.dli_fname, "/sane/libsane-") != nullptr;
}

} // namespace

// Runs in the reader thread before it may be cancelled at all (a new
// thread's cancelling is deferred until this returns).
extern "C" int pthread_setcanceltype(int type, int *oldtype)
{
    if (type == PTHREAD_CANCEL_ASYNCHRONOUS && FromSaneBackend(__builtin_return_address(0))) {
        type = PTHREAD_CANCEL_DEFERRED;
        ++g_deferred;
    }
    const TSetCancelType next = Next();
    return next ? next(type, oldtype) : ENOSYS;
}

namespace zk {

void PrepareSaneReaders()
{
    Next();
}

int SaneAsyncCancelsDeferred()
{
    return g_deferred.load();
}

} // namespace zk

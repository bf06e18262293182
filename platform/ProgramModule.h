#pragma once
// The program's own modules (libzksound.so, libzkchannel.so) lie beside the
// executable; each is opened at its first use, so the libraries behind it
// cost a start nothing.
#include <QString>

namespace zk {

// Opens fileName from the executable's folder (tests and benchmarks, which
// run from the build tree, also from the build's program folder). Null with
// the reason in *reason when it is missing or does not load.
void *OpenProgramModule(const char *fileName, QString *reason);

} // namespace zk

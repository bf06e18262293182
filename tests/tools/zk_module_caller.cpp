// A stand-in for the program when the zip module is tested: it binds the
// modules from its own folder the way the program does and calls
// ProceedFiles once. A test copies it into a scratch folder so that folder is
// the program folder. Exit code: 0 archive written, 1 refused, 2 no module.
#include "DLLImport.h"

#include <QCoreApplication>

#include <cstdlib>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    zk::LoadOutsideModules();
    const int level = argc > 1 ? std::atoi(argv[1]) : 8;
    int rc = 1;
    if (!zk::ZipModuleLoaded())
        rc = zk::ProceedFiles(level, 0, 0) ? 3 : 2; // a missing module must say false
    else
        rc = zk::ProceedFiles(level, 0, 0) ? 0 : 1;
    zk::FreeOutsideModules();
    return rc;
}

// The user's lpoptions file, read for the default destination and written
// back with one: what was read, written and read again stays as it was.
#include "fuzztarget.h"

#include <lpoptions.h>

#include <QCoreApplication>
#include <QDir>

using namespace CUPS;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::makeApplication<QCoreApplication>();
    // The user file below this home; no server-wide file at all.
    qputenv("HOME", QFile::encodeName(Fuzz::path(QStringLiteral("home"))));
    qputenv("CUPS_SERVERROOT", QFile::encodeName(Fuzz::path(QStringLiteral("no-server-root"))));
    return QDir().mkpath(Fuzz::path(QStringLiteral("home/.cups"))) ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString file = Fuzz::path(QStringLiteral("home/.cups/lpoptions"));
    FUZZ_CHECK(Fuzz::writeFile(file, Fuzz::bytes(data, size)));

    const QString read = Lpoptions::defaultDestination();
    const QString name = read.isEmpty() ? QStringLiteral("Office_PS") : read;
    FUZZ_CHECK(Lpoptions::setDefaultDestination(name));
    const QByteArray written = Fuzz::readFile(file);
    FUZZ_CHECK(Lpoptions::defaultDestination() == name);
    // Writing the same default again changes nothing.
    FUZZ_CHECK(Lpoptions::setDefaultDestination(name));
    FUZZ_CHECK(Fuzz::readFile(file) == written);
    return 0;
}

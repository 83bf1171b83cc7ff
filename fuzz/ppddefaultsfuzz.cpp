// A PPD as the driver settings load it, then saved with a new page size and
// duplex mode: only "*Default" lines may differ in the copy.
#include "fuzztarget.h"

#include <ppdsettings.h>

#include <QApplication>

using CUPS::PpdSettings;

namespace
{
// Lines as libcups ends them: LF, CR LF or CR alone.
QList<QByteArray> lines(QByteArray text)
{
    text.replace("\r\n", "\n").replace('\r', '\n');
    if (text.endsWith('\n')) {
        text.chop(1);
    }
    return text.split('\n');
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Fuzz::makeApplication<QApplication>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray ppd = Fuzz::bytes(data, size);
    const QString file = Fuzz::path(QStringLiteral("driver.ppd"));
    FUZZ_CHECK(Fuzz::writeFile(file, ppd));
    PpdSettings settings;
    if (!settings.load(file)) {
        return 0;
    }
    // Each input picks its paper, so both directions of a change are tried.
    settings.selectMedia(size % 2 ? QStringLiteral("iso_a4_210x297mm") : QStringLiteral("na_letter_8.5x11in"));
    settings.selectSides(size % 3 ? QStringLiteral("two-sided-long-edge") : QStringLiteral("one-sided"));
    const QString saved = settings.save();
    if (saved.isEmpty()) {
        return 0;
    }
    const QList<QByteArray> before = lines(ppd);
    const QList<QByteArray> after = lines(Fuzz::readFile(saved));
    QFile::remove(saved);
    FUZZ_CHECK(before.size() == after.size());
    for (int i = 0; i < before.size(); ++i) {
        FUZZ_CHECK(before.at(i) == after.at(i) || (before.at(i).startsWith("*Default") && after.at(i).startsWith("*Default")));
    }
    return 0;
}

// HPLIP's model database and configuration as the wizard reads them to
// propose a driver. Input: models.dat, a NUL byte, then hplip.conf.
#include "fuzztarget.h"

#include <hpmodels.h>

#include <QCoreApplication>
#include <QDateTime>

using CUPS::HpModels;

namespace
{
// PPD names as the server lists HPLIP's for one model, by make.
QMap<QString, QList<QVariant>> serverPpds()
{
    QList<QVariant> records;
    for (const char *name : {"drv:///hpijs.drv/hp-laserjet_1020-hpijs.ppd", "hplip:0/ppd/hplip/HP/hp-laserjet_1020.ppd",
                             "hplip:1/ppd/hplip/HP/hp-laserjet_1020.ppd", "drv:///hpcups.drv/hp-laserjet_1020.ppd",
                             "drv:///hpijs.drv/hp-deskjet_2700_series-hpijs.ppd", "hplip:0/ppd/hplip/HP/hp-deskjet_2700_series.ppd",
                             "drv:///hpcups.drv/hp-deskjet_2700_series.ppd"}) {
        records.append(QVariantHash{{QStringLiteral("ppd-name"), QVariantList{QString::fromLatin1(name)}}});
    }
    return {{QStringLiteral("HP"), records}};
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::makeApplication<QCoreApplication>();
    HpModels::Files files;
    files.modelsDat = Fuzz::path(QStringLiteral("models.dat"));
    files.hplipConf = Fuzz::path(QStringLiteral("hplip.conf"));
    files.hplipState = Fuzz::path(QStringLiteral("no-hplip.state"));
    files.pluginInstaller = QStringLiteral("/bin/false");
    HpModels::setFiles(files);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    const int split = input.indexOf('\0');
    const HpModels::Files files = HpModels::files();
    FUZZ_CHECK(Fuzz::writeFile(files.modelsDat, input.left(split)));
    QFile conf(files.hplipConf);
    FUZZ_CHECK(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write(split < 0 ? QByteArray() : input.mid(split + 1));
    conf.flush();
    // A time of its own for each input: QSettings keeps a file it has read while its size and time stay.
    static qint64 count = 0;
    FUZZ_CHECK(conf.setFileTime(QDateTime::fromSecsSinceEpoch(++count), QFileDevice::FileModificationTime));
    conf.close();

    static const QMap<QString, QList<QVariant>> ppds = serverPpds();
    for (const char *uri : {"hp:/usb/HP_LaserJet_1020?serial=FN0000000", "hp:/net/Deskjet_2700_series?ip=127.0.0.1"}) {
        HpModels models(QString::fromLatin1(uri));
        const QString ppd = models.findPpd(ppds);
        // The proposal is one of the server's PPDs or none.
        FUZZ_CHECK(ppd.isEmpty() || ppds.first().contains(QVariantHash{{QStringLiteral("ppd-name"), QVariantList{ppd}}}));
        models.pluginMissing();
    }
    return 0;
}

#ifndef CUPS_HPMODELS_H
#define CUPS_HPMODELS_H

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

namespace CUPS
{
/**
 * Proposes a driver for an HP device from HPLIP's model database: parses an
 * HPLIP device URI, finds the model's PPDs among the server's and picks one
 * by its page-description language. Also tells whether the model needs
 * HPLIP's proprietary plug-in and whether it is installed.
 *
 * One instance serves one proposal: construct, isHpDevice(), findPpd(),
 * then pluginMissing().
 */
class HpModels
{
public:
    /// Where HPLIP keeps what is read here; the defaults are HPLIP's own.
    struct Files {
        QString modelsDat = QStringLiteral("/usr/share/hplip/data/models/models.dat");
        QString hplipConf = QStringLiteral("/etc/hp/hplip.conf");
        QString hplipState = QStringLiteral("/var/lib/hp/hplip.state");
        QString pluginInstaller = QStringLiteral("hp-plugin");
    };
    /// Points every later instance elsewhere (tests, unusual installations).
    static void setFiles(const Files &files);
    static Files files();

    explicit HpModels(const QString &deviceUri);

    bool isHpDevice() const;
    /// The chosen PPD name from the server's PPDs by make, or empty.
    QString findPpd(const QMap<QString, QList<QVariant>> &ppdsByMake);
    bool pluginMissing() const;
    /// Runs HPLIP's plug-in installer, waits for it and says whether the plug-in is now there.
    static bool runPluginInstaller();

private:
    /// Reads models.dat into models; false when it is missing or unreadable.
    bool readModels();

    QHash<QString, QHash<QString, QString>> models;
    QHash<QString, QString> modelData;
    QString model;
    bool isHp = false;
};
} // namespace CUPS

#endif

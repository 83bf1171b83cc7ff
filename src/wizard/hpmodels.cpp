#include "hpmodels.h"

#include "wizardlogging.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>

namespace CUPS
{
namespace
{
HpModels::Files &hplipFiles()
{
    static HpModels::Files files;
    return files;
}

/// The HPLIP device URI: back end, bus, model, then one way of reaching the device and an optional port.
const QRegularExpression &deviceUriExpression()
{
    static const QRegularExpression expression(
        QStringLiteral("(.*):/(.*?)/(\\S*?)\\?(?:serial=(\\S*)|device=(\\S*)|ip=(\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}[^&]*)|zc=(\\S+)|hostname=(\\S+))"
                       "(?:&port=(\\d))?"),
        QRegularExpression::CaseInsensitiveOption);
    return expression;
}

/// A server PPD name: group 1 the model (or class) name after "hp-", group 2 the dash-separated PDLs.
const QRegularExpression &ppdNameExpression()
{
    static const QRegularExpression expression(QStringLiteral(".*hp-(.*?)(-.*)*\\.ppd.*"));
    return expression;
}

/// Removed in this order: "-pcl" goes before "-pcl3" is tried.
const QStringList &normalisationRemovals()
{
    static const QStringList removals{
        QStringLiteral("foomatic:"), QStringLiteral("hp-"),   QStringLiteral("hp_"),       QStringLiteral("hp "),
        QStringLiteral(".gz"),       QStringLiteral(".ppd"),  QStringLiteral("drv:"),      QStringLiteral("-pcl"),
        QStringLiteral("-pcl3"),     QStringLiteral("-jetready"), QStringLiteral("-zxs"),  QStringLiteral("-zjs"),
        QStringLiteral("-ps"),       QStringLiteral("-postscript"), QStringLiteral("-pdf"), QStringLiteral("-jr"),
        QStringLiteral("-lidl"),     QStringLiteral("-lidil"), QStringLiteral("-ldl"),     QStringLiteral("-hpijs"),
    };
    return removals;
}

/// The category of a page-description language; a name not listed counts as 2.
int pdlCategory(const QString &pdl)
{
    static const QHash<QString, int> categories = [] {
        QHash<QString, int> table;
        for (const char *name : {"pcl3", "pcl5", "pcl6", "pcl5e", "pcl", "pclxl"}) {
            table.insert(QLatin1String(name), 0);
        }
        for (const char *name : {"ps", "pdf"}) {
            table.insert(QLatin1String(name), 1);
        }
        for (const char *name : {"lidil", "zjs", "zjstream", "zxs", "zxstream", "jpeg", "jpg", "jetready", "jr", "hbpl1"}) {
            table.insert(QLatin1String(name), 2);
        }
        return table;
    }();
    return categories.value(pdl, 2);
}

QString normalised(const QString &name)
{
    QString text = name.toLower();
    for (const QString &removal : normalisationRemovals()) {
        text.remove(removal);
    }
    return text;
}

QString modelKey(const QString &model)
{
    QString key = model;
    key.replace(QLatin1Char(' '), QLatin1Char('_'));
    key.replace(QLatin1String("__"), QLatin1String("_"));
    key.remove(QLatin1Char('~'));
    key.replace(QLatin1Char('/'), QLatin1Char('_'));
    return key.toLower();
}

/// The first value of a record's attribute (a list of values as the server gives it).
QString firstValue(const QVariant &value)
{
    if (value.type() == QVariant::List || value.type() == QVariant::StringList) {
        const QVariantList values = value.toList();
        return values.isEmpty() ? QString() : values.constFirst().toString();
    }
    return value.toString();
}

bool classDriverMode()
{
    const QSettings conf(hplipFiles().hplipConf, QSettings::IniFormat);
    return conf.value(QStringLiteral("configure/class-driver")).toString().toLower() == QLatin1String("yes");
}

struct Candidate {
    QString name;
    QStringList pdls;
};
} // namespace

void HpModels::setFiles(const Files &files)
{
    hplipFiles() = files;
}

HpModels::Files HpModels::files()
{
    return hplipFiles();
}

HpModels::HpModels(const QString &deviceUri)
{
    const QRegularExpressionMatch match = deviceUriExpression().match(deviceUri);
    if (!match.hasMatch()) {
        qCDebug(CUPS_WIZARD) << "device URI is invalid/unknown:" << deviceUri;
        return;
    }
    const QString backEnd = match.captured(1).toLower();
    const QString bus = match.captured(2).toLower();
    static const QStringList buses{QStringLiteral("usb"), QStringLiteral("net"), QStringLiteral("bt"), QStringLiteral("fw"), QStringLiteral("par")};
    if (!buses.contains(bus)) {
        qCDebug(CUPS_WIZARD) << "device URI is invalid/unknown:" << deviceUri;
        return;
    }
    isHp = backEnd == QLatin1String("hp") || backEnd == QLatin1String("hpfax") || backEnd == QLatin1String("hpaio");
    if (!isHp) {
        qCDebug(CUPS_WIZARD) << "URI is not HP printer:" << deviceUri;
        return;
    }
    model = match.captured(3);

    const QString serial = match.captured(4);
    const QString deviceFile = match.captured(5);
    const QString ip = match.captured(6);
    const QString zeroConf = match.captured(7);
    const QString hostName = match.captured(8);
    const QString host = !hostName.isEmpty() ? hostName : !zeroConf.isEmpty() ? zeroConf : ip;
    int port = match.captured(9).toInt();
    if (port == 0) {
        port = 1;
    }
    qCDebug(CUPS_WIZARD,
            "%s: backEnd:%s is_hp:%d bus:%s model:%s serial:%s dev_file:%s host:%s zc:%s port:%d",
            Q_FUNC_INFO,
            qUtf8Printable(backEnd),
            int(isHp),
            qUtf8Printable(bus),
            qUtf8Printable(model),
            qUtf8Printable(serial),
            qUtf8Printable(deviceFile),
            qUtf8Printable(host),
            qUtf8Printable(zeroConf),
            port);
}

bool HpModels::isHpDevice() const
{
    return isHp;
}

bool HpModels::readModels()
{
    models.clear();
    const QString path = hplipFiles().modelsDat;
    if (!QFile::exists(path)) {
        qCDebug(CUPS_WIZARD) << "no model database" << path;
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCWarning(CUPS_WIZARD) << "error:" << file.errorString();
        return false;
    }
    QHash<QString, QString> *section = nullptr;
    while (!file.atEnd()) {
        const QString line = QString::fromLatin1(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            section = &models[line.mid(1, qMax(0, line.size() - 2))];
            continue;
        }
        const QStringList parts = line.split(QLatin1Char('='), Qt::SkipEmptyParts);
        if (section && parts.size() == 2) {
            section->insert(parts.at(0), parts.at(1));
        }
    }
    qCDebug(CUPS_WIZARD) << "found" << models.size() << "models";
    return true;
}

QString HpModels::findPpd(const QMap<QString, QList<QVariant>> &ppdsByMake)
{
    modelData.clear();
    if (!isHp || !readModels()) {
        return QString();
    }

    const QString key = modelKey(model);
    modelData = models.value(key);
    if (modelData.isEmpty()) {
        qCDebug(CUPS_WIZARD) << "unable to find model data for" << key;
        return QString();
    }
    qCDebug(CUPS_WIZARD) << "found" << key << "data";

    QString target;
    if (classDriverMode()) {
        target = modelData.value(QStringLiteral("family-class"));
    } else {
        const QString ppdName = modelData.value(QStringLiteral("ppd-name"));
        target = normalised(ppdName.isEmpty() ? model : ppdName);
    }

    QList<Candidate> candidates;
    for (const QList<QVariant> &records : ppdsByMake) {
        for (const QVariant &record : records) {
            const QString name = firstValue(record.toHash().value(QStringLiteral("ppd-name")));
            if (name.isEmpty()) {
                continue;
            }
            const QRegularExpressionMatch match = ppdNameExpression().match(name);
            if (!match.hasMatch() || match.captured(1) != target) {
                continue;
            }
            QStringList pdls = match.captured(2).split(QLatin1Char('-'), Qt::SkipEmptyParts);
            if (pdls.contains(QLatin1String("hpijs"))) {
                if (!pdls.contains(QLatin1String("ps")) && !pdls.contains(QLatin1String("pdf"))) {
                    continue;
                }
                pdls.removeAll(QStringLiteral("hpijs"));
            }
            candidates.append({name, pdls});
        }
    }

    qCDebug(CUPS_WIZARD) << "matches found:" << candidates.size();
    if (candidates.isEmpty()) {
        qCWarning(CUPS_WIZARD) << "no matches found";
        return QString();
    }
    if (candidates.size() == 1) {
        return candidates.constFirst().name;
    }
    for (int category : {2, 1, 0}) {
        for (const Candidate &candidate : qAsConst(candidates)) {
            for (const QString &pdl : candidate.pdls) {
                if (pdlCategory(pdl) == category) {
                    qCDebug(CUPS_WIZARD, "selecting '-%s' PPD: %s", qUtf8Printable(pdl), qUtf8Printable(candidate.name));
                    return candidate.name;
                }
            }
        }
    }
    qCDebug(CUPS_WIZARD) << "no specific PDL located. Defaulting to first found PPD file";
    return candidates.constFirst().name;
}

bool HpModels::pluginMissing() const
{
    if (modelData.value(QStringLiteral("plugin"), QStringLiteral("0")) == QLatin1String("0")) {
        return false;
    }
    return !QFile::exists(hplipFiles().hplipState);
}

bool HpModels::runPluginInstaller()
{
    const Files paths = hplipFiles();
    QProcess installer;
    // The installer may talk to the user on the terminal the application was started from.
    installer.setProcessChannelMode(QProcess::ForwardedChannels);
    installer.setInputChannelMode(QProcess::ForwardedInputChannel);
    installer.start(paths.pluginInstaller, QStringList());
    if (!installer.waitForStarted()) {
        qCWarning(CUPS_WIZARD) << "cannot run" << paths.pluginInstaller << installer.errorString();
        return false;
    }
    // Interactive: it takes as long as the user does.
    installer.waitForFinished(-1);
    qCDebug(CUPS_WIZARD) << paths.pluginInstaller << "exited with" << installer.exitCode() << installer.exitStatus();
    return QFile::exists(paths.hplipState);
}
} // namespace CUPS

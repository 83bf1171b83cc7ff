#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <hpmodels.h>

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using CUPS::HpModels;
using PpdsByMake = QMap<QString, QList<QVariant>>;

/// HP model matching: URI parsing, HPLIP's real database against a private cupsd's PPDs, crafted databases for the rest.
class HpModelsTest : public QObject
{
    Q_OBJECT

    CupsSandbox m_sandbox;
    PpdsByMake m_serverPpds;
    QTemporaryDir m_dir;

    QString write(const QString &name, const QString &content)
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(content.toLatin1()) >= 0 ? file.fileName() : QString();
    }
    /// Crafted models.dat and hplip.conf (HPLIP's own when null); never a state file, never the real installer.
    HpModels::Files useFiles(const QString &modelsDat, const QString &conf = QString())
    {
        HpModels::Files files;
        if (!modelsDat.isNull()) {
            files.modelsDat = write(QStringLiteral("models.dat"), modelsDat);
            files.hplipConf = write(QStringLiteral("hplip.conf"), conf);
        }
        files.hplipState = m_dir.filePath(QStringLiteral("hplip.state"));
        files.pluginInstaller = QStringLiteral("no-such-hp-plugin");
        QFile::remove(files.hplipState);
        HpModels::setFiles(files);
        return files;
    }
    /// Comma-separated PPD names of make HP, or "Make name"; "!" is a record without "ppd-name", "" one with an empty list.
    static PpdsByMake ppds(const QString &entries)
    {
        PpdsByMake byMake;
        for (const QString &entry : entries.split(QLatin1Char(','))) {
            const QString make = entry.contains(QLatin1Char(' ')) ? entry.section(QLatin1Char(' '), 0, 0) : QStringLiteral("HP");
            const QString name = entry.section(QLatin1Char(' '), -1);
            QVariantHash record{{QStringLiteral("ppd-make"), QVariantList{make}}};
            if (name != QLatin1String("!")) {
                record.insert(QStringLiteral("ppd-name"), name.isEmpty() ? QVariantList() : QVariantList{name});
            }
            byMake[make].append(record);
        }
        return byMake;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
        for (const QHash<QString, QVariant> &record : CUPS::Connection::instance()->PPDs()) {
            m_serverPpds[record.value(CUPS::Attr::PpdMake).toList().value(0).toString()].append(record);
        }
    }

    void uriGivesModelKey_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("key"); // empty: not an HP device
        // Only parsed, never contacted; the addresses are from the documentation range.
        QTest::newRow("usb serial") << "hp:/usb/Deskjet_5550?serial=ABC" << "deskjet_5550";
        QTest::newRow("net ip") << "hp:/net/Officejet_Pro?ip=192.0.2.5" << "officejet_pro";
        QTest::newRow("capitals") << "HPAIO:/USB/Officejet_Pro?SERIAL=1" << "officejet_pro";
        QTest::newRow("tilde and slash") << "hp:/bt/Photosmart~C4100/Series?hostname=pc" << "photosmartc4100_series";
        QTest::newRow("socket") << "socket://192.0.2.5:9100" << "";
        QTest::newRow("unknown bus") << "hp:/scsi/Deskjet_5550?serial=ABC" << "";
    }
    void uriGivesModelKey()
    {
        QFETCH(QString, uri);
        QFETCH(QString, key);
        useFiles(QStringLiteral("[deskjet_5550]\nppd-name=hp-other.ppd\n[%1]\nppd-name=hp-t.ppd\n").arg(key));
        HpModels hp(uri);
        QCOMPARE(hp.isHpDevice(), !key.isEmpty());
        QCOMPARE(hp.findPpd(ppds(QStringLiteral("hp-other.ppd,hp-t.ppd"))), key.isEmpty() ? QString() : QStringLiteral("hp-t.ppd"));
    }

    void aRealModelGetsItsServerPpd()
    {
        // HPLIP's own database: hpcups' zjs (category 2) over its pcl3s, the hpijs ones dropped; plugin=2 and no state file.
        useFiles(QString());
        HpModels hp(QStringLiteral("hp:/usb/HP_LaserJet_1022?serial=00CNBW"));
        QCOMPARE(hp.findPpd(m_serverPpds), QStringLiteral("drv:///hpcups.drv/hp-laserjet_1022-zjs.ppd"));
        QVERIFY(hp.pluginMissing());
    }

    void craftedDatabases_data()
    {
        QTest::addColumn<QString>("modelsDat");
        QTest::addColumn<QString>("conf");
        QTest::addColumn<QString>("names");
        QTest::addColumn<QString>("ppd");
        const QString m = QStringLiteral("[m]\nppd-name=hp-m.ppd\nfamily-class=DJ55xx\n");
        QTest::newRow("-pcl before -pcl3") << "[m]\nppd-name=hp-m-pcl3.ppd" << "" << "hp-m-pcl3.ppd,hp-m3.ppd" << "hp-m3.ppd";
        QTest::newRow("model without ppd-name") << "[m]\nfamily-class=x" << "" << "hp-n.ppd,hp-m.ppd" << "hp-m.ppd";
        QTest::newRow("hpijs without ps dropped") << m << "" << "hp-m-hpijs-pcl3.ppd" << "";
        QTest::newRow("hpijs with ps kept") << m << "" << "hp-m-hpijs-ps.ppd,hp-m-pcl3.ppd" << "hp-m-hpijs-ps.ppd";
        QTest::newRow("lidil over pcl3") << m << "" << "hp-m-pcl3.ppd,hp-m-lidil.ppd" << "hp-m-lidil.ppd";
        QTest::newRow("ps over pcl3") << m << "" << "hp-m-pcl3.ppd,hp-m-ps.ppd.gz" << "hp-m-ps.ppd.gz";
        QTest::newRow("unknown PDL is category 2") << m << "" << "hp-m-ps.ppd,hp-m-new.ppd" << "hp-m-new.ppd";
        QTest::newRow("no PDL: first") << m << "" << "a/hp-m.ppd,b/hp-m.ppd" << "a/hp-m.ppd";
        QTest::newRow("records without a name") << m << "" << "!,,hp-m.ppd" << "hp-m.ppd";
        QTest::newRow("class driver") << m << "[configure]\nclass-driver=Yes" << "hp-m.ppd,hp-DJ55xx-pcl3.ppd" << "hp-DJ55xx-pcl3.ppd";
        QTest::newRow("missing model") << "[n]\nppd-name=hp-m.ppd" << "" << "hp-m.ppd" << "";
        QTest::newRow("broken lines") << "ppd-name=hp-a.ppd\n[m]\n  # ppd-name=hp-b.ppd\nppd-name=hp-c.ppd\nppd-name=hp-d.ppd=x\nppd-name\n=hp-e.ppd\n ppd-name==hp-f.ppd \n"
                                      << "" << "hp-a.ppd,hp-b.ppd,hp-c.ppd,hp-d.ppd,hp-e.ppd,hp-f.ppd" << "hp-f.ppd";
    }
    void craftedDatabases()
    {
        QFETCH(QString, modelsDat);
        QFETCH(QString, conf);
        QFETCH(QString, names);
        QFETCH(QString, ppd);
        useFiles(modelsDat, conf);
        if (ppd.isEmpty() && modelsDat.startsWith(QLatin1String("[m]\nppd-name"))) {
            QTest::ignoreMessage(QtWarningMsg, "no matches found"); // the model is there, none of its PPDs
        }
        HpModels hp(QStringLiteral("hp:/usb/m?serial=1"));
        QCOMPARE(hp.findPpd(ppds(names)), ppd);
        QVERIFY(!hp.pluginMissing()); // no "plugin" key
    }

    void pluginInstaller_data()
    {
        QTest::addColumn<QString>("script"); // empty: no such program
        QTest::newRow("creates the state") << "#!/bin/sh\ntouch \"$STATE\"\n";
        QTest::newRow("missing program") << "";
    }
    void pluginInstaller()
    {
        QFETCH(QString, script);
        HpModels::Files files = useFiles(QStringLiteral("[m]\nppd-name=hp-m.ppd\nplugin=1\n"));
        HpModels hp(QStringLiteral("hp:/usb/m?serial=1"));
        QVERIFY(!hp.pluginMissing()); // nothing known before findPpd
        QCOMPARE(hp.findPpd(ppds(QStringLiteral("hp-m.ppd"))), QStringLiteral("hp-m.ppd"));
        QVERIFY(hp.pluginMissing());
        qputenv("STATE", QFile::encodeName(files.hplipState));
        // By name through PATH, as the real one is run.
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("bin"))));
        qputenv("PATH", QFile::encodeName(m_dir.filePath(QStringLiteral("bin"))) + ':' + qgetenv("PATH"));
        if (script.isEmpty()) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^cannot run ")));
        } else {
            files.pluginInstaller = QStringLiteral("hp-plugin");
            HpModels::setFiles(files);
            QVERIFY(QFile::setPermissions(write(QStringLiteral("bin/hp-plugin"), script), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        QCOMPARE(HpModels::runPluginInstaller(), !script.isEmpty());
        QCOMPARE(hp.pluginMissing(), script.isEmpty()); // plugin "1": the state file decides
    }
};

QTEST_GUILESS_MAIN(HpModelsTest)
#include "hpmodelstest.moc"

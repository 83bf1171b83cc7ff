#include <hpmodels.h>

#include <QTemporaryDir>
#include <QTest>

using CUPS::HpModels;
using PpdsByMake = QMap<QString, QList<QVariant>>;

// HP model matching: URI parsing and PPD choice, against crafted HPLIP databases.
class HpModelsTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString write(const QString &name, const QString &text)
    {
        QFile file(m_dir.filePath(name));
        return file.open(QFile::WriteOnly) && file.write(text.toLatin1()) >= 0 ? file.fileName() : QString();
    }
    // A crafted models.dat; never the system's configuration, state file or installer.
    void useFiles(const QString &modelsDat)
    {
        HpModels::Files files;
        files.modelsDat = write(QStringLiteral("models.dat"), modelsDat);
        files.hplipConf = m_dir.filePath(QStringLiteral("hplip.conf"));
        files.hplipState = m_dir.filePath(QStringLiteral("hplip.state"));
        files.pluginInstaller = m_dir.filePath(QStringLiteral("hp-plugin"));
        HpModels::setFiles(files);
    }
    // The server's HP PPD records of these comma-separated names.
    static PpdsByMake ppds(const QString &names)
    {
        QList<QVariant> records;
        for (const QString &name : names.split(QLatin1Char(','))) {
            records.append(QVariantHash{{QStringLiteral("ppd-name"), QVariantList{name}}});
        }
        return {{QStringLiteral("HP"), records}};
    }

private Q_SLOTS:
    void aPpdIsChosenForTheModel_data()
    {
        QTest::addColumn<QString>("uri"); // only parsed, never contacted
        QTest::addColumn<QString>("modelsDat");
        QTest::addColumn<QString>("names"); // of the server's PPDs
        QTest::addColumn<QString>("ppd");
        const QString keys = QStringLiteral("[deskjet_5550]\nppd-name=hp-d.ppd\n"
                                            "[officejet_pro]\nppd-name=hp-o.ppd\n"
                                            "[photoc_series]\nppd-name=hp-p.ppd\n");
        const QString keyed = QStringLiteral("hp-d.ppd,hp-o.ppd,hp-p.ppd");
        QTest::newRow("usb serial") << "hp:/usb/Deskjet_5550?serial=A" << keys << keyed << "hp-d.ppd";
        QTest::newRow("capitals") << "HPAIO:/USB/Officejet_Pro?SERIAL=1" << keys << keyed << "hp-o.ppd";
        QTest::newRow("tilde and slash") << "hp:/bt/Photo~C/Series?zc=pc" << keys << keyed << "hp-p.ppd";
        QTest::newRow("no hp device") << "socket://Deskjet_5550?serial=A" << keys << keyed << "";
        const QString usb = QStringLiteral("hp:/usb/m?serial=1");
        const QString m = QStringLiteral("[m]\nppd-name=hp-m.ppd\n");
        const QString pcl3 = QStringLiteral("[m]\nppd-name=hp-m-pcl3.ppd\n");
        QTest::newRow("-pcl goes before -pcl3") << usb << pcl3 << "hp-m-pcl3.ppd,hp-m3.ppd" << "hp-m3.ppd";
        QTest::newRow("hpijs, no ps") << usb << m << "hp-m-hpijs-pcl3.ppd" << "";
        QTest::newRow("hpijs, ps") << usb << m << "hp-m-hpijs-ps.ppd,hp-m-pcl3.ppd" << "hp-m-hpijs-ps.ppd";
        QTest::newRow("unknown PDL: category 2") << usb << m << "hp-m-ps.ppd,hp-m-new.ppd" << "hp-m-new.ppd";
        QTest::newRow("no PDL: first") << usb << m << "a/hp-m.ppd,b/hp-m.ppd" << "a/hp-m.ppd";
        const QString broken = QStringLiteral("ppd-name=hp-a.ppd\n[m]\n#ppd-name=hp-b.ppd\n"
                                              "ppd-name=hp-c.ppd=x\n ppd-name==hp-d.ppd \n");
        QTest::newRow("broken lines") << usb << broken << "hp-a.ppd,hp-b.ppd,hp-c.ppd,hp-d.ppd" << "hp-d.ppd";
    }
    void aPpdIsChosenForTheModel()
    {
        QFETCH(QString, uri);
        QFETCH(QString, modelsDat);
        QFETCH(QString, names);
        useFiles(modelsDat);
        QTEST(HpModels(uri).findPpd(ppds(names)), "ppd");
    }

    void theInstallerBringsAMissingPlugin()
    {
        useFiles(QStringLiteral("[m]\nppd-name=hp-m.ppd\nplugin=1\n"));
        HpModels hp(QStringLiteral("hp:/usb/m?serial=1"));
        QCOMPARE(hp.findPpd(ppds(QStringLiteral("hp-m.ppd"))), QStringLiteral("hp-m.ppd"));
        QVERIFY(hp.pluginMissing()); // plugin "1": the state file decides
        const QString script = QStringLiteral("#!/bin/sh\ntouch \"${0%/*}/hplip.state\"\n");
        const QString installer = write(QStringLiteral("hp-plugin"), script);
        QVERIFY(QFile::setPermissions(installer, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(HpModels::runPluginInstaller());
        QVERIFY(!hp.pluginMissing());
    }
};

QTEST_GUILESS_MAIN(HpModelsTest)
#include "hpmodelstest.moc"

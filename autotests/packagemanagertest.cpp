#include <packagemanager.h>

#include <QTemporaryDir>
#include <QTest>

class PackageManagerTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void installedPackagesAreFound_data()
    {
        QFile status(m_dir.filePath(QStringLiteral("status")));
        QVERIFY(status.open(QIODevice::WriteOnly)
                && status.write("Package: libnss-mdns\nStatus: install ok installed\nDescription: x\n"
                                " Package: ghost\n\nPackage: oldtool\nStatus: deinstall ok config-files\n\n"
                                "Package: libfoo\nStatus: install ok installed\nArchitecture: i386\n\n"
                                "Package: libstdc++6\nStatus: install ok installed\n") > 0);
        VeskAdmin::PackageManager::setStatusFile(status.fileName());
        QTest::addColumn<QString>("package");
        QTest::addColumn<bool>("installed");
        QTest::newRow("installed") << "libnss-mdns" << true;
        QTest::newRow("configuration left") << "oldtool" << false;
        QTest::newRow("other architecture") << "libfoo:amd64" << false;
        QTest::newRow("pattern characters") << "libstdc++6" << true;
        QTest::newRow("in a continuation line") << "ghost" << false;
    }
    void installedPackagesAreFound()
    {
        QFETCH(QString, package);
        QTEST(VeskAdmin::PackageManager::isPackageInstalled(package, QStringLiteral("ii\\s%1")), "installed");
    }

    void synapticPkexecGetsTheSelectionOfAValidName()
    {
        qputenv("PATH", QFile::encodeName(m_dir.path()));
        // It records its name, options and selection, and removes the file a detached start leaves.
        QFile stub(m_dir.filePath(QStringLiteral("synaptic-pkexec")));
        QVERIFY(stub.open(QFile::WriteOnly) && stub.setPermissions(QFile::ExeOwner | QFile::ReadOwner));
        stub.write("#!/bin/sh\nprintf '%s' \"${0##*/} $1 $3 $4 $(/bin/cat $2; /bin/rm $2)\" >\"$0.log\"\n");
        stub.close();
        QVERIFY(!VeskAdmin::PackageManager::runSynapticWithPackageSelected(QStringLiteral("x;rm"), false));
        QVERIFY(VeskAdmin::PackageManager::runSynapticWithPackageSelected(QStringLiteral("foo:i386"), false));
        const auto recorded = [this] {
            QFile file(m_dir.filePath(QStringLiteral("synaptic-pkexec.log")));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE(recorded(), QByteArray("synaptic-pkexec --set-selections-file --non-interactive "
                                            "--hide-main-window foo:i386 install"));
    }
};

QTEST_GUILESS_MAIN(PackageManagerTest)
#include "packagemanagertest.moc"

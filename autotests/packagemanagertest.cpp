#include <packagemanager.h>

#include <QTemporaryDir>
#include <QTest>

using VeskAdmin::PackageManager;

class PackageManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stateLinesMatchThePattern_data();
    void stateLinesMatchThePattern();
    void synapticGetsTheSelectionOfAValidName();

private:
    QTemporaryDir m_dir;
};

void PackageManagerTest::stateLinesMatchThePattern_data()
{
    // A multi-arch pair, a name a regular expression would misread, a continuation line that looks like a field.
    QFile status(m_dir.filePath(QStringLiteral("status")));
    QVERIFY(status.open(QIODevice::WriteOnly)
        && status.write(
               "Package: libnss-mdns\nStatus: install ok installed\nDescription: NSS\n Package: ghost\n\nPackage: oldtool\nStatus: deinstall ok "
               "config-files\n\n"
               "Package: going\nStatus: deinstall ok installed\n\nPackage: libfoo\nStatus: install ok installed\nArchitecture: i386\n\nPackage: libfoo\n"
               "Status: install ok not-installed\nArchitecture: amd64\n\nPackage: libstdc++6\nStatus: hold ok half-configured\n")
            > 0);
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("package");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("installed") << status.fileName() << QStringLiteral("libnss-mdns") << QStringLiteral("ii\\s%1") << true;
    QTest::newRow("missing, a prefix of one") << status.fileName() << QStringLiteral("libnss") << QStringLiteral("ii\\s%1") << false;
    QTest::newRow("config files") << status.fileName() << QStringLiteral("oldtool") << QStringLiteral("^rc %1$") << true;
    QTest::newRow("deinstall") << status.fileName() << QStringLiteral("going") << QStringLiteral("ii\\s%1") << false;
    QTest::newRow("other architecture") << status.fileName() << QStringLiteral("libfoo:amd64") << QStringLiteral("ii\\s%1") << false;
    QTest::newRow("name escaped, held") << status.fileName() << QStringLiteral("libstdc++6") << QStringLiteral("^hF %1$") << true;
    QTest::newRow("in a continuation line") << status.fileName() << QStringLiteral("ghost") << QStringLiteral("%1") << false;
    QTest::newRow("the system's database") << QString() << QStringLiteral("libc6") << QStringLiteral("ii\\s%1") << true;
}

void PackageManagerTest::stateLinesMatchThePattern()
{
    QFETCH(QString, database);
    QFETCH(QString, package);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    PackageManager::setStatusFile(database);
    QCOMPARE(PackageManager::isPackageInstalled(package, pattern), matches);
}

// The stub records its name, options and selections; it removes the file a detached start leaves.
void PackageManagerTest::synapticGetsTheSelectionOfAValidName()
{
    const QByteArray record = m_dir.filePath(QStringLiteral("record")).toUtf8();
    const QByteArray script = "#!/bin/sh\nprintf '%s' \"${0##*/} $1 $3 $4 $(/bin/cat \"$2\" && /bin/rm \"$2\")\" >" + record + ".new && /bin/mv " + record
        + ".new " + record + "\n";
    const auto addStub = [&](const QString &name) {
        QFile stub(m_dir.filePath(name));
        return stub.open(QIODevice::WriteOnly) && stub.write(script) > 0 && stub.setPermissions(QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner);
    };
    const auto recorded = [&] {
        QFile file(QString::fromUtf8(record));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    qputenv("PATH", m_dir.path().toLocal8Bit());
    QVERIFY(!PackageManager::runSynapticWithPackageSelected(QStringLiteral("libnss-mdns"), true)); // none on PATH yet
    QVERIFY(addStub(QStringLiteral("synaptic")) && !PackageManager::runSynapticWithPackageSelected(QStringLiteral("x;reboot"), true) && recorded().isEmpty());
    QVERIFY(PackageManager::runSynapticWithPackageSelected(QStringLiteral("libnss-mdns"), true));
    QCOMPARE(recorded(), QByteArray("synaptic --set-selections-file --non-interactive --hide-main-window libnss-mdns install"));
    QVERIFY(addStub(QStringLiteral("synaptic-pkexec")) && PackageManager::runSynapticWithPackageSelected(QStringLiteral("libfoo:i386"), false));
    QTRY_COMPARE(recorded(), QByteArray("synaptic-pkexec --set-selections-file --non-interactive --hide-main-window libfoo:i386 install"));
}

QTEST_GUILESS_MAIN(PackageManagerTest)
#include "packagemanagertest.moc"

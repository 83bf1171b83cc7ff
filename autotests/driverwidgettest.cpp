#include "cupssandbox.h"

#include <connection.h>
#include <driverwidget.h>

#include <QtDBus>
#include <QtTest>
#include <QtWidgets>

#include <future>

namespace
{
// Avahi on a private bus: gives the printer's host name only when asked with the fixed arguments.
class FakeAvahi : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Avahi.Server")
public Q_SLOTS:
    void ResolveService(int interface, int protocol, const QString &name, const QString &type,
                        const QString &domain, int aprotocol, uint flags)
    {
        const QVariantList asked{interface, protocol, QString(name + type + domain), aprotocol, flags};
        const QVariantList fixed{-1, -1, QStringLiteral("HP 400_ipp._tcplocal"), -1, 0u};
        const QString host = asked == fixed ? QStringLiteral("npi1.local") : QString();
        setDelayedReply(true);
        const QVariant txt = QVariant::fromValue(QList<QByteArray>{"txtvers=1"});
        const QVariantList reply{interface, protocol, name, type, domain, host, aprotocol,
                                 QStringLiteral("127.0.0.8"), QVariant::fromValue<quint16>(631), txt, flags};
        connection().send(message().createReply(reply));
    }
};
} // namespace

class DriverWidgetTest : public QObject
{
    Q_OBJECT

    CupsSandbox m_cups;
    QProcess m_bus;
    FakeAvahi m_avahi;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_cups.start(), qPrintable(m_cups.errorString()));
        // A private bus stands in for the system bus before anything connects to that.
        const auto arguments = QStringLiteral("--session --print-address --nofork").split(QLatin1Char(' '));
        m_bus.start(QStringLiteral("/usr/bin/dbus-daemon"), arguments);
        QTRY_VERIFY(m_bus.canReadLine());
        const QByteArray address = m_bus.readLine().trimmed();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
        qDBusRegisterMetaType<QList<QByteArray>>();
        auto bus = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("avahi"));
        QVERIFY(bus.registerObject(QStringLiteral("/"), &m_avahi, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Avahi")));
    }

    void listsTheServersPpdsWithoutHplipRepeats()
    {
        QList<QVariant> records;
        for (const auto &record : CUPS::Connection::instance()->PPDs()) {
            records << record;
        }
        CUPS::DriverWidget widget;
        widget.setDeviceAndPpds(QStringLiteral("socket://127.0.0.1"), {{QStringLiteral("All"), records}});
        QVERIFY(widget.selectPpd(QStringLiteral("drv:///sample.drv/deskjet.ppd")));
        // The models, without HPLIP's repeats under numbered back-ends (hplip:1/...) and as hpcups.drv.
        const auto *list = widget.findChild<QListWidget *>(QStringLiteral("modelList"));
        QStringList names;
        for (int row = 0; row < list->count(); ++row) {
            names << list->item(row)->toolTip();
        }
        QVERIFY(names.size() > 1000);
        const QRegularExpression repeated(QStringLiteral("^([a-z,\\-]*:[1-9]/|drv:///hpcups\\.drv)"));
        QCOMPARE(names.filter(repeated), QStringList());
    }

    void hpUriFromDnssdAsksHplipWithTheResolvedHostName()
    {
        QFile script(m_cups.directory() + QStringLiteral("/hp-makeuri"));
        QVERIFY(script.open(QFile::WriteOnly) && script.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        script.write("#!/bin/sh\n[ \"$1\" = -c ] && printf ' hp:/net/HP?hostname=%s \\n' \"$2\"\n");
        script.close();
        CUPS::DriverWidget::setHpMakeUriProgram(script.fileName());
        const QString uri = QStringLiteral("dnssd://HP%20400._ipp._tcp.local/?uuid=1");
        // Found in a thread, so that this one serves Avahi.
        auto result = std::async(std::launch::async, &CUPS::DriverWidget::hpUriFromDnssd, uri);
        QTRY_VERIFY_WITH_TIMEOUT(result.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 8000);
        QCOMPARE(result.get(), QStringLiteral("hp:/net/HP?hostname=npi1"));
    }
};

QTEST_MAIN(DriverWidgetTest)
#include "driverwidgettest.moc"

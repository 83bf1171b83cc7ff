#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <driverwidget.h>
#include <utils.h>

#include <QtDBus>
#include <QtTest>
#include <QtWidgets>

#include <future>

namespace
{
// The shown rows of a list, as "text|tool tip" where there is one.
QStringList rows(const CUPS::DriverWidget &widget, const char *list)
{
    QStringList result;
    for (const QListWidgetItem *item : widget.findChild<QListWidget *>(QLatin1String(list))->findItems(QString(), Qt::MatchContains)) {
        result << (item->isHidden() ? QString() : item->text() + (item->toolTip().isEmpty() ? QString() : QLatin1Char('|') + item->toolTip()));
    }
    result.removeAll(QString());
    return result;
}

class FakeAvahi : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Avahi.Server")
public Q_SLOTS:
    void ResolveService(int interface, int protocol, const QString &name, const QString &type, const QString &domain, int aprotocol, uint flags)
    {
        // Resolves a printer (also under a name with a dot) and one without a host name, asked with the fixed arguments.
        if (!QStringList {QStringLiteral("HP 400"), QStringLiteral("HP.400"), QStringLiteral("Bare")}.contains(name)
            || type + domain != QLatin1String("_ipp._tcplocal") || QVariantList {interface, protocol, aprotocol, flags} != QVariantList {-1, -1, -1, 0u}) {
            return sendErrorReply(QStringLiteral("org.freedesktop.Avahi.TimeoutError"), QStringLiteral("Timeout reached"));
        }
        setDelayedReply(true);
        connection().send(message().createReply(
            QVariantList {interface, protocol, name, type, domain, name == QLatin1String("Bare") ? QString() : QStringLiteral("npi1.local"), aprotocol,
                QStringLiteral("127.0.0.8"), QVariant::fromValue<quint16>(631), QVariant::fromValue(QList<QByteArray> {"txtvers=1"}), flags}));
    }
};
} // namespace

class DriverWidgetTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_cups.start(), qPrintable(m_cups.errorString()));
        for (const auto &record : CUPS::Connection::instance()->PPDs()) {
            m_ppds[CUPS::Utils::getAttribute(record, CUPS::Attr::PpdMake).toString()].append(record);
        }
        // A private bus stands in for the system bus before anything connects to that.
        m_bus.start(QStringLiteral("/usr/bin/dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        QTRY_VERIFY(m_bus.canReadLine());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.readLine().trimmed());
        qDBusRegisterMetaType<QList<QByteArray>>();
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(qgetenv("DBUS_SYSTEM_BUS_ADDRESS")), QStringLiteral("avahi"));
        QVERIFY(
            bus.registerObject(QStringLiteral("/"), &m_avahi, QDBusConnection::ExportAllSlots) && bus.registerService(QStringLiteral("org.freedesktop.Avahi")));
    }

    void browsesTheServersPpds()
    {
        CUPS::DriverWidget widget;
        widget.setDeviceAndPpds(QStringLiteral("socket://127.0.0.1:9100"), m_ppds);
        QVERIFY(widget.findChild<QCheckBox *>(QStringLiteral("everywhereCheckBox"))->isHidden());
        QVERIFY(widget.selectPpd(QStringLiteral("drv:///sample.drv/deskjet.ppd")));
        const QStringList models = rows(widget, "modelList"); // HP's: with hplip:1/..., hpcups.drv and records repeated in a row
        QVERIFY(models.size() > 1000 && std::adjacent_find(models.cbegin(), models.cend()) == models.cend());
        QCOMPARE(models.filter(QRegularExpression(QStringLiteral("\\|([a-z,\\-]*:[1-9]/|drv:///hpcups\\.drv)"))), QStringList());
        // The current vendor stays while it matches, else the first shown one follows.
        const QList<QPair<const char *, QStringList>> steps
            = {{"DeskJet", {QStringLiteral("HP")}}, {"zebra ZPL", {QStringLiteral("Zebra")}}, {"no such", {}}, {"", m_ppds.keys()}};
        for (const auto &[text, vendors] : steps) {
            widget.findChild<QLineEdit *>(QStringLiteral("filterEdit"))->setText(QString::fromUtf8(text));
            QCOMPARE(rows(widget, "vendorList"), vendors);
            QCOMPARE(m_ppds.keys().value(widget.findChild<QListWidget *>(QStringLiteral("vendorList"))->currentRow()), vendors.value(0));
            auto *modelList = widget.findChild<QListWidget *>(QStringLiteral("modelList"));
            QCOMPARE(modelList->count() > 0, !vendors.isEmpty());
            QCOMPARE(modelList->findItems(QString::fromUtf8(text), Qt::MatchContains).size(), modelList->count());
        }
        // A listed name is selected as it is; one left out as the first listed of its make and model.
        const QString twin = QStringLiteral("hplip-data:0/ppd/hplip/HP/apollo-2100.ppd"), first = QStringLiteral("hplip:0/ppd/hplip/HP/apollo-2100.ppd");
        QVERIFY(widget.selectPpd(twin) && widget.selectedPpdName() == twin);
        QVERIFY(widget.selectPpd(QStringLiteral("drv:///hpcups.drv/apollo-2100.ppd")) && widget.selectedPpdName() == first);
        QVERIFY(!widget.selectPpd(QStringLiteral("drv:///none.drv/none.ppd")) && !widget.selectPpd(QString()));
    }

    void showsEveryLanguageAndOffersIppEverywhere()
    {
        const auto ppd = [](const char *makeAndModel, const char *name, const char *languages) {
            return QVariantHash {{CUPS::Attr::PpdMakeAndModel, QVariantList {QString::fromUtf8(makeAndModel)}},
                {CUPS::Attr::PpdName, QVariantList {QString::fromUtf8(name)}},
                {CUPS::Attr::PpdNaturalLanguage, QVariant(QString::fromUtf8(languages).split(QLatin1Char(','), Qt::SkipEmptyParts)).toList()}};
        };
        CUPS::DriverWidget widget;
        widget.setDeviceAndPpds(QStringLiteral("dnssd://Office._ipps._tcp.local/"),
            {{QStringLiteral("V"), {ppd("A", "a", "de,fr"), ppd("A", "a", "de,fr"), ppd("B", "b", "en"), ppd("C", "c", "de")}}});
        QVERIFY(widget.selectPpd(QStringLiteral("a")));
        QCOMPARE(rows(widget, "modelList"), QStringList({QStringLiteral("A (de,fr)|a"), QStringLiteral("B|b"), QStringLiteral("C (de)|c")}));
        QVERIFY(!widget.findChild<QCheckBox *>(QStringLiteral("everywhereCheckBox"))->isHidden());
        widget.findChild<QCheckBox *>(QStringLiteral("everywhereCheckBox"))->setChecked(true);
        QCOMPARE(widget.selectedPpdName(), QStringLiteral("everywhere"));
    }

    void hpUriFromDnssd_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QByteArray>("makeUri");
        QTest::addColumn<QString>("expected");
        const QByteArray hpUri = "[ \"$1\" = -c ] && printf ' hp:/net/HP?hostname=%s \\n' \"$2\"";
        const QString printer = QStringLiteral("dnssd://HP%20400._ipp._tcp.local/?uuid=1");
        QTest::newRow("resolved") << printer << hpUri << QStringLiteral("hp:/net/HP?hostname=npi1");
        QTest::newRow("address only") << QStringLiteral("dnssd://Bare._ipp._tcp.local") << hpUri << QStringLiteral("hp:/net/HP?hostname=127.0.0.8");
        QTest::newRow("dot in name") << QStringLiteral("dnssd://HP.400._ipp._tcp.local/") << hpUri << QString();
        QTest::newRow("not an HP device") << printer << QByteArray("echo 'error: no device found'") << QString();
        QTest::newRow("hangs") << printer << QByteArray("exec sleep 30") << QString();
        QTest::newRow("no bus") << printer << hpUri << QString(); // the last row: it stops the bus
    }
    void hpUriFromDnssd()
    {
        QFETCH(QString, uri);
        QFETCH(QByteArray, makeUri);
        QFile script(m_stubs.filePath(QString::fromLatin1(QTest::currentDataTag())));
        QVERIFY(script.open(QIODevice::WriteOnly) && script.write("#!/bin/sh\n" + makeUri + '\n') > 0 && script.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        script.close();
        CUPS::DriverWidget::setHpMakeUriProgram(script.fileName());
        if (QByteArray(QTest::currentDataTag()) == "no bus") {
            m_bus.close(); // kills it and waits for the end
        }
        // Found in a thread, so that this one serves Avahi; within the program's 2 s, or at worst the bus call's own limit.
        std::future<QString> result = std::async(std::launch::async, [&uri] { return CUPS::DriverWidget::hpUriFromDnssd(uri); });
        QTRY_VERIFY_WITH_TIMEOUT(result.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 8000);
        QTEST(result.get(), "expected");
    }

private:
    CupsSandbox m_cups;
    QMap<QString, QList<QVariant>> m_ppds;
    QProcess m_bus;
    FakeAvahi m_avahi;
    QTemporaryDir m_stubs;
};

QTEST_MAIN(DriverWidgetTest)
#include "driverwidgettest.moc"

#include "modalanswerer.h"

#include <selectbackendpage.h>
#include <wizardfields.h>

#include <QLineEdit>
#include <QSerialPortInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWizard>

#include <future>
#include <memory>

using namespace CUPS;
using namespace CUPS::Wizard;

using Attributes = QHash<QString, QString>;

// The fields a chosen IPP queue fills, in the order of its attributes' names.
const QList<QLatin1String> QueueTexts{Field::QueueName, Field::QueueDescription, Field::QueueLocation, Field::QueueOrganization,
                                      Field::QueueOrganizationalUnit};

// Stands in for the information page, whose fields the backend page writes.
struct FieldsPage : public QWizardPage {
    using QWizardPage::registerField;
};

// The backend page as the wizard enters it, with the information page behind it.
struct TestWizard {
    TestWizard()
    {
        auto *info = new FieldsPage;
        for (const QLatin1String &name : QueueTexts + QList<QLatin1String>{Field::DeviceUri}) {
            info->registerField(name, new QLineEdit(info));
        }
        wizard.setPage(SelectBackendPageId, page);
        wizard.setPage(SelectBackendPageId + 1, info);
        wizard.setField(Field::QueueName, QStringLiteral("Kept"));
        wizard.show();
    }
    QWizard wizard;
    SelectBackendPage *page = new SelectBackendPage;
    QTreeWidget *tree = page->findChild<QTreeWidget *>(QStringLiteral("backendTree"));
};

// The rows' labels and URIs, as "label uri|label uri".
QString rows(const QList<QTreeWidgetItem *> &items)
{
    QStringList texts;
    for (const QTreeWidgetItem *item : items) {
        texts << QString(item->text(0) + QLatin1Char(' ') + item->text(1)).trimmed();
    }
    return texts.join(QLatin1Char('|'));
}

class SelectBackendPageTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void normalizeUriAcceptsOnlyUsableUris_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("accepted");
        QTest::newRow("ipp queue") << "ipp://printer.local:631/printers/x" << "ipp://printer.local:631/printers/x";
        QTest::newRow("ipp without a path") << "ipp://printer.local:631" << "";
        QTest::newRow("socket without a path") << "socket://127.0.0.1:9100" << "socket://127.0.0.1:9100";
        QTest::newRow("spaces and hash") << "smb://server/My Printer #2" << "smb://server/My%20Printer%20%232";
        QTest::newRow("non-ascii queue") << "ipp://host/printers/Drucker-\u00fc" << "ipp://host/printers/Drucker-%C3%BC";
        QTest::newRow("ipv6 zone") << "ipp://[fe80::1+eth0]:631/printers/x" << "ipp://[fe80::1+eth0]:631/printers/x";
        QTest::newRow("ipv6 zone, plus in the user") << "ipp://a+b@[fe80::1+eth0]/printers/x" << "ipp://a+b@[fe80::1+eth0]/printers/x";
        // QUrl reads a zone of hex digits after "::" as one more group of the address.
        QTest::newRow("ipv6 zone of hex digits") << "ipp://a+b@[fe88::0+e]:631/pr" << "ipp://a+b@[fe88::+e]:631/pr";
        QTest::newRow("ipv6 zone of hex digits, accepted form") << "ipp://a+b@[fe88::+e]:631/pr" << "ipp://a+b@[fe88::+e]:631/pr";
        QTest::newRow("ipv6 zone, address written dotted") << "soi://[::c:e+et]://" << "soi://[::0.12.0.14+et]//";
        QTest::newRow("ipv6 zone, address written dotted, accepted form") << "soi://[::0.12.0.14+et]//" << "soi://[::0.12.0.14+et]//";
        QTest::newRow("zone-like text outside a host") << "ip::/g]+b@[f:1+e]:6+b@[f:1+e]:631/pr" << "ip::/g]+b@[f:1+e]:6+b@[f:1+e]:631/pr";
        QTest::newRow("no scheme separator") << "printer" << "";
        QTest::newRow("line feed") << "ipp://host/printers/a\nb" << "";
    }
    void normalizeUriAcceptsOnlyUsableUris()
    {
        QFETCH(QString, typed);
        QTEST(SelectBackendPage::normalizeUri(typed), "accepted");
    }

    void treeListsTheMachinesPorts_data()
    {
        QTest::addColumn<bool>("sysfs");
        QTest::addColumn<bool>("udevadm");
        QTest::addColumn<QString>("parallel");
        QTest::newRow("two parallel ports") << true << true << "Parallel Port#1 parallel://dev/usb/lp0|Parallel Port#2 parallel://dev/usb/lp1";
        QTest::newRow("udevadm missing") << true << false << "Parallel Port#1 parallel://dev/|Parallel Port#2 parallel://dev/";
        QTest::newRow("no sysfs printer folder") << false << true << "";
    }
    void treeListsTheMachinesPorts()
    {
        QFETCH(bool, sysfs);
        QFETCH(bool, udevadm);
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("printer/lp1")) && QDir(folder.path()).mkpath(QStringLiteral("printer/lp0")));
        // udevadm as it names a USB parallel adapter, when asked as the page must.
        QFile stub(folder.filePath(QStringLiteral("udevadm")));
        QVERIFY(stub.open(QIODevice::WriteOnly) && stub.write("#!/bin/sh\n[ \"$1 $2\" = 'info --query=name' ] && echo \" usb/${3##*/} \"\n") > 0);
        stub.close();
        QVERIFY(stub.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        SelectBackendPage::setSysfsPrinterFolder(folder.filePath(sysfs ? QStringLiteral("printer") : QStringLiteral("none")));
        SelectBackendPage::setUdevadmPath(udevadm ? stub.fileName() : folder.filePath(QStringLiteral("none")));

        SelectBackendPage page;
        page.initializePage();
        const QTreeWidget *tree = page.findChild<QTreeWidget *>(QStringLiteral("backendTree"));
        QTEST(rows(tree->findItems(QStringLiteral("Parallel Port#"), Qt::MatchStartsWith | Qt::MatchRecursive)), "parallel");
        // This machine's serial ports, whichever it has, ordered by their URIs.
        QStringList serial;
        for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
            serial << QStringLiteral("Serial port serial://") + port.systemLocation();
        }
        serial.sort();
        QCOMPARE(rows(tree->findItems(QStringLiteral("Serial port"), Qt::MatchExactly | Qt::MatchRecursive)), serial.join(QLatin1Char('|')));
        const bool direct = sysfs || !serial.isEmpty();
        QCOMPARE(rows(tree->findItems(QStringLiteral("*"), Qt::MatchWildcard)),
                 QString(direct ? QStringLiteral("Direct connection|") : QString()) + QStringLiteral("Network printer|Custom device URI"));
    }

    void lpdProbeSendsOneRequestLineAndNeedsAnAnswer_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<bool>("answering");
        QTest::addColumn<bool>("connects");
        QTest::newRow("answering server") << "Office-1" << true << true;
        QTest::newRow("silent server") << "Office-1" << false << true;
        QTest::newRow("line feed in the name") << "lp\n\x02lp" << true << false;
    }
    void lpdProbeSendsOneRequestLineAndNeedsAnAnswer()
    {
        QFETCH(QString, queue);
        QFETCH(bool, answering);
        QFETCH(bool, connects);
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        constexpr int TimeoutMsecs = 1000;
        QString error;
        // The probe blocks, so it runs in a thread of its own while this one plays the LPD server.
        std::future<bool> probe = std::async(std::launch::async, [&, port = listener.serverPort()] {
            return SelectBackendPage::probeLpdQueue(QStringLiteral("127.0.0.1"), port, queue, TimeoutMsecs, &error);
        });
        QByteArray received;
        const std::unique_ptr<QTcpSocket> client(listener.waitForNewConnection(TimeoutMsecs) ? listener.nextPendingConnection() : nullptr);
        while (client && !received.endsWith('\n') && client->waitForReadyRead(TimeoutMsecs)) {
            received += client->readAll();
        }
        if (client && answering) {
            client->write("Office-1 is ready\nno entries\n");
            QVERIFY(client->waitForBytesWritten(TimeoutMsecs));
        }
        QVERIFY(probe.wait_for(std::chrono::milliseconds(TimeoutMsecs + 500)) == std::future_status::ready);
        QCOMPARE(probe.get(), answering && connects);
        QCOMPARE(error.isEmpty(), answering && connects);
        QCOMPARE(client != nullptr, connects);
        QCOMPARE(received, connects ? QByteArray("\x03" + queue.toLatin1() + '\n') : QByteArray());
    }

    void hidingNetworkSearchStopsTheScan_data()
    {
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<QString>("row");
        QTest::addColumn<bool>("scans");
        QTest::newRow("network printer") << false << "Network printer" << true;
        QTest::newRow("network search hidden") << true << "Network printer" << false;
    }
    void hidingNetworkSearchStopsTheScan()
    {
        QFETCH(bool, hidden);
        QFETCH(QString, row);
        QFETCH(bool, scans);
        if (hidden) {
            qputenv("ADMIN_PRINTER_HIDE_NETWORK_SEARCH", "");
        }
        SelectBackendPage page;
        page.initializePage();
        qunsetenv("ADMIN_PRINTER_HIDE_NETWORK_SEARCH");
        QCOMPARE(page.findChild<QPushButton *>(QStringLiteral("scanButton"))->isHidden(), hidden);
        QString opened; // the scan dialog, closed unanswered
        ModalAnswerer answerer({[&opened](QWidget *dialog) {
            opened = dialog->objectName();
            dialog->close();
        }});
        // Through the tree's own signal, which the form connects by name.
        QTreeWidget *tree = page.findChild<QTreeWidget *>(QStringLiteral("backendTree"));
        tree->setCurrentItem(tree->findItems(row, Qt::MatchExactly).value(0));
        Q_EMIT tree->itemDoubleClicked(tree->currentItem(), 0);
        QCOMPARE(opened, scans ? QStringLiteral("ScanNetwork") : QString());
    }

    void validationHandsOnTheUriAndTheQueuesTexts_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("uri");
        QTest::addColumn<Attributes>("attributes");
        QTest::addColumn<QString>("deviceUri");
        QTest::addColumn<QString>("texts");
        QTest::newRow("typed custom uri") << "Custom device URI" << "socket://127.0.0.1:9100" << Attributes() << "socket://127.0.0.1:9100" << "Kept||||";
        QTest::newRow("refused uri") << "Custom device URI" << "ipp://127.0.0.1" << Attributes() << "" << "Kept||||";
        const Attributes labels{{QStringLiteral("printer-name"), QStringLiteral("Labels")},
                                {QStringLiteral("printer-info"), QStringLiteral("Label printer")},
                                {QStringLiteral("printer-location"), QStringLiteral("Desk 3")},
                                {QStringLiteral("printer-organizational-unit"), QStringLiteral("Shipping")}};
        QTest::newRow("ipp queue chosen") << "Network printer" << "ipp://127.0.0.1:631/printers/Labels" << labels << "ipp://127.0.0.1:631/printers/Labels"
                                          << "Labels|Label printer|Desk 3||Shipping";
    }
    void validationHandsOnTheUriAndTheQueuesTexts()
    {
        QFETCH(QString, row);
        QFETCH(QString, uri);
        QFETCH(Attributes, attributes);
        QFETCH(QString, deviceUri);
        TestWizard wizard;
        QTreeWidgetItem *item = wizard.tree->findItems(row, Qt::MatchExactly).value(0);
        // The attributes a queue chosen in the IPP queue selector leaves on the row.
        item->setData(1, Qt::UserRole, QVariant::fromValue(attributes));
        wizard.tree->setCurrentItem(item);
        QTest::keyClicks(wizard.page->findChild<QLineEdit *>(QStringLiteral("m_uriEdit")), uri);
        QCOMPARE(item->text(1), uri);
        QCOMPARE(wizard.wizard.button(QWizard::NextButton)->isEnabled(), !deviceUri.isEmpty());
        wizard.wizard.next();
        QCOMPARE(wizard.wizard.currentId(), deviceUri.isEmpty() ? int(SelectBackendPageId) : SelectBackendPageId + 1);
        QCOMPARE(wizard.wizard.field(Field::DeviceUri).toString(), deviceUri);
        QStringList texts;
        for (const QLatin1String &name : QueueTexts) {
            texts << wizard.wizard.field(name).toString();
        }
        QTEST(texts.join(QLatin1Char('|')), "texts");
    }
};

QTEST_MAIN(SelectBackendPageTest)
#include "selectbackendpagetest.moc"

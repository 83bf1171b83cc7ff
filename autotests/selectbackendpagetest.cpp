#include "modalanswerer.h"

#include <selectbackendpage.h>
#include <wizardfields.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWizard>

#include <future>

using namespace CUPS;
using namespace CUPS::Wizard;

using Attributes = QHash<QString, QString>;

// Stands in for the information page, whose fields the backend page writes.
struct FieldsPage : public QWizardPage {
    using QWizardPage::registerField;
};

// The backend page as the wizard enters it, with the information page behind it.
struct TestWizard {
    TestWizard()
    {
        auto *info = new FieldsPage;
        for (const QLatin1String &name :
             {Field::QueueName, Field::QueueDescription, Field::DeviceUri, Field::QueueLocation, Field::QueueOrganization, Field::QueueOrganizationalUnit}) {
            info->registerField(name, new QLineEdit(info));
        }
        wizard.setPage(SelectBackendPageId, page);
        wizard.setPage(SelectBackendPageId + 1, info);
        wizard.setField(Field::QueueName, QStringLiteral("Kept"));
        wizard.show();
    }
    QTreeWidgetItem *row(const QString &label) const
    {
        return tree->findItems(label, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    QWizard wizard;
    SelectBackendPage *page = new SelectBackendPage;
    QTreeWidget *tree = page->findChild<QTreeWidget *>(QStringLiteral("backendTree"));
};

// An LPD server on the loopback: records what it receives and, unless its answer is empty, answers a request line.
struct LpdListener : public QTcpServer {
    explicit LpdListener(const QByteArray &answer)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, answer] {
            while (QTcpSocket *client = nextPendingConnection()) {
                ++connections;
                connect(client, &QTcpSocket::readyRead, client, [this, client, answer] {
                    received += client->readAll();
                    if (received.endsWith('\n') && !answer.isEmpty()) {
                        client->write(answer);
                        client->disconnectFromHost();
                    }
                });
            }
        });
    }
    QByteArray received;
    int connections = 0;
};

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
        QTest::newRow("ipv6 zone without a path") << "ipp://[fe80::1+eth0]:631" << "";
        QTest::newRow("file") << "file:/dev/null" << "file:///dev/null";
        QTest::newRow("no scheme separator") << "printer" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("line feed") << "ipp://host/printers/a\nb" << "";
        QTest::newRow("broken percent escape") << "ipp://host/100%" << "";
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
        QTest::addColumn<QStringList>("parallel");
        QTest::newRow("two parallel ports") << true << true << QStringList{QStringLiteral("parallel://dev/usb/lp0"), QStringLiteral("parallel://dev/usb/lp1")};
        QTest::newRow("udevadm missing") << true << false << QStringList{QStringLiteral("parallel://dev/"), QStringLiteral("parallel://dev/")};
        QTest::newRow("no sysfs printer folder") << false << true << QStringList();
    }
    void treeListsTheMachinesPorts()
    {
        QFETCH(bool, sysfs);
        QFETCH(bool, udevadm);
        QFETCH(QStringList, parallel);
        QTemporaryDir folder;
        QVERIFY(folder.isValid() && QDir(folder.path()).mkpath(QStringLiteral("class/printer/lp1")) && QDir(folder.path()).mkpath(QStringLiteral("class/printer/lp0")));
        // What udevadm answers for a USB parallel adapter, checking it is asked as the page must.
        QFile stub(folder.filePath(QStringLiteral("udevadm")));
        QVERIFY(stub.open(QIODevice::WriteOnly));
        stub.write("#!/bin/sh\n[ \"$1 $2\" = 'info --query=name' ] || exit 1\necho \" usb/${3##*/} \"\n");
        stub.close();
        QVERIFY(stub.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        SelectBackendPage::setSysfsPrinterFolder(folder.filePath(sysfs ? QStringLiteral("class/printer") : QStringLiteral("none")));
        SelectBackendPage::setUdevadmPath(udevadm ? stub.fileName() : folder.filePath(QStringLiteral("none")));

        SelectBackendPage page;
        page.initializePage();
        const QTreeWidget *tree = page.findChild<QTreeWidget *>(QStringLiteral("backendTree"));
        QStringList serial;
        const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &port : ports) {
            serial << QStringLiteral("serial://") + port.systemLocation();
        }
        serial.sort();
        QStringList topLevel{QStringLiteral("Network printer"), QStringLiteral("Custom device URI")};
        if (!parallel.isEmpty() || !serial.isEmpty()) {
            topLevel.prepend(QStringLiteral("Direct connection"));
        }
        QStringList seenTop, seenParallel, seenSerial;
        for (int row = 0; row < tree->topLevelItemCount(); ++row) {
            seenTop << tree->topLevelItem(row)->text(0);
        }
        QCOMPARE(seenTop, topLevel);
        for (QTreeWidgetItem *item : tree->findItems(QStringLiteral("Parallel Port#"), Qt::MatchStartsWith | Qt::MatchRecursive)) {
            seenParallel << item->text(1);
            QCOMPARE(item->text(0), QStringLiteral("Parallel Port#%1").arg(seenParallel.size()));
        }
        for (QTreeWidgetItem *item : tree->findItems(QStringLiteral("Serial port"), Qt::MatchExactly | Qt::MatchRecursive)) {
            seenSerial << item->text(1);
        }
        QCOMPARE(seenParallel, parallel);
        QCOMPARE(seenSerial, serial);
    }

    void lpdProbeSendsOneRequestAndNeedsAnAnswer_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("listening");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QByteArray>("received");
        QTest::newRow("answering server") << "Office-1" << QByteArray("Office-1 is ready\nno entries\n") << true << true << QByteArray("\x03Office-1\n");
        QTest::newRow("silent server") << "Office-1" << QByteArray() << true << false << QByteArray("\x03Office-1\n");
        QTest::newRow("nobody listening") << "Office-1" << QByteArray("no entries\n") << false << false << QByteArray();
        QTest::newRow("line feed in the name") << "lp\n\x02lp" << QByteArray("no entries\n") << true << false << QByteArray();
        QTest::newRow("space in the name") << "lp root" << QByteArray("no entries\n") << true << false << QByteArray();
        QTest::newRow("empty name") << "" << QByteArray("no entries\n") << true << false << QByteArray();
    }
    void lpdProbeSendsOneRequestAndNeedsAnAnswer()
    {
        QFETCH(QString, queue);
        QFETCH(QByteArray, answer);
        QFETCH(bool, listening);
        QFETCH(bool, answered);
        QFETCH(QByteArray, received);
        LpdListener listener(answer);
        QVERIFY(listener.isListening());
        const quint16 port = listener.serverPort();
        if (!listening) {
            listener.close();
        }
        // The probe blocks; it runs beside the event loop that serves the listener.
        constexpr int TimeoutMsecs = 1000;
        QString error;
        qint64 elapsed = 0;
        std::future<bool> probe = std::async(std::launch::async, [&] {
            QElapsedTimer timer;
            timer.start();
            const bool result = SelectBackendPage::probeLpdQueue(QStringLiteral("127.0.0.1"), port, queue, TimeoutMsecs, &error);
            elapsed = timer.elapsed();
            return result;
        });
        QTRY_VERIFY_WITH_TIMEOUT(probe.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 10 * TimeoutMsecs);
        QCOMPARE(probe.get(), answered);
        QCOMPARE(error.isEmpty(), answered);
        QVERIFY2(elapsed < TimeoutMsecs + 500, qPrintable(QString::number(elapsed)));
        listener.waitForNewConnection(0); // takes in a connection the probe may have left behind
        QCOMPARE(listener.connections, received.isEmpty() ? 0 : 1);
        QCOMPARE(listener.received, received);
    }

    void hidingNetworkSearchStopsTheScan_data()
    {
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("opened");
        QTest::newRow("network printer") << false << "Network printer" << "ScanNetwork";
        QTest::newRow("network search hidden") << true << "Network printer" << "";
        QTest::newRow("custom uri cannot scan") << false << "Custom device URI" << "";
    }
    void hidingNetworkSearchStopsTheScan()
    {
        QFETCH(bool, hidden);
        QFETCH(QString, row);
        if (hidden) {
            qputenv("ADMIN_PRINTER_HIDE_NETWORK_SEARCH", "");
        }
        TestWizard wizard;
        qunsetenv("ADMIN_PRINTER_HIDE_NETWORK_SEARCH");
        QCOMPARE(wizard.page->findChild<QPushButton *>(QStringLiteral("scanButton"))->isHidden(), hidden);
        QString opened;
        ModalAnswerer answerer({[&opened](QWidget *dialog) {
            opened = dialog->objectName();
            dialog->close();
        }});
        // As a mouse sends it: the first click, then the double click.
        const QPoint onRow = wizard.tree->visualItemRect(wizard.row(row)).center();
        QTest::mouseClick(wizard.tree->viewport(), Qt::LeftButton, {}, onRow);
        QTest::mouseDClick(wizard.tree->viewport(), Qt::LeftButton, {}, onRow);
        QTEST(opened, "opened");
    }

    void validationHandsOnTheUriAndTheQueuesTexts_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("uri");
        QTest::addColumn<Attributes>("attributes");
        QTest::addColumn<QString>("deviceUri");
        QTest::addColumn<QStringList>("texts");
        const QStringList untouched{QStringLiteral("Kept"), QString(), QString(), QString(), QString()};
        QTest::newRow("typed custom uri") << "Custom device URI" << "socket://127.0.0.1:9100" << Attributes() << "socket://127.0.0.1:9100" << untouched;
        QTest::newRow("typed uri with a space") << "Network printer" << "lpd://127.0.0.1/My queue" << Attributes() << "lpd://127.0.0.1/My%20queue"
                                                << untouched;
        QTest::newRow("refused uri") << "Custom device URI" << "ipp://127.0.0.1" << Attributes() << "" << untouched;
        const Attributes labels{{QStringLiteral("printer-name"), QStringLiteral("Labels")},
                                {QStringLiteral("printer-info"), QStringLiteral("Label printer")},
                                {QStringLiteral("printer-location"), QStringLiteral("Desk 3")},
                                {QStringLiteral("printer-organizational-unit"), QStringLiteral("Shipping")}};
        QTest::newRow("ipp queue chosen") << "Network printer" << "ipp://127.0.0.1:631/printers/Labels" << labels << "ipp://127.0.0.1:631/printers/Labels"
                                          << QStringList{QStringLiteral("Labels"), QStringLiteral("Label printer"), QStringLiteral("Desk 3"), QString(),
                                                         QStringLiteral("Shipping")};
    }
    void validationHandsOnTheUriAndTheQueuesTexts()
    {
        QFETCH(QString, row);
        QFETCH(QString, uri);
        QFETCH(Attributes, attributes);
        QFETCH(QString, deviceUri);
        TestWizard wizard;
        QTreeWidgetItem *item = wizard.row(row);
        if (attributes.isEmpty()) {
            wizard.tree->setCurrentItem(item);
            QTest::keyClicks(wizard.page->findChild<QLineEdit *>(QStringLiteral("m_uriEdit")), uri);
        } else {
            // What a queue chosen in the IPP queue selector leaves on the row.
            item->setText(1, uri);
            item->setData(1, Qt::UserRole, QVariant::fromValue(attributes));
            wizard.tree->setCurrentItem(item);
        }
        QCOMPARE(item->text(1), uri);
        QCOMPARE(wizard.wizard.button(QWizard::NextButton)->isEnabled(), !deviceUri.isEmpty());
        wizard.wizard.next();
        QCOMPARE(wizard.wizard.currentId(), deviceUri.isEmpty() ? int(SelectBackendPageId) : SelectBackendPageId + 1);
        QCOMPARE(wizard.wizard.field(Field::DeviceUri).toString(), deviceUri);
        QStringList texts;
        for (const QLatin1String &name : {Field::QueueName, Field::QueueDescription, Field::QueueLocation, Field::QueueOrganization, Field::QueueOrganizationalUnit}) {
            texts << wizard.wizard.field(name).toString();
        }
        QTEST(texts, "texts");
    }
};

QTEST_MAIN(SelectBackendPageTest)
#include "selectbackendpagetest.moc"

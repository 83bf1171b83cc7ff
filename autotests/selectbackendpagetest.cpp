#include <attributes.h>
#include <selectbackendpage.h>
#include <wizardfields.h>

#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTreeWidget>
#include <QWizard>

#include <future>

using namespace CUPS;
using namespace CUPS::Wizard;
using Attributes = QHash<QString, QString>;

namespace
{
// The fields a chosen IPP queue fills, in the order of its attributes' names.
const QList<QLatin1String> QueueTexts{Field::QueueName, Field::QueueDescription, Field::QueueLocation,
                                      Field::QueueOrganization, Field::QueueOrganizationalUnit};

// Stands in for the information page, whose fields the backend page writes.
struct FieldsPage : QWizardPage {
    FieldsPage()
    {
        for (const QLatin1String &name : QueueTexts + QList<QLatin1String>{Field::DeviceUri}) {
            registerField(name, new QLineEdit(this));
        }
    }
};
} // namespace

class SelectBackendPageTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void normalizeUriAcceptsOnlyUsableUris_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("accepted"); // empty: refused
        QTest::newRow("ipp queue") << "ipp://host:631/printers/x" << "ipp://host:631/printers/x";
        QTest::newRow("ipp without a path") << "ipp://host:631" << "";
        QTest::newRow("socket without a path") << "socket://127.0.0.1:9100" << "socket://127.0.0.1:9100";
        QTest::newRow("spaces and hash") << "smb://server/My Printer #2" << "smb://server/My%20Printer%20%232";
        QTest::newRow("ipv6 zone") << "ipp://[fe80::1+eth0]:631/x" << "ipp://[fe80::1+eth0]:631/x";
        // QUrl would read a zone of hex digits after "::" as one more group of the address.
        QTest::newRow("zone of hex digits, user") << "ipp://a+b@[fe88::0+e]/x" << "ipp://a+b@[fe88::+e]/x";
        QTest::newRow("address written dotted") << "soi://[::c:e+et]://" << "soi://[::0.12.0.14+et]//";
        QTest::newRow("line feed") << "ipp://host/printers/a\nb" << "";
    }
    void normalizeUriAcceptsOnlyUsableUris()
    {
        QFETCH(QString, typed);
        QTEST(SelectBackendPage::normalizeUri(typed), "accepted");
    }

    void lpdProbeSendsOneRequestLineAndNeedsAnAnswer_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("answering server") << "Office-1" << QByteArray("Office-1 is ready\nno entries\n");
        QTest::newRow("silent server") << "Office-1" << QByteArray();
        QTest::newRow("line feed in the name") << "lp\n\x02lp" << QByteArray("lp is ready\n");
    }
    void lpdProbeSendsOneRequestLineAndNeedsAnAnswer()
    {
        QFETCH(QString, queue);
        QFETCH(QByteArray, answer);
        const bool valid = !queue.contains(QLatin1Char('\n'));
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QString error;
        // The probe blocks, so it runs in a thread of its own while this one plays the LPD server.
        std::future<bool> probe = std::async(std::launch::async, [&, port = server.serverPort()] {
            return SelectBackendPage::probeLpdQueue(QStringLiteral("127.0.0.1"), port, queue, 1000, &error);
        });
        QByteArray received;
        QTcpSocket *client = server.waitForNewConnection(1000) ? server.nextPendingConnection() : nullptr;
        while (client && !received.endsWith('\n') && client->waitForReadyRead(1000)) {
            received += client->readAll();
        }
        if (client && client->write(answer) > 0) {
            QVERIFY(client->waitForBytesWritten(1000));
        }
        QVERIFY(probe.wait_for(std::chrono::milliseconds(1500)) == std::future_status::ready);
        QCOMPARE(probe.get(), valid && !answer.isEmpty());
        QCOMPARE(error.isEmpty(), valid && !answer.isEmpty());
        QCOMPARE(received, valid ? QByteArray("\x03" + queue.toLatin1() + '\n') : QByteArray());
    }

    void validationHandsOnTheUriAndTheQueuesTexts_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("uri");
        QTest::addColumn<Attributes>("attributes"); // those of a queue chosen in the IPP queue selector
        QTest::addColumn<QString>("texts"); // empty: the URI is refused
        const QString custom = QStringLiteral("Custom device URI");
        QTest::newRow("typed custom uri") << custom << "socket://127.0.0.1:9100" << Attributes() << "Kept||||";
        QTest::newRow("refused uri") << custom << "ipp://127.0.0.1" << Attributes() << "";
        const Attributes labels{{Attr::PrinterName, QStringLiteral("Labels")},
                                {Attr::PrinterInfo, QStringLiteral("Label printer")},
                                {Attr::PrinterLocation, QStringLiteral("Desk 3")},
                                {Attr::PrinterOrganizationalUnit, QStringLiteral("Shipping")}};
        QTest::newRow("ipp queue") << "Network printer" << "ipp://127.0.0.1:631/printers/Labels" << labels
                                   << "Labels|Label printer|Desk 3||Shipping";
    }
    void validationHandsOnTheUriAndTheQueuesTexts()
    {
        QFETCH(QString, row);
        QFETCH(QString, uri);
        QFETCH(Attributes, attributes);
        QFETCH(QString, texts);
        QWizard wizard;
        auto *page = new SelectBackendPage;
        wizard.setPage(SelectBackendPageId, page);
        wizard.setPage(SelectBackendPageId + 1, new FieldsPage);
        wizard.setField(Field::QueueName, QStringLiteral("Kept"));
        wizard.show(); // enters the page, which lists the backends
        auto *tree = page->findChild<QTreeWidget *>(QStringLiteral("backendTree"));
        QTreeWidgetItem *item = tree->findItems(row, Qt::MatchExactly).value(0);
        QVERIFY(item);
        item->setData(1, Qt::UserRole, QVariant::fromValue(attributes));
        tree->setCurrentItem(item);
        QTest::keyClicks(page->findChild<QLineEdit *>(QStringLiteral("m_uriEdit")), uri);
        QCOMPARE(page->isComplete(), !texts.isEmpty());
        wizard.next();
        QCOMPARE(wizard.currentId(), SelectBackendPageId + int(!texts.isEmpty()));
        QCOMPARE(wizard.field(Field::DeviceUri).toString(), texts.isEmpty() ? QString() : uri);
        QStringList fields;
        for (const QLatin1String &name : QueueTexts) {
            fields << wizard.field(name).toString();
        }
        QCOMPARE(fields.join(QLatin1Char('|')), texts.isEmpty() ? QStringLiteral("Kept||||") : texts);
    }
};

QTEST_MAIN(SelectBackendPageTest)
#include "selectbackendpagetest.moc"

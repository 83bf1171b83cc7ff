#include "cupssandbox.h"

#include <attributes.h>
#include <classmemberspage.h>
#include <destination.h>
#include <ippqueueselector.h>
#include <printerippactions.h>
#include <wizardfields.h>

#include <QTcpServer>
#include <QTemporaryFile>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QWizard>

#include <cups/cups.h>

using namespace CUPS;

namespace
{
// What a class may take of the sample server: its printers, but neither its class nor "Nowhere".
const QStringList SamplePrinters =
    QStringLiteral("AuthPrinter HP_LaserJet Lobby_Printer Office_PS Private_Printer Raw_Queue Rejecting_Printer Stopped_Printer").split(QLatin1Char(' '));

QStringList sortedNames(const QTreeWidget *tree)
{
    QStringList names;
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        names.append(tree->topLevelItem(row)->text(0));
    }
    names.sort();
    return names;
}

Destination destination(const QString &name)
{
    return Destination(PrinterIppActions::instance()->destAttrs(name, {Attr::PrinterName, Attr::PrinterUriSupported, Attr::MemberUris}));
}

QStringList sortedUris(const QStringList &names)
{
    QStringList uris;
    for (const QString &name : names) {
        uris.append(destination(name).uri());
    }
    uris.sort();
    return uris;
}
} // namespace

// The wizard entered on the members page, as the frame starts it to edit a class.
struct TestWizard {
    explicit TestWizard(const QStringList &members)
    {
        wizard.setPage(Wizard::ClassMembersPageId, page);
        wizard.setField(Wizard::Field::ClassMembers, members);
        wizard.show();
    }
    QTreeWidget *tree(bool members) const
    {
        return page->findChild<QTreeWidget *>(members ? QStringLiteral("membersTree") : QStringLiteral("availableTree"));
    }
    QWizard wizard;
    ClassMembersPage *page = new ClassMembersPage;
};

class ClassMembersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        const auto lpadmin = [](const CupsSandbox &server, const QString &arguments) {
            return server.run(QStringLiteral("lpadmin"), arguments.split(QLatin1Char(' ')));
        };
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
        QVERIFY(lpadmin(m_sandbox, QStringLiteral("-p Nowhere -E -v file:/dev/null")));

        // The other server: a colour label printer, its class, and a raw queue that is the server's default and,
        // as the sample server's user default is called so too, the client's.
        QVERIFY2(m_other.start(), qPrintable(m_other.errorString()));
        QVERIFY(lpadmin(m_other, QStringLiteral("-p Labels -E -v file:///dev/null -m drv:///sample.drv/dymo.ppd")));
        QFile labelPpd(m_other.directory() + QStringLiteral("/ppd/Labels.ppd"));
        QTemporaryFile colourPpd;
        QVERIFY(labelPpd.open(QIODevice::ReadOnly) && colourPpd.open());
        QVERIFY(colourPpd.write(labelPpd.readAll().replace("*ColorDevice: False", "*ColorDevice: True")) > 0 && colourPpd.flush());
        QVERIFY(lpadmin(m_other, QStringLiteral("-p Labels -P ") + colourPpd.fileName()));
        QVERIFY(lpadmin(m_other, QStringLiteral("-p Labels -c Team")));
        QVERIFY(lpadmin(m_other, QStringLiteral("-p Raw_Queue -E -v file:///dev/null")));
        QVERIFY(lpadmin(m_other, QStringLiteral("-d Raw_Queue")));
        m_sandbox.use();
    }

    void membersAreOnTheRightOtherPrintersOnTheLeft_data()
    {
        QTest::addColumn<QStringList>("members");
        QTest::addColumn<QStringList>("right");
        QTest::newRow("new class") << QStringList() << QStringList();
        QTest::newRow("edited class") << destination(QStringLiteral("Office_Class")).memberUris()
                                      << QStringList{QStringLiteral("Lobby_Printer"), QStringLiteral("Office_PS")};
        // Hiding it would drop it from the class on saving.
        QTest::newRow("member printing nowhere") << sortedUris({QStringLiteral("Nowhere")}) << QStringList{QStringLiteral("Nowhere")};
    }
    void membersAreOnTheRightOtherPrintersOnTheLeft()
    {
        QFETCH(QStringList, members);
        QFETCH(QStringList, right);
        TestWizard wizard(members);
        QStringList left = SamplePrinters;
        for (const QString &member : right) {
            left.removeOne(member);
        }
        QCOMPARE(sortedNames(wizard.tree(false)), left);
        QCOMPARE(sortedNames(wizard.tree(true)), right);
    }

    void rowsMoveBothWays_data()
    {
        QTest::addColumn<bool>("fromMembers");
        QTest::addColumn<bool>("doubleClick");
        QTest::addColumn<QStringList>("moved");
        QTest::newRow("add button") << false << false << QStringList{QStringLiteral("Raw_Queue"), QStringLiteral("HP_LaserJet")};
        QTest::newRow("double-click a printer") << false << true << QStringList{QStringLiteral("Raw_Queue")};
        QTest::newRow("remove button, last member") << true << false << QStringList{QStringLiteral("Office_PS")};
    }
    void rowsMoveBothWays()
    {
        QFETCH(bool, fromMembers);
        QFETCH(bool, doubleClick);
        QFETCH(QStringList, moved);
        TestWizard wizard(sortedUris({QStringLiteral("Office_PS")}));
        QTreeWidget *from = wizard.tree(fromMembers);
        for (const QString &name : moved) {
            from->findItems(name, Qt::MatchExactly).value(0)->setSelected(true);
        }
        if (doubleClick) {
            // A view takes a double-click only on the row it saw pressed first.
            const QPoint row(4, from->visualItemRect(from->findItems(moved.first(), Qt::MatchExactly).value(0)).center().y());
            QTest::mouseClick(from->viewport(), Qt::LeftButton, {}, row);
            QTest::mouseDClick(from->viewport(), Qt::LeftButton, {}, row);
        } else {
            wizard.page->findChild<QToolButton *>(fromMembers ? QStringLiteral("removeButton") : QStringLiteral("addButton"))->click();
        }
        QCOMPARE(sortedNames(wizard.tree(false)).contains(moved.first()), fromMembers);
        QStringList field = wizard.wizard.field(Wizard::Field::ClassMembers).toStringList();
        field.sort();
        QCOMPARE(field, sortedUris(fromMembers ? QStringList() : QStringList{QStringLiteral("Office_PS")} + moved));
        QCOMPARE(wizard.wizard.button(QWizard::FinishButton)->isEnabled(), !fromMembers);
    }

    void listsTheServersQueuesThenRestoresLibcupsServer_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("capabilities");
        const QString colourSmall = QStringLiteral("Can do B&W printing, Can do color printing, Can do Letter/Legal/A4");
        QTest::newRow("colour, small sizes") << m_other.server() << "Labels" << "" << colourSmall;
        QTest::newRow("client's and server's default") << m_other.server() << "Raw_Queue" << "Default, Default" << "Can do B&W printing";
        QTest::newRow("class") << m_other.server() << "Team" << "Printer Class" << colourSmall;
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        QTest::newRow("nobody listening") << QStringLiteral("127.0.0.1:%1").arg(closed.serverPort()) << "" << "" << "";
    }
    void listsTheServersQueuesThenRestoresLibcupsServer()
    {
        QFETCH(QString, server);
        QFETCH(QString, queue);
        QFETCH(QString, type);
        QFETCH(QString, capabilities);
        const QByteArray serverBefore = cupsServer();
        const int portBefore = ippPort();
        IppQueueSelector selector(nullptr, server);
        QCOMPARE(QByteArray(cupsServer()), serverBefore);
        QCOMPARE(ippPort(), portBefore);
        // The shared connection follows libcups' server, so it still reaches this process' own.
        QCOMPARE(destination(QStringLiteral("Office_PS")).name(), QStringLiteral("Office_PS"));

        auto *tree = selector.findChild<QTreeWidget *>(QStringLiteral("queuesTreeWidget"));
        const QStringList otherQueues = QStringLiteral("Labels Raw_Queue Team").split(QLatin1Char(' '));
        QCOMPARE(sortedNames(tree), queue.isEmpty() ? QStringList() : otherQueues);
        QTreeWidgetItem *row = tree->findItems(queue, Qt::MatchExactly).value(0);
        tree->setCurrentItem(row);
        QCOMPARE(selector.selectedQueue(), queue);
        QCOMPARE(selector.selectedAttributes().value(Attr::PrinterName), queue);
        if (row) {
            QCOMPARE(row->text(1), type);
            QCOMPARE(row->text(4), capabilities);
        }
    }

private:
    CupsSandbox m_sandbox;
    CupsSandbox m_other;
};

QTEST_MAIN(ClassMembersTest)
#include "classmemberstest.moc"

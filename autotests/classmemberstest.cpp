#include "cupssandbox.h"

#include <attributes.h>
#include <classmemberspage.h>
#include <destination.h>
#include <ippqueueselector.h>
#include <printerippactions.h>
#include <wizardfields.h>

#include <QAbstractButton>
#include <QTest>
#include <QTreeWidget>
#include <QWizard>

#include <cups/cups.h>

using namespace CUPS;

namespace
{
// The names of a tree's rows, sorted.
QStringList names(const QWidget *parent, const char *tree)
{
    QStringList names;
    const auto *view = parent->findChild<QTreeWidget *>(QLatin1String(tree));
    for (int row = 0; row < view->topLevelItemCount(); ++row) {
        names.append(view->topLevelItem(row)->text(0));
    }
    names.sort();
    return names;
}
} // namespace

class ClassMembersTest : public QObject
{
    Q_OBJECT
    CupsSandbox m_sandbox;
    CupsSandbox m_other;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
        const QStringList nullDevice{QStringLiteral("-v"), QStringLiteral("file:/dev/null")};
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Nowhere"), nullDevice));
        // The other server: a printer and its class.
        QVERIFY2(m_other.start(), qPrintable(m_other.errorString()));
        QVERIFY(m_other.addPrinter(QStringLiteral("Labels")));
        const QStringList toClass = QStringLiteral("-p Labels -c Team").split(QLatin1Char(' '));
        QVERIFY(m_other.run(QStringLiteral("lpadmin"), toClass));
        m_sandbox.use();
    }

    void membersAreOnTheRightOtherPrintersOnTheLeft_data()
    {
        QTest::addColumn<QStringList>("members");
        QTest::newRow("new class") << QStringList();
        QTest::newRow("edited class") << QStringLiteral("Lobby_Printer Office_PS").split(QLatin1Char(' '));
        // Hiding it would drop it from the class on saving.
        QTest::newRow("member printing nowhere") << QStringList{QStringLiteral("Nowhere")};
    }
    void membersAreOnTheRightOtherPrintersOnTheLeft()
    {
        QFETCH(QStringList, members);
        QStringList uris;
        for (const QString &name : members) {
            uris.append(Destination(PrinterIppActions::instance()->destAttrs(name, {})).uri());
        }
        QWizard wizard; // entered on the members page, as the frame starts it to edit a class
        auto *page = new ClassMembersPage;
        wizard.setPage(Wizard::ClassMembersPageId, page);
        wizard.setField(Wizard::Field::ClassMembers, uris);
        wizard.show();
        QCOMPARE(names(page, "membersTree"), members);
        QCOMPARE(wizard.button(QWizard::FinishButton)->isEnabled(), !members.isEmpty());
        // The sample server's printers: neither its class nor a queue printing nowhere, unless a member.
        QStringList others = QStringLiteral("AuthPrinter HP_LaserJet Lobby_Printer Office_PS Private_Printer "
                                            "Raw_Queue Rejecting_Printer Stopped_Printer")
                                 .split(QLatin1Char(' '));
        for (const QString &member : members) {
            others.removeOne(member);
        }
        QCOMPARE(names(page, "availableTree"), others);
    }

    void listingAnotherServersQueuesRestoresLibcupsServer()
    {
        const QByteArray server = cupsServer();
        const int port = ippPort();
        IppQueueSelector selector(nullptr, m_other.server());
        QCOMPARE(QByteArray(cupsServer()), server);
        QCOMPARE(ippPort(), port);
        const QStringList queues{QStringLiteral("Labels"), QStringLiteral("Team")};
        QCOMPARE(names(&selector, "queuesTreeWidget"), queues);
        auto *tree = selector.findChild<QTreeWidget *>(QStringLiteral("queuesTreeWidget"));
        tree->setCurrentItem(tree->findItems(QStringLiteral("Team"), Qt::MatchExactly).value(0));
        QCOMPARE(selector.selectedAttributes().value(Attr::PrinterName), QStringLiteral("Team"));
        QCOMPARE(tree->currentItem()->text(1), QStringLiteral("Printer Class"));
    }
};

QTEST_MAIN(ClassMembersTest)
#include "classmemberstest.moc"

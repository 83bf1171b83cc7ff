#include "macippserverprocess.h"

#include <attributes.h>
#include <connection.h>
#include <macippactions.h>
#include <printerippactions.h>
#include <utils.h>

#include <QScopeGuard>
#include <QTest>

#include <functional>

using namespace CUPS;

namespace
{
constexpr int Change = MacJobInfo::ChangeAttributes;
constexpr int Mark = MacJobInfo::Mark;

QHash<QString, QString> markingAttributes()
{
    return {{Attr::MacInvNum, QStringLiteral("INV-8")}, {Attr::MacDistribution, QStringLiteral("Office 1^Archive")}};
}

int markRequests(const QStringList &log)
{
    const QString code = QString::number(MacIppActions::MarkJob, 16);
    return int(std::count_if(log.cbegin(), log.cend(), [&code](const QString &line) {
        return line.startsWith(code + QLatin1Char(' '));
    }));
}

using Request = QHash<QString, QString>;
using Ranges = QList<QPair<int, int>>;

using Call = std::function<bool(MacIppActions *)>;
} // namespace
Q_DECLARE_METATYPE(Call)

class MacIppActionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_server.use();
    }

    void init()
    {
        QVERIFY(m_server.reset());
    }

    void jobInfoListsEntriesFontsAndPermissions()
    {
        const MacJobInfo info = MacIppActions::instance()->getMacInfo(1);
        QVERIFY2(info.valid, qPrintable(Connection::lastErrorString()));
        QCOMPARE(info.entries.size(), 5);
        const MacAttributeEntry distribution = info.entries.at(3);
        QCOMPARE(distribution.name, QString(Attr::MacDistribution));
        QCOMPARE(distribution.title, QStringLiteral("Distribution list"));
        QCOMPARE(distribution.value, QStringLiteral("Office 1^Office 2^^Archive"));
        QCOMPARE(distribution.mode, 1);
        QCOMPARE(info.entries.at(2).value, QString()); // an empty value survives the trip
        QCOMPARE(info.entries.at(2).mode, int(MacAttributeEntry::Optional));
        QCOMPARE(info.entries.at(4).mode, int(MacAttributeEntry::Hidden));
        QCOMPARE(info.markerFont, QStringLiteral("Liberation Serif"));
        QCOMPARE(info.fonts, (QStringList{QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Mono"), QStringLiteral("Liberation Serif")}));
        QCOMPARE(info.permissions, (QSet<int>{Change, Mark}));
        QVERIFY(m_server.setPermissions({Mark}));
        QCOMPARE(MacIppActions::instance()->getMacInfo(2).permissions, QSet<int>{Mark});
    }

    void markingReturnsTheDerivedJobsAndJournalsIt()
    {
        const QString before = Connection::instance()->userName();
        auto restore = qScopeGuard([before] {
            Connection::instance()->setUser(before);
        });
        Connection::instance()->setUser(QStringLiteral("marker-7"));
        MacIppActions *actions = MacIppActions::instance();
        QVERIFY(actions->lockJob(1));
        QCOMPARE(actions->markJob(1, markingAttributes(), QStringLiteral("1-5,8")), (QList<int>{12, 13}));
        QCOMPARE(m_server.lastUser(), QStringLiteral("marker-7"));

        QList<QHash<QString, QVariant>> records;
        QVERIFY(actions->getJournal({{Attr::JobId, QStringLiteral("1")}}, &records));
        QCOMPARE(records.size(), 1);
        const QHash<QString, QVariant> &record = records.first();
        QCOMPARE(Utils::getAttribute(record, Attr::Count).toInt(), 1);
        QCOMPARE(Utils::getAttribute(record, Attr::PageRanges).toString(), QStringLiteral("1-5,8-8"));
        QCOMPARE(Utils::getAttribute(record, Attr::MacInvNum).toString(), QStringLiteral("INV-8"));
        QCOMPARE(Utils::getAttribute(record, Attr::MacJobUserName).toString(), QStringLiteral("marker-7"));
        QVERIFY(actions->lockJob(3)); // no page ranges: all pages
        QCOMPARE(actions->markJob(3, markingAttributes(), QString()), (QList<int>{14, 15}));
    }

    void badMarkingRequestsAreRefusedUnsent_data()
    {
        QTest::addColumn<int>("jobId");
        QTest::addColumn<QString>("pages");
        QTest::addColumn<QString>("message");
        QTest::newRow("backward page range") << 1 << QStringLiteral("5-3") << QStringLiteral("Invalid page ranges \"5-3\"");
        QTest::newRow("negative job") << -4 << QString() << QStringLiteral("Invalid job ID -4");
    }

    void badMarkingRequestsAreRefusedUnsent()
    {
        QFETCH(int, jobId);
        QFETCH(QString, pages);
        QFETCH(QString, message);
        QVERIFY(jobId < 0 || MacIppActions::instance()->lockJob(jobId));
        const int requestsBefore = markRequests(m_server.requestLog());
        QCOMPARE(MacIppActions::instance()->markJob(jobId, markingAttributes(), pages), QList<int>());
        QCOMPARE(Connection::lastErrorString(), message);
        QCOMPARE(markRequests(m_server.requestLog()), requestsBefore);
    }

    void journalSearchesAndPages_data()
    {
        QTest::addColumn<Request>("request");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("onPage");
        QTest::addColumn<int>("firstJobId");

        const QString user = Attr::JobOriginatingUserName;
        const QString level = Attr::MacJobMacLevelName;
        const QString op = Attr::Operator;
        const QString first = Attr::FirstIndex;
        // Records 101 to 145 (i = 1 to 45): alice for odd i, "Secret" for i divisible by 3, created 1700000000 + i hours.
        QTest::newRow("everything, first page") << QHash<QString, QString>() << 45 << 30 << 101;
        QTest::newRow("everything, second page") << QHash<QString, QString>{{first, QStringLiteral("31")}} << 45 << 15 << 131;
        QTest::newRow("one job") << QHash<QString, QString>{{Attr::JobId, QStringLiteral("105")}, {user, QStringLiteral("bob")}} << 1 << 1 << 105;
        QTest::newRow("user OR level") << QHash<QString, QString>{{user, QStringLiteral("alice")}, {level, QStringLiteral("Secret")}, {op, QStringLiteral("OR")}}
                                       << 30 << 30 << 101;
        QTest::newRow("no match") << QHash<QString, QString>{{Attr::JobName, QStringLiteral("nothing-like-it")}} << 0 << 0 << 0;
    }

    void journalSearchesAndPages()
    {
        QFETCH(Request, request);
        QFETCH(int, count);
        QFETCH(int, onPage);
        QFETCH(int, firstJobId);

        QList<QHash<QString, QVariant>> records{{{QStringLiteral("stale"), QVariantList{1}}}};
        QVERIFY2(MacIppActions::instance()->getJournal(request, &records), qPrintable(Connection::lastErrorString()));
        QCOMPARE(records.size(), onPage);
        if (onPage > 0) {
            QCOMPARE(Utils::getAttribute(records.first(), Attr::Count).toInt(), count);
            QCOMPARE(Utils::getAttribute(records.first(), Attr::JobId).toInt(), firstJobId);
        }
        if (onPage > 1) {
            QVERIFY(!records.last().contains(Attr::Count));
        }
    }

    void everyFailureCarriesTheServersMessage_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<Call>("call"); // true when the call succeeded
        // The dialogs' tests see the other operations' failures in their message boxes.
        QTest::newRow("unlock") << QStringLiteral("unlock-job") << Call([](MacIppActions *a) {
            return a->unlockJob(1);
        });
        QTest::newRow("set attributes") << QStringLiteral("set-job-attributes") << Call([](MacIppActions *a) {
            return a->setJobMacAttrs(1, markingAttributes());
        });
        QTest::newRow("labels") << QStringLiteral("add-modify-printer") << Call([](MacIppActions *) {
            return PrinterIppActions::instance()->setPrinterMac(QStringLiteral("Office"), QStringLiteral("1:0:0x0"), QStringLiteral("2:0:0x0"));
        });
    }

    void everyFailureCarriesTheServersMessage()
    {
        QFETCH(QString, operation);
        QFETCH(Call, call);
        MacIppActions *actions = MacIppActions::instance();
        QVERIFY(operation == QLatin1String("lock-job") || actions->lockJob(1));
        const QString message = QStringLiteral("Label service down (%1)").arg(operation);
        QVERIFY(m_server.failOperation(operation, message));
        QVERIFY(!call(actions));
        QCOMPARE(Connection::lastErrorString(), message);
        QCOMPARE(Connection::lastError(), IPP_STATUS_ERROR_INTERNAL);

        // The next successful request clears the error.
        QVERIFY(m_server.clearFailures());
        QVERIFY(actions->getMacInfo(1).valid);
        QCOMPARE(Connection::lastErrorString(), QString());
    }

    void printerSettingsTakeANameOrAUri_data()
    {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QString>("name");
        QTest::newRow("name") << QStringLiteral("Office") << QStringLiteral("Office");
        QTest::newRow("printer URI") << QStringLiteral("ipp://localhost/printers/Archive") << QStringLiteral("Archive");
        QTest::newRow("URI with host and port") << QStringLiteral("ipp://127.0.0.1:631/printers/Office") << QStringLiteral("Office");
    }

    void printerSettingsTakeANameOrAUri()
    {
        QFETCH(QString, printer);
        QFETCH(QString, name);
        PrinterIppActions *actions = PrinterIppActions::instance();
        QVERIFY2(actions->setPrinterPolicy(printer, QStringLiteral("mac-strict")), qPrintable(Connection::lastErrorString()));
        QVERIFY2(actions->setPrinterMac(printer, QStringLiteral("1:2:0x3"), QStringLiteral("4:5:0x7")), qPrintable(Connection::lastErrorString()));

        const QHash<QString, QVariant> attributes = m_server.printerAttributes(name);
        QCOMPARE(Utils::getAttribute(attributes, Attr::PrinterOpPolicy).toString(), QStringLiteral("mac-strict"));
        QCOMPARE(Utils::getAttribute(attributes, Attr::MacPrinterMacMin).toString(), QStringLiteral("1:2:0x3"));
        QCOMPARE(Utils::getAttribute(attributes, Attr::MacPrinterMacMax).toString(), QStringLiteral("4:5:0x7"));
    }

    void pageRangesAreParsedStrictly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<Ranges>("ranges");
        QTest::newRow("the label's example") << QStringLiteral("1-5,8") << true << Ranges{{1, 5}, {8, 8}};
        QTest::newRow("empty: all pages") << QString() << true << Ranges{};
        QTest::newRow("one page") << QStringLiteral("12") << true << Ranges{{12, 12}};
        QTest::newRow("blank before a number") << QStringLiteral("1, 3") << false << Ranges{};
        QTest::newRow("empty part") << QStringLiteral("1,,3") << false << Ranges{};
        QTest::newRow("dangling dash") << QStringLiteral("4-") << false << Ranges{};
        QTest::newRow("two dashes") << QStringLiteral("1-2-3") << false << Ranges{};
        QTest::newRow("backwards") << QStringLiteral("9-2") << false << Ranges{};
        QTest::newRow("page zero") << QStringLiteral("0-2") << false << Ranges{};
        QTest::newRow("beyond int") << QStringLiteral("99999999999") << false << Ranges{};
    }

    void pageRangesAreParsedStrictly()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(Ranges, ranges);
        QList<QPair<int, int>> parsed;
        QCOMPARE(MacIppActions::parsePageRanges(text, &parsed), valid);
        if (valid) {
            QCOMPARE(parsed, ranges);
        }
    }

private:
    MacIppServerProcess m_server;
};

QTEST_GUILESS_MAIN(MacIppActionsTest)

#include "macippactionstest.moc"

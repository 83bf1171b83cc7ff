#include "macippserverprocess.h"

#include <attributes.h>
#include <connection.h>
#include <macippactions.h>
#include <utils.h>

#include <QTest>

using namespace CUPS;

namespace
{
const QHash<QString, QString> Marking{{Attr::MacInvNum, QStringLiteral("INV-8")}};

using Request = QHash<QString, QString>;
using Ranges = QList<QPair<int, int>>;
} // namespace

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
        QVERIFY(m_server.setPermissions({MacJobInfo::Mark}));
        const MacJobInfo info = MacIppActions::instance()->getMacInfo(1);
        QVERIFY2(info.valid, qPrintable(Connection::lastErrorString()));
        QCOMPARE(info.entries.size(), 5);
        QCOMPARE(info.entries.at(3).name, QString(Attr::MacDistribution));
        QCOMPARE(info.entries.at(3).value, QStringLiteral("Office 1^Office 2^^Archive"));
        QCOMPARE(info.entries.at(2).mode, int(MacAttributeEntry::Optional));
        QCOMPARE(info.markerFont, QStringLiteral("Liberation Serif"));
        QCOMPARE(info.permissions, QSet<int>{MacJobInfo::Mark});
    }

    void markingReturnsTheDerivedJobsAndJournalsIt()
    {
        MacIppActions *actions = MacIppActions::instance();
        QVERIFY(actions->lockJob(1));
        QCOMPARE(actions->markJob(1, Marking, QStringLiteral("1-5,8")), (QList<int>{12, 13}));
        QList<QHash<QString, QVariant>> records;
        QVERIFY(actions->getJournal({{Attr::JobId, QStringLiteral("1")}}, &records));
        QCOMPARE(records.size(), 1);
        QCOMPARE(Utils::getAttribute(records.first(), Attr::PageRanges).toString(), QStringLiteral("1-5,8-8"));
        QCOMPARE(Utils::getAttribute(records.first(), Attr::MacInvNum).toString(), QStringLiteral("INV-8"));
    }

    void failuresSayWhy()
    {
        MacIppActions *actions = MacIppActions::instance();
        const int requests = m_server.requestLog().size();
        QVERIFY(actions->markJob(1, Marking, QStringLiteral("5-3")).isEmpty());
        QCOMPARE(Connection::lastErrorString(), QStringLiteral("Invalid page ranges \"5-3\""));
        QVERIFY(actions->markJob(-4, Marking, QString()).isEmpty());
        QCOMPARE(Connection::lastErrorString(), QStringLiteral("Invalid job ID -4"));
        QCOMPARE(m_server.requestLog().size(), requests); // refused before anything was sent

        QVERIFY(m_server.failOperation(QStringLiteral("set-job-attributes"), QStringLiteral("Labels down")));
        QVERIFY(actions->lockJob(1));
        QVERIFY(!actions->setJobMacAttrs(1, Marking));
        QCOMPARE(Connection::lastErrorString(), QStringLiteral("Labels down"));
        QCOMPARE(Connection::lastError(), IPP_STATUS_ERROR_INTERNAL);
    }

    void journalSearchesAndPages_data()
    {
        QTest::addColumn<Request>("request");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("onPage");
        QTest::addColumn<int>("firstJobId");
        // Records 101 to 145: alice's when odd, "Secret" every third.
        const QString user = Attr::JobOriginatingUserName;
        const QString level = Attr::MacJobMacLevelName;
        const QString op = Attr::Operator;
        QTest::newRow("everything") << Request() << 45 << 30 << 101;
        QTest::newRow("page 2") << Request{{Attr::FirstIndex, QStringLiteral("31")}} << 45 << 15 << 131;
        QTest::newRow("user OR level") << Request{{user, QStringLiteral("alice")}, {op, QStringLiteral("OR")},
                                                  {level, QStringLiteral("Secret")}}
                                       << 30 << 30 << 101;
        QTest::newRow("no match") << Request{{Attr::JobName, QStringLiteral("none-such")}} << 0 << 0 << 0;
    }

    void journalSearchesAndPages()
    {
        QFETCH(Request, request);
        QFETCH(int, count);
        QFETCH(int, onPage);
        QFETCH(int, firstJobId);
        QList<QHash<QString, QVariant>> records{{{QStringLiteral("stale"), QVariantList{1}}}};
        QVERIFY(MacIppActions::instance()->getJournal(request, &records));
        QCOMPARE(records.size(), onPage);
        if (onPage > 0) {
            QCOMPARE(Utils::getAttribute(records.first(), Attr::Count).toInt(), count);
            QCOMPARE(Utils::getAttribute(records.first(), Attr::JobId).toInt(), firstJobId);
        }
    }

    void pageRangesAreParsedStrictly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Ranges>("ranges"); // empty when refused, but for the empty text
        QTest::newRow("pages and ranges") << QStringLiteral("1-5,8") << Ranges{{1, 5}, {8, 8}};
        QTest::newRow("empty: all pages") << QString() << Ranges{};
        for (const char *bad : {"1, 3", "1,,3", "4-", "1-2-3", "9-2", "0-2", "99999999999"}) {
            QTest::newRow(bad) << QString::fromLatin1(bad) << Ranges{};
        }
    }

    void pageRangesAreParsedStrictly()
    {
        QFETCH(QString, text);
        QFETCH(Ranges, ranges);
        Ranges parsed{{7, 7}}; // left from before: must go
        const bool valid = text.isEmpty() || !ranges.isEmpty();
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

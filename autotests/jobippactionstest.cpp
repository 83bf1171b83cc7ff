#include "cupssandbox.h"
#include "jobtools.h"

#include <attributes.h>
#include <connection.h>
#include <jobippactions.h>
#include <utils.h>

#include <QTest>

using namespace CUPS;

// What the jobs widget's tests leave out; effects are read back with ipptool, not with the code under test.
class JobIppActionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
        // A stopped queue keeps its jobs where the tests put them.
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Queue_A")));
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {QStringLiteral("Queue_A")}));
        m_queue = Utils::printerUri(QStringLiteral("Queue_A"));
    }

    void jobAttributesAreReadAndWrittenWithTheJobsTypes()
    {
        const QString title = QStringLiteral("Bericht <b>Ü</b>");
        const int id = JobTools::submitHeld(m_sandbox, QStringLiteral("Queue_A"), title);
        QVERIFY(id > 0);
        QCOMPARE(Utils::getAttribute(m_actions->jobAttrs(m_queue, id, {}), Attr::JobName).toString(), title);
        const QHash<QString, QString> changes{{Attr::JobPriority, QStringLiteral("77")},
                                              {Attr::JobName, QStringLiteral("Renamed")}};
        QVERIFY2(m_actions->setJobAttrs(m_queue, id, changes), qPrintable(Connection::lastErrorString()));
        QCOMPARE(JobTools::attribute(m_sandbox, id, QStringLiteral("job-priority")), QStringLiteral("77"));
        QCOMPARE(JobTools::attribute(m_sandbox, id, QStringLiteral("job-name")), QStringLiteral("Renamed"));
        // A number attribute given text is refused before anything is sent.
        QVERIFY(!m_actions->setJobAttrs(m_queue, id, {{Attr::JobPriority, QStringLiteral("high")}}));
        QCOMPARE(JobTools::attribute(m_sandbox, id, QStringLiteral("job-priority")), QStringLiteral("77"));
    }

    // Purging takes a finished job out of the history: after that every operation finds no such job.
    void aPurgedJobIsGoneForEveryOperation()
    {
        const int id = JobTools::submitHeld(m_sandbox, QStringLiteral("Queue_A"));
        QVERIFY(id > 0 && m_actions->cancelJob(m_queue, id));
        QCOMPARE(JobTools::state(m_sandbox, id), QStringLiteral("canceled"));
        QVERIFY(m_actions->purgeJob(m_queue, id));
        QCOMPARE(JobTools::state(m_sandbox, id), QString());
        QVERIFY(!m_actions->cancelJob(m_queue, id));
        QCOMPARE(Connection::lastError(), IPP_STATUS_ERROR_NOT_FOUND);
        QVERIFY(m_actions->jobAttrs(m_queue, id, {}).isEmpty());
        QCOMPARE(Connection::lastError(), IPP_STATUS_ERROR_NOT_FOUND);
    }

private:
    CupsSandbox m_sandbox;
    JobIppActions *m_actions = JobIppActions::instance();
    QString m_queue;
};

QTEST_GUILESS_MAIN(JobIppActionsTest)
#include "jobippactionstest.moc"

#include "cupssandbox.h"
#include "jobtools.h"

#include <attributes.h>
#include <connection.h>
#include <jobippactions.h>
#include <printerippactions.h>
#include <utils.h>

#include <QTest>

#include <functional>

using namespace CUPS;

// What the jobs widget's handler tests leave out: purging history, typed
// attribute changes, failures and the destination list. Effects are read
// back with ipptool, not with the code under test.
class JobIppActionsTest : public QObject
{
    Q_OBJECT

private:
    CupsSandbox m_sandbox;
    JobIppActions *m_actions = JobIppActions::instance();

    QString uri(const QString &printer) const
    {
        return Utils::printerUri(printer);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
        // A stopped queue keeps its jobs where the tests put them.
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Queue_A")));
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {QStringLiteral("Queue_A")}));
    }

    void purgingAFinishedJobRemovesItFromTheHistory()
    {
        const int id = JobTools::submitHeld(m_sandbox, QStringLiteral("Queue_A"));
        QVERIFY(id > 0);
        QVERIFY(m_actions->cancelJob(uri(QStringLiteral("Queue_A")), id));
        QCOMPARE(JobTools::state(m_sandbox, id), QStringLiteral("canceled"));
        QVERIFY(m_actions->purgeJob(uri(QStringLiteral("Queue_A")), id));
        QCOMPARE(JobTools::state(m_sandbox, id), QString());
    }

    void jobAttributesAreReadAndWritten()
    {
        const int id = JobTools::submitHeld(m_sandbox, QStringLiteral("Queue_A"), QStringLiteral("Bericht <b>Ü</b>"));
        QVERIFY(id > 0);
        const QHash<QString, QVariant> all = m_actions->jobAttrs(uri(QStringLiteral("Queue_A")), id, {});
        QCOMPARE(Utils::getAttribute(all, Attr::JobName).toString(), QStringLiteral("Bericht <b>Ü</b>"));
        QCOMPARE(Utils::getAttribute(all, Attr::JobId).toInt(), id);
        QVERIFY(all.contains(Attr::JobPrinterUri));

        // An integer and a name, each sent with the type the job has for it.
        const QHash<QString, QString> changes{{Attr::JobPriority, QStringLiteral("77")}, {Attr::JobName, QStringLiteral("Renamed")}};
        QVERIFY2(m_actions->setJobAttrs(uri(QStringLiteral("Queue_A")), id, changes), qPrintable(Connection::lastErrorString()));
        QCOMPARE(JobTools::attribute(m_sandbox, id, QStringLiteral("job-priority")), QStringLiteral("77"));
        QCOMPARE(JobTools::attribute(m_sandbox, id, QStringLiteral("job-name")), QStringLiteral("Renamed"));

        // A number attribute given text is refused before anything is sent.
        QVERIFY(!m_actions->setJobAttrs(uri(QStringLiteral("Queue_A")), id, {{Attr::JobPriority, QStringLiteral("high")}}));
        QCOMPARE(JobTools::attribute(m_sandbox, id, QStringLiteral("job-priority")), QStringLiteral("77"));
        // Nothing changed in the viewer is nothing to send, and no failure.
        QVERIFY(m_actions->setJobAttrs(uri(QStringLiteral("Queue_A")), id, {}));
    }

    void operationsOnAMissingJobFailWithTheServersMessage()
    {
        const QString printer = uri(QStringLiteral("Queue_A"));
        const int missing = 99999;
        const QList<QPair<const char *, std::function<bool()>>> operations{
            {"cancel", [&] { return m_actions->cancelJob(printer, missing); }},
            {"purge", [&] { return m_actions->purgeJob(printer, missing); }},
            {"restart", [&] { return m_actions->restartJob(printer, missing); }},
            {"hold", [&] { return m_actions->holdJob(printer, missing); }},
            {"release", [&] { return m_actions->releaseJob(printer, missing); }},
            {"attributes", [&] { return !m_actions->jobAttrs(printer, missing, {}).isEmpty(); }}};
        for (const auto &operation : operations) {
            QVERIFY2(!operation.second(), operation.first);
            QVERIFY2(Connection::lastError() == IPP_STATUS_ERROR_NOT_FOUND, operation.first);
            QVERIFY2(!Connection::lastErrorString().isEmpty(), operation.first);
        }
    }

    void destinationsAreListedWithTheirNames()
    {
        bool ok = false;
        QStringList names;
        for (const Destination &dest : PrinterIppActions::instance()->getDestinations(&ok)) {
            names.append(dest.name());
        }
        QVERIFY(ok);
        for (const QString &name : {QStringLiteral("Queue_A"), QStringLiteral("Office_PS"), QStringLiteral("Office_Class")}) {
            QVERIFY2(names.contains(name), qPrintable(names.join(QLatin1Char(' '))));
        }
        // A null pointer is fine, as the move handler passes it.
        QCOMPARE(PrinterIppActions::instance()->getDestinations(nullptr).size(), names.size());
    }
};

QTEST_GUILESS_MAIN(JobIppActionsTest)
#include "jobippactionstest.moc"

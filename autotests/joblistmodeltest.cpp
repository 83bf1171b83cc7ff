#include "cupssandbox.h"
#include "jobtools.h"

#include <attributes.h>
#include <connection.h>
#include <joblistmodel.h>

#include <QSignalSpy>
#include <QTest>

using namespace CUPS;

namespace
{
QList<int> listedIds(const JobListModel &model)
{
    QList<int> ids;
    for (int row = 0; row < model.rowCount(); ++row) {
        ids.append(model.job(row).id());
    }
    return ids;
}

// Saved columns alternate title and attribute.
int columnOf(const JobListModel &model, const QString &attribute)
{
    return (model.saveColumns().indexOf(attribute) - 1) / 2;
}
} // namespace

class JobListModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
        const QString stopped = QStringLiteral("Stopped");
        QVERIFY(m_sandbox.addPrinter(stopped) && m_sandbox.addPrinter(QStringLiteral("Running")));
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {stopped}));
        m_jobs = {JobTools::submit(m_sandbox, stopped, QStringLiteral("pending")),
                  JobTools::submitHeld(m_sandbox, stopped, QStringLiteral("held")),
                  JobTools::submitHeld(m_sandbox, stopped, QStringLiteral("canceled")),
                  JobTools::submit(m_sandbox, QStringLiteral("Running"), QStringLiteral("completed")),
                  JobTools::submit(m_sandbox, stopped, QStringLiteral("foreign"),
                                   {QStringLiteral("-U"), QStringLiteral("norvik-other")})};
        QVERIFY(!m_jobs.contains(0));
        QVERIFY(m_sandbox.run(QStringLiteral("cancel"), {QString::number(m_jobs.at(Canceled))}));
        QVERIFY(JobTools::waitForState(m_sandbox, m_jobs.at(Completed), QStringLiteral("completed")));
    }

    void theStateAndOwnerFiltersChooseTheRows_data()
    {
        QTest::addColumn<QList<int>>("states");
        QTest::addColumn<bool>("ownJobsOnly");
        QTest::addColumn<QString>("listed"); // the titles of the jobs made at the start
        QTest::newRow("active") << QList<int>{3, 4, 5} << false << QStringLiteral("pending held foreign");
        QTest::newRow("finished") << QList<int>{7, 9} << false << QStringLiteral("canceled completed");
        QTest::newRow("own active") << QList<int>{3, 4, 5} << true << QStringLiteral("pending held");
    }

    void theStateAndOwnerFiltersChooseTheRows()
    {
        QFETCH(QList<int>, states);
        QFETCH(bool, ownJobsOnly);
        QSet<ipp_jstate_e> filter;
        for (int state : states) {
            filter.insert(static_cast<ipp_jstate_e>(state));
        }
        JobListModel model;
        model.setStateFilter(filter, ownJobsOnly);
        QVERIFY(model.load(QString()));
        QStringList listed;
        for (int row = 0; row < model.rowCount(); ++row) {
            listed.append(model.job(row).attributeValue(Attr::JobName).toString());
        }
        QTEST(listed.join(QLatin1Char(' ')), "listed");
    }

    void jobsStateChangedOnlyWhenAStateChanges()
    {
        JobListModel model;
        QSignalSpy changed(&model, &JobListModel::jobsStateChanged);
        QVERIFY(model.load(QStringLiteral("Stopped")) && model.reload());
        QCOMPARE(changed.count(), 1);
        // A row that stays keeps its index across reloads, as a selection needs.
        const QPersistentModelIndex heldRow = model.index(listedIds(model).indexOf(m_jobs.at(Held)), 0);
        QVERIFY(m_sandbox.run(QStringLiteral("cancel"), {QString::number(m_jobs.at(Pending))}));
        QVERIFY(model.reload());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(model.job(heldRow).id(), m_jobs.at(Held));
    }

    void columnsAreAddedChangedSavedAndSorted()
    {
        JobListModel model;
        QVERIFY(model.load(QStringLiteral("Stopped")));
        const int heldRow = listedIds(model).indexOf(m_jobs.at(Held));
        // A new column's attribute is fetched at once.
        model.addColumn(QStringLiteral("Priority"), Attr::JobPriority);
        const int added = JobListModel::defaultColumns().size();
        QCOMPARE(model.index(heldRow, added).data().toString(), QStringLiteral("50"));
        model.changeColumn(added, QStringLiteral("Hold"), Attr::JobHoldUntil);
        QCOMPARE(model.index(heldRow, added).data().toString(), QStringLiteral("indefinite"));
        JobListModel restored;
        restored.restoreColumns(model.saveColumns());
        QCOMPARE(restored.columns(), model.columns());

        // A reload keeps the order.
        model.sort(columnOf(model, Attr::JobId), Qt::DescendingOrder);
        QList<int> expected = listedIds(model);
        std::sort(expected.begin(), expected.end(), std::greater<int>());
        QVERIFY(expected.size() > 1 && model.reload());
        QCOMPARE(listedIds(model), expected);
    }

    void hiddenAttributesNeverBecomeColumns()
    {
        JobListModel model;
        model.setAttributeHidden(Attr::JobName, true);
        QCOMPARE(columnOf(model, Attr::JobName), -1);
        model.addColumn(QStringLiteral("Name"), Attr::JobName);
        QCOMPARE(columnOf(model, Attr::JobName), -1);
        const QStringList user{QStringLiteral("User"), Attr::JobOriginatingUserName};
        model.restoreColumns(QStringList{QStringLiteral("Name"), Attr::JobName} + user);
        QCOMPARE(model.saveColumns(), user);
    }

    void aServerThatCantBeReachedGivesAnEmptyList()
    {
        JobListModel model;
        QVERIFY(model.load(QStringLiteral("Stopped")) && model.rowCount() > 0);
        QSignalSpy loaded(&model, &JobListModel::loaded);
        m_sandbox.stop();
        QVERIFY(!model.reload());
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(loaded.count(), 1);
        QVERIFY(!loaded.first().first().toBool());
    }

private:
    CupsSandbox m_sandbox;
    enum { Pending, Held, Canceled, Completed, Foreign };
    QList<int> m_jobs;
};

QTEST_GUILESS_MAIN(JobListModelTest)
#include "joblistmodeltest.moc"

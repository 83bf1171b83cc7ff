#include "cupssandbox.h"
#include "jobtools.h"

#include <attributes.h>
#include <connection.h>
#include <joblistmodel.h>
#include <utils.h>

#include <QSignalSpy>
#include <QTest>

using namespace CUPS;

class JobListModelTest : public QObject
{
    Q_OBJECT

private:
    CupsSandbox m_sandbox;
    int m_pending = 0;
    int m_held = 0;
    int m_canceled = 0;
    int m_completed = 0;
    int m_foreign = 0;
    // Names come from users: markup and non-ASCII text must show as they are.
    const QString m_heldTitle = QStringLiteral("<b>Jahresbericht</b> & Ærø ✓ <script>");

    static QList<int> listedIds(const JobListModel &model)
    {
        QList<int> ids;
        for (int row = 0; row < model.rowCount(); ++row) {
            ids.append(model.job(row).id());
        }
        return ids;
    }

    static int columnOf(const JobListModel &model, const QString &attribute)
    {
        for (int column = 0; column < model.columnCount(); ++column) {
            if (model.column(column).second == attribute) {
                return column;
            }
        }
        return -1;
    }

    static int rowOf(const JobListModel &model, int id)
    {
        return listedIds(model).indexOf(id);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Stopped")));
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {QStringLiteral("Stopped")}));
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Running")));

        m_pending = JobTools::submit(m_sandbox, QStringLiteral("Stopped"), QStringLiteral("pending"));
        m_held = JobTools::submitHeld(m_sandbox, QStringLiteral("Stopped"), m_heldTitle);
        m_canceled = JobTools::submitHeld(m_sandbox, QStringLiteral("Stopped"), QStringLiteral("canceled"));
        QVERIFY(m_sandbox.run(QStringLiteral("cancel"), {QString::number(m_canceled)}));
        m_completed = JobTools::submit(m_sandbox, QStringLiteral("Running"), QStringLiteral("completed"));
        QVERIFY(m_pending && m_held && m_canceled && m_completed);
        QVERIFY(JobTools::waitForState(m_sandbox, m_completed, QStringLiteral("completed")));
        QCOMPARE(JobTools::state(m_sandbox, m_canceled), QStringLiteral("canceled"));
    }

    void theStateFilterChoosesTheRows_data()
    {
        QTest::addColumn<QList<int>>("states");
        QTest::addColumn<QList<bool>>("listed"); // pending, held, canceled, completed

        QTest::newRow("active only") << QList<int>{3, 4, 5} << QList<bool>{true, true, false, false};
        QTest::newRow("with completed") << QList<int>{3, 4, 5, 9} << QList<bool>{true, true, false, true};
        QTest::newRow("with canceled") << QList<int>{3, 4, 5, 7} << QList<bool>{true, true, true, false};
        QTest::newRow("finished only") << QList<int>{7, 9} << QList<bool>{false, false, true, true};
        QTest::newRow("held only") << QList<int>{4} << QList<bool>{false, true, false, false};
    }

    void theStateFilterChoosesTheRows()
    {
        QFETCH(QList<int>, states);
        QFETCH(QList<bool>, listed);
        QSet<ipp_jstate_e> filter;
        for (int state : states) {
            filter.insert(static_cast<ipp_jstate_e>(state));
        }
        JobListModel model;
        model.setStateFilter(filter, false);
        QVERIFY(model.load(QString()));
        const QList<int> ids = listedIds(model);
        const QList<int> mine{m_pending, m_held, m_canceled, m_completed};
        for (int i = 0; i < mine.size(); ++i) {
            QVERIFY2(ids.contains(mine.at(i)) == listed.at(i), qPrintable(QStringLiteral("job %1 of the four").arg(i)));
        }
        for (int row = 0; row < model.rowCount(); ++row) {
            QVERIFY(filter.contains(static_cast<ipp_jstate_e>(model.job(row).state())));
        }
    }

    void oneDestinationsJobsAreCountedByState()
    {
        JobListModel model;
        model.setStateFilter({IPP_JSTATE_PENDING, IPP_JSTATE_HELD, IPP_JSTATE_PROCESSING, IPP_JSTATE_CANCELED, IPP_JSTATE_COMPLETED}, false);
        QVERIFY(model.load(QStringLiteral("Stopped")));
        QCOMPARE(model.destination(), QStringLiteral("Stopped"));
        QCOMPARE(model.count(IPP_JSTATE_PENDING), 1);
        QCOMPARE(model.count(IPP_JSTATE_HELD), 1);
        QCOMPARE(model.count(IPP_JSTATE_CANCELED), 1);
        // The completed job is another printer's.
        QCOMPARE(model.count(IPP_JSTATE_COMPLETED), 0);
        const Job held = model.job(rowOf(model, m_held));
        QCOMPARE(held.state(), int(IPP_JSTATE_HELD));
        QCOMPARE(held.holdUntil(), QStringLiteral("indefinite"));
        QCOMPARE(held.destinationName(), QStringLiteral("Stopped"));
        QCOMPARE(model.index(rowOf(model, m_held), columnOf(model, Attr::JobName)).data().toString(), m_heldTitle);
        QVERIFY(!held.attributeValue(Attr::JobUri).toString().isEmpty());
        QVERIFY(model.job(model.rowCount()).isEmpty());
        QVERIFY(model.job(QModelIndex()).isEmpty());
    }

    void jobsStateChangedOnlyWhenAStateChanges()
    {
        const int extra = JobTools::submit(m_sandbox, QStringLiteral("Stopped"), QStringLiteral("extra"));
        QVERIFY(extra > 0);
        JobListModel model;
        QSignalSpy changed(&model, &JobListModel::jobsStateChanged);
        QVERIFY(model.load(QStringLiteral("Stopped")));
        QCOMPARE(changed.count(), 1);
        QVERIFY(model.reload());
        QCOMPARE(changed.count(), 1);

        // A row that stays keeps its index across reloads, as a selection needs.
        const QPersistentModelIndex heldRow = model.index(rowOf(model, m_held), 0);
        QVERIFY(m_sandbox.run(QStringLiteral("lp"), {QStringLiteral("-i"), QString::number(extra), QStringLiteral("-H"), QStringLiteral("hold")}));
        QVERIFY(model.reload());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(model.job(rowOf(model, extra)).state(), int(IPP_JSTATE_HELD));

        QVERIFY(m_sandbox.run(QStringLiteral("cancel"), {QString::number(extra)}));
        QVERIFY(model.reload());
        QCOMPARE(changed.count(), 3);
        QVERIFY(!listedIds(model).contains(extra));
        QVERIFY(heldRow.isValid());
        QCOMPARE(model.job(heldRow).id(), m_held);
    }

    void ownJobsOnlyLeavesOtherUsersJobsOut()
    {
        m_foreign = JobTools::submit(m_sandbox, QStringLiteral("Stopped"), QStringLiteral("someone else's"), {QStringLiteral("-U"), QStringLiteral("norvik-other")});
        QVERIFY(m_foreign > 0);
        JobListModel model;
        model.setStateFilter({IPP_JSTATE_PENDING, IPP_JSTATE_HELD}, false);
        QVERIFY(model.load(QStringLiteral("Stopped")));
        QVERIFY(listedIds(model).contains(m_foreign));
        QVERIFY(model.job(rowOf(model, m_foreign)).attributeValue(Attr::JobOriginatingUserName).toString() != Connection::instance()->userName());

        model.setStateFilter({IPP_JSTATE_PENDING, IPP_JSTATE_HELD}, true);
        QVERIFY(model.ownJobsOnly());
        QVERIFY(model.reload());
        QVERIFY(!listedIds(model).contains(m_foreign));
        QVERIFY(listedIds(model).contains(m_pending));
        QVERIFY(m_sandbox.run(QStringLiteral("cancel"), {QString::number(m_foreign)}));
    }

    void columnsAreAddedChangedRemovedAndSaved()
    {
        JobListModel model;
        QCOMPARE(model.columns(), JobListModel::defaultColumns());
        QVERIFY(model.load(QStringLiteral("Stopped")));

        // A new column's attribute is fetched at once.
        model.addColumn(QStringLiteral("Priority"), Attr::JobPriority);
        const int priority = columnOf(model, Attr::JobPriority);
        QCOMPARE(priority, JobListModel::defaultColumns().size());
        QCOMPARE(model.headerData(priority, Qt::Horizontal).toString(), QStringLiteral("Priority"));
        QCOMPARE(model.index(rowOf(model, m_held), priority).data().toString(), QStringLiteral("50"));
        // One column per attribute.
        model.addColumn(QStringLiteral("Again"), Attr::JobPriority);
        QCOMPARE(model.columnCount(), priority + 1);

        model.changeColumn(priority, QStringLiteral("Hold"), Attr::JobHoldUntil);
        QCOMPARE(model.column(priority), qMakePair(QStringLiteral("Hold"), QString(Attr::JobHoldUntil)));
        QCOMPARE(model.index(rowOf(model, m_held), priority).data().toString(), QStringLiteral("indefinite"));

        const QStringList saved = model.saveColumns();
        JobListModel other;
        other.restoreColumns(saved);
        QCOMPARE(other.columns(), model.columns());
        QCOMPARE(other.selectedAttributes().size(), model.columnCount());

        model.removeColumn(QString(Attr::JobHoldUntil));
        model.removeColumn(0);
        QCOMPARE(model.columns(), JobListModel::defaultColumns().mid(1));
    }

    void hiddenAttributesNeverBecomeColumns()
    {
        JobListModel model;
        model.setAttributeHidden(Attr::JobName, true);
        QCOMPARE(columnOf(model, Attr::JobName), -1);
        QVERIFY(model.hiddenAttributes().contains(Attr::JobName));
        model.addColumn(QStringLiteral("Name"), Attr::JobName);
        QCOMPARE(columnOf(model, Attr::JobName), -1);
        model.restoreColumns({QStringLiteral("Name"), Attr::JobName, QStringLiteral("User"), Attr::JobOriginatingUserName});
        QCOMPARE(model.saveColumns(), QStringList({QStringLiteral("User"), Attr::JobOriginatingUserName}));
        model.setAttributeHidden(Attr::JobName, false);
        model.addColumn(QStringLiteral("Name"), Attr::JobName);
        QVERIFY(columnOf(model, Attr::JobName) >= 0);
    }

    void unusableSavedColumnsGiveTheDefaults_data()
    {
        QTest::addColumn<QStringList>("saved");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("a title without attribute") << QStringList{QStringLiteral("Lonely")};
        QTest::newRow("empty attribute") << QStringList{QStringLiteral("Title"), QString()};
    }

    void unusableSavedColumnsGiveTheDefaults()
    {
        QFETCH(QStringList, saved);
        JobListModel model;
        model.addColumn(QStringLiteral("Priority"), Attr::JobPriority);
        model.restoreColumns(saved);
        QCOMPARE(model.columns(), JobListModel::defaultColumns());
    }

    void sortingOrdersRowsByTheColumnsValues()
    {
        JobListModel model;
        model.setStateFilter({IPP_JSTATE_PENDING, IPP_JSTATE_HELD, IPP_JSTATE_CANCELED, IPP_JSTATE_COMPLETED}, false);
        QVERIFY(model.load(QString()));
        QVERIFY(model.rowCount() >= 4);
        const int idColumn = columnOf(model, Attr::JobId);
        model.sort(idColumn, Qt::DescendingOrder);
        QList<int> expected = listedIds(model);
        std::sort(expected.begin(), expected.end(), std::greater<int>());
        QCOMPARE(listedIds(model), expected);

        // Numbers compare as numbers in a text-free column, names by the collator; a reload keeps the order.
        const int nameColumn = columnOf(model, Attr::JobName);
        model.sort(nameColumn, Qt::AscendingOrder);
        for (int pass = 0; pass < 2; ++pass) {
            for (int row = 1; row < model.rowCount(); ++row) {
                const QString before = model.index(row - 1, nameColumn).data().toString();
                const QString after = model.index(row, nameColumn).data().toString();
                QVERIFY2(before.compare(after, Qt::CaseInsensitive) <= 0, qPrintable(before + QStringLiteral(" > ") + after));
            }
            QVERIFY(model.reload());
        }
    }

    void aServerThatCantBeReachedGivesAnEmptyList()
    {
        JobListModel model;
        QVERIFY(model.load(QStringLiteral("Stopped")));
        QVERIFY(model.rowCount() > 0);
        QSignalSpy loaded(&model, &JobListModel::loaded);
        m_sandbox.stop();
        QVERIFY(!model.reload());
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(loaded.first().first().toBool(), false);
    }
};

QTEST_GUILESS_MAIN(JobListModelTest)
#include "joblistmodeltest.moc"

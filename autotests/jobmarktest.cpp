#include "macippserverprocess.h"
#include "modalanswerer.h"

#include <attributes.h>
#include <joblistmodel.h>
#include <jobswidget.h>

#include <QAction>
#include <QStandardPaths>
#include <QTest>

using CUPS::Job;
using CUPS::JobsWidget;

// With mandatory access control on (TELMAR_MAC_ENABLED=1), against the MAC test server.
class JobMarkTest : public QObject
{
    Q_OBJECT

    MacIppServerProcess m_server;

    // Lists held jobs that need marking and selects them all.
    static void show(JobsWidget *widget, const QList<int> &ids)
    {
        QList<Job> jobs;
        for (int id : ids) {
            jobs << Job({{CUPS::Attr::JobId, QVariantList{id}},
                         {CUPS::Attr::JobState, QVariantList{int(IPP_JSTATE_HELD)}},
                         {CUPS::Attr::MacMarkingRequired, QVariantList{true}}});
        }
        static_cast<CUPS::JobListModel *>(widget->model())->setJobs(jobs);
        const auto command = QItemSelectionModel::Select | QItemSelectionModel::Rows;
        for (int row = 0; row < ids.size(); ++row) {
            widget->selectionModel()->setCurrentIndex(widget->model()->index(row, 0), command);
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_server.use();
    }

    void markOpensTheMarkingDialogForOneJobThatNeedsIt_data()
    {
        QTest::addColumn<int>("jobId");
        QTest::addColumn<QString>("expected");
        QTest::newRow("a job the server has") << 2 << "CUPS::MacAttributesDialog";
        // The id reached the dialog: the server refused to lock exactly that job.
        QTest::newRow("a job it does not have") << 99 << "Unable to lock job 99";
    }

    void markOpensTheMarkingDialogForOneJobThatNeedsIt()
    {
        QFETCH(int, jobId);
        QFETCH(QString, expected);
        JobsWidget widget;
        show(&widget, {jobId});
        QAction *mark = widget.action(JobsWidget::Mark);
        QVERIFY(mark->isVisible() && mark->isEnabled());
        QVERIFY(!widget.action(JobsWidget::HoldRelease)->isEnabled()); // a job to mark is not to be released
        QString seen;
        ModalAnswerer answerer({[&seen](QWidget *modal) {
            const auto *box = qobject_cast<QMessageBox *>(modal);
            seen = box ? box->text() : QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }});
        mark->trigger();
        QCOMPARE(answerer.pending(), 0);
        QVERIFY2(seen.contains(expected), qPrintable(seen));
        // Marking needs the job alone.
        show(&widget, {jobId, jobId + 1});
        QVERIFY(!mark->isEnabled());
    }
};

QTEST_MAIN(JobMarkTest)
#include "jobmarktest.moc"

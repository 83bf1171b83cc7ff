#include "macippserverprocess.h"
#include "modalanswerer.h"

#include <attributes.h>
#include <joblistmodel.h>
#include <jobswidget.h>
#include <macattributesdialog.h>

#include <QAction>
#include <QMenu>
#include <QStandardPaths>
#include <QTest>

using CUPS::Job;
using CUPS::JobsWidget;

namespace
{
Job markingJob(int id)
{
    return Job({{CUPS::Attr::JobId, QVariantList{id}},
                {CUPS::Attr::JobState, QVariantList{int(IPP_JSTATE_HELD)}},
                {CUPS::Attr::MacMarkingRequired, QVariantList{true}},
                {CUPS::Attr::JobPrinterUri, QVariantList{QStringLiteral("ipp://localhost/printers/Office")}}});
}
} // namespace

// With mandatory access control on (TELMAR_MAC_ENABLED=1), against the MAC test server.
class JobMarkTest : public QObject
{
    Q_OBJECT

private:
    MacIppServerProcess m_server;

    static CUPS::JobListModel *model(JobsWidget *widget)
    {
        return static_cast<CUPS::JobListModel *>(widget->model());
    }
    static void selectRows(JobsWidget *widget, const QList<int> &rows)
    {
        widget->clearSelection();
        for (int row : rows) {
            widget->selectionModel()->setCurrentIndex(widget->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_server.use();
    }

    void markIsOfferedForOneJobThatNeedsIt()
    {
        JobsWidget widget;
        QVERIFY(widget.action(JobsWidget::Mark)->isVisible());
        auto *menu = qobject_cast<QMenu *>(widget.action(JobsWidget::Mark)->associatedWidgets().value(0));
        QVERIFY(menu);
        const int mark = menu->actions().indexOf(widget.action(JobsWidget::Mark));
        QVERIFY(mark > 0 && menu->actions().at(mark - 1)->isSeparator());
        QVERIFY(model(&widget)->hiddenAttributes().isEmpty());

        model(&widget)->setJobs({markingJob(1), markingJob(2)});
        selectRows(&widget, {0});
        QVERIFY(widget.action(JobsWidget::Mark)->isEnabled());
        // Marking needs the job alone; hold and release are not for it either.
        QVERIFY(!widget.action(JobsWidget::HoldRelease)->isEnabled());
        selectRows(&widget, {0, 1});
        QVERIFY(!widget.action(JobsWidget::Mark)->isEnabled());
    }

    void theCurrentJobIsTheSelectedCurrentRow()
    {
        JobsWidget widget;
        model(&widget)->setJobs({markingJob(1), markingJob(2)});
        QVERIFY(widget.currentJob().isEmpty());
        selectRows(&widget, {1});
        QCOMPARE(widget.currentJob().id(), model(&widget)->job(1).id());
        // Still current but no longer selected: nothing for a single-job action to act on.
        widget.clearSelection();
        QVERIFY(widget.currentJob().isEmpty());
    }

    void markOpensTheMarkingDialogForTheCurrentJob_data()
    {
        QTest::addColumn<int>("jobId");
        QTest::addColumn<QString>("expected");
        QTest::newRow("a job the server has") << 2 << QStringLiteral("dialog");
        // The id reached the dialog: the server refused to lock exactly that job.
        QTest::newRow("a job it does not have") << 99 << QStringLiteral("Unable to lock job 99");
    }

    void markOpensTheMarkingDialogForTheCurrentJob()
    {
        QFETCH(int, jobId);
        QFETCH(QString, expected);
        JobsWidget widget;
        model(&widget)->setJobs({markingJob(jobId)});
        selectRows(&widget, {0});
        QString seen;
        {
            ModalAnswerer answerer({[&seen](QWidget *modal) {
                if (auto *dialog = qobject_cast<CUPS::MacAttributesDialog *>(modal)) {
                    seen = QStringLiteral("dialog");
                    dialog->reject();
                } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                    seen = box->text();
                    box->accept();
                }
            }});
            QObject *d = nullptr;
            for (QObject *child : widget.children()) {
                d = qstrcmp(child->metaObject()->className(), "CUPS::JobsWidgetPrivate") == 0 ? child : d;
            }
            QVERIFY(d && QMetaObject::invokeMethod(d, "markJob"));
            QCOMPARE(answerer.pending(), 0);
        }
        QVERIFY2(seen.contains(expected), qPrintable(seen));
    }
};

QTEST_MAIN(JobMarkTest)
#include "jobmarktest.moc"

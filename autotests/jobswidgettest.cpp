#include "cupssandbox.h"
#include "jobauthdialog.h"
#include "jobtools.h"
#include "modalanswerer.h"

#include <attributes.h>
#include <joblistmodel.h>
#include <jobswidget.h>

#include <QAction>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using CUPS::Job;
using CUPS::JobListModel;
using CUPS::JobsWidget;
using Action = JobsWidget::Action;
using Button = QMessageBox::StandardButton;
using Selection = QItemSelectionModel;

namespace
{
QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

JobListModel *modelOf(JobsWidget *widget)
{
    return static_cast<JobListModel *>(widget->model());
}

// The handlers are slots of the widget's private object, called by name as the menu would.
void invoke(JobsWidget *widget, const char *slot)
{
    QObject *d = nullptr;
    for (QObject *child : widget->children()) {
        d = qstrcmp(child->metaObject()->className(), "CUPS::JobsWidgetPrivate") == 0 ? child : d;
    }
    QVERIFY2(d, "the widget has no private object");
    QVERIFY(QMetaObject::invokeMethod(d, slot));
}

// Calls the handler, pressing the button on the message boxes it opens; what they showed.
QList<SeenBox> invokeAnswering(JobsWidget *widget, const char *slot, Button button = QMessageBox::Ok)
{
    QList<SeenBox> seen;
    ModalAnswerer answerer(ModalAnswerer::pressing({button, button}, &seen));
    invoke(widget, slot);
    return seen;
}

// The header menu's entry for an attribute's column.
QAction *columnEntry(JobsWidget *widget, const QString &attribute)
{
    for (QAction *entry : widget->findChildren<QAction *>()) {
        if (entry->data().toString() == attribute) {
            return entry;
        }
    }
    return nullptr;
}
} // namespace

class JobsWidgetTest : public QObject
{
    Q_OBJECT

private:
    CupsSandbox m_sandbox;

    std::unique_ptr<JobsWidget> widgetFor(const QString &printer)
    {
        auto widget = std::make_unique<JobsWidget>();
        widget->load(printer);
        return widget;
    }

    static int rowOf(JobsWidget *widget, int id)
    {
        for (int row = 0; row < widget->model()->rowCount(); ++row) {
            if (modelOf(widget)->job(row).id() == id) {
                return row;
            }
        }
        return -1;
    }

    // Selects the jobs' rows; the last becomes the current row.
    static bool select(JobsWidget *widget, const QList<int> &ids)
    {
        widget->clearSelection();
        for (int id : ids) {
            const QModelIndex index = widget->model()->index(rowOf(widget, id), 0);
            if (!index.isValid()) {
                return false;
            }
            widget->selectionModel()->setCurrentIndex(index, Selection::Select | Selection::Rows);
        }
        return true;
    }

    int held()
    {
        return JobTools::submitHeld(m_sandbox, QStringLiteral("WQ_Stopped"));
    }
    int pending()
    {
        return JobTools::submit(m_sandbox, QStringLiteral("WQ_Stopped"), QStringLiteral("pending"));
    }
    int canceled()
    {
        const int id = held();
        return m_sandbox.run(QStringLiteral("cancel"), {QString::number(id)}) ? id : 0;
    }
    QString state(int id) const
    {
        return JobTools::state(m_sandbox, id);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
        for (const QString &name : {QStringLiteral("WQ_Stopped"), QStringLiteral("WQ_Other")}) {
            QVERIFY(m_sandbox.addPrinter(name) && m_sandbox.run(QStringLiteral("cupsdisable"), {name}));
        }
    }

    void init()
    {
        QSettings().clear();
    }

    void filtersChooseTheListedStates_data()
    {
        QTest::addColumn<int>("checked");
        QTest::addColumn<QList<int>>("states");
        QTest::newRow("completed") << int(JobsWidget::ShowCompleted) << QList<int>{3, 4, 5, 9};
        QTest::newRow("canceled") << int(JobsWidget::ShowCanceled) << QList<int>{3, 4, 5, 7};
        QTest::newRow("aborted brings stopped") << int(JobsWidget::ShowAborted) << QList<int>{3, 4, 5, 6, 8};
    }

    void filtersChooseTheListedStates()
    {
        QFETCH(int, checked);
        QFETCH(QList<int>, states);
        const int canceledJob = canceled();
        QVERIFY(canceledJob > 0);
        auto widget = widgetFor(QString());
        widget->action(Action(checked))->trigger();
        QSet<ipp_jstate_e> expected;
        for (int state : states) {
            expected.insert(ipp_jstate_e(state));
        }
        QCOMPARE(modelOf(widget.get())->stateFilter(), expected);
        QCOMPARE(rowOf(widget.get(), canceledJob) >= 0, states.contains(IPP_JSTATE_CANCELED));
    }

    void rowsNeedingAttentionAreLightBlue_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("holdUntil");
        QTest::addColumn<bool>("marking");
        QTest::addColumn<bool>("coloured");
        QTest::newRow("held for authentication") << 4 << "auth-info-required" << false << true;
        QTest::newRow("held indefinitely") << 4 << "indefinite" << false << false;
        QTest::newRow("pending with auth hold text") << 3 << "auth-info-required" << false << false;
        QTest::newRow("marking, completed") << 9 << "no-hold" << true << true;
    }

    void rowsNeedingAttentionAreLightBlue()
    {
        QFETCH(int, state);
        QFETCH(QString, holdUntil);
        QFETCH(bool, marking);
        JobsWidget widget;
        modelOf(&widget)->setStateFilter({IPP_JSTATE_PENDING, IPP_JSTATE_HELD, IPP_JSTATE_COMPLETED}, false);
        modelOf(&widget)->setJobs({Job({{CUPS::Attr::JobId, QVariantList{7}},
                                        {CUPS::Attr::JobState, QVariantList{state}},
                                        {CUPS::Attr::JobHoldUntil, QVariantList{holdUntil}},
                                        {CUPS::Attr::MacMarkingRequired, QVariantList{marking}}})});
        QCOMPARE(widget.model()->rowCount(), 1);
        const QVariant background = widget.model()->index(0, 1).data(Qt::BackgroundRole);
        QTEST(background.isValid() && background.value<QColor>() == QColor(181, 213, 242), "coloured");
    }

    void actionsFollowTheSelectedJobs_data()
    {
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QSet<int>>("enabled");
        using W = JobsWidget;
        QTest::newRow("nothing") << QStringList() << QStringLiteral("Hold/release") << QSet<int>();
        QTest::newRow("one held") << words("held") << QStringLiteral("Release")
            << QSet<int>{W::HoldRelease, W::Cancel, W::Purge, W::Move, W::ShowAttributes};
        QTest::newRow("one pending: no purge") << words("pending") << QStringLiteral("Hold")
            << QSet<int>{W::HoldRelease, W::Cancel, W::ShowAttributes};
        QTest::newRow("one canceled") << words("canceled") << QStringLiteral("Hold/release")
            << QSet<int>{W::Restart, W::Purge, W::ShowAttributes};
        // Several jobs: the single-job actions go, even where each job alone allows them.
        QTest::newRow("canceled and held") << words("canceled held") << QStringLiteral("Release")
            << QSet<int>{W::HoldRelease, W::Cancel, W::Restart, W::Purge};
    }

    void actionsFollowTheSelectedJobs()
    {
        QFETCH(QStringList, kinds);
        QFETCH(QSet<int>, enabled);
        QList<int> ids;
        for (const QString &kind : kinds) {
            const bool isHeld = kind == QLatin1String("held");
            ids << (isHeld ? held() : kind == QLatin1String("pending") ? pending() : canceled());
            QVERIFY(ids.last() > 0);
        }
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        widget->action(JobsWidget::ShowCanceled)->trigger();
        QVERIFY(select(widget.get(), ids));
        QTEST(widget->action(JobsWidget::HoldRelease)->text(), "text");
        QSet<int> shown;
        for (int key = JobsWidget::HoldRelease; key <= JobsWidget::ShowAttributes; ++key) {
            if (widget->action(Action(key))->isEnabled() && !widget->action(Action(key))->isCheckable()) {
                shown.insert(key);
            }
        }
        QCOMPARE(shown, enabled);
    }

    void cancelPurgeAndRestartAskForTheEligibleJobs()
    {
        const int first = pending();
        const int canceledJob = canceled();
        const int vanishing = pending();
        const int last = pending();
        const int heldJob = held();
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        widget->action(JobsWidget::ShowCanceled)->trigger();
        QSignalSpy messages(widget.get(), &JobsWidget::statusMessage);
        QVERIFY(select(widget.get(), {first, canceledJob, vanishing, last}));
        invokeAnswering(widget.get(), "cancelJob", QMessageBox::Cancel);
        QCOMPARE(state(first), QStringLiteral("pending"));

        // Another client cancels a job the list still shows pending: the first failure stops the rest.
        QVERIFY(select(widget.get(), {first, canceledJob, vanishing, last}));
        QVERIFY(m_sandbox.run(QStringLiteral("cancel"), {QString::number(vanishing)}));
        QList<SeenBox> seen = invokeAnswering(widget.get(), "cancelJob");
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.first().text, QStringLiteral("Cancel 3 jobs?")); // not the canceled one
        QCOMPARE(seen.at(1).icon, QMessageBox::Warning);
        const QString error = QStringLiteral("Unable to cancel job %1.<br>CUPS error: ").arg(vanishing);
        QVERIFY2(seen.at(1).text.startsWith(error) && seen.at(1).text.size() > error.size(),
                 qPrintable(seen.at(1).text));
        QCOMPARE(state(first), QStringLiteral("canceled"));
        QCOMPARE(state(last), QStringLiteral("pending"));

        QVERIFY(select(widget.get(), {heldJob}));
        QCOMPARE(invokeAnswering(widget.get(), "purgeJob").value(0).text, QStringLiteral("Purge 1 job?"));
        QCOMPARE(state(heldJob), QString());
        QCOMPARE(messages.value(0).value(0).toString(), QStringLiteral("1 job purged"));

        QVERIFY(select(widget.get(), {first}));
        QCOMPARE(invokeAnswering(widget.get(), "restartJob").value(0).text, QStringLiteral("Restart 1 job?"));
        QCOMPARE(state(first), QStringLiteral("pending"));
    }

    void holdTakesPrecedenceOverRelease()
    {
        const int heldJob = held();
        const int pendingJob = pending();
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        QVERIFY(select(widget.get(), {heldJob, pendingJob}));
        QVERIFY(invokeAnswering(widget.get(), "holdReleaseJob").isEmpty()); // no question
        QCOMPARE(state(pendingJob), QStringLiteral("pending-held"));
        QCOMPARE(state(heldJob), QStringLiteral("pending-held"));

        QVERIFY(select(widget.get(), {heldJob}));
        invoke(widget.get(), "holdReleaseJob");
        QCOMPARE(state(heldJob), QStringLiteral("pending"));
        QCOMPARE(modelOf(widget.get())->job(rowOf(widget.get(), heldJob)).state(), int(IPP_JSTATE_PENDING));
    }

    void movingAHeldJob_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("another printer") << "WQ_Other";
        QTest::newRow("its own printer") << "WQ_Stopped";
    }

    void movingAHeldJob()
    {
        QFETCH(QString, target);
        const bool stays = target == QLatin1String("WQ_Stopped");
        const int id = held();
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        QVERIFY(select(widget.get(), {id}));
        QSignalSpy messages(widget.get(), &JobsWidget::statusMessage);
        QString preselected;
        {
            ModalAnswerer answerer({[&](QWidget *modal) {
                auto *dialog = qobject_cast<QInputDialog *>(modal);
                preselected = dialog->textValue();
                dialog->setTextValue(target);
                dialog->accept();
            }});
            invoke(widget.get(), "moveJob");
            QCOMPARE(answerer.pending(), 0);
            QCOMPARE(answerer.unexpected(), 0);
        }
        QCOMPARE(preselected, QStringLiteral("WQ_Stopped"));
        const QString printer = JobTools::attribute(m_sandbox, id, QStringLiteral("job-printer-uri"));
        QVERIFY2(printer.endsWith(QLatin1Char('/') + target), qPrintable(printer));
        // Nothing is sent when the job stays where it is.
        QCOMPARE(messages.size(), stays ? 0 : 1);
        QCOMPARE(rowOf(widget.get(), id) >= 0, stays);
    }

    // The dialog answers domain, user, password; cupsd pairs the values with the printer's list by position.
    void credentialsGoInTheServersOrder()
    {
        QCOMPARE(CUPS::authInfoInServerOrder(words("password domain username"), words("WORK bob pw")),
                 words("pw WORK bob"));
    }

    void aJobHeldForAuthenticationTakesTheCredentials()
    {
        const int id = JobTools::submit(m_sandbox, QStringLiteral("AuthPrinter"), QStringLiteral("password"));
        const auto heldForAuthentication = [&] {
            const QString holdUntil = JobTools::attribute(m_sandbox, id, QStringLiteral("job-hold-until"));
            return holdUntil == QLatin1String("auth-info-required");
        };
        QVERIFY2(QTest::qWaitFor(heldForAuthentication, 20000), "the job was never held for authentication");
        auto widget = widgetFor(QStringLiteral("AuthPrinter"));
        QVERIFY(select(widget.get(), {id}));
        QVERIFY(widget->action(JobsWidget::Authenticate)->isEnabled());
        bool domainShown = true;
        {
            ModalAnswerer answerer({[&domainShown](QWidget *modal) {
                const auto edit = [modal](const char *name) {
                    return modal->findChild<QLineEdit *>(QLatin1String(name));
                };
                // The printer asks for user name and password only.
                domainShown = edit("domainLineEdit")->isVisibleTo(modal);
                edit("userLineEdit")->setText(QStringLiteral("alice"));
                edit("passwordLineEdit")->setText(QStringLiteral("secret"));
                qobject_cast<QDialog *>(modal)->accept();
            }});
            invoke(widget.get(), "authenticateJob");
            QCOMPARE(answerer.pending(), 0);
        }
        QVERIFY(!domainShown);
        QVERIFY(JobTools::waitForState(m_sandbox, id, QStringLiteral("completed")));
    }

    void settingsAndHeaderSurviveANewWidget()
    {
        const QString priority = QStringLiteral("job-priority");
        QStringList columns;
        {
            JobsWidget widget;
            widget.action(JobsWidget::ShowCompleted)->trigger();
            widget.action(JobsWidget::ShowMyJobsOnly)->trigger();
            columnEntry(&widget, priority)->trigger();
            widget.header()->resizeSection(1, 211);
            widget.header()->moveSection(0, 2);
            columns = modelOf(&widget)->saveColumns();
            QVERIFY(columns.contains(priority));
        }
        JobsWidget again;
        QVERIFY(again.action(JobsWidget::ShowCompleted)->isChecked());
        QVERIFY(modelOf(&again)->ownJobsOnly());
        QCOMPARE(modelOf(&again)->saveColumns(), columns);
        QCOMPARE(again.header()->sectionSize(1), 211);
        QCOMPARE(again.header()->visualIndex(0), 2);
        // The column's entry shows it, and takes it away again.
        QVERIFY(columnEntry(&again, priority)->isChecked());
        columnEntry(&again, priority)->trigger();
        QVERIFY(!modelOf(&again)->selectedAttributes().contains(priority));
    }
};

QTEST_MAIN(JobsWidgetTest)
#include "jobswidgettest.moc"

#include "cupssandbox.h"

#include <printerlistmodel.h>
#include <printerswidget.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMetaEnum>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cups/cups.h>

using CUPS::PrintersWidget;
using Action = PrintersWidget::Action;

namespace
{
CUPS::Destination makeDestination(const QString &name, uint type, int state)
{
    return CUPS::Destination({
        {QStringLiteral("printer-name"), QVariantList{name}},
        {QStringLiteral("printer-type"), QVariantList{type}},
        {QStringLiteral("printer-state"), QVariantList{state}},
        {QStringLiteral("printer-is-shared"), QVariantList{true}},
        {QStringLiteral("printer-is-accepting-jobs"), QVariantList{!(type & CUPS_PRINTER_REJECTING)}},
    });
}

// What the current row offers, as "Pause, Reject jobs; admin; all: off, me: on": "admin" when every
// administrative action is enabled, "no admin" when none is; the defaults, "fixed" when unchangeable.
QString offered(const PrintersWidget &widget)
{
    using W = PrintersWidget;
    QStringList administrative;
    for (Action key : {W::PauseResume, W::AcceptRejectJobs, W::Purge, W::EditDestination, W::ShowAttrs,
                       W::DeleteDestination, W::PrintTestPage}) {
        if (widget.action(key)->isEnabled()) {
            administrative << QString::fromLatin1(QMetaEnum::fromType<Action>().valueToKey(key));
        }
    }
    const QString admin = administrative.isEmpty() ? QStringLiteral("no admin")
        : administrative.size() == 7                 ? QStringLiteral("admin")
                                                     : administrative.join(QLatin1Char(' '));
    const auto state = [&widget](Action key) -> QString {
        const QAction *action = widget.action(key);
        const QLatin1String checked(action->isChecked() ? "on" : "off");
        return checked + QLatin1String(action->isEnabled() ? "" : " fixed");
    };
    return QStringLiteral("%1, %2; %3; all: %4, me: %5")
        .arg(widget.action(W::PauseResume)->text(), widget.action(W::AcceptRejectJobs)->text(), admin,
             state(W::SetSystemDefault), state(W::SetUserDefault));
}
} // namespace

class PrintersWidgetTest : public QObject
{
    Q_OBJECT

    CupsSandbox m_sandbox;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
    }

    void theFilterMatchesNameLocationDescriptionAndModel_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("nothing filtered") << "" << "Lab_Printer Office_PS";
        QTest::newRow("name, any case") << "office" << "Office_PS";
        QTest::newRow("location") << "raum 2" << "Office_PS";
        QTest::newRow("description") << "plotter" << "Lab_Printer";
        QTest::newRow("make and model") << "laserjet" << "Office_PS";
    }

    void theFilterMatchesNameLocationDescriptionAndModel()
    {
        QFETCH(QString, text);
        const auto printer = [](const char *name, const char *location, const char *info, const char *model) {
            auto attributes = makeDestination(QLatin1String(name), 0, IPP_PSTATE_IDLE).attributes();
            attributes[QStringLiteral("printer-location")] = QVariantList{QLatin1String(location)};
            attributes[QStringLiteral("printer-info")] = QVariantList{QLatin1String(info)};
            attributes[QStringLiteral("printer-make-and-model")] = QVariantList{QLatin1String(model)};
            return CUPS::Destination(attributes);
        };
        PrintersWidget widget;
        widget.setFilterText(text);
        // Rows coming from the server meet the filter set before.
        widget.model()->setDestinations({printer("Office_PS", "Raum 2", "Office", "HP LaserJet 4"),
                                         printer("Lab_Printer", "Lab", "Plotter", "Generic")},
                                        QString());
        const QModelIndex printers = widget.model()->index(CUPS::PrinterListModel::PrintersRow, 0);
        QStringList visible;
        for (int row = 0; row < widget.model()->rowCount(printers); ++row) {
            if (!widget.isRowHidden(row, printers)) {
                visible << widget.model()->index(row, 0, printers).data().toString();
            }
        }
        visible.sort();
        QTEST(visible.join(QLatin1Char(' ')), "shown");
    }

    void viewOptionsSetTheModelOptions_data()
    {
        QTest::addColumn<int>("toggled");
        QTest::addColumn<int>("options"); // local, remote and not shared start checked: 0x7
        QTest::addColumn<QString>("current"); // the local printer stays current while it is shown
        QTest::newRow("hide remote") << int(PrintersWidget::ShowRemote) << 0x6 << "Local";
        QTest::newRow("hide local") << int(PrintersWidget::ShowLocal) << 0x5 << "";
        QTest::newRow("group by location") << int(PrintersWidget::GroupByLocation) << 0xf << "Local";
    }

    void viewOptionsSetTheModelOptions()
    {
        QFETCH(int, toggled);
        PrintersWidget widget;
        const QString local = QStringLiteral("Local");
        widget.model()->setDestinations({makeDestination(local, 0, IPP_PSTATE_IDLE)}, QString());
        widget.setCurrentIndex(widget.model()->indexOf(local));
        widget.action(Action(toggled))->trigger();
        QTEST(int(widget.model()->options()), "options");
        QTEST(widget.currentDestination().name(), "current");
    }

    void actionsFollowTheDestinationType_data()
    {
        QTest::addColumn<uint>("type");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("userDefault");
        QTest::addColumn<QString>("offered");
        const int idle = IPP_PSTATE_IDLE;
        const uint discoveredRemote = CUPS_PRINTER_REMOTE | CUPS_PRINTER_DISCOVERED;
        QTest::newRow("idle") << 0u << idle << false << "Pause, Reject jobs; admin; all: off, me: off";
        QTest::newRow("stopped") << 0u << int(IPP_PSTATE_STOPPED) << false
            << "Resume, Reject jobs; admin; all: off, me: off";
        QTest::newRow("rejecting") << uint(CUPS_PRINTER_REJECTING) << idle << false
            << "Pause, Accept jobs; admin; all: off, me: off";
        QTest::newRow("remote, not discovered") << uint(CUPS_PRINTER_REMOTE) << idle << false
            << "Pause, Reject jobs; admin; all: off, me: off";
        QTest::newRow("discovered remote") << (discoveredRemote | CUPS_PRINTER_DEFAULT) << idle << false
            << "Pause, Reject jobs; no admin; all: on, me: off fixed";
        QTest::newRow("default for me") << 0u << idle << true
            << "Pause, Reject jobs; admin; all: off, me: on";
        QTest::newRow("default for me and for all") << uint(CUPS_PRINTER_DEFAULT) << idle << true
            << "Pause, Reject jobs; admin; all: on, me: on fixed";
    }

    void actionsFollowTheDestinationType()
    {
        QFETCH(uint, type);
        QFETCH(int, state);
        QFETCH(bool, userDefault);
        PrintersWidget widget;
        const QString name = QStringLiteral("Tested");
        const QString other = QStringLiteral("Other");
        const QList<CUPS::Destination> destinations{makeDestination(name, type, state),
                                                    makeDestination(other, 0, IPP_PSTATE_IDLE)};
        widget.model()->setDestinations(destinations, userDefault ? name : other);
        widget.setCurrentIndex(widget.model()->indexOf(name));
        QTEST(offered(widget), "offered");

        // Without a destination only the general actions stay.
        widget.setCurrentIndex(widget.model()->index(CUPS::PrinterListModel::PrintersRow, 0));
        QVERIFY(widget.currentDestination().isEmpty());
        const QString nothing = QStringLiteral("Pause, Accept jobs; no admin; all: off fixed, me: off fixed");
        QCOMPARE(offered(widget), nothing);
        QVERIFY(widget.action(PrintersWidget::AddDestination)->isEnabled());
    }

    void onlyChangesCoveringTheCurrentRowUpdate_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<bool>("updates");
        // The current row is row 2 of the printers.
        const int printers = CUPS::PrinterListModel::PrintersRow;
        QTest::newRow("range starting at the current row") << printers << 2 << 3 << true;
        QTest::newRow("range ending at the current row") << printers << 0 << 2 << true;
        QTest::newRow("range above the current row") << printers << 0 << 1 << false;
        QTest::newRow("range below the current row") << printers << 3 << 3 << false;
        QTest::newRow("same rows among the classes") << int(CUPS::PrinterListModel::ClassesRow) << 0 << 3
                                                     << false;
    }

    void onlyChangesCoveringTheCurrentRowUpdate()
    {
        QFETCH(int, kind);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(bool, updates);
        PrintersWidget widget;
        QList<CUPS::Destination> destinations;
        for (const QChar letter : QStringLiteral("ABCD")) {
            const int idle = IPP_PSTATE_IDLE;
            destinations << makeDestination(QStringLiteral("Printer_") + letter, 0, idle)
                         << makeDestination(QStringLiteral("Class_") + letter, CUPS_PRINTER_CLASS, idle);
        }
        widget.model()->setDestinations(destinations, QString());
        widget.setCurrentIndex(widget.model()->indexOf(QStringLiteral("Printer_C")));
        QCOMPARE(widget.currentIndex().row(), 2);
        // A stale text shows whether the actions were brought up to date.
        QAction *pause = widget.action(PrintersWidget::PauseResume);
        pause->setText(QStringLiteral("stale"));
        QSignalSpy changed(&widget, &PrintersWidget::currentDestinationChanged);
        CUPS::PrinterListModel *model = widget.model();
        const QModelIndex parent = model->index(kind, 0);
        Q_EMIT model->dataChanged(model->index(first, 0, parent), model->index(last, 0, parent));
        QCOMPARE(changed.count(), updates ? 1 : 0);
        QCOMPARE(pause->text(), updates ? QStringLiteral("Pause") : QStringLiteral("stale"));
    }

    void contextMenuShowsTheMainMenu()
    {
        PrintersWidget widget;
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QWidget *shown = nullptr;
        QPoint shownAt;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (QWidget *popup = QApplication::activePopupWidget()) {
                shown = popup;
                shownAt = popup->pos();
                closer.stop();
                popup->close();
            }
        });
        closer.start(10);
        const QPoint globalPos(120, 90);
        const QPoint pos = widget.viewport()->mapFromGlobal(globalPos);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, globalPos);
        QApplication::sendEvent(widget.viewport(), &event);
        QCOMPARE(shown, widget.mainMenu());
        QCOMPARE(shownAt, globalPos);
    }
};

QTEST_MAIN(PrintersWidgetTest)

#include "printerswidgettest.moc"

#include "cupssandbox.h"
#include "printerswidget_p.h"

#include <printerlistmodel.h>
#include <printerswidget.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QMetaEnum>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cups/cups.h>

using CUPS::PrintersWidget;
using Action = PrintersWidget::Action;

namespace
{
constexpr int ActionCount = 15;

// The theme draws every icon as one solid colour, so each emblem's corner can be told by its pixels.
const QList<QPair<const char *, QColor>> ThemeIcons{
    {"printer", Qt::red},
    {"printer-class", Qt::darkRed},
    {"emblem-symbolic-link", Qt::green}, // remote
    {"emblem-unreadable", Qt::blue}, // stopped
    {"emblem-system", Qt::yellow}, // processing
    {"emblem-mounted", Qt::cyan}, // default for all
    {"emblem-favorite", Qt::magenta}, // default for me
    // Only found icons report their theme name, which the action tests compare.
    {"media-playback-pause", Qt::gray},
    {"media-playback-start", Qt::gray},
    {"dialog-ok-apply", Qt::gray},
    {"dialog-cancel", Qt::gray},
};

bool writeIconTheme(const QString &root)
{
    const QDir theme(root + QStringLiteral("/norvik-test"));
    QFile index(theme.filePath(QStringLiteral("index.theme")));
    if (!theme.mkpath(QStringLiteral(".")) || !index.open(QIODevice::WriteOnly)) {
        return false;
    }
    index.write("[Icon Theme]\nName=norvik-test\nDirectories=16x16,33x33\n[16x16]\nSize=16\nType=Fixed\n[33x33]\nSize=33\nType=Fixed\n");
    // 33 px leaves a centre pixel that no 16 px emblem covers.
    for (int size : {16, 33}) {
        const QString dir = QStringLiteral("%1x%1").arg(size);
        if (!theme.mkpath(dir)) {
            return false;
        }
        for (const auto &icon : ThemeIcons) {
            QImage image(size, size, QImage::Format_ARGB32);
            image.fill(icon.second);
            if (!image.save(theme.filePath(dir + QLatin1Char('/') + QLatin1String(icon.first) + QStringLiteral(".png")))) {
                return false;
            }
        }
    }
    return true;
}

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

QString keyName(int key)
{
    return QString::fromLatin1(QMetaEnum::fromType<Action>().valueToKey(key));
}

// The action's text, or a complaint when its theme icon does not go with it.
QString look(const QAction *action)
{
    static const QHash<QString, QString> icons{{QStringLiteral("Pause"), QStringLiteral("media-playback-pause")},
                                               {QStringLiteral("Resume"), QStringLiteral("media-playback-start")},
                                               {QStringLiteral("Accept jobs"), QStringLiteral("dialog-ok-apply")},
                                               {QStringLiteral("Reject jobs"), QStringLiteral("dialog-cancel")}};
    return icons.value(action->text()) == action->icon().name() ? action->text() : action->text() + QStringLiteral(" with icon ") + action->icon().name();
}

/**
 * What the current row offers, as "Pause, Reject jobs; admin; all: off, me: on":
 * "admin" when every administrative action is enabled, "no admin" when none is;
 * the two defaults as checked or not, "fixed" when they cannot be chosen.
 */
QString offered(const PrintersWidget &widget)
{
    for (Action key : {PrintersWidget::AddDestination, PrintersWidget::Reload, PrintersWidget::ShowLocal, PrintersWidget::ShowRemote,
                       PrintersWidget::ShowNotShared, PrintersWidget::GroupByLocation}) {
        if (!widget.action(key)->isEnabled()) {
            return keyName(key) + QStringLiteral(" is disabled");
        }
    }
    QStringList administrative;
    for (Action key : {PrintersWidget::PauseResume, PrintersWidget::AcceptRejectJobs, PrintersWidget::Purge, PrintersWidget::EditDestination,
                       PrintersWidget::ShowAttrs, PrintersWidget::DeleteDestination, PrintersWidget::PrintTestPage}) {
        if (widget.action(key)->isEnabled()) {
            administrative << keyName(key);
        }
    }
    const QString admin = administrative.isEmpty() ? QStringLiteral("no admin") : administrative.size() == 7 ? QStringLiteral("admin") : administrative.join(QLatin1Char(' '));
    const auto state = [&widget](Action key) -> QString {
        const QAction *action = widget.action(key);
        return QLatin1String(action->isChecked() ? "on" : "off") + QLatin1String(action->isEnabled() ? "" : " fixed");
    };
    return QStringLiteral("%1, %2; %3; all: %4, me: %5")
        .arg(look(widget.action(PrintersWidget::PauseResume)), look(widget.action(PrintersWidget::AcceptRejectJobs)), admin,
             state(PrintersWidget::SetSystemDefault), state(PrintersWidget::SetUserDefault));
}

// "|" for a separator, a submenu by its title, an action as "Key text".
QString describe(const PrintersWidget &widget, const QMenu *menu)
{
    QStringList items;
    for (QAction *item : menu->actions()) {
        int key = 0;
        while (key < ActionCount && widget.action(Action(key)) != item) {
            ++key;
        }
        items << (item->isSeparator() ? QStringLiteral("|") : item->menu() ? item->menu()->title() : keyName(key) + QLatin1Char(' ') + item->text());
    }
    return items.join(QStringLiteral(", "));
}
} // namespace

class PrintersWidgetTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_iconDir;
    CupsSandbox m_sandbox;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(writeIconTheme(m_iconDir.path()));
        QIcon::setThemeSearchPaths({m_iconDir.path()});
        QIcon::setThemeName(QStringLiteral("norvik-test"));
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
    }

    void menusHoldTheActionsInOrder()
    {
        PrintersWidget widget;
        // The separator after the submenu and the one before "Add new..." show as one.
        QVERIFY(widget.mainMenu()->separatorsCollapsible());
        QCOMPARE(describe(widget, widget.mainMenu()),
                 QStringLiteral("&View, |, |, AddDestination Add new..., DeleteDestination Delete, EditDestination Print options..., "
                                "ShowAttrs Attributes, |, PauseResume Pause, AcceptRejectJobs Accept jobs, Purge Purge jobs, |, "
                                "SetUserDefault Set default for me, SetSystemDefault Set default for all, |, PrintTestPage Print test page"));
        QCOMPARE(widget.mainMenu()->actions().first()->menu(), widget.viewMenu());
        QCOMPARE(describe(widget, widget.viewMenu()),
                 QStringLiteral("ShowLocal Show local printers, ShowRemote Show remote printers, ShowNotShared Show not shared printers, "
                                "GroupByLocation Group by location, |, Reload Reload printer list"));
        // A key past the enumeration (but one its type can hold) has no action and adds none.
        QCOMPARE(widget.action(Action(ActionCount)), nullptr);
        const auto children = widget.children();
        const auto d = std::find_if(children.cbegin(), children.cend(), [](const QObject *child) {
            return qstrcmp(child->metaObject()->className(), "CUPS::PrintersWidgetPrivate") == 0;
        });
        QVERIFY(d != children.cend());
        QCOMPARE(static_cast<CUPS::PrintersWidgetPrivate *>(*d)->actions.size(), ActionCount);
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
        QTest::newRow("no match") << "zebra" << "";
    }

    void theFilterMatchesNameLocationDescriptionAndModel()
    {
        QFETCH(QString, text);
        const auto printer = [](const char *name, const char *location, const char *info, const char *model) {
            QHash<QString, QVariant> attributes = makeDestination(QLatin1String(name), 0, IPP_PSTATE_IDLE).attributes();
            attributes.insert(QStringLiteral("printer-location"), QVariantList{QLatin1String(location)});
            attributes.insert(QStringLiteral("printer-info"), QVariantList{QLatin1String(info)});
            attributes.insert(QStringLiteral("printer-make-and-model"), QVariantList{QLatin1String(model)});
            return CUPS::Destination(attributes);
        };
        PrintersWidget widget;
        widget.setFilterText(text);
        // Rows coming from the server meet the filter set before.
        widget.model()->setDestinations({printer("Office_PS", "Raum 2", "Office", "HP LaserJet 4"), printer("Lab_Printer", "Lab", "Plotter", "Generic")}, QString());
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
        QTest::newRow("hide not shared") << int(PrintersWidget::ShowNotShared) << 0x3 << "Local";
        QTest::newRow("group by location") << int(PrintersWidget::GroupByLocation) << 0xf << "Local";
    }

    void viewOptionsSetTheModelOptions()
    {
        QFETCH(int, toggled);
        PrintersWidget widget;
        widget.model()->setDestinations({makeDestination(QStringLiteral("Local"), 0, IPP_PSTATE_IDLE)}, QString());
        widget.setCurrentIndex(widget.model()->indexOf(QStringLiteral("Local")));
        widget.action(Action(toggled))->trigger();
        QTEST(int(widget.model()->options()), "options");
        QTEST(widget.currentDestination().name(), "current");
    }

    void withoutADestinationOnlyGeneralActionsAreEnabled_data()
    {
        QTest::addColumn<bool>("kindRow");
        QTest::newRow("no current row") << false;
        QTest::newRow("the printers row") << true;
    }

    void withoutADestinationOnlyGeneralActionsAreEnabled()
    {
        QFETCH(bool, kindRow);
        PrintersWidget widget;
        // From the opposite of every reset state: stopped, default for all and for me.
        const QString name = QStringLiteral("Everything_Set");
        widget.model()->setDestinations({makeDestination(name, CUPS_PRINTER_DEFAULT, IPP_PSTATE_STOPPED)}, name);
        widget.setCurrentIndex(widget.model()->indexOf(name));
        QCOMPARE(offered(widget), QStringLiteral("Resume, Reject jobs; admin; all: on, me: on fixed"));

        widget.setCurrentIndex(kindRow ? widget.model()->index(CUPS::PrinterListModel::PrintersRow, 0) : QModelIndex());
        QVERIFY(widget.currentDestination().isEmpty());
        QCOMPARE(offered(widget), QStringLiteral("Pause, Accept jobs; no admin; all: off fixed, me: off fixed"));
    }

    void actionsFollowTheDestinationType_data()
    {
        QTest::addColumn<uint>("type");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("userDefault");
        QTest::addColumn<QString>("offered");
        const int idle = IPP_PSTATE_IDLE;
        const uint discoveredRemote = CUPS_PRINTER_REMOTE | CUPS_PRINTER_DISCOVERED;
        const QString plain = QStringLiteral("Pause, Reject jobs; admin; all: off, me: off");
        QTest::newRow("idle") << 0u << idle << false << plain;
        QTest::newRow("processing") << 0u << int(IPP_PSTATE_PROCESSING) << false << plain;
        QTest::newRow("stopped") << 0u << int(IPP_PSTATE_STOPPED) << false << "Resume, Reject jobs; admin; all: off, me: off";
        QTest::newRow("rejecting") << uint(CUPS_PRINTER_REJECTING) << idle << false << "Pause, Accept jobs; admin; all: off, me: off";
        QTest::newRow("remote, not discovered") << uint(CUPS_PRINTER_REMOTE) << idle << false << plain;
        QTest::newRow("discovered, not remote") << uint(CUPS_PRINTER_DISCOVERED) << idle << false << plain;
        QTest::newRow("discovered remote") << discoveredRemote << idle << false << "Pause, Reject jobs; no admin; all: off, me: off";
        QTest::newRow("discovered remote, default for all")
            << (discoveredRemote | CUPS_PRINTER_DEFAULT) << idle << false << "Pause, Reject jobs; no admin; all: on, me: off fixed";
        QTest::newRow("default for me") << 0u << idle << true << "Pause, Reject jobs; admin; all: off, me: on";
        QTest::newRow("default for me and for all") << uint(CUPS_PRINTER_DEFAULT) << idle << true << "Pause, Reject jobs; admin; all: on, me: on fixed";
    }

    void actionsFollowTheDestinationType()
    {
        QFETCH(uint, type);
        QFETCH(int, state);
        QFETCH(bool, userDefault);
        PrintersWidget widget;
        const QString name = QStringLiteral("Tested");
        const QString other = QStringLiteral("Other");
        widget.model()->setDestinations({makeDestination(name, type, state), makeDestination(other, 0, IPP_PSTATE_IDLE)}, userDefault ? name : other);
        widget.setCurrentIndex(widget.model()->indexOf(name));
        QCOMPARE(widget.currentDestination().name(), name);
        QTEST(offered(widget), "offered");
    }

    void actionsFollowServerDestinations_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("offered");
        // The sample makes Office_PS the server's default and Raw_Queue the user's.
        const QString plain = QStringLiteral("Pause, Reject jobs; admin; all: off, me: off");
        QTest::newRow("stopped printer") << "Stopped_Printer" << "Resume, Reject jobs; admin; all: off, me: off";
        QTest::newRow("rejecting printer") << "Rejecting_Printer" << "Pause, Accept jobs; admin; all: off, me: off";
        QTest::newRow("server default") << "Office_PS" << "Pause, Reject jobs; admin; all: on, me: off fixed";
        QTest::newRow("class") << "Office_Class" << plain;
        QTest::newRow("default for me") << "Raw_Queue" << "Pause, Reject jobs; admin; all: off, me: on";
    }

    void actionsFollowServerDestinations()
    {
        QFETCH(QString, name);
        PrintersWidget widget;
        QVERIFY(widget.model()->load());
        QVERIFY(widget.model()->indexOf(name).isValid());
        widget.setCurrentIndex(widget.model()->indexOf(name));
        QTEST(offered(widget), "offered");
    }

    void disablingTheCurrentPrinterOnTheServerOffersResume()
    {
        const QString name = QStringLiteral("Followed_Printer");
        QVERIFY(m_sandbox.addPrinter(name));
        PrintersWidget widget;
        QVERIFY(widget.model()->load());
        widget.setCurrentIndex(widget.model()->indexOf(name));
        QCOMPARE(look(widget.action(PrintersWidget::PauseResume)), QStringLiteral("Pause"));
        QSignalSpy changed(&widget, &PrintersWidget::currentDestinationChanged);
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {name}));
        QVERIFY(widget.model()->load());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(look(widget.action(PrintersWidget::PauseResume)), QStringLiteral("Resume"));
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name}));
    }

    void onlyChangesCoveringTheCurrentRowUpdate_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<bool>("hasCurrent");
        QTest::addColumn<bool>("updates");
        // The current row is row 2 of the printers.
        const int printers = CUPS::PrinterListModel::PrintersRow;
        QTest::newRow("range around the current row") << printers << 1 << 3 << true << true;
        QTest::newRow("range starting at the current row") << printers << 2 << 3 << true << true;
        QTest::newRow("range ending at the current row") << printers << 0 << 2 << true << true;
        QTest::newRow("range above the current row") << printers << 0 << 1 << true << false;
        QTest::newRow("range below the current row") << printers << 3 << 3 << true << false;
        QTest::newRow("same rows among the classes") << int(CUPS::PrinterListModel::ClassesRow) << 0 << 3 << true << false;
        QTest::newRow("no current row") << printers << 0 << 3 << false << false;
    }

    void onlyChangesCoveringTheCurrentRowUpdate()
    {
        QFETCH(int, kind);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(bool, hasCurrent);
        QFETCH(bool, updates);
        PrintersWidget widget;
        QList<CUPS::Destination> destinations;
        for (const QChar letter : QStringLiteral("ABCD")) {
            destinations << makeDestination(QStringLiteral("Printer_") + letter, 0, IPP_PSTATE_IDLE)
                         << makeDestination(QStringLiteral("Class_") + letter, CUPS_PRINTER_CLASS, IPP_PSTATE_IDLE);
        }
        widget.model()->setDestinations(destinations, QString());
        if (hasCurrent) {
            widget.setCurrentIndex(widget.model()->indexOf(QStringLiteral("Printer_C")));
            QCOMPARE(widget.currentIndex().row(), 2);
        }
        // A stale text shows whether the actions were brought up to date.
        QAction *pause = widget.action(PrintersWidget::PauseResume);
        pause->setText(QStringLiteral("stale"));
        QSignalSpy changed(&widget, &PrintersWidget::currentDestinationChanged);
        CUPS::PrinterListModel *model = widget.model();
        const QModelIndex parent = model->index(kind, 0);
        Q_EMIT model->dataChanged(model->index(first, 0, parent), model->index(last, CUPS::PrinterListModel::ColumnCount - 1, parent));
        QCOMPARE(changed.count(), updates ? 1 : 0);
        QCOMPARE(pause->text(), updates ? QStringLiteral("Pause") : QStringLiteral("stale"));
    }

    void rowIconsCarryStateEmblems_data()
    {
        QTest::addColumn<uint>("type");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("userDefault");
        QTest::addColumn<QString>("corners"); // top-left, top-right, bottom-left, bottom-right, centre
        const int idle = IPP_PSTATE_IDLE;
        QTest::newRow("plain printer") << 0u << idle << false << "printer printer printer printer printer";
        QTest::newRow("plain class") << uint(CUPS_PRINTER_CLASS) << idle << false << "printer-class printer-class printer-class printer-class printer-class";
        QTest::newRow("remote") << uint(CUPS_PRINTER_REMOTE) << idle << false << "emblem-symbolic-link printer printer printer printer";
        QTest::newRow("stopped") << 0u << int(IPP_PSTATE_STOPPED) << false << "printer emblem-unreadable printer printer printer";
        QTest::newRow("processing class") << uint(CUPS_PRINTER_CLASS) << int(IPP_PSTATE_PROCESSING) << false
                                          << "printer-class printer-class emblem-system printer-class printer-class";
        QTest::newRow("default for all") << uint(CUPS_PRINTER_DEFAULT) << idle << false << "printer printer printer emblem-mounted printer";
        QTest::newRow("default for me") << 0u << idle << true << "emblem-favorite printer printer printer printer";
        QTest::newRow("remote, stopped, default for all and for me") << uint(CUPS_PRINTER_REMOTE | CUPS_PRINTER_DEFAULT) << int(IPP_PSTATE_STOPPED) << true
                                                                     << "emblem-favorite emblem-unreadable printer emblem-mounted printer";
    }

    void rowIconsCarryStateEmblems()
    {
        QFETCH(uint, type);
        QFETCH(int, state);
        QFETCH(bool, userDefault);
        PrintersWidget widget;
        const QString name = QStringLiteral("Drawn");
        widget.model()->setDestinations({makeDestination(name, type, state)}, userDefault ? name : QStringLiteral("Someone_Else"));
        const QImage image = widget.model()->indexOf(name).data(Qt::DecorationRole).value<QIcon>().pixmap(33, 33).toImage();
        QCOMPARE(image.size(), QSize(33, 33));
        QStringList icons;
        for (const QPoint point : {QPoint(4, 4), QPoint(28, 4), QPoint(4, 28), QPoint(28, 28), QPoint(16, 16)}) {
            const auto it = std::find_if(ThemeIcons.cbegin(), ThemeIcons.cend(), [&](const auto &icon) {
                return icon.second == image.pixelColor(point);
            });
            icons << (it == ThemeIcons.cend() ? image.pixelColor(point).name() : QLatin1String(it->first));
        }
        QTEST(icons.join(QLatin1Char(' ')), "corners");
    }

    void contextMenuShowsTheMainMenu_data()
    {
        QTest::addColumn<bool>("fromKeyboard");
        QTest::newRow("mouse on the rows") << false;
        QTest::newRow("keyboard") << true;
    }

    void contextMenuShowsTheMainMenu()
    {
        QFETCH(bool, fromKeyboard);
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
        QWidget *receiver = fromKeyboard ? static_cast<QWidget *>(&widget) : widget.viewport();
        QContextMenuEvent event(fromKeyboard ? QContextMenuEvent::Keyboard : QContextMenuEvent::Mouse, receiver->mapFromGlobal(globalPos), globalPos);
        QApplication::sendEvent(receiver, &event);
        QCOMPARE(shown, widget.mainMenu());
        QCOMPARE(shownAt, globalPos);
    }
};

QTEST_MAIN(PrintersWidgetTest)

#include "printerswidgettest.moc"

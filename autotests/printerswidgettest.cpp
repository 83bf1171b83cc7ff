#include "cupssandbox.h"
#include "printerswidget_p.h"

#include <printerlistmodel.h>
#include <printerswidget.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
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
const QColor s_printer(0xff, 0x00, 0x00);
const QColor s_class(0x80, 0x00, 0x00);
const QColor s_remote(0x00, 0xff, 0x00);
const QColor s_stopped(0x00, 0x00, 0xff);
const QColor s_processing(0xff, 0xff, 0x00);
const QColor s_serverDefault(0x00, 0xff, 0xff);
const QColor s_userDefault(0xff, 0x00, 0xff);

bool writeIconTheme(const QString &root)
{
    const QDir theme(root + QStringLiteral("/norvik-test"));
    // 33 px leaves a centre pixel that no 16 px emblem covers.
    const int sizes[] = {16, 33};
    QFile index(theme.filePath(QStringLiteral("index.theme")));
    if (!theme.mkpath(QStringLiteral("16x16")) || !theme.mkpath(QStringLiteral("33x33")) || !index.open(QIODevice::WriteOnly)) {
        return false;
    }
    index.write("[Icon Theme]\nName=norvik-test\nDirectories=16x16,33x33\n"
                "[16x16]\nSize=16\nType=Fixed\n[33x33]\nSize=33\nType=Fixed\n");
    const QList<QPair<QString, QColor>> icons{
        {QStringLiteral("printer"), s_printer},
        {QStringLiteral("printer-class"), s_class},
        {QStringLiteral("emblem-symbolic-link"), s_remote},
        {QStringLiteral("emblem-unreadable"), s_stopped},
        {QStringLiteral("emblem-system"), s_processing},
        {QStringLiteral("emblem-mounted"), s_serverDefault},
        {QStringLiteral("emblem-favorite"), s_userDefault},
        // Only found icons report their theme name, which the action tests compare.
        {QStringLiteral("media-playback-pause"), Qt::gray},
        {QStringLiteral("media-playback-start"), Qt::gray},
        {QStringLiteral("dialog-ok-apply"), Qt::gray},
        {QStringLiteral("dialog-cancel"), Qt::gray},
    };
    for (const auto &icon : icons) {
        for (int size : sizes) {
            QImage image(size, size, QImage::Format_ARGB32);
            image.fill(icon.second);
            if (!image.save(theme.filePath(QStringLiteral("%1x%1/%2.png").arg(size).arg(icon.first)))) {
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

QStringList words(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '));
}

QStringList enabledActions(const PrintersWidget &widget)
{
    QStringList names;
    for (int key = 0; key < ActionCount; ++key) {
        if (widget.action(Action(key))->isEnabled()) {
            names << keyName(key);
        }
    }
    names.sort();
    return names;
}

QStringList expectedEnabled(bool administrative, bool setUserDefault, bool setSystemDefault)
{
    QStringList names = words("AddDestination Reload ShowLocal ShowRemote ShowNotShared GroupByLocation");
    if (administrative) {
        names << words("PauseResume AcceptRejectJobs Purge EditDestination ShowAttrs DeleteDestination PrintTestPage");
    }
    if (setUserDefault) {
        names << QStringLiteral("SetUserDefault");
    }
    if (setSystemDefault) {
        names << QStringLiteral("SetSystemDefault");
    }
    names.sort();
    return names;
}

// Text and theme icon of an action, as "Pause (media-playback-pause)".
QString look(const QAction *action)
{
    return QStringLiteral("%1 (%2)").arg(action->text(), action->icon().name());
}

// "|" for a separator, a submenu by its title, an action as "Key text".
QStringList describe(const PrintersWidget &widget, const QMenu *menu)
{
    QStringList items;
    for (QAction *item : menu->actions()) {
        if (item->isSeparator()) {
            items << QStringLiteral("|");
        } else if (item->menu()) {
            items << item->menu()->title();
        } else {
            int key = 0;
            while (key < ActionCount && widget.action(Action(key)) != item) {
                ++key;
            }
            items << keyName(key) + QLatin1Char(' ') + item->text();
        }
    }
    return items;
}

CUPS::PrintersWidgetPrivate *privateOf(const PrintersWidget &widget)
{
    const auto children = widget.findChildren<QObject *>();
    for (QObject *child : children) {
        if (qstrcmp(child->metaObject()->className(), "CUPS::PrintersWidgetPrivate") == 0) {
            return static_cast<CUPS::PrintersWidgetPrivate *>(child);
        }
    }
    return nullptr;
}

} // namespace

class PrintersWidgetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void theFilterMatchesNameLocationDescriptionAndModel_data();
    void theFilterMatchesNameLocationDescriptionAndModel();

    void menusHoldTheActionsInOrder();
    void aKeyPastTheEnumHasNoAction();
    void viewOptionsSetTheModelOptions_data();
    void viewOptionsSetTheModelOptions();
    void withoutADestinationOnlyGeneralActionsAreEnabled_data();
    void withoutADestinationOnlyGeneralActionsAreEnabled();
    void actionsFollowTheDestinationType_data();
    void actionsFollowTheDestinationType();
    void actionsFollowServerDestinations_data();
    void actionsFollowServerDestinations();
    void disablingTheCurrentPrinterOnTheServerOffersResume();
    void onlyChangesCoveringTheCurrentRowUpdate_data();
    void onlyChangesCoveringTheCurrentRowUpdate();
    void rowIconsCarryStateEmblems_data();
    void rowIconsCarryStateEmblems();
    void contextMenuShowsTheMainMenu_data();
    void contextMenuShowsTheMainMenu();

private:
    QTemporaryDir m_iconDir;
    CupsSandbox m_sandbox;
};

void PrintersWidgetTest::initTestCase()
{
    QVERIFY(m_iconDir.isValid());
    QVERIFY(writeIconTheme(m_iconDir.path()));
    QIcon::setThemeSearchPaths({m_iconDir.path()});
    QIcon::setThemeName(QStringLiteral("norvik-test"));

    QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
}

void PrintersWidgetTest::menusHoldTheActionsInOrder()
{
    PrintersWidget widget;
    // The separator after the submenu and the one before "Add new..." show as one.
    QVERIFY(widget.mainMenu()->separatorsCollapsible());
    QCOMPARE(describe(widget, widget.mainMenu()).join(QStringLiteral(", ")),
             QStringLiteral("&View, |, |, AddDestination Add new..., DeleteDestination Delete, EditDestination Print options..., "
                            "ShowAttrs Attributes, |, PauseResume Pause, AcceptRejectJobs Accept jobs, Purge Purge jobs, |, "
                            "SetUserDefault Set default for me, SetSystemDefault Set default for all, |, PrintTestPage Print test page"));
    QCOMPARE(widget.mainMenu()->actions().first()->menu(), widget.viewMenu());
    QCOMPARE(describe(widget, widget.viewMenu()).join(QStringLiteral(", ")),
             QStringLiteral("ShowLocal Show local printers, ShowRemote Show remote printers, ShowNotShared Show not shared printers, "
                            "GroupByLocation Group by location, |, Reload Reload printer list"));
}

// Only a key the enumeration's type can hold: any other would already be undefined behaviour in the caller.
void PrintersWidgetTest::aKeyPastTheEnumHasNoAction()
{
    const int key = ActionCount;
    PrintersWidget widget;
    const CUPS::PrintersWidgetPrivate *d = privateOf(widget);
    QVERIFY(d);
    QCOMPARE(d->actions.size(), ActionCount);
    QCOMPARE(widget.action(Action(key)), nullptr);
    QCOMPARE(d->actions.size(), ActionCount);
}

void PrintersWidgetTest::theFilterMatchesNameLocationDescriptionAndModel_data()
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

void PrintersWidgetTest::theFilterMatchesNameLocationDescriptionAndModel()
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

void PrintersWidgetTest::viewOptionsSetTheModelOptions_data()
{
    QTest::addColumn<int>("toggled");
    QTest::addColumn<int>("options");
    QTest::addColumn<QString>("current"); // the shared local printer stays current while it is shown
    // Local, remote and not shared start checked: 0x7.
    QTest::newRow("hide remote") << int(PrintersWidget::ShowRemote) << 0x6 << "Local";
    QTest::newRow("hide local") << int(PrintersWidget::ShowLocal) << 0x5 << "";
    QTest::newRow("hide not shared") << int(PrintersWidget::ShowNotShared) << 0x3 << "Local";
    QTest::newRow("group by location") << int(PrintersWidget::GroupByLocation) << 0xf << "Local";
}

void PrintersWidgetTest::viewOptionsSetTheModelOptions()
{
    QFETCH(int, toggled);
    QFETCH(int, options);
    PrintersWidget widget;
    widget.model()->setDestinations({makeDestination(QStringLiteral("Local"), 0, IPP_PSTATE_IDLE)}, QString());
    widget.setCurrentIndex(widget.model()->indexOf(QStringLiteral("Local")));
    widget.action(Action(toggled))->trigger();
    QCOMPARE(int(widget.model()->options()), options);
    QTEST(widget.currentDestination().name(), "current");
}

void PrintersWidgetTest::withoutADestinationOnlyGeneralActionsAreEnabled_data()
{
    QTest::addColumn<bool>("kindRow");
    QTest::newRow("no current row") << false;
    QTest::newRow("the printers row") << true;
}

void PrintersWidgetTest::withoutADestinationOnlyGeneralActionsAreEnabled()
{
    QFETCH(bool, kindRow);
    PrintersWidget widget;
    // Start from the opposite of every reset state: stopped, default for all and for me.
    const QString name = QStringLiteral("Everything_Set");
    widget.model()->setDestinations({makeDestination(name, CUPS_PRINTER_DEFAULT, IPP_PSTATE_STOPPED)}, name);
    widget.setCurrentIndex(widget.model()->indexOf(name));
    QCOMPARE(look(widget.action(PrintersWidget::PauseResume)), QStringLiteral("Resume (media-playback-start)"));
    QCOMPARE(look(widget.action(PrintersWidget::AcceptRejectJobs)), QStringLiteral("Reject jobs (dialog-cancel)"));
    QVERIFY(widget.action(PrintersWidget::SetUserDefault)->isChecked());
    QVERIFY(widget.action(PrintersWidget::SetSystemDefault)->isChecked());

    widget.setCurrentIndex(kindRow ? widget.model()->index(CUPS::PrinterListModel::PrintersRow, 0) : QModelIndex());

    QVERIFY(widget.currentDestination().isEmpty());
    QCOMPARE(enabledActions(widget), expectedEnabled(false, false, false));
    QVERIFY(!widget.action(PrintersWidget::SetUserDefault)->isChecked());
    QVERIFY(!widget.action(PrintersWidget::SetSystemDefault)->isChecked());
    QCOMPARE(look(widget.action(PrintersWidget::PauseResume)), QStringLiteral("Pause (media-playback-pause)"));
    QCOMPARE(widget.action(PrintersWidget::AcceptRejectJobs)->text(), QStringLiteral("Accept jobs"));
}

void PrintersWidgetTest::actionsFollowTheDestinationType_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("userDefault");
    QTest::addColumn<bool>("administrative");
    QTest::addColumn<QString>("pause");
    QTest::addColumn<QString>("accept");
    QTest::addColumn<bool>("systemChecked");
    QTest::addColumn<bool>("userChecked");
    QTest::addColumn<bool>("userEnabled");

    const QString pause = QStringLiteral("Pause (media-playback-pause)");
    const QString resume = QStringLiteral("Resume (media-playback-start)");
    const QString reject = QStringLiteral("Reject jobs (dialog-cancel)");
    const QString accept = QStringLiteral("Accept jobs (dialog-ok-apply)");
    const int idle = IPP_PSTATE_IDLE;
    const uint discoveredRemote = CUPS_PRINTER_REMOTE | CUPS_PRINTER_DISCOVERED;
    QTest::newRow("idle") << 0u << idle << false << true << pause << reject << false << false << true;
    QTest::newRow("processing") << 0u << int(IPP_PSTATE_PROCESSING) << false << true << pause << reject << false << false << true;
    QTest::newRow("stopped") << 0u << int(IPP_PSTATE_STOPPED) << false << true << resume << reject << false << false << true;
    QTest::newRow("rejecting") << uint(CUPS_PRINTER_REJECTING) << idle << false << true << pause << accept << false << false << true;
    QTest::newRow("remote, not discovered") << uint(CUPS_PRINTER_REMOTE) << idle << false << true << pause << reject << false << false << true;
    QTest::newRow("discovered, not remote") << uint(CUPS_PRINTER_DISCOVERED) << idle << false << true << pause << reject << false << false << true;
    QTest::newRow("discovered remote") << discoveredRemote << idle << false << false << pause << reject << false << false << true;
    QTest::newRow("discovered remote, default for all")
        << (discoveredRemote | CUPS_PRINTER_DEFAULT) << idle << false << false << pause << reject << true << false << false;
    QTest::newRow("default for me") << 0u << idle << true << true << pause << reject << false << true << true;
    QTest::newRow("default for me and for all") << uint(CUPS_PRINTER_DEFAULT) << idle << true << true << pause << reject << true << true << false;
}

void PrintersWidgetTest::actionsFollowTheDestinationType()
{
    QFETCH(uint, type);
    QFETCH(int, state);
    QFETCH(bool, userDefault);
    QFETCH(bool, administrative);
    QFETCH(QString, pause);
    QFETCH(QString, accept);
    QFETCH(bool, systemChecked);
    QFETCH(bool, userChecked);
    QFETCH(bool, userEnabled);

    PrintersWidget widget;
    const QString name = QStringLiteral("Tested");
    const QString other = QStringLiteral("Other");
    widget.model()->setDestinations({makeDestination(name, type, state), makeDestination(other, 0, IPP_PSTATE_IDLE)}, userDefault ? name : other);
    widget.setCurrentIndex(widget.model()->indexOf(name));
    QCOMPARE(widget.currentDestination().name(), name);

    QCOMPARE(enabledActions(widget), expectedEnabled(administrative, userEnabled, true));
    QCOMPARE(look(widget.action(PrintersWidget::PauseResume)), pause);
    QCOMPARE(look(widget.action(PrintersWidget::AcceptRejectJobs)), accept);
    QCOMPARE(widget.action(PrintersWidget::SetSystemDefault)->isChecked(), systemChecked);
    QCOMPARE(widget.action(PrintersWidget::SetUserDefault)->isChecked(), userChecked);
}

void PrintersWidgetTest::actionsFollowServerDestinations_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pause");
    QTest::addColumn<QString>("accept");
    QTest::addColumn<bool>("systemChecked");
    QTest::addColumn<bool>("userChecked");

    const QString pause = QStringLiteral("Pause");
    const QString reject = QStringLiteral("Reject jobs");
    // The sample makes Office_PS the server's default and Raw_Queue the user's.
    QTest::newRow("stopped printer") << QStringLiteral("Stopped_Printer") << QStringLiteral("Resume") << reject << false << false;
    QTest::newRow("rejecting printer") << QStringLiteral("Rejecting_Printer") << pause << QStringLiteral("Accept jobs") << false << false;
    QTest::newRow("server default") << QStringLiteral("Office_PS") << pause << reject << true << false;
    QTest::newRow("class") << QStringLiteral("Office_Class") << pause << reject << false << false;
    QTest::newRow("default for me") << QStringLiteral("Raw_Queue") << pause << reject << false << true;
}

void PrintersWidgetTest::actionsFollowServerDestinations()
{
    QFETCH(QString, name);
    QFETCH(QString, pause);
    QFETCH(QString, accept);
    QFETCH(bool, systemChecked);
    QFETCH(bool, userChecked);

    PrintersWidget widget;
    QVERIFY(widget.model()->load());
    const QModelIndex index = widget.model()->indexOf(name);
    QVERIFY(index.isValid());
    widget.setCurrentIndex(index);

    QCOMPARE(enabledActions(widget), expectedEnabled(true, !systemChecked, true));
    QCOMPARE(widget.action(PrintersWidget::PauseResume)->text(), pause);
    QCOMPARE(widget.action(PrintersWidget::AcceptRejectJobs)->text(), accept);
    QCOMPARE(widget.action(PrintersWidget::SetSystemDefault)->isChecked(), systemChecked);
    QCOMPARE(widget.action(PrintersWidget::SetUserDefault)->isChecked(), userChecked);
}

void PrintersWidgetTest::disablingTheCurrentPrinterOnTheServerOffersResume()
{
    const QString name = QStringLiteral("Followed_Printer");
    QVERIFY(m_sandbox.addPrinter(name));
    PrintersWidget widget;
    QVERIFY(widget.model()->load());
    widget.setCurrentIndex(widget.model()->indexOf(name));
    QCOMPARE(widget.action(PrintersWidget::PauseResume)->text(), QStringLiteral("Pause"));
    QSignalSpy changed(&widget, &PrintersWidget::currentDestinationChanged);

    QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {name}));
    QVERIFY(widget.model()->load());

    QCOMPARE(changed.count(), 1);
    QCOMPARE(look(widget.action(PrintersWidget::PauseResume)), QStringLiteral("Resume (media-playback-start)"));
    QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name}));
}

void PrintersWidgetTest::onlyChangesCoveringTheCurrentRowUpdate_data()
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

void PrintersWidgetTest::onlyChangesCoveringTheCurrentRowUpdate()
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

void PrintersWidgetTest::rowIconsCarryStateEmblems_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("userDefault");
    // top-left, top-right, bottom-left, bottom-right, centre
    QTest::addColumn<QList<QColor>>("colours");

    const QColor p = s_printer;
    const QColor c = s_class;
    QTest::newRow("plain printer") << 0u << int(IPP_PSTATE_IDLE) << false << QList<QColor>{p, p, p, p, p};
    QTest::newRow("plain class") << uint(CUPS_PRINTER_CLASS) << int(IPP_PSTATE_IDLE) << false << QList<QColor>{c, c, c, c, c};
    QTest::newRow("remote") << uint(CUPS_PRINTER_REMOTE) << int(IPP_PSTATE_IDLE) << false << QList<QColor>{s_remote, p, p, p, p};
    QTest::newRow("stopped") << 0u << int(IPP_PSTATE_STOPPED) << false << QList<QColor>{p, s_stopped, p, p, p};
    QTest::newRow("processing class") << uint(CUPS_PRINTER_CLASS) << int(IPP_PSTATE_PROCESSING) << false << QList<QColor>{c, c, s_processing, c, c};
    QTest::newRow("default for all") << uint(CUPS_PRINTER_DEFAULT) << int(IPP_PSTATE_IDLE) << false << QList<QColor>{p, p, p, s_serverDefault, p};
    QTest::newRow("default for me") << 0u << int(IPP_PSTATE_IDLE) << true << QList<QColor>{s_userDefault, p, p, p, p};
    QTest::newRow("remote, stopped, default for all and for me")
        << uint(CUPS_PRINTER_REMOTE | CUPS_PRINTER_DEFAULT) << int(IPP_PSTATE_STOPPED) << true
        << QList<QColor>{s_userDefault, s_stopped, p, s_serverDefault, p};
}

void PrintersWidgetTest::rowIconsCarryStateEmblems()
{
    QFETCH(uint, type);
    QFETCH(int, state);
    QFETCH(bool, userDefault);
    QFETCH(QList<QColor>, colours);

    PrintersWidget widget;
    const QString name = QStringLiteral("Drawn");
    widget.model()->setDestinations({makeDestination(name, type, state)}, userDefault ? name : QStringLiteral("Someone_Else"));
    const QModelIndex index = widget.model()->indexOf(name);
    const QImage image = widget.model()->data(index, Qt::DecorationRole).value<QIcon>().pixmap(33, 33).toImage();
    QCOMPARE(image.size(), QSize(33, 33));

    const QStringList places = words("top-left top-right bottom-left bottom-right centre");
    const QPoint points[] = {{4, 4}, {28, 4}, {4, 28}, {28, 28}, {16, 16}};
    QStringList expected;
    QStringList actual;
    for (int i = 0; i < places.size(); ++i) {
        expected << places.at(i) + QLatin1Char(' ') + colours.at(i).name();
        actual << places.at(i) + QLatin1Char(' ') + image.pixelColor(points[i]).name();
    }
    QCOMPARE(actual, expected);
}

void PrintersWidgetTest::contextMenuShowsTheMainMenu_data()
{
    QTest::addColumn<bool>("fromKeyboard");
    QTest::newRow("mouse on the rows") << false;
    QTest::newRow("keyboard") << true;
}

void PrintersWidgetTest::contextMenuShowsTheMainMenu()
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

QTEST_MAIN(PrintersWidgetTest)

#include "printerswidgettest.moc"

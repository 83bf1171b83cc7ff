#include "printerswidget.h"

#include "attributeviewer.h"
#include "destoptionsdialog.h"
#include "messagebox.h"
#include "printerlistmodelwithicons.h"
#include "printerswidget_p.h"
#include "printerwizard.h"

#include <connection.h>
#include <jobippactions.h>
#include <printerippactions.h>
#include <translation.h>
#include <veskicon.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>

#include <cups/cups.h>

namespace CUPS
{
namespace
{
QIcon themeIcon(const char *name)
{
    return QIcon::fromTheme(QString::fromLatin1(name));
}

QIcon printerWithEmblem(const char *emblem)
{
    return VeskIcon::fromTheme(QStringLiteral("printer"), {Qt::TopLeftCorner, QString::fromLatin1(emblem)}, QIcon());
}
} // namespace

PrintersWidgetPrivate::PrintersWidgetPrivate(PrintersWidget *q)
    : QObject(q)
    , q(q)
{
}

QAction *PrintersWidgetPrivate::addAction(QMenu *menu,
                                          PrintersWidget::Action key,
                                          const QString &text,
                                          const QIcon &icon,
                                          void (PrintersWidgetPrivate::*handler)())
{
    QAction *action = menu->addAction(icon, text);
    action->setShortcut(QKeySequence());
    if (handler) {
        connect(action, &QAction::triggered, this, handler);
    }
    actions.insert(key, action);
    return action;
}

void PrintersWidgetPrivate::createActions()
{
    using W = PrintersWidget;
    using P = PrintersWidgetPrivate;
    QMenu *m = mainMenu;
    addAction(m, W::AddDestination, translated("Add new..."), themeIcon("tools-wizard"), &P::addDestination);
    addAction(m, W::DeleteDestination, translated("Delete"), themeIcon("edit-delete"), &P::deleteDestination);
    addAction(m, W::EditDestination, translated("Print options..."), themeIcon("tools"), &P::editDestination);
    addAction(m, W::ShowAttrs, translated("Attributes"), themeIcon("document-properties"), &P::showAttrs);
    addAction(m, W::PauseResume, translated("Pause"), QIcon(), &P::pauseResume);
    addAction(m, W::AcceptRejectJobs, translated("Reject jobs"), QIcon(), &P::acceptRejectJobs);
    addAction(m, W::Purge, translated("Purge jobs"), themeIcon("edit-trash"), &P::purge);
    addAction(m, W::SetUserDefault, translated("Set default for me"), printerWithEmblem("emblem-favorite"), &P::setUserDefault);
    addAction(m, W::SetSystemDefault, translated("Set default for all"), printerWithEmblem("emblem-mounted"), &P::setSystemDefault);
    addAction(m, W::PrintTestPage, translated("Print test page"), themeIcon("document-print"), &P::printTestPage);

    QMenu *v = viewMenu;
    addAction(v, W::ShowLocal, translated("Show local printers"), themeIcon("printer"), &P::applyOptions);
    addAction(v, W::ShowRemote, translated("Show remote printers"), printerWithEmblem("gmc-host"), &P::applyOptions);
    addAction(v, W::ShowNotShared, translated("Show not shared printers"), printerWithEmblem("emblem-favorite"), &P::applyOptions);
    addAction(v, W::GroupByLocation, translated("Group by location"), themeIcon("network-group"), &P::applyOptions);
    QAction *reload = addAction(v, W::Reload, translated("Reload printer list"), themeIcon("view-refresh"), nullptr);
    connect(reload, &QAction::triggered, model, &PrinterListModel::load);

    for (W::Action key : {W::AddDestination, W::PauseResume, W::SetUserDefault, W::PrintTestPage}) {
        mainMenu->insertSeparator(actions.value(key));
    }
    viewMenu->insertSeparator(actions.value(W::Reload));

    for (W::Action key : {W::SetSystemDefault, W::SetUserDefault, W::ShowLocal, W::ShowRemote, W::ShowNotShared, W::GroupByLocation}) {
        actions.value(key)->setCheckable(true);
    }
    for (W::Action key : {W::ShowLocal, W::ShowRemote, W::ShowNotShared}) {
        actions.value(key)->setChecked(true);
    }
}

void PrintersWidgetPrivate::addDestination()
{
    PrinterWizard wizard(q);
    if (wizard.exec() == QDialog::Accepted) {
        model->load();
        Q_EMIT q->statusMessage(ki18nd("libnorvik-print", "%1 added").subs(wizard.printerName()).toString());
    }
}

void PrintersWidgetPrivate::editDestination()
{
    const Destination dest = q->currentDestination();
    if (dest.isEmpty()) {
        return;
    }
    DestOptionsDialog dialog(q);
    dialog.load(dest);
    if (dialog.exec() == QDialog::Accepted) {
        model->load();
        Q_EMIT q->statusMessage(ki18nd("libnorvik-print", "Options of %1 saved").subs(dest.name()).toString());
    }
}

void PrintersWidgetPrivate::deleteDestination()
{
    const Destination dest = q->currentDestination();
    if (dest.isEmpty()) {
        return;
    }
    const QString kind = dest.isClass() ? translated("class") : translated("printer");
    const QString question = ki18nd("libnorvik-print", "Deleting %1 %2. Are you sure?").subs(kind).subs(dest.name()).toString();
    if (MessageBox::ask(q, QMessageBox::Warning, translated("Warning"), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes) {
        return;
    }
    PrinterIppActions *actions = PrinterIppActions::instance();
    const bool deleted = dest.isClass() ? actions->deleteClass(dest.uri()) : actions->deletePrinter(dest.uri());
    if (!deleted) {
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to delete printer.<br>CUPS error: %1"));
    } else {
        Q_EMIT q->statusMessage(ki18nd("libnorvik-print", "%1 deleted").subs(dest.name()).toString());
    }
    model->load();
}

void PrintersWidgetPrivate::showAttrs()
{
    const Destination dest = q->currentDestination();
    if (dest.isEmpty()) {
        return;
    }
    const QHash<QString, QVariant> attributes = PrinterIppActions::instance()->destAttrs(dest.uri(), QStringList());
    if (attributes.isEmpty()) {
        // An empty table would pass a failure off as a printer without attributes.
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to get printer attributes.<br>CUPS error: %1"));
        reloadIfGone();
        return;
    }
    AttributeViewer viewer(attributes, false, q);
    viewer.setWindowTitle(dest.isClass() ? translated("Class Attributes") : translated("Printer Attributes"));
    viewer.exec();
}

void PrintersWidgetPrivate::pauseResume()
{
    const Destination dest = q->currentDestination();
    if (dest.isEmpty()) {
        return;
    }
    PrinterIppActions *actions = PrinterIppActions::instance();
    // The list may be stale: act on what the server says now.
    const int state = actions->destState(dest.uri());
    const bool known = state == IPP_PSTATE_IDLE || state == IPP_PSTATE_PROCESSING || state == IPP_PSTATE_STOPPED;
    // When not even the state could be asked for (the printer is gone, say),
    // the error is reported in the words of the action the list offered.
    const bool resume = known ? state == IPP_PSTATE_STOPPED : dest.state() == IPP_PSTATE_STOPPED;
    if (known || Connection::lastError() != IPP_STATUS_OK) {
        const bool done = known && (resume ? actions->resumePrinter(dest.uri()) : actions->pausePrinter(dest.uri()));
        if (!done) {
            MessageBox::showCupsError(q,
                                      resume ? ki18nd("libnorvik-print", "Unable to start printer.<br>CUPS error: %1")
                                             : ki18nd("libnorvik-print", "Unable to pause printer.<br>CUPS error: %1"));
        } else {
            const KLocalizedString message = resume ? ki18nd("libnorvik-print", "%1 resumed") : ki18nd("libnorvik-print", "%1 paused");
            Q_EMIT q->statusMessage(message.subs(dest.name()).toString());
        }
    }
    model->load();
}

void PrintersWidgetPrivate::acceptRejectJobs()
{
    const Destination dest = q->currentDestination();
    if (dest.isEmpty()) {
        return;
    }
    PrinterIppActions *actions = PrinterIppActions::instance();
    const bool accept = dest.type() & CUPS_PRINTER_REJECTING;
    const bool done = accept ? actions->acceptJobs(dest.uri()) : actions->rejectJobs(dest.uri(), QString());
    if (!done) {
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to enable/disable job acception.<br>CUPS error: %1"));
    } else {
        const KLocalizedString message = accept ? ki18nd("libnorvik-print", "%1 accepts jobs") : ki18nd("libnorvik-print", "%1 rejects jobs");
        Q_EMIT q->statusMessage(message.subs(dest.name()).toString());
    }
    model->load();
}

void PrintersWidgetPrivate::purge()
{
    const Destination dest = q->currentDestination();
    if (dest.isEmpty()) {
        return;
    }
    if (MessageBox::ask(q,
                        QMessageBox::Question,
                        translated("Purge jobs confirmation"),
                        translated("All printer's jobs will be purged. Continue?"),
                        QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok) {
        return;
    }
    if (!JobIppActions::instance()->purgeJobs(dest.uri())) {
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to purge jobs.<br>CUPS error: %1"));
    } else {
        Q_EMIT q->statusMessage(ki18nd("libnorvik-print", "Jobs of %1 purged").subs(dest.name()).toString());
    }
    model->load();
}

void PrintersWidgetPrivate::setUserDefault()
{
    const Destination dest = q->currentDestination();
    if (dest.isEmpty()) {
        return;
    }
    // Refused for a destination the server no longer has; silence would look like success.
    if (!PrinterIppActions::instance()->setUserDefaultDestination(dest.name())) {
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to set default printer.<br>CUPS error: %1"));
        reloadIfGone();
        return;
    }
    Q_EMIT q->statusMessage(ki18nd("libnorvik-print", "%1 is your default destination").subs(dest.name()).toString());
    model->load();
}

void PrintersWidgetPrivate::setSystemDefault()
{
    const Destination dest = q->currentDestination();
    if (dest.isEmpty()) {
        return;
    }
    PrinterIppActions *actions = PrinterIppActions::instance();
    if (!actions->setServerDefaultDestination(dest.uri())) {
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to set default printer.<br>CUPS error: %1"));
        reloadIfGone();
        return;
    }
    actions->setUserDefaultDestination(dest.name());
    Q_EMIT q->statusMessage(ki18nd("libnorvik-print", "%1 is the server's default destination").subs(dest.name()).toString());
    model->load();
}

void PrintersWidgetPrivate::printTestPage()
{
    const Destination dest = q->currentDestination();
    if (dest.isEmpty()) {
        return;
    }
    QString error;
    const int jobId = PrinterIppActions::instance()->printTestPage(dest.name(), error);
    if (jobId >= 0) {
        MessageBox::show(q,
                         QMessageBox::Information,
                         translated("Test Page"),
                         MessageBox::escapedSubs(ki18nd("libnorvik-print", "Test Page sent to %1,<br>Job ID: %2"), {dest.name(), QString::number(jobId)}));
        return;
    }
    MessageBox::show(q,
                     QMessageBox::Critical,
                     translated("Error"),
                     MessageBox::escapedSubs(ki18nd("libnorvik-print", "Failed to print Test Page on %1!<br>CUPS error: %2"), {dest.name(), error}));
    reloadIfGone();
}

void PrintersWidgetPrivate::reloadIfGone()
{
    // Another client deleted the destination: let the list show it is gone.
    if (Connection::lastError() == IPP_STATUS_ERROR_NOT_FOUND) {
        model->load();
    }
}

void PrintersWidgetPrivate::applyOptions()
{
    PrinterListModel::Options options;
    if (actions.value(PrintersWidget::ShowLocal)->isChecked()) {
        options |= PrinterListModel::ShowLocal;
    }
    if (actions.value(PrintersWidget::ShowRemote)->isChecked()) {
        options |= PrinterListModel::ShowRemote;
    }
    if (actions.value(PrintersWidget::ShowNotShared)->isChecked()) {
        options |= PrinterListModel::ShowNotShared;
    }
    if (actions.value(PrintersWidget::GroupByLocation)->isChecked()) {
        options |= PrinterListModel::GroupByLocation;
    }
    // The model rebuilds its rows: the user keeps the open tree and the current destination.
    const QString current = q->currentDestination().name();
    model->setOptions(options);
    q->expandAll();
    const QModelIndex index = model->indexOf(current);
    if (index.isValid()) {
        q->setCurrentIndex(index);
    }
}

bool PrintersWidgetPrivate::applyFilter(const QModelIndex &parent)
{
    bool anyShown = false;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        const Destination dest = model->dest(index);
        bool shown;
        if (dest.isEmpty()) {
            // A group row (printers, classes, a location) shows while it holds a match.
            shown = applyFilter(index) || filterText.isEmpty();
        } else {
            shown = filterText.isEmpty();
            for (const QString &text : {dest.name(), dest.location(), dest.info(), dest.makeAndModel()}) {
                shown = shown || text.contains(filterText, Qt::CaseInsensitive);
            }
        }
        q->setRowHidden(row, parent, !shown);
        anyShown = anyShown || shown;
    }
    return anyShown;
}

void PrintersWidgetPrivate::updateActions()
{
    using W = PrintersWidget;
    const Destination dest = q->currentDestination();
    const uint type = dest.type();
    const bool isUserDefault = dest.name() == model->userDefaultDestination();

    QAction *pauseResume = actions.value(W::PauseResume);
    QAction *acceptReject = actions.value(W::AcceptRejectJobs);
    QAction *userDefault = actions.value(W::SetUserDefault);
    QAction *systemDefault = actions.value(W::SetSystemDefault);

    pauseResume->setText(translated("Pause"));
    pauseResume->setIcon(themeIcon("media-playback-pause"));
    pauseResume->setEnabled(false);
    acceptReject->setText(translated("Accept jobs"));
    acceptReject->setIcon(themeIcon("dialog-ok-apply"));
    const W::Action destinationActions[] = {W::AcceptRejectJobs, W::Purge, W::EditDestination, W::ShowAttrs,
                                            W::DeleteDestination, W::PrintTestPage, W::SetUserDefault, W::SetSystemDefault};
    for (W::Action key : destinationActions) {
        actions.value(key)->setEnabled(false);
    }
    userDefault->setChecked(false);
    systemDefault->setChecked(false);

    if (dest.isEmpty()) {
        return;
    }

    // A printer discovered on the network is not ours to administer.
    const uint discoveredRemote = CUPS_PRINTER_REMOTE | CUPS_PRINTER_DISCOVERED;
    if ((type & discoveredRemote) != discoveredRemote) {
        for (W::Action key : {W::PauseResume, W::AcceptRejectJobs, W::Purge, W::EditDestination, W::ShowAttrs, W::DeleteDestination, W::PrintTestPage}) {
            actions.value(key)->setEnabled(true);
        }
    }

    systemDefault->setChecked(type & CUPS_PRINTER_DEFAULT);
    systemDefault->setEnabled(true);
    userDefault->setChecked(isUserDefault);
    userDefault->setEnabled(!systemDefault->isChecked());

    switch (dest.state()) {
    case IPP_PSTATE_IDLE:
    case IPP_PSTATE_PROCESSING:
        pauseResume->setText(translated("Pause"));
        pauseResume->setIcon(themeIcon("media-playback-pause"));
        break;
    case IPP_PSTATE_STOPPED:
        pauseResume->setText(translated("Resume"));
        pauseResume->setIcon(themeIcon("media-playback-start"));
        break;
    default:
        break;
    }

    if (type & CUPS_PRINTER_REJECTING) {
        acceptReject->setText(translated("Accept jobs"));
        acceptReject->setIcon(themeIcon("dialog-ok-apply"));
    } else {
        acceptReject->setText(translated("Reject jobs"));
        acceptReject->setIcon(themeIcon("dialog-cancel"));
    }
}

void PrintersWidgetPrivate::onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    const QModelIndex current = q->currentIndex();
    if (!current.isValid() || current.parent() != topLeft.parent()) {
        return;
    }
    if (current.row() < topLeft.row() || current.row() > bottomRight.row()) {
        return;
    }
    updateActions();
    Q_EMIT q->currentDestinationChanged();
}

PrintersWidget::PrintersWidget(QWidget *parent)
    : QTreeView(parent)
    , d(new PrintersWidgetPrivate(this))
{
    d->model = new PrinterListModelWithIcons(this);
    d->mainMenu = new QMenu(this);
    d->viewMenu = new QMenu(translated("&View"), this);
    d->mainMenu->addMenu(d->viewMenu);
    // Sets the submenu apart on its own; QMenu shows it and the separator
    // before "Add new..." as one line.
    d->mainMenu->addSeparator();
    d->createActions();

    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setModel(d->model);

    d->updateActions();

    connect(selectionModel(), &QItemSelectionModel::currentChanged, d, &PrintersWidgetPrivate::updateActions);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &PrintersWidget::currentDestinationChanged);
    connect(d->model, &QAbstractItemModel::dataChanged, d, &PrintersWidgetPrivate::onDataChanged);
    // A reset (new view options) clears the current row without currentChanged.
    connect(d->model, &QAbstractItemModel::modelReset, d, &PrintersWidgetPrivate::updateActions);
    connect(d->model, &QAbstractItemModel::modelReset, this, &PrintersWidget::currentDestinationChanged);
    // Rows the server adds or the view options bring back meet the same filter.
    const auto refilter = [this] {
        d->applyFilter(QModelIndex());
    };
    connect(d->model, &QAbstractItemModel::modelReset, d, refilter);
    connect(d->model, &QAbstractItemModel::layoutChanged, d, refilter);
    connect(d->model, &QAbstractItemModel::rowsInserted, d, refilter);
}

// The private object is a Qt child and goes with the widget.
PrintersWidget::~PrintersWidget() = default;

Destination PrintersWidget::currentDestination() const
{
    return d->model->dest(selectionModel()->currentIndex());
}

QAction *PrintersWidget::action(Action action) const
{
    return d->actions.value(action, nullptr);
}

QMenu *PrintersWidget::mainMenu() const
{
    return d->mainMenu;
}

QMenu *PrintersWidget::viewMenu() const
{
    return d->viewMenu;
}

void PrintersWidget::setFilterText(const QString &text)
{
    d->filterText = text.trimmed();
    d->applyFilter(QModelIndex());
}

PrinterListModel *PrintersWidget::model() const
{
    return d->model;
}

void PrintersWidget::contextMenuEvent(QContextMenuEvent *event)
{
    d->mainMenu->exec(event->globalPos());
}
} // namespace CUPS

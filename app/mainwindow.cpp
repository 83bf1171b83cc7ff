#include "mainwindow.h"

#include <connection.h>
#include <jobswidget.h>
#include <journalviewer.h>
#include <macattributesdialog.h>
#include <macprintersettingsdialog.h>
#include <printerlistmodel.h>
#include <printerswidget.h>
#include <serverwatcher.h>
#include <telmarmac.h>

#include <KAboutData>
#include <KLocalizedString>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <memory>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_printers(new CUPS::PrintersWidget(this))
    , m_serverLabel(new QLabel(this))
    , m_destinationLabel(new QLabel(this))
{
    setWindowTitle(i18n("Printers"));
    // Find as you type, above the list; nothing is asked of the server.
    auto *printersPane = new QWidget(this);
    auto *printersLayout = new QVBoxLayout(printersPane);
    printersLayout->setContentsMargins(0, 0, 0, 0);
    auto *filter = new QLineEdit(printersPane);
    filter->setObjectName(QStringLiteral("printerFilter"));
    filter->setPlaceholderText(i18n("Filter by name, location, description or model"));
    filter->setClearButtonEnabled(true);
    printersLayout->addWidget(filter);
    printersLayout->addWidget(m_printers);
    connect(filter, &QLineEdit::textChanged, m_printers, &CUPS::PrintersWidget::setFilterText);
    setCentralWidget(printersPane);

    QMenu *printerMenu = m_printers->mainMenu();
    printerMenu->setTitle(i18n("&Printer"));
    menuBar()->addMenu(printerMenu);
    addEditMenu(printerMenu);
    QMenu *fileMenu = menuBar()->addMenu(i18n("&File"));
    QAction *connectAction = fileMenu->addAction(QIcon::fromTheme(QStringLiteral("network-connect")), i18n("&Connect to server..."), this, &MainWindow::connectToServer);
    connectAction->setShortcut(QKeySequence::Open);
    fileMenu->addSeparator();
    QAction *quit = fileMenu->addAction(QIcon::fromTheme(QStringLiteral("application-exit")), i18n("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
    menuBar()->insertMenu(printerMenu->menuAction(), fileMenu);

    QMenu *helpMenu = menuBar()->addMenu(i18n("&Help"));
    helpMenu->addAction(QIcon::fromTheme(QStringLiteral("help-about")), i18n("&About Printers"), this, &MainWindow::showAbout);
    helpMenu->addAction(QIcon::fromTheme(QStringLiteral("qtlogo")), i18n("About &Qt"), qApp, &QApplication::aboutQt);

    statusBar()->addWidget(m_serverLabel);
    connect(m_printers, &CUPS::PrintersWidget::statusMessage, this, &MainWindow::showMessage);
    statusBar()->addPermanentWidget(m_destinationLabel);

    m_printers->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Large enough for the state emblems in the icons' corners to be told apart.
    m_printers->setIconSize(QSize(32, 32));
    connect(m_printers, &CUPS::PrintersWidget::currentDestinationChanged, this, &MainWindow::updateStatus);
    connect(m_printers->model(), &CUPS::PrinterListModel::loaded, this, &MainWindow::updateStatus);
    addJobsPane();
    // Marking exists only where mandatory access control is on.
    if (telmar_mac_enabled()) {
        auto *macMenu = new QMenu(i18n("&MAC"), this);
        menuBar()->insertMenu(helpMenu->menuAction(), macMenu); // Help stays last
        addMarkJobAction(macMenu);
        addMacAdministration(macMenu);
    }
    addToolBarActions();
    restoreWindowState();
}

void MainWindow::addToolBarActions()
{
    using W = CUPS::PrintersWidget;
    QToolBar *toolBar = addToolBar(i18n("Main Toolbar"));
    toolBar->setObjectName(QStringLiteral("mainToolBar"));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    for (W::Action action : {W::AddDestination, W::EditDestination, W::PauseResume, W::DeleteDestination, W::Reload}) {
        toolBar->addAction(m_printers->action(action));
    }
    // Its icon says it all; longer languages need the room for the others' texts.
    m_printers->action(W::Reload)->setPriority(QAction::LowPriority);
}

// The window comes back as it was left: size, toolbar and the split between the lists.
void MainWindow::restoreWindowState()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("MainWindow"));
    if (!restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray())) {
        resize(900, 520);
    }
    restoreState(settings.value(QStringLiteral("state")).toByteArray());
    if (auto *splitter = qobject_cast<QSplitter *>(centralWidget())) {
        splitter->restoreState(settings.value(QStringLiteral("splitter")).toByteArray());
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("MainWindow"));
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("state"), saveState());
    if (auto *splitter = qobject_cast<QSplitter *>(centralWidget())) {
        settings.setValue(QStringLiteral("splitter"), splitter->saveState());
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::reload(const QString &select)
{
    m_printers->model()->load();
    m_printers->expandAll();
    const QModelIndex index = m_printers->model()->indexOf(select);
    if (index.isValid()) {
        m_printers->setCurrentIndex(index);
    }
}

void MainWindow::showMessage(const QString &message)
{
    constexpr int ShownMsecs = 5000;
    statusBar()->showMessage(message, ShownMsecs);
}

void MainWindow::showAbout()
{
    const KAboutData about = KAboutData::applicationData();
    QString text = QStringLiteral("<h3>%1 %2</h3><p>%3</p><p>%4</p>")
                       .arg(about.displayName().toHtmlEscaped(),
                            about.version().toHtmlEscaped(),
                            about.shortDescription().toHtmlEscaped(),
                            about.copyrightStatement().toHtmlEscaped());
    text += i18n("<p>Print server: %1<br>CUPS %2.%3.%4, Qt %5</p>",
                 CUPS::Connection::instance()->serverName().toHtmlEscaped(),
                 CUPS_VERSION_MAJOR,
                 CUPS_VERSION_MINOR,
                 CUPS_VERSION_PATCH,
                 QString::fromLatin1(qVersion()));
    QMessageBox::about(this, i18n("About %1", about.displayName()), text);
}

void MainWindow::markJob(int jobId)
{
    CUPS::MacAttributesDialog dialog(this);
    dialog.exec(jobId);
}

void MainWindow::addMarkJobAction(QMenu *macMenu)
{
    auto *jobs = findChild<CUPS::JobsWidget *>(QStringLiteral("jobsWidget"));
    QAction *mark = macMenu->addAction(QIcon::fromTheme(QStringLiteral("document-edit")), i18n("&Mark job..."), this, [this, jobs] {
        markJob(jobs->currentJob().id());
    });
    // Marking is for held jobs; the job may change state while it is current.
    const auto offerMarking = [jobs, mark] {
        mark->setEnabled(jobs->currentJob().state() == IPP_JSTATE_HELD);
    };
    connect(jobs->selectionModel(), &QItemSelectionModel::currentChanged, mark, offerMarking);
    connect(jobs->selectionModel(), &QItemSelectionModel::selectionChanged, mark, offerMarking);
    connect(jobs, &CUPS::JobsWidget::jobsStateChanged, mark, offerMarking);
    offerMarking();
}

void MainWindow::updateStatus()
{
    CUPS::Connection *connection = CUPS::Connection::instance();
    const QString error = CUPS::Connection::lastErrorString();
    if (CUPS::Connection::lastError() != IPP_STATUS_OK && !error.isEmpty()) {
        m_serverLabel->setText(i18n("Server %1: %2", connection->serverName(), error));
    } else {
        m_serverLabel->setText(i18n("Server %1", connection->serverName()));
    }
    const CUPS::Destination dest = m_printers->currentDestination();
    m_destinationLabel->setText(dest.isEmpty() ? i18n("No destination selected") : i18n("Current: %1", dest.name()));
}

void MainWindow::connectToServer()
{
    constexpr int RecentCount = 10;
    const QString recentKey = QStringLiteral("Servers/Recent");
    QSettings settings;
    QStringList recent = settings.value(recentKey).toStringList();
    const QString current = CUPS::Connection::instance()->serverName();
    recent.removeAll(current);
    recent.prepend(current);
    bool ok = false;
    const QString server =
        QInputDialog::getItem(this, i18n("Connect to Server"), i18n("Print server (host, host:port or socket path):"), recent, 0, true, &ok).trimmed();
    if (!ok || server.isEmpty()) {
        return;
    }
    cupsSetServer(server.toLocal8Bit().constData());
    CUPS::Connection::instance()->reconnect(true);
    if (auto *watcher = findChild<CUPS::ServerWatcher *>(QStringLiteral("serverWatcher"))) {
        watcher->stop();
        watcher->start();
    }
    recent.removeAll(server);
    recent.prepend(server);
    settings.setValue(recentKey, QStringList(recent.mid(0, RecentCount)));
    // The status line then says whether the new server answers.
    reload();
    if (auto *jobs = findChild<CUPS::JobsWidget *>(QStringLiteral("jobsWidget"))) {
        jobs->load(m_printers->currentDestination().name());
    }
}

void MainWindow::addMacAdministration(QMenu *macMenu)
{
    macMenu->addAction(QIcon::fromTheme(QStringLiteral("view-history")), i18n("Marking &journal..."), this, [this] {
        // One journal window: a second choice brings the open one forward.
        auto *viewer = findChild<CUPS::JournalViewer *>();
        if (!viewer) {
            viewer = new CUPS::JournalViewer(this);
        }
        viewer->popup();
    });
    QAction *parameters = macMenu->addAction(QIcon::fromTheme(QStringLiteral("configure")), i18n("MAC &parameters..."), this, [this] {
        const CUPS::Destination dest = m_printers->currentDestination();
        if (!dest.isEmpty()) {
            CUPS::MacPrinterSettingsDialog dialog(dest.name(), this);
            dialog.exec();
        }
    });
    // The parameters are a printer's: there is nothing to set without one.
    const auto offerParameters = [this, parameters] {
        const CUPS::Destination dest = m_printers->currentDestination();
        parameters->setEnabled(!dest.isEmpty() && !dest.isClass());
    };
    connect(m_printers, &CUPS::PrintersWidget::currentDestinationChanged, parameters, offerParameters);
    offerParameters();
}

void MainWindow::addEditMenu(QMenu *printerMenu)
{
    using Wizard = CUPS::PrinterWizard;
    QMenu *editMenu = printerMenu->addMenu(QIcon::fromTheme(QStringLiteral("document-edit")), i18n("&Edit"));
    const QList<QPair<Wizard::Task, QString>> tasks{{Wizard::GeneralEdit, i18n("&Name and description...")},
                                                    {Wizard::BackendEdit, i18n("&Device...")},
                                                    {Wizard::DriverEdit, i18n("D&river...")},
                                                    {Wizard::MembersEdit, i18n("&Members...")}};
    for (const auto &[task, text] : tasks) {
        editMenu->addAction(text, this, [this, task = task] {
            editDestination(task);
        })->setData(int(task));
    }
    // A printer has a device and a driver, a class has members; both have a name.
    const auto offerTasks = [this, editMenu] {
        const CUPS::Destination dest = m_printers->currentDestination();
        editMenu->menuAction()->setEnabled(!dest.isEmpty());
        const QList<QAction *> actions = editMenu->actions();
        for (QAction *action : actions) {
            const auto task = Wizard::Task(action->data().toInt());
            action->setVisible(task == Wizard::GeneralEdit || (task == Wizard::MembersEdit) == dest.isClass());
        }
    };
    connect(m_printers, &CUPS::PrintersWidget::currentDestinationChanged, editMenu, offerTasks);
    offerTasks();
}

void MainWindow::editDestination(CUPS::PrinterWizard::Task task)
{
    const CUPS::Destination dest = m_printers->currentDestination();
    if (dest.isEmpty()) {
        return;
    }
    CUPS::PrinterWizard wizard(this);
    if (wizard.execSpecialTask(task, dest) == QDialog::Accepted) {
        reload(wizard.printerName());
        showMessage(i18n("%1 changed", wizard.printerName()));
    }
}

void MainWindow::addJobsPane()
{
    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(takeCentralWidget());
    auto *jobs = new CUPS::JobsWidget(splitter);
    jobs->setObjectName(QStringLiteral("jobsWidget"));
    jobs->setAlternatingRowColors(true);
    splitter->addWidget(jobs);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);

    auto *counts = new QLabel(this);
    counts->setObjectName(QStringLiteral("jobCountsLabel"));
    counts->setContentsMargins(16, 0, 0, 0); // apart from the destination beside it
    statusBar()->addPermanentWidget(counts);
    // Only the states that have jobs: four counts do not fit beside the rest in every language.
    auto updateCounts = [jobs, counts] {
        QStringList parts;
        const QList<QPair<ipp_jstate_t, KLocalizedString>> states{{IPP_JSTATE_PENDING, ki18n("%1 pending")},
                                                                  {IPP_JSTATE_HELD, ki18n("%1 held")},
                                                                  {IPP_JSTATE_PROCESSING, ki18n("%1 processing")},
                                                                  {IPP_JSTATE_COMPLETED, ki18n("%1 completed")}};
        for (const auto &[state, text] : states) {
            if (const int count = jobs->count(state)) {
                parts.append(text.subs(count).toString());
            }
        }
        counts->setText(parts.isEmpty() ? i18n("No jobs") : i18nc("%1 is a list of counts by state", "Jobs: %1", parts.join(i18nc("between counts", ", "))));
    };
    // The pane follows the current destination; with none, it lists every job.
    auto follow = [this, jobs, updateCounts] {
        jobs->load(m_printers->currentDestination().name());
        updateCounts();
    };
    connect(m_printers, &CUPS::PrintersWidget::currentDestinationChanged, jobs, follow);
    // Without a layout of the user's the columns first fit what they show.
    if (!QSettings().contains(QStringLiteral("Jobs/HeaderState"))) {
        auto fitted = std::make_shared<QMetaObject::Connection>();
        *fitted = connect(jobs, &CUPS::JobsWidget::jobsStateChanged, jobs, [jobs, fitted] {
            if (jobs->model()->rowCount() > 0) {
                jobs->header()->resizeSections(QHeaderView::ResizeToContents);
                QObject::disconnect(*fitted);
            }
        });
    }
    connect(jobs, &CUPS::JobsWidget::jobsStateChanged, counts, updateCounts);
    connect(jobs, &CUPS::JobsWidget::statusMessage, this, &MainWindow::showMessage);

    // Both lists follow the server by themselves, whoever changes it.
    auto *watcher = new CUPS::ServerWatcher(this);
    watcher->setObjectName(QStringLiteral("serverWatcher"));
    connect(watcher, &CUPS::ServerWatcher::printersChanged, m_printers->model(), &CUPS::PrinterListModel::load);
    connect(watcher, &CUPS::ServerWatcher::jobsChanged, jobs, [jobs, updateCounts] {
        jobs->reload();
        updateCounts();
    });
    watcher->start();

    // F5 in the printers list (shown in its menu) reloads it and the jobs;
    // the jobs list has its own F5.
    QAction *reload = m_printers->action(CUPS::PrintersWidget::Reload);
    reload->setShortcut(QKeySequence(Qt::Key_F5));
    reload->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_printers->addAction(reload);
    connect(reload, &QAction::triggered, this, [jobs, updateCounts] {
        jobs->reload();
        updateCounts();
    });
    follow();
}

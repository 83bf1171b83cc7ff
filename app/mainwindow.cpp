#include "mainwindow.h"

#include <connection.h>
#include <printerlistmodel.h>
#include <printerswidget.h>

#include <KLocalizedString>

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_printers(new CUPS::PrintersWidget(this))
    , m_serverLabel(new QLabel(this))
    , m_destinationLabel(new QLabel(this))
{
    setWindowTitle(i18n("Printers"));
    setCentralWidget(m_printers);

    QMenu *printerMenu = m_printers->mainMenu();
    printerMenu->setTitle(i18n("&Printer"));
    menuBar()->addMenu(printerMenu);
    QMenu *fileMenu = menuBar()->addMenu(i18n("&File"));
    QAction *quit = fileMenu->addAction(QIcon::fromTheme(QStringLiteral("application-exit")), i18n("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
    menuBar()->insertMenu(printerMenu->menuAction(), fileMenu);

    statusBar()->addWidget(m_serverLabel);
    statusBar()->addPermanentWidget(m_destinationLabel);

    m_printers->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Large enough for the state emblems in the icons' corners to be told apart.
    m_printers->setIconSize(QSize(32, 32));
    connect(m_printers, &CUPS::PrintersWidget::currentDestinationChanged, this, &MainWindow::updateStatus);
    connect(m_printers->model(), &CUPS::PrinterListModel::loaded, this, &MainWindow::updateStatus);
    resize(900, 520);
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

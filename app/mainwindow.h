#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <printerwizard.h>

#include <QMainWindow>

class QLabel;
class QMenu;

namespace CUPS
{
class PrintersWidget;
}

/// The manager's window: the printers list with its menus and a status line.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    /// Loads the list and selects the destination of that name, if given.
    void reload(const QString &select = QString());
    /// Opens the marking dialog for a held job (systems with mandatory access control).
    void markJob(int jobId);

private:
    void updateStatus();
    /// A short note in the status line on what an action did.
    void showMessage(const QString &message);
    void showAbout();
    /// Asks for another print server, offering the recent ones, and shows its printers.
    void connectToServer();
    /// "Mark job..." of the MAC menu: marks the jobs list's current job, offered while it is held.
    void addMarkJobAction(QMenu *macMenu);
    /// The journal and printer MAC parameter entries of the MAC menu.
    void addMacAdministration(QMenu *macMenu);
    /// The current destination's jobs below the printers, their counts in the status line.
    void addJobsPane();
    /// The wizard's edits of the current destination, those that apply to it.
    void addEditMenu(QMenu *printerMenu);
    void editDestination(CUPS::PrinterWizard::Task task);
    /// The printers' main actions on a toolbar.
    void addToolBarActions();
    void restoreWindowState();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    CUPS::PrintersWidget *const m_printers;
    QLabel *const m_serverLabel;
    QLabel *const m_destinationLabel;
};

#endif

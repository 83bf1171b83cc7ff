#ifndef CUPS_PRINTERSWIDGET_H
#define CUPS_PRINTERSWIDGET_H

#include "norvikprintwidgets_export.h"

#include <destination.h>

#include <QTreeView>

class QAction;
class QMenu;

namespace CUPS
{
class PrinterListModel;
class PrintersWidgetPrivate;

/**
 * The server's printers and classes as a tree with state icons, carrying the
 * printer actions in a main menu (also the context menu) and a view menu.
 */
class NORVIKPRINTWIDGETS_EXPORT PrintersWidget : public QTreeView
{
    Q_OBJECT
public:
    enum Action {
        PauseResume = 0,
        AcceptRejectJobs = 1,
        Reload = 2,
        Purge = 3,
        AddDestination = 4,
        EditDestination = 5,
        ShowAttrs = 6,
        DeleteDestination = 7,
        SetSystemDefault = 8,
        SetUserDefault = 9,
        PrintTestPage = 10,
        ShowLocal = 11,
        ShowRemote = 12,
        ShowNotShared = 13,
        GroupByLocation = 14,
    };
    Q_ENUM(Action)

    explicit PrintersWidget(QWidget *parent = nullptr);
    ~PrintersWidget() override;

    /// The destination of the current row; an empty one when there is none.
    CUPS::Destination currentDestination() const;
    /// The action stored under that key, or null.
    QAction *action(Action action) const;
    QMenu *mainMenu() const;
    QMenu *viewMenu() const;
    CUPS::PrinterListModel *model() const;

public Q_SLOTS:
    /// Shows only destinations whose name, location, description or make and
    /// model contain text (ignoring case); an empty text shows all. Nothing is
    /// asked of the server.
    void setFilterText(const QString &text);

Q_SIGNALS:
    void currentDestinationChanged();
    /// An action succeeded; a short text for the host's status line ("Office paused").
    void statusMessage(const QString &message);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    PrintersWidgetPrivate *const d;
};
} // namespace CUPS

#endif

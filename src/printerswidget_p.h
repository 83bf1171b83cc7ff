#ifndef CUPS_PRINTERSWIDGET_P_H
#define CUPS_PRINTERSWIDGET_P_H

#include "printerswidget.h"

#include <QHash>
#include <QObject>

class QMenu;

namespace CUPS
{
class PrinterListModelWithIcons;

class PrintersWidgetPrivate : public QObject
{
    Q_OBJECT
public:
    explicit PrintersWidgetPrivate(PrintersWidget *q);

    void createActions();
    QAction *addAction(QMenu *menu, PrintersWidget::Action key, const QString &text, const QIcon &icon, void (PrintersWidgetPrivate::*handler)());
    void reloadIfGone();
    /// Hides the rows below parent that do not match the filter; true when one is shown.
    bool applyFilter(const QModelIndex &parent);

    PrintersWidget *const q;
    QHash<PrintersWidget::Action, QAction *> actions;
    QMenu *mainMenu = nullptr;
    QMenu *viewMenu = nullptr;
    PrinterListModelWithIcons *model = nullptr;
    QString filterText;

public Q_SLOTS:
    void addDestination();
    void deleteDestination();
    void editDestination();
    void showAttrs();
    void pauseResume();
    void acceptRejectJobs();
    void purge();
    void setUserDefault();
    void setSystemDefault();
    void printTestPage();
    void applyOptions();
    void updateActions();
    void onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
};
} // namespace CUPS

#endif

#ifndef CUPS_JOURNALVIEWER_H
#define CUPS_JOURNALVIEWER_H

#include "norvikprintwidgets_export.h"

#include <QDialog>

#include <memory>

namespace CUPS
{
class JournalViewerPrivate;

/**
 * Searches the server's marking journal: by job number, or by a time range
 * and up to three attribute conditions, thirty records a page. The table's
 * columns, the last search and named search presets are kept in the
 * settings group "JournalViewer". The dialog deletes itself when closed.
 */
class NORVIKPRINTWIDGETS_EXPORT JournalViewer : public QDialog
{
    Q_OBJECT

public:
    /// Builds the dialog; it does not search yet.
    explicit JournalViewer(QWidget *parent = nullptr);
    ~JournalViewer() override;

public Q_SLOTS:
    /// Shows (or raises) the dialog with the last search form and header layout.
    void popup();
    /// Saves the settings, then closes.
    void reject() override;

private:
    std::unique_ptr<JournalViewerPrivate> const d;
};
} // namespace CUPS

#endif

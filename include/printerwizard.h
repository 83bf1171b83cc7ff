#ifndef CUPS_PRINTERWIZARD_H
#define CUPS_PRINTERWIZARD_H

#include "norvikprintwidgets_export.h"

#include <QWizard>

#include <memory>

namespace CUPS
{
class Destination;
class PrinterWizardPrivate;

/**
 * Adds a printer or a class to the server, page by page: printer or class,
 * the device (detected by the server or chosen by hand), a class's members,
 * then name and driver. execSpecialTask() instead changes one aspect of an
 * existing destination.
 */
class NORVIKPRINTWIDGETS_EXPORT PrinterWizard : public QWizard
{
    Q_OBJECT
    Q_PROPERTY(QString printerName READ printerName WRITE setPrinterName)
public:
    enum Task {
        GeneralEdit = 0, ///< name, description, location, organization, sharing
        BackendEdit = 1, ///< a printer's device
        DriverEdit = 2, ///< a printer's driver
        MembersEdit = 3, ///< a class's members
    };
    Q_ENUM(Task)

    explicit PrinterWizard(QWidget *parent = nullptr);
    ~PrinterWizard() override;

    QString printerName() const;
    void setPrinterName(const QString &name);

    int nextId() const override;

    /**
     * Runs the wizard on destination for task and makes the change on the
     * server. Returns 1 when done, 0 when cancelled, refused (a task that does
     * not apply to the destination) or failed.
     */
    int execSpecialTask(Task task, const CUPS::Destination &destination);

private:
    std::unique_ptr<PrinterWizardPrivate> const d;
};
} // namespace CUPS

#endif

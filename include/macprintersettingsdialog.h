#ifndef CUPS_MACPRINTERSETTINGSDIALOG_H
#define CUPS_MACPRINTERSETTINGSDIALOG_H

#include "norvikprintwidgets_export.h"

#include <QDialog>
#include <QString>

#include <memory>

namespace CUPS
{
class MacPrinterSettingsDialogPrivate;

/**
 * Edits a printer's operation policy and the range of security labels its
 * jobs may carry (lowest and highest level, integrity level and category
 * set). Reads the printer once at construction; OK writes the policy, then
 * the labels, and ends the dialog accepted only when both were stored.
 */
class NORVIKPRINTWIDGETS_EXPORT MacPrinterSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    /// printer: the queue name (a printer URI is taken as well).
    explicit MacPrinterSettingsDialog(const QString &printer, QWidget *parent = nullptr);
    ~MacPrinterSettingsDialog() override;

private:
    std::unique_ptr<MacPrinterSettingsDialogPrivate> const d;
};
} // namespace CUPS

#endif

#ifndef CUPS_DESTOPTIONSDIALOG_H
#define CUPS_DESTOPTIONSDIALOG_H

#include "norvikprintwidgets_export.h"

#include <QDialog>
#include <QString>

#include <memory>

namespace CUPS
{
class Destination;
class DestOptionsDialogPrivate;

/**
 * The default job options and policies of one printer or class, and for a
 * printer its PPD driver settings. The values load in the background while a
 * busy page shows; Ok and Apply write them back in one request.
 */
class NORVIKPRINTWIDGETS_EXPORT DestOptionsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DestOptionsDialog(QWidget *parent = nullptr);
    ~DestOptionsDialog() override;

    /// Starts loading the options of the named destination; false when that cannot start.
    bool load(const QString &name, bool isClass);
    bool load(const CUPS::Destination &destination);
    /// Writes the shown options to the server. False, sending nothing, until
    /// a load has finished successfully.
    bool save();

public Q_SLOTS:
    void accept() override;
    void reject() override;

private:
    std::unique_ptr<DestOptionsDialogPrivate> const d;
};
} // namespace CUPS

#endif

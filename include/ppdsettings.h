#ifndef CUPS_PPDSETTINGS_H
#define CUPS_PPDSETTINGS_H

#include "norvikprintwidgets_export.h"

#include <QString>
#include <QTreeWidget>

#include <memory>

namespace CUPS
{
class PpdSettingsPrivate;

/**
 * The driver settings of a printer: every option of a local PPD copy with its
 * default choice, editable for single-choice options. save() writes a copy of
 * the PPD whose default lines carry the choices made here.
 *
 * The widget owns the PPD file it loaded and deletes it when destroyed.
 * Each option's editor is a combo box named after the option's keyword.
 */
class NORVIKPRINTWIDGETS_EXPORT PpdSettings : public QTreeWidget
{
    Q_OBJECT
public:
    explicit PpdSettings(QWidget *parent = nullptr);
    ~PpdSettings() override;

    /// Shows the options of ppdFile; false (and the file deleted) when it is no PPD.
    bool load(const QString &ppdFile);
    /// A temporary PPD with the chosen defaults, for the caller to upload and
    /// delete; empty when nothing changed or nothing is loaded.
    QString save();
    /// Marks the page size that the PWG media name stands for (as chosen on
    /// the dialog's general tab), so the uploaded PPD carries it as its
    /// default; false when the PPD has no such size.
    bool selectMedia(const QString &pwgMedia);
    /// The same for an IPP "sides" keyword and the PPD's Duplex option.
    bool selectSides(const QString &sides);
    /// The server took the file save() returned: it replaces the loaded copy,
    /// so later saves upload what differs from the server's PPD, not from the
    /// one loaded first. The file is the widget's from now on.
    void commit(const QString &uploadedFile);

Q_SIGNALS:
    /// The user picked a page size here (as a PWG media name), or a duplex
    /// mode (as an IPP "sides" keyword); not emitted by selectMedia() or
    /// selectSides().
    void pageSizeChanged(const QString &pwgMedia);
    void sidesChanged(const QString &sides);

private:
    std::unique_ptr<PpdSettingsPrivate> const d;
};
} // namespace CUPS

#endif

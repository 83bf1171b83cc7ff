#ifndef CUPS_ATTRIBUTEVIEWER_H
#define CUPS_ATTRIBUTEVIEWER_H

#include "norvikprintwidgets_export.h"

#include <QDialog>
#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>

namespace CUPS
{
class AttributeViewerPrivate;

/**
 * The IPP attributes of a job, printer or journal record as a table of names
 * and values. Opened editable, it lets the user change single values and add
 * attributes, and reports only what changed.
 */
class NORVIKPRINTWIDGETS_EXPORT AttributeViewer : public QDialog
{
    Q_OBJECT
public:
    /// attributes: name to value list, as the core library delivers them.
    AttributeViewer(const QHash<QString, QVariant> &attributes, bool editable, QWidget *parent);
    ~AttributeViewer() override;

    /// Name to new value text of every single-valued or added attribute that
    /// changed; empty until the dialog was accepted.
    QHash<QString, QString> modifiedAttributes() const;

public Q_SLOTS:
    void accept() override;
    void reject() override;

private:
    std::unique_ptr<AttributeViewerPrivate> const d;
};
} // namespace CUPS

#endif

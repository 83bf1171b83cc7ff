#ifndef CUPS_COLUMNEDITOR_H
#define CUPS_COLUMNEDITOR_H

#include "norvikprintwidgets_export.h"

#include <QDialog>
#include <QSet>
#include <QString>

#include <memory>

namespace CUPS
{
class ColumnEditorPrivate;

/**
 * Asks for one column of a list: the IPP attribute it shows and its title.
 * Known attributes are offered with their titles, the two kept in step;
 * either may also be typed freely.
 */
class NORVIKPRINTWIDGETS_EXPORT ColumnEditor : public QDialog
{
    Q_OBJECT
public:
    /// Attributes in excluded (already shown, or hidden) are not offered.
    ColumnEditor(const QSet<QString> &excluded, QWidget *parent);
    ~ColumnEditor() override;

    void setAttribute(const QString &attribute);
    void setTitle(const QString &title);
    QString attribute() const;
    QString title() const;

private:
    std::unique_ptr<ColumnEditorPrivate> const d;
};
} // namespace CUPS

#endif

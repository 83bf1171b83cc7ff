#ifndef CUPS_ADDATTRIBUTEDIALOG_H
#define CUPS_ADDATTRIBUTEDIALOG_H

#include <QDialog>
#include <QStyledItemDelegate>

#include <memory>

namespace CUPS
{
class AddAttributeDialogPrivate;

/// Asks for the name and value of an attribute to add to a job.
class AddAttributeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AddAttributeDialog(QWidget *parent);
    ~AddAttributeDialog() override;

    QString attribute() const;
    QString value() const;

private:
    std::unique_ptr<AddAttributeDialogPrivate> const d;
};

/// Serves cells that must not be edited: attribute names.
class AttributeNameDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
} // namespace CUPS

#endif

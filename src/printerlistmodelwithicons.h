#ifndef CUPS_PRINTERLISTMODELWITHICONS_H
#define CUPS_PRINTERLISTMODELWITHICONS_H

#include <printerlistmodel.h>

namespace CUPS
{
/// The printer list with a state icon on every row.
class PrinterListModelWithIcons : public PrinterListModel
{
public:
    using PrinterListModel::PrinterListModel;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QIcon destinationIcon(const Destination &dest, const QString &themeName) const;
};
} // namespace CUPS

#endif

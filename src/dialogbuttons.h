#ifndef CUPS_DIALOGBUTTONS_H
#define CUPS_DIALOGBUTTONS_H

#include <QDialog>
#include <QDialogButtonBox>

namespace CUPS
{
/// A dialog's "buttonBox": horizontal, its accepted and rejected signals
/// wired to the dialog's accept() and reject().
inline QDialogButtonBox *createButtonBox(QDialog *dialog, QDialogButtonBox::StandardButtons buttons)
{
    auto *box = new QDialogButtonBox(buttons, Qt::Horizontal, dialog);
    box->setObjectName(QStringLiteral("buttonBox"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}
} // namespace CUPS

#endif

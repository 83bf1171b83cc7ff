#ifndef CUPS_JOBAUTHDIALOG_H
#define CUPS_JOBAUTHDIALOG_H

#include <QDialog>
#include <QStringList>

namespace CUPS
{
struct JobAuthDialogUi;

/// Asks for the credentials a job held for authentication needs: only the
/// fields its destination's "auth-info-required" names are shown.
class JobAuthDialog : public QDialog
{
    Q_OBJECT
public:
    JobAuthDialog(const QStringList &authInfoRequired, QWidget *parent);
    ~JobAuthDialog() override;

    /// The visible fields' texts, always in the order domain, user, password.
    QStringList authInfo() const;

private:
    JobAuthDialogUi *const ui;
    const QStringList authInfoRequired;
};
/// The dialog's credentials (domain, user, password, as far as required)
/// reordered as the destination's "auth-info-required" lists them.
QStringList authInfoInServerOrder(const QStringList &required, const QStringList &dialogInfo);
} // namespace CUPS

#endif

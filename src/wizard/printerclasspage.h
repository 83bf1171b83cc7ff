#ifndef CUPS_PRINTERCLASSPAGE_H
#define CUPS_PRINTERCLASSPAGE_H

#include <QWizardPage>

class QRadioButton;

namespace CUPS
{
/**
 * The wizard's first page: a printer found by the server, a printer whose
 * device is chosen by hand, or a class. Puts default names into the
 * information page's fields.
 */
class PrinterClassPage : public QWizardPage
{
    Q_OBJECT
public:
    explicit PrinterClassPage(QWidget *parent = nullptr);
    ~PrinterClassPage() override;

    void initializePage() override;
    bool validatePage() override;

private:
    QRadioButton *classButton = nullptr;
};
} // namespace CUPS

#endif

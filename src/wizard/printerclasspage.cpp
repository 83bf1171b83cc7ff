#include "printerclasspage.h"

#include "wizardfields.h"

#include <translation.h>

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace CUPS
{
namespace
{
// Both printer choices share one id: only printer versus class matters to the group.
constexpr int PrinterGroupId = 0;
constexpr int ClassGroupId = 1;

QRadioButton *radioButton(QWidget *parent, const QString &text, const QString &name)
{
    auto *button = new QRadioButton(text, parent);
    button->setObjectName(name);
    return button;
}
} // namespace

PrinterClassPage::PrinterClassPage(QWidget *parent)
    : QWizardPage(parent)
{
    setWindowTitle(translated("Add new printer or class"));
    setTitle(translated("Printer or class"));
    setSubTitle(translated("Select what you want to add, printer or class of printers"));

    auto *group = new QGroupBox(title(), this);
    auto *automaticButton = radioButton(group, translated("Printer (find automatically)"), QStringLiteral("automaticRadioButton"));
    auto *manualButton = radioButton(group, translated("Printer (select manually)"), QStringLiteral("manualRadioButton"));
    classButton = radioButton(group, translated("Class"), QStringLiteral("classRadioButton"));
    automaticButton->setChecked(true);

    auto *buttons = new QButtonGroup(this);
    buttons->addButton(automaticButton, PrinterGroupId);
    buttons->addButton(manualButton, PrinterGroupId);
    buttons->addButton(classButton, ClassGroupId);

    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(automaticButton);
    groupLayout->addWidget(manualButton);
    groupLayout->addWidget(classButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);

    using namespace Wizard;
    registerField(Field::IsPrinterManualQueue, manualButton);
    registerField(Field::IsPrinterQueue, automaticButton);
    registerField(Field::IsClassQueue, classButton);
}

PrinterClassPage::~PrinterClassPage() = default;

void PrinterClassPage::initializePage()
{
    // A new device is chosen for a printer only; a class has none.
    classButton->setVisible(!field(Wizard::Field::BackendEdit).toBool());
}

bool PrinterClassPage::validatePage()
{
    using namespace Wizard;
    if (field(Field::BackendEdit).toBool()) {
        return true; // the printer keeps its name
    }
    if (field(Field::IsPrinterQueue).toBool() || field(Field::IsPrinterManualQueue).toBool()) {
        setField(Field::QueueName, translated("Name_of_printer"));
        return true;
    }
    if (field(Field::IsClassQueue).toBool()) {
        setField(Field::QueueName, translated("Name_of_class"));
        setField(Field::QueueLocation, translated("Location"));
        return true;
    }
    return false;
}
} // namespace CUPS

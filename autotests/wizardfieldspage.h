#ifndef WIZARDFIELDSPAGE_H
#define WIZARDFIELDSPAGE_H

#include <wizard/wizardfields.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QWizardPage>

// Stands in for the wizard's earlier pages: it registers the fields the information page reads.
struct FieldsPage : QWizardPage {
    FieldsPage()
    {
        using namespace CUPS::Wizard::Field;
        for (const QLatin1String &name : {IsPrinterQueue, IsPrinterManualQueue, IsAutodetectedPrinterSelected}) {
            registerField(name, new QCheckBox(this));
        }
        registerField(DeviceId, new QLineEdit(this));
    }
};

#endif

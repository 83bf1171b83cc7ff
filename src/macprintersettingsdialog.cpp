#include "macprintersettingsdialog.h"

#include "dialogbuttons.h"
#include "messagebox.h"
#include "widgetslogging.h"

#include <attributes.h>
#include <cresource.h>
#include <printerippactions.h>
#include <translation.h>
#include <utils.h>

#include <kvtl.h>
#include <maccategorylistwidget.h>
#include <maclevelcombobox.h>

#include <KLocalizedString>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <cstdlib>

namespace CUPS
{
namespace
{
using Label = CResource<kvtl_t, kvtl_put>;

// The printer's label attribute; the zero label when it is missing or unreadable.
Label readLabel(const QHash<QString, QVariant> &attributes, const QString &name)
{
    const QByteArray text = Utils::getAttribute(attributes, name, QVariant()).toString().toLatin1();
    Label label(kvtl_get_from_text(text.constData()));
    if (!label) {
        label.reset(kvtl_dup(KVTL_ZERO));
    }
    return label;
}

QString labelText(unsigned char level, unsigned int integrity, mac_cat_t categories)
{
    const Label label(kvtl_dup(KVTL_ZERO));
    kvtl_set_lev(label.get(), level);
    kvtl_set_ilev(label.get(), integrity);
    kvtl_set_cat(label.get(), categories);
    const CResource<char, std::free> text(kvtl_get_text(label.get(), KVTL_TEXT_NUMERIC));
    return text ? QString::fromLatin1(text.get()) : QString();
}
} // namespace

class MacPrinterSettingsDialogPrivate : public QObject
{
public:
    MacPrinterSettingsDialogPrivate(MacPrinterSettingsDialog *dialog, const QString &printer)
        : QObject(dialog)
        , q(dialog)
        , editedPrinter(printer)
    {
    }

    void setupUi();
    void onMinCategoryChanged(mac_cat_t newcat);
    void onMaxCategoryChanged(mac_cat_t newcat);
    void applyChanges();
    void updatePrinterData();

    MacPrinterSettingsDialog *const q;
    const QString editedPrinter;
    TelmarQt5::MacCategoryListWidget *minCategories = nullptr;
    TelmarQt5::MacCategoryListWidget *maxCategories = nullptr;
    TelmarQt5::MacLevelComboBox *minLevel = nullptr;
    TelmarQt5::MacLevelComboBox *maxLevel = nullptr;
    TelmarQt5::ILevelComboBox *minIntegrity = nullptr;
    TelmarQt5::ILevelComboBox *maxIntegrity = nullptr;
    QComboBox *policyCombo = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
};

template<typename Widget>
Widget *named(Widget *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

void MacPrinterSettingsDialogPrivate::setupUi()
{
    using namespace TelmarQt5;
    q->setObjectName(QStringLiteral("MacPrinterSettingsDialog"));
    q->setWindowTitle(translated("MAC Parameters"));
    q->setWindowIconText(translated("MAC Parameters"));

    policyCombo = named(new QComboBox(q), QStringLiteral("policyCombo"));
    minLevel = named(new MacLevelComboBox(nullptr), QStringLiteral("minLevel"));
    maxLevel = named(new MacLevelComboBox(nullptr), QStringLiteral("maxLevel"));
    minLevel->rebuild();
    maxLevel->rebuild();
    // Each bound follows the other, so the maximum never drops below the minimum.
    connect(minLevel, &MacLevelComboBox::valueChanged, maxLevel, &MacLevelComboBox::setMinimumValue);
    connect(maxLevel, &MacLevelComboBox::valueChanged, minLevel, &MacLevelComboBox::setMaximumValue);

    minIntegrity = named(new ILevelComboBox(nullptr), QStringLiteral("minIntegrity"));
    maxIntegrity = named(new ILevelComboBox(nullptr), QStringLiteral("maxIntegrity"));
    minIntegrity->rebuild();
    maxIntegrity->rebuild();
    connect(minIntegrity, &ILevelComboBox::valueChanged, maxIntegrity, &ILevelComboBox::setMinimumValue);
    connect(maxIntegrity, &ILevelComboBox::valueChanged, minIntegrity, &ILevelComboBox::setMaximumValue);

    auto *form = new QFormLayout();
    form->addRow(translated("Operation policy:"), policyCombo);
    form->addRow(translated("Minimal job level:"), minLevel);
    form->addRow(translated("Maximum job level:"), maxLevel);
    form->addRow(translated("Minimal job integrity level:"), minIntegrity);
    form->addRow(translated("Maximum job integrity level:"), maxIntegrity);
    minCategories = named(new MacCategoryListWidget(nullptr), QStringLiteral("minCategories"));
    maxCategories = named(new MacCategoryListWidget(nullptr), QStringLiteral("maxCategories"));
    minCategories->rebuild();
    maxCategories->rebuild();
    form->addRow(translated("Minimum category set:"), minCategories);
    form->addRow(translated("Maximum category set:"), maxCategories);
    connect(minCategories, &MacCategoryListWidget::valueChanged, this, &MacPrinterSettingsDialogPrivate::onMinCategoryChanged);
    connect(maxCategories, &MacCategoryListWidget::valueChanged, this, &MacPrinterSettingsDialogPrivate::onMaxCategoryChanged);

    auto *row = new QHBoxLayout();
    row->addLayout(form);
    row->addStretch(2);
    auto *layout = new QVBoxLayout(q);
    layout->addLayout(row);
    layout->addStretch(2);
    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, q);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    layout->addWidget(buttonBox);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &MacPrinterSettingsDialogPrivate::applyChanges);
    connect(buttonBox, &QDialogButtonBox::rejected, q, &QDialog::reject);
}

void MacPrinterSettingsDialogPrivate::updatePrinterData()
{
    const QHash<QString, QVariant> attrs = PrinterIppActions::instance()->destAttrs(editedPrinter, QStringList());
    qCDebug(CUPS_WIDGETS) << "Printer URI: " << editedPrinter;
    policyCombo->clear();
    policyCombo->addItems(attrs.value(Attr::PrinterOpPolicySupported).toStringList());
    if (attrs.contains(Attr::PrinterOpPolicy)) {
        const QString policy = attrs.value(Attr::PrinterOpPolicy).toStringList().join(QString());
        policyCombo->setCurrentIndex(policyCombo->findText(policy, Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
    const Label min = readLabel(attrs, Attr::MacPrinterMacMin);
    const Label max = readLabel(attrs, Attr::MacPrinterMacMax);
    minLevel->setValue(kvtl_lev(min.get()), false);
    maxLevel->setValue(kvtl_lev(max.get()), false);
    minIntegrity->setValue(kvtl_ilev(min.get()), false);
    maxIntegrity->setValue(kvtl_ilev(max.get()), false);
    minCategories->setValue(kvtl_cat(min.get()));
    maxCategories->setValue(kvtl_cat(max.get()));
}

// The maximum set always holds the minimum set.
void MacPrinterSettingsDialogPrivate::onMinCategoryChanged(mac_cat_t newcat)
{
    disconnect(maxCategories, nullptr, this, nullptr);
    maxCategories->setValue(maxCategories->value() | newcat);
    connect(maxCategories, &TelmarQt5::MacCategoryListWidget::valueChanged, this, &MacPrinterSettingsDialogPrivate::onMaxCategoryChanged);
}

void MacPrinterSettingsDialogPrivate::onMaxCategoryChanged(mac_cat_t newcat)
{
    const mac_cat_t current = minCategories->value();
    disconnect(minCategories, nullptr, this, nullptr);
    for (int i = 0; i < minCategories->count(); ++i) {
        minCategories->item(i)->setData(Qt::CheckStateRole, Qt::Unchecked);
    }
    minCategories->setValue(current & newcat);
    connect(minCategories, &TelmarQt5::MacCategoryListWidget::valueChanged, this, &MacPrinterSettingsDialogPrivate::onMinCategoryChanged);
}

void MacPrinterSettingsDialogPrivate::applyChanges()
{
    if (!PrinterIppActions::instance()->setPrinterPolicy(editedPrinter, policyCombo->currentText())) {
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to set printer policy.<br>CUPS error: %1"));
        q->reject();
        return;
    }
    const QString minText = labelText(minLevel->value(), minIntegrity->value(), minCategories->value());
    const QString maxText = labelText(maxLevel->value(), maxIntegrity->value(), maxCategories->value());
    qCDebug(CUPS_WIDGETS) << "PrinterSetMac:"
                          << "MacLabelMin =" << minText << "MacLabelMax =" << maxText;
    if (!PrinterIppActions::instance()->setPrinterMac(editedPrinter, minText, maxText)) {
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to set printer attributes.<br>CUPS error: %1"));
        q->reject();
        return;
    }
    q->accept();
}

MacPrinterSettingsDialog::MacPrinterSettingsDialog(const QString &printer, QWidget *parent)
    : QDialog(parent)
    , d(new MacPrinterSettingsDialogPrivate(this, printer))
{
    d->setupUi();
    d->updatePrinterData();
}

MacPrinterSettingsDialog::~MacPrinterSettingsDialog() = default;
} // namespace CUPS

#include "infodriverpage.h"

#include "driverwidget.h"
#include "hpmodels.h"
#include "messagebox.h"
#include "wizardfields.h"
#include "wizardlogging.h"
#include "wizardtools.h"

#include <attributes.h>
#include <connection.h>
#include <printerippactions.h>
#include <translation.h>
#include <utils.h>

#include <packagemanager.h>

#include <KLocalizedString>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpacerItem>
#include <QUrl>
#include <QVBoxLayout>

#include <cups/cups.h>

namespace CUPS
{
namespace
{
// Printers found by DNS-SD are reached by their .local names, which only
// this name service module resolves.
const QString DnssdPackage = QStringLiteral("libnss-mdns");
const QString DriverDialogGeometry = QStringLiteral("DriverDialog/geometry");
const QString SharePrinters = QStringLiteral("_share_printers");

QLineEdit *lineEdit(QWidget *parent, const QString &name, bool clearButton = true)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setClearButtonEnabled(clearButton);
    return edit;
}
} // namespace

InfoDriverPage::InfoDriverPage(QWidget *parent)
    : QWizardPage(parent)
{
    setTitle(translated("Information"));
    setSubTitle(translated("Enter printer/class information, select printer driver (if needed)"));
    setFinalPage(true);

    nameEdit = lineEdit(this, QStringLiteral("nameEdit"));
    locationEdit = lineEdit(this, QStringLiteral("locationEdit"));
    descriptionEdit = lineEdit(this, QStringLiteral("descriptionEdit"));
    organizationEdit = lineEdit(this, QStringLiteral("organizationEdit"));
    organizationalUnitEdit = lineEdit(this, QStringLiteral("organizationalUnitEdit"));
    deviceUriEdit = lineEdit(this, QStringLiteral("deviceUriEdit"), false);
    driverLineEdit = lineEdit(this, QStringLiteral("driverLineEdit"), false);
    driverLineEdit->setReadOnly(true);
    selectDriverButton = new QPushButton(QStringLiteral("..."), this);
    selectDriverButton->setObjectName(QStringLiteral("selectDriverButton"));
    selectDriverButton->setFixedSize(28, 28);
    shareCheckBox = new QCheckBox(translated("Share this queue"), this);
    shareCheckBox->setObjectName(QStringLiteral("shareCheckBox"));
    pluginLabel = new QLabel(translated("HP printer requires proprietary plug-in which is missing. Click 'Install' to continue plug-in installation."), this);
    pluginLabel->setObjectName(QStringLiteral("pluginLabel"));
    pluginLabel->setWordWrap(true);
    installPluginButton = new QPushButton(translated("Install"), this);
    installPluginButton->setObjectName(QStringLiteral("installPluginButton"));

    auto *group = new QGroupBox(title(), this);
    auto *form = new QFormLayout(group);
    form->addRow(translated("<b>Name:</b>"), nameEdit);
    form->addRow(translated("Location:"), locationEdit);
    form->addRow(translated("Description:"), descriptionEdit);
    form->addRow(translated("Organization:"), organizationEdit);
    form->addRow(translated("Organizational unit:"), organizationalUnitEdit);
    form->addRow(translated("<b>Device URI:</b>"), deviceUriEdit);
    driverRow = new QHBoxLayout;
    driverRow->addWidget(driverLineEdit);
    driverRow->addWidget(selectDriverButton);
    form->addRow(translated("<b>Driver:</b>"), driverRow);
    form->addRow(shareCheckBox);
    uriLabel = form->labelForField(deviceUriEdit);
    driverLabel = form->labelForField(driverRow);

    auto *installRow = new QHBoxLayout;
    installRow->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
    installRow->addWidget(installPluginButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(pluginLabel);
    layout->addLayout(installRow);

    setTabOrder(nameEdit, locationEdit);
    setTabOrder(locationEdit, descriptionEdit);
    setTabOrder(descriptionEdit, organizationEdit);
    setTabOrder(organizationEdit, organizationalUnitEdit);
    setTabOrder(organizationalUnitEdit, deviceUriEdit);
    setTabOrder(deviceUriEdit, driverLineEdit);
    setTabOrder(driverLineEdit, selectDriverButton);
    setTabOrder(selectDriverButton, shareCheckBox);

    using namespace Wizard;
    registerField(Field::QueueName + Mandatory, nameEdit);
    registerField(Field::QueueDescription, descriptionEdit);
    registerField(Field::DeviceUri, deviceUriEdit);
    registerField(Field::QueueLocation, locationEdit);
    registerField(Field::QueueOrganization, organizationEdit);
    registerField(Field::QueueOrganizationalUnit, organizationalUnitEdit);
    registerField(Field::DeviceDriver, driverLineEdit);
    registerField(Field::QueueShared, shareCheckBox);
    registerField(Field::GeneralEdit, this, "generalEditOnly");
    registerField(Field::BackendEdit, this, "backendEditOnly");
    registerField(Field::DriverEdit, this, "driverEditOnly");

    connect(selectDriverButton, &QPushButton::clicked, this, &InfoDriverPage::selectDriver);
    connect(nameEdit, &QLineEdit::textChanged, this, &InfoDriverPage::queueNameChanged);
    connect(driverLineEdit, &QLineEdit::textChanged, this, &InfoDriverPage::driverChanged);
    connect(deviceUriEdit, &QLineEdit::textChanged, this, &InfoDriverPage::deviceUriChanged);
    connect(installPluginButton, &QPushButton::clicked, this, &InfoDriverPage::installPlugin);

    // A queue on a remote server is there to be shared; one on this machine usually is not.
    shareCheckBox->setChecked(!Connection::instance()->isLocal());
}

InfoDriverPage::~InfoDriverPage() = default;

bool InfoDriverPage::generalEditOnly() const
{
    return m_generalEditOnly;
}

void InfoDriverPage::setGeneralEditOnly(bool on)
{
    qCDebug(CUPS_WIZARD) << "generalEditOnly:" << (on ? "true" : "false");
    m_generalEditOnly = on;
    if (on) {
        setEditable(true, false, false, true);
    }
}

bool InfoDriverPage::backendEditOnly() const
{
    return m_backendEditOnly;
}

void InfoDriverPage::setBackendEditOnly(bool on)
{
    qCDebug(CUPS_WIZARD) << "backendEditOnly:" << (on ? "true" : "false");
    m_backendEditOnly = on;
    if (on) {
        setEditable(false, true, false, true);
    }
}

bool InfoDriverPage::driverEditOnly() const
{
    return m_driverEditOnly;
}

void InfoDriverPage::setDriverEditOnly(bool on)
{
    qCDebug(CUPS_WIZARD) << "driverEditOnly:" << (on ? "true" : "false");
    m_driverEditOnly = on;
    if (on) {
        setEditable(false, false, true, false);
    }
}

void InfoDriverPage::setEditable(bool general, bool deviceUri, bool driver, bool share)
{
    for (QLineEdit *edit : {nameEdit, descriptionEdit, locationEdit, organizationEdit, organizationalUnitEdit}) {
        edit->setEnabled(general);
    }
    deviceUriEdit->setEnabled(deviceUri);
    driverLineEdit->setEnabled(driver);
    selectDriverButton->setEnabled(driver);
    shareCheckBox->setEnabled(share);
}

bool InfoDriverPage::isPrinter() const
{
    return field(Wizard::Field::IsPrinterQueue).toBool() || field(Wizard::Field::IsPrinterManualQueue).toBool();
}

bool InfoDriverPage::isEditing() const
{
    return m_generalEditOnly || m_backendEditOnly || m_driverEditOnly;
}

bool InfoDriverPage::hasValidQueueName() const
{
    const QString name = nameEdit->text();
    return !name.isEmpty() && !name.contains(QLatin1Char(' ')) && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('#'));
}

bool InfoDriverPage::hasValidURI() const
{
    const QString text = deviceUriEdit->text();
    if (text.isEmpty()) {
        return false;
    }
    QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid()) {
        // Some schemes have no host ("usb:/..." style URIs read as such).
        url.setHost(QStringLiteral("localhost"));
        if (!url.isValid()) {
            return false;
        }
    }
    qCDebug(CUPS_WIZARD) << QStringLiteral("URI(%1) is Valid!").arg(url.toString());
    return true;
}

void InfoDriverPage::updateFlag(bool &flag, bool value)
{
    const bool wasComplete = isComplete();
    flag = value;
    if (isComplete() != wasComplete) {
        Q_EMIT completeChanged();
    }
}

void InfoDriverPage::queueNameChanged(const QString &text)
{
    qCDebug(CUPS_WIZARD) << "queue name:" << text;
    updateFlag(nameValid, hasValidQueueName());
}

void InfoDriverPage::driverChanged(const QString &text)
{
    qCDebug(CUPS_WIZARD) << "driver:" << text;
    if (isPrinter()) {
        updateFlag(driverValid, !text.isEmpty());
    }
}

void InfoDriverPage::deviceUriChanged(const QString &text)
{
    qCDebug(CUPS_WIZARD) << "device URI:" << text;
    if (isPrinter()) {
        updateFlag(uriValid, hasValidURI());
    }
}

bool InfoDriverPage::isComplete() const
{
    qCDebug(CUPS_WIZARD) << "name valid:" << nameValid << "driver valid:" << driverValid << "URI valid:" << uriValid;
    return nameValid && driverValid && uriValid;
}

QMap<QString, QList<QVariant>> InfoDriverPage::groupByMake(const QList<QHash<QString, QVariant>> &records)
{
    QMap<QString, QList<QVariant>> byMake;
    for (const QHash<QString, QVariant> &record : records) {
        const QVariantList makes = record.value(Attr::PpdMake).toList();
        if (!makes.isEmpty()) {
            byMake[makes.constFirst().toString()].append(QVariant(record));
        }
    }
    return byMake;
}

void InfoDriverPage::loadPpds()
{
    if (ppdsByMake.isEmpty()) {
        ppdsByMake = groupByMake(Connection::instance()->PPDs(QString()));
    }
}

void InfoDriverPage::initializePage()
{
    WaitCursor waitCursor;
    qCDebug(CUPS_WIZARD, "isPrinterQueue = %d", int(field(Wizard::Field::IsPrinterQueue).toBool()));
    pluginLabel->hide();
    installPluginButton->hide();

    existingQueueNames.clear();
    const QList<Destination> destinations = PrinterIppActions::instance()->getDestinations(nullptr);
    for (const Destination &destination : destinations) {
        const QString name = destination.name();
        // The queue being edited keeps its own name.
        if (!name.isEmpty() && !(name == nameEdit->text() && isEditing())) {
            existingQueueNames.append(name);
        }
    }
    nameValid = false;
    queueNameChanged(nameEdit->text());

    const bool printer = isPrinter();
    for (QWidget *widget : {static_cast<QWidget *>(deviceUriEdit), uriLabel, static_cast<QWidget *>(driverLineEdit), driverLabel,
                            static_cast<QWidget *>(selectDriverButton)}) {
        widget->setVisible(printer);
    }
    if (!printer) {
        qCDebug(CUPS_WIZARD) << "ClassQueue";
        uriValid = true;
        driverValid = true;
        Q_EMIT completeChanged();
    } else if (field(Wizard::Field::IsAutodetectedPrinterSelected).toBool()) {
        proposeDriver();
    }
    // Long URIs and PPD names are read from their start.
    deviceUriEdit->setCursorPosition(0);
    driverLineEdit->setCursorPosition(0);
    qCDebug(CUPS_WIZARD) << "page initialized";
}

void InfoDriverPage::proposeDriver()
{
    qCDebug(CUPS_WIZARD) << "Printer was autodetected, attemping to find driver for it";
    const QString deviceId = field(Wizard::Field::DeviceId).toString();
    const QString deviceUri = field(Wizard::Field::DeviceUri).toString();
    loadPpds();

    HpModels hpModels(deviceUri);
    if (hpModels.isHpDevice()) {
        const QString ppd = hpModels.findPpd(ppdsByMake);
        if (!ppd.isEmpty()) {
            driverLineEdit->setText(ppd);
            const bool pluginMissing = hpModels.pluginMissing();
            pluginLabel->setVisible(pluginMissing);
            installPluginButton->setVisible(pluginMissing);
            return;
        }
    }
    if (deviceId.isEmpty()) {
        return;
    }
    qCDebug(CUPS_WIZARD, "Searching for printer id '%s'...", qPrintable(deviceId));
    const QList<QHash<QString, QVariant>> matches = Connection::instance()->PPDs(deviceId);
    if (!matches.isEmpty()) {
        const QVariantList names = matches.constFirst().value(Attr::PpdName).toList();
        driverLineEdit->setText(names.isEmpty() ? QString() : names.constFirst().toString());
    }
}

void InfoDriverPage::selectDriver()
{
    QDialog dialog(this, Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::CustomizeWindowHint);
    dialog.setWindowTitle(translated("Drivers"));
    auto *driverWidget = new DriverWidget(&dialog);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, &dialog);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(driverWidget, 1);
    layout->addWidget(buttons);
    connect(driverWidget, &DriverWidget::ppdFileSelected, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    {
        WaitCursor waitCursor;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        loadPpds();
    }
    driverWidget->setDeviceAndPpds(deviceUriEdit->text(), ppdsByMake);

    QSettings settings;
    dialog.restoreGeometry(settings.value(DriverDialogGeometry).toByteArray());
    if (!driverLineEdit->text().isEmpty()) {
        driverWidget->selectPpd(driverLineEdit->text());
    }
    if (dialog.exec() == QDialog::Accepted) {
        if (!driverWidget->selectedPpdName().isEmpty()) {
            driverLineEdit->setText(driverWidget->selectedPpdName());
        }
        // A chosen file wins over a highlighted model.
        if (!driverWidget->ppdFileName().isEmpty()) {
            driverLineEdit->setText(driverWidget->ppdFileName());
        }
        Q_EMIT completeChanged();
    }
    settings.setValue(DriverDialogGeometry, dialog.saveGeometry());
}

QString InfoDriverPage::uniqueName() const
{
    const QString typed = nameEdit->text();
    QString candidate = typed;
    for (int counter = 2; existingQueueNames.contains(candidate, Qt::CaseInsensitive); ++counter) {
        candidate = QStringLiteral("%1(%2)").arg(typed).arg(counter);
    }
    return candidate;
}

QString InfoDriverPage::driverArgument() const
{
    // These edits can't change the driver, whatever was filled in for it.
    if (m_generalEditOnly || m_backendEditOnly) {
        return QString();
    }
    // The edit modes put the queue's own PPD here, from the server's
    // configuration folder: sending nothing keeps that driver.
    const QString driver = driverLineEdit->text();
    const QString serverRoot = Utils::serverRoot() + QLatin1Char('/');
    return driver.startsWith(serverRoot) ? QString() : driver;
}

bool InfoDriverPage::addQueue(bool printer, const QString &name)
{
    WaitCursor waitCursor;
    return printer ? PrinterIppActions::instance()->addPrinter(name,
                                                                    deviceUriEdit->text(),
                                                                    driverArgument(),
                                                                    locationEdit->text(),
                                                                    descriptionEdit->text(),
                                                                    organizationEdit->text(),
                                                                    organizationalUnitEdit->text(),
                                                                    shareCheckBox->isChecked())
                        : PrinterIppActions::instance()->addClass(name,
                                                                  field(Wizard::Field::ClassMembers).toStringList(),
                                                                  locationEdit->text(),
                                                                  descriptionEdit->text(),
                                                                  organizationEdit->text(),
                                                                  organizationalUnitEdit->text(),
                                                                  shareCheckBox->isChecked());
}

bool InfoDriverPage::validatePage()
{
    qCDebug(CUPS_WIZARD, "isPrinterQueue=%d", int(field(Wizard::Field::IsPrinterQueue).toBool()));
    const bool printer = isPrinter();
    if (printer) {
        qCDebug(CUPS_WIZARD) << "URI:" << QUrl(deviceUriEdit->text(), QUrl::TolerantMode);
        if (!hasValidURI()) {
            MessageBox::ask(this, QMessageBox::Warning, translated("Error"), translated("Correct URI must present!"), QMessageBox::Ok);
            deviceUriEdit->setFocus();
            return false;
        }
        if (driverLineEdit->text().isEmpty()) {
            MessageBox::ask(this, QMessageBox::Warning, translated("Error"), translated("Driver is not selected"), QMessageBox::Ok);
            return false;
        }
    }

    {
        ConnectionLocker locker;
        // A printer takes the next free name; a class is named as typed.
        const QString name = printer ? uniqueName() : nameEdit->text();
        if (!addQueue(printer, name)) {
            const KLocalizedString message = printer ? ki18nd("libnorvik-print", "Unable to add printer.<br>CUPS error: %1<br>Try Again?")
                                                     : ki18nd("libnorvik-print", "Unable to add class.<br>CUPS error: %1<br>Try Again?");
            const auto answer = MessageBox::ask(this,
                                                QMessageBox::Critical,
                                                translated("Error"),
                                                MessageBox::escapedSubs(message, {Connection::lastErrorString()}),
                                                QMessageBox::Yes | QMessageBox::No,
                                                QMessageBox::No,
                                                Qt::RichText);
            // Yes keeps the user here to try again; No ends the wizard without the queue, as
            // rejected: an accepted wizard would tell its caller that the queue was added.
            if (answer != QMessageBox::Yes) {
                wizard()->reject();
            }
            return false;
        }
        // The name field tells the wizard (and a rename) which queue there is now.
        nameEdit->setText(name);
    }

    offerRemoteAccess();
    offerDnssdPackage();
    return true;
}

void InfoDriverPage::offerRemoteAccess()
{
    Connection *connection = Connection::instance();
    if (!shareCheckBox->isChecked() || !connection->isLocal()) {
        return;
    }
    if (connection->getServerSettings().value(SharePrinters) == QLatin1String("1")) {
        return;
    }
    if (MessageBox::ask(this, QMessageBox::Question, translated("Remote Access"), translated("Remote access is disabled. Enable?"), QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes) {
        return;
    }
    bool enabled;
    {
        WaitCursor waitCursor;
        enabled = connection->setServerSettings({{SharePrinters, QStringLiteral("1")}});
        connection->reconnect(true);
    }
    if (!enabled) {
        MessageBox::showCupsError(this, ki18nd("libnorvik-print", "Unable to enable remote access.<br>CUPS error: %1"));
    }
}

void InfoDriverPage::offerDnssdPackage()
{
    if (!deviceUriEdit->text().startsWith(QLatin1String("dnssd://"))
        || VeskAdmin::PackageManager::isPackageInstalled(DnssdPackage, QStringLiteral("ii\\s%1"))) {
        return;
    }
    const QString question =
        ki18nd("libnorvik-print", "<b>%1</b> package required by DNS-SD (Bonjour) printer is not installed. Proceed with installation?").subs(DnssdPackage).toString();
    if (MessageBox::ask(this,
                        QMessageBox::Question,
                        ki18nd("libnorvik-print", "%1 installation").subs(DnssdPackage).toString(),
                        question,
                        QMessageBox::Yes | QMessageBox::No,
                        QMessageBox::NoButton,
                        Qt::RichText)
        != QMessageBox::Yes) {
        return;
    }
    if (!VeskAdmin::PackageManager::runSynapticWithPackageSelected(DnssdPackage, false)) {
        // Without a package manager the Yes would do nothing at all.
        MessageBox::ask(this,
                        QMessageBox::Information,
                        ki18nd("libnorvik-print", "%1 installation").subs(DnssdPackage).toString(),
                        ki18nd("libnorvik-print", "No package manager could be started. Please install the package %1 with the tools of your system.")
                            .subs(DnssdPackage)
                            .toString(),
                        QMessageBox::Ok);
    }
}

void InfoDriverPage::installPlugin()
{
    if (HpModels::runPluginInstaller()) {
        pluginLabel->hide();
        installPluginButton->hide();
    }
}
} // namespace CUPS

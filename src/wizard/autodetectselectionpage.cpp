#include "autodetectselectionpage.h"

#include "driverwidget.h"
#include "messagebox.h"
#include "wizardfields.h"
#include "wizardlogging.h"
#include "wizardtools.h"

#include <attributes.h>
#include <connection.h>
#include <translation.h>
#include <utils.h>

#include <KLocalizedString>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWizard>

#include <memory>

namespace CUPS
{
namespace
{
enum StackIndex {
    SearchingIndex = 0,
    DevicesIndex = 1,
};

enum Column {
    NameColumn = 0,
    ClassColumn = 1,
    InfoColumn = 2,
    UriColumn = 3,
};

QString attribute(const QHash<QString, QVariant> &device, const QString &name)
{
    return Utils::getAttribute(device, name).toString();
}

QHash<QString, QString> deviceClassLabels()
{
    return {{QStringLiteral("file"), translated("File printer")},
            {QStringLiteral("direct"), translated("Direct printer")},
            {QStringLiteral("serial"), translated("Serial printer")},
            {QStringLiteral("network"), translated("Network printer")}};
}
} // namespace

AutodetectSelectionPage::AutodetectSelectionPage(QWidget *parent)
    : QWizardPage(parent)
{
    setTitle(translated("Select printer"));
    setSubTitle(translated("Select automatically founded printer in the list"));

    auto *searchingLabel = new QLabel(translated("Searching devices..."), this);
    searchingLabel->setObjectName(QStringLiteral("searchingLabel"));
    searchingLabel->setAlignment(Qt::AlignCenter);

    auto *group = new QGroupBox(translated("Select printer device"), this);
    deviceTree = new QTreeWidget(group);
    deviceTree->setObjectName(QStringLiteral("deviceTree"));
    deviceTree->setRootIsDecorated(false);
    deviceTree->setSortingEnabled(true);
    deviceTree->setHeaderLabels({translated("Name"), translated("Device class"), translated("Info"), translated("Device URI")});
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(deviceTree);

    stack = new QStackedWidget(this);
    stack->setObjectName(QStringLiteral("stack"));
    stack->insertWidget(SearchingIndex, searchingLabel);
    stack->insertWidget(DevicesIndex, group);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(stack);

    connect(deviceTree, &QTreeWidget::currentItemChanged, this, &AutodetectSelectionPage::completeChanged);
    connect(deviceTree, &QTreeWidget::itemDoubleClicked, this, &AutodetectSelectionPage::onItemDoubleClicked);

    using namespace Wizard;
    registerField(Field::IsAutodetectedPrinterSelected, this, "autodetectedPrinterSelected", SIGNAL(completeChanged()));
    registerField(Field::PrinterMakeAndModel, this, "makeAndModel", SIGNAL(printerMakeAndModelChanged()));
    registerField(Field::DeviceId, this, "deviceId");
}

AutodetectSelectionPage::~AutodetectSelectionPage() = default;

bool AutodetectSelectionPage::autodetectedPrinterSelected() const
{
    return deviceTree->currentItem() != nullptr;
}

QString AutodetectSelectionPage::makeAndModel() const
{
    return m_makeAndModel;
}

void AutodetectSelectionPage::setMakeAndModel(const QString &makeAndModel)
{
    if (makeAndModel != m_makeAndModel) {
        m_makeAndModel = makeAndModel;
        Q_EMIT printerMakeAndModelChanged();
    }
}

QString AutodetectSelectionPage::deviceId() const
{
    const QTreeWidgetItem *item = deviceTree->currentItem();
    return item ? item->data(NameColumn, DeviceIdRole).toString() : QString();
}

QString AutodetectSelectionPage::defaultQueueName(const QString &makeAndModel)
{
    static const QRegularExpression notInQueueNames(QStringLiteral("[\\ |\\/||\\#]"));
    return QString(makeAndModel).replace(notInQueueNames, QStringLiteral("_"));
}

void AutodetectSelectionPage::initializePage()
{
    // The page shows itself searching before the request blocks the event loop.
    stack->setCurrentIndex(SearchingIndex);
    QTimer::singleShot(0, this, &AutodetectSelectionPage::fillDevices);
}

bool AutodetectSelectionPage::isComplete() const
{
    // When the server found nothing, Next leads to choosing a device by hand.
    const bool nothingFound = stack->currentIndex() == DevicesIndex && deviceTree->topLevelItemCount() == 0;
    return autodetectedPrinterSelected() || nothingFound;
}

void AutodetectSelectionPage::onItemDoubleClicked()
{
    if (QWizard *frame = wizard()) {
        frame->next();
    }
}

void AutodetectSelectionPage::fillDevices()
{
    auto waitCursor = std::make_unique<WaitCursor>();
    stack->setCurrentIndex(SearchingIndex);
    deviceTree->clear();
    // Clearing drops the current row without a signal; Next must follow it.
    Q_EMIT completeChanged();

    Connection *connection = Connection::instance();
    connection->lock();
    const QList<QHash<QString, QVariant>> devices = connection->devices();
    const ipp_status_t status = Connection::lastError();
    connection->unlock();
    if (status != IPP_STATUS_OK) {
        waitCursor.reset(); // the box that follows waits for the user, not for us
        showFailure(status);
        return;
    }

    showDevices(devices);
    waitCursor.reset();
    stack->setCurrentIndex(DevicesIndex);
    Q_EMIT completeChanged();
}

void AutodetectSelectionPage::showDevices(const QList<QHash<QString, QVariant>> &devices)
{
    const QHash<QString, QString> classLabels = deviceClassLabels();
    for (const QHash<QString, QVariant> &device : devices) {
        addDevice(device, classLabels);
    }
    for (int column = 0; column < deviceTree->columnCount(); ++column) {
        deviceTree->resizeColumnToContents(column);
    }
}

void AutodetectSelectionPage::addDevice(const QHash<QString, QVariant> &device, const QHash<QString, QString> &classLabels)
{
    QString uri = attribute(device, Attr::DeviceUri);
    const QString hpUri = DriverWidget::hpUriFromDnssd(uri);
    if (!hpUri.isEmpty()) {
        uri = hpUri;
    }
    const QString decodedUri = QUrl::fromPercentEncoding(uri.toLatin1());
    // Backends may report one device more than once.
    if (!deviceTree->findItems(decodedUri, Qt::MatchExactly | Qt::MatchCaseSensitive, UriColumn).isEmpty()) {
        return;
    }
    const QString makeAndModel = attribute(device, Attr::DeviceMakeAndModel);
    const QString info = attribute(device, Attr::DeviceInfo);
    // Backends list their bare scheme as an "Unknown" device: nothing to print to.
    if (makeAndModel.isEmpty() || makeAndModel.toLower() == QLatin1String("unknown") || uri.isEmpty()) {
        return;
    }

    auto *item = new QTreeWidgetItem(deviceTree);
    item->setText(NameColumn, makeAndModel);
    item->setText(ClassColumn, classLabels.value(attribute(device, Attr::DeviceClass)));
    item->setText(InfoColumn, info);
    item->setText(UriColumn, decodedUri);
    item->setData(NameColumn, DeviceIdRole, attribute(device, Attr::DeviceId));
    item->setData(NameColumn, DeviceUriRole, uri);
    item->setData(NameColumn, MakeAndModelRole, makeAndModel);
    item->setData(NameColumn, DeviceInfoRole, info);
}

void AutodetectSelectionPage::showFailure(int status)
{
    MessageBox::show(this,
                     QMessageBox::Warning,
                     translated("Cups-Get-Devices failed!"),
                     ki18nd("libnorvik-print", "Can not get devices information from CUPS server!<b>CUPS error: %1").subs(QString::number(status)).toString());
    if (QWizard *frame = wizard()) {
        frame->reject();
    }
}

bool AutodetectSelectionPage::validatePage()
{
    qCDebug(CUPS_WIZARD) << Q_FUNC_INFO;
    const QTreeWidgetItem *item = deviceTree->currentItem();
    if (!item) {
        return false;
    }
    using namespace Wizard;
    setField(Field::DeviceUri, item->data(NameColumn, DeviceUriRole));
    if (field(Field::BackendEdit).toBool()) {
        return true; // only the printer's device changes
    }
    setMakeAndModel(item->data(NameColumn, MakeAndModelRole).toString());
    setField(Field::QueueName, defaultQueueName(m_makeAndModel));
    setField(Field::QueueDescription, item->data(NameColumn, DeviceInfoRole));
    qCDebug(CUPS_WIZARD, "device model: %s", qPrintable(m_makeAndModel));
    return true;
}
} // namespace CUPS

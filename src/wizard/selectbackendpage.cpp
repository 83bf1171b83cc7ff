#include "selectbackendpage.h"

#include "ippqueueselector.h"
#include "messagebox.h"
#include "scannetwork.h"
#include "wizardfields.h"
#include "wizardlogging.h"
#include "wizardtools.h"

#include <attributes.h>
#include <translation.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QSpacerItem>
#include <QTcpSocket>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <memory>

namespace CUPS
{
namespace
{
enum Column { LabelColumn = 0, UriColumn = 1 };

const QString Parallel = QStringLiteral("parallel");
const QString Serial = QStringLiteral("serial");
constexpr int UdevadmTimeoutMsecs = 30000;
constexpr int LpdTimeoutMsecs = 30000;

QString &sysfsPrinterFolder()
{
    static QString path = QStringLiteral("/sys/class/printer");
    return path;
}

QString &udevadmPath()
{
    static QString path = QStringLiteral("/sbin/udevadm");
    return path;
}

// The queue name travels inside the LPD request line, where a space ends it and a
// control character (a line feed above all) would start another command.
QString lpdQueueNameProblem(const QString &queue)
{
    if (queue.isEmpty()) {
        return translated("The LPD queue name is empty.");
    }
    for (const QChar c : queue) {
        if (c.isSpace() || c.category() == QChar::Other_Control) {
            return translated("An LPD queue name cannot contain spaces or control characters.");
        }
    }
    return {};
}

// A parsed URI is taken when it names a scheme and, except for a raw socket, a path.
QString acceptedForm(const QUrl &url)
{
    if (!url.isValid() || url.scheme().isEmpty()) {
        return {};
    }
    if (url.path(QUrl::FullyDecoded).isEmpty() && url.scheme() != QLatin1String("socket")) {
        return {};
    }
    return url.toString(QUrl::EncodeSpaces | QUrl::EncodeUnicode);
}

BackendTreeItem *asBackendItem(QTreeWidgetItem *item)
{
    return item && item->type() == BackendTreeItem::Type ? static_cast<BackendTreeItem *>(item) : nullptr;
}
} // namespace

BackendTreeItem::BackendTreeItem(const QStringList &texts, const QString &backend, bool canScan, bool uriEditable)
    : QTreeWidgetItem(texts, Type)
    , backend(backend)
    , canScan(canScan)
    , uriEditable(uriEditable)
{
}

SelectBackendPage::SelectBackendPage(QWidget *parent)
    : QWizardPage(parent)
{
    setupForm();
    setTitle(translated("Setup printer connection"));
    setSubTitle(translated("Specify printer Backend and URI"));
    // Connected once: initializePage() runs at every entry to the page.
    connect(backendTree, &QTreeWidget::itemExpanded, this, &SelectBackendPage::resizeColumns);
    connect(m_uriEdit, &QLineEdit::textEdited, this, &SelectBackendPage::updateUri);
}

SelectBackendPage::~SelectBackendPage() = default;

void SelectBackendPage::setupForm()
{
    setObjectName(QStringLiteral("SelectBackendWidget"));
    resize(473, 284);
    setWindowTitle(translated("Form"));

    auto *grid = new QGridLayout(this);
    grid->setObjectName(QStringLiteral("gridLayout_2"));
    auto *group = new QGroupBox(translated("Select Backend"), this);
    group->setObjectName(QStringLiteral("groupBox"));
    grid->addWidget(group, 0, 0);
    auto *column = new QVBoxLayout(group);
    column->setObjectName(QStringLiteral("verticalLayout"));

    backendTree = new QTreeWidget(group);
    backendTree->setObjectName(QStringLiteral("backendTree"));
    backendTree->setColumnCount(2);
    backendTree->setHeaderLabels({translated("Printer Connection"), translated("URI")});
    backendTree->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    backendTree->setSortingEnabled(false);
    backendTree->setWhatsThis(translated("Select printer connection type and URI using this tree."));
    // The form's placeholder rows; initializePage() replaces them with what the machine has.
    new QTreeWidgetItem(backendTree, {translated("Direct Connection")});
    new QTreeWidgetItem(backendTree, {translated("Network Connection")});
    new QTreeWidgetItem(backendTree, {translated("Enter Device URI")});
    column->addWidget(backendTree);

    auto *scanRow = new QHBoxLayout;
    scanRow->setObjectName(QStringLiteral("horizontalLayout_2"));
    scanRow->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    scanButton = new QPushButton(translated("Scan..."), group);
    scanButton->setObjectName(QStringLiteral("scanButton"));
    scanRow->addWidget(scanButton);
    column->addLayout(scanRow);

    auto *uriRow = new QHBoxLayout;
    uriRow->setObjectName(QStringLiteral("horizontalLayout"));
    auto *label = new QLabel(translated("Device URI:"), group);
    label->setObjectName(QStringLiteral("label"));
    m_uriEdit = new QLineEdit(group);
    m_uriEdit->setObjectName(QStringLiteral("m_uriEdit"));
    m_uriEdit->setReadOnly(true);
    label->setBuddy(m_uriEdit);
    uriRow->addWidget(label);
    uriRow->addWidget(m_uriEdit);
    column->addLayout(uriRow);

    QMetaObject::connectSlotsByName(this);
}

void SelectBackendPage::setSysfsPrinterFolder(const QString &path)
{
    sysfsPrinterFolder() = path;
}

void SelectBackendPage::setUdevadmPath(const QString &path)
{
    udevadmPath() = path;
}

void SelectBackendPage::initializePage()
{
    backendTree->clear();

    QList<QTreeWidgetItem *> groups;
    if (BackendTreeItem *parallel = parallelGroup()) {
        groups.append(parallel);
    }
    if (BackendTreeItem *serial = serialGroup()) {
        groups.append(serial);
    }
    if (!groups.isEmpty()) {
        auto *direct = new BackendTreeItem({translated("Direct connection")}, {}, false, false);
        backendTree->addTopLevelItem(direct);
        direct->addChildren(groups);
        for (QTreeWidgetItem *portGroup : qAsConst(groups)) {
            portGroup->setExpanded(true);
        }
        direct->setExpanded(true);
    }
    backendTree->addTopLevelItem(new BackendTreeItem({translated("Network printer")}, {}, true, true));
    backendTree->addTopLevelItem(new BackendTreeItem({translated("Custom device URI")}, {}, false, true));
    resizeColumns();

    scanButton->setVisible(!qEnvironmentVariableIsSet("ADMIN_PRINTER_HIDE_NETWORK_SEARCH"));
}

BackendTreeItem *SelectBackendPage::parallelGroup() const
{
    const QDir folder(sysfsPrinterFolder());
    if (!folder.exists()) {
        return nullptr;
    }
    const QStringList entries = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (entries.isEmpty()) {
        return nullptr;
    }
    auto *group = new BackendTreeItem({translated("Parallel Port's")}, Parallel, false, false);
    int number = 0;
    for (const QString &entry : entries) {
        const QString name = getDeviceName(folder.path() + QLatin1Char('/') + entry);
        const QString label = ki18nd("libnorvik-print", "Parallel Port#%1").subs(++number).toString();
        group->addChild(new BackendTreeItem({label, QStringLiteral("parallel://dev/%1").arg(name)}, Parallel, false, false));
    }
    group->sortChildren(LabelColumn, Qt::AscendingOrder);
    return group;
}

BackendTreeItem *SelectBackendPage::serialGroup() const
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    if (ports.isEmpty()) {
        return nullptr;
    }
    auto *group = new BackendTreeItem({translated("Serial Printer's")}, Serial, false, false);
    for (const QSerialPortInfo &port : ports) {
        group->addChild(new BackendTreeItem({translated("Serial port"), QStringLiteral("serial://%1").arg(port.systemLocation())}, Serial, false, false));
    }
    group->sortChildren(UriColumn, Qt::AscendingOrder);
    return group;
}

QString SelectBackendPage::getDeviceName(const QString &sysPath) const
{
    qCDebug(CUPS_WIZARD) << "parallel port:" << sysPath;
    QProcess udevadm;
    udevadm.start(udevadmPath(), {QStringLiteral("info"), QStringLiteral("--query=name"), QStringLiteral("--path=%1").arg(sysPath)}, QIODevice::ReadOnly);
    if (!finishesWithin(udevadm, UdevadmTimeoutMsecs)) {
        qCDebug(CUPS_WIZARD) << "udevadm info starting error:" << udevadm.errorString();
        return {};
    }
    if (udevadm.exitStatus() != QProcess::NormalExit || udevadm.exitCode() != 0) {
        qCDebug(CUPS_WIZARD) << "udevadm info failed with exit code" << udevadm.exitCode();
        return {};
    }
    return QString::fromLocal8Bit(udevadm.readLine()).trimmed();
}

void SelectBackendPage::resizeColumns()
{
    backendTree->resizeColumnToContents(LabelColumn);
    backendTree->resizeColumnToContents(UriColumn);
}

BackendTreeItem *SelectBackendPage::currentBackendItem() const
{
    return asBackendItem(backendTree->currentItem());
}

void SelectBackendPage::on_backendTree_currentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *)
{
    if (current) {
        const BackendTreeItem *item = asBackendItem(current);
        m_uriEdit->setReadOnly(!item || !item->uriEditable);
        m_uriEdit->setText(current->text(UriColumn));
        scanButton->setEnabled(item && item->canScan);
    }
    Q_EMIT completeChanged();
}

void SelectBackendPage::on_backendTree_itemDoubleClicked(QTreeWidgetItem *item)
{
    const BackendTreeItem *backendItem = asBackendItem(item);
    if (!scanButton->isHidden() && backendItem && backendItem->canScan) {
        on_scanButton_clicked();
    }
}

void SelectBackendPage::updateUri(const QString &text)
{
    const bool before = isComplete();
    BackendTreeItem *item = currentBackendItem();
    if (item && item->uriEditable) {
        item->setText(UriColumn, text);
    }
    if (validatePage() != before) {
        Q_EMIT completeChanged();
    }
}

bool SelectBackendPage::isComplete() const
{
    const QTreeWidgetItem *item = backendTree->currentItem();
    return item && !normalizeUri(item->text(UriColumn)).isEmpty();
}

QString SelectBackendPage::normalizeUri(const QString &text)
{
    if (text.isEmpty() || !text.contains(QLatin1String(":/"))) {
        return {};
    }
    QString uri = text;
    uri.replace(QLatin1Char(' '), QLatin1String("%20")).replace(QLatin1Char('#'), QLatin1String("%23"));

    // CUPS writes an IPv6 zone as "+zone" inside the host's brackets. QUrl
    // refuses most zones and misreads some ("+e" as one more group of the
    // address), so the zone is taken out before parsing and put back after.
    // The address may end in dotted decimal, as QUrl writes some.
    static const QRegularExpression zonedHost(QStringLiteral("^[^:/?#\\[\\]]+://(?:[^/?#\\[\\]@]*@)?\\[[a-z,0-9,:.]+(\\+[a-z,0-9]+)\\]"));
    const QRegularExpressionMatch zoned = zonedHost.match(uri);
    if (!zoned.hasMatch()) {
        return acceptedForm(QUrl(uri, QUrl::StrictMode));
    }
    const QString zone = zoned.captured(1);
    const QUrl url(uri.remove(zoned.capturedStart(1), zoned.capturedLength(1)), QUrl::StrictMode);
    QString accepted = acceptedForm(url);
    // The host's bracket follows the scheme, or the user name where there is one.
    int host = accepted.indexOf(QLatin1String("://")) + 3;
    if (!url.userInfo().isEmpty()) {
        host = accepted.indexOf(QLatin1Char('@'), host) + 1;
    }
    const int bracket = accepted.indexOf(QLatin1Char(']'), host);
    if (accepted.isEmpty() || host >= accepted.size() || accepted.at(host) != QLatin1Char('[') || bracket < 0) {
        return {};
    }
    return accepted.insert(bracket, zone);
}

void SelectBackendPage::on_scanButton_clicked()
{
    const BackendTreeItem *chosen = currentBackendItem();
    if (!chosen || chosen->backend == Parallel || chosen->backend == Serial) {
        return;
    }
    ScanNetwork dialog(this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QString address = dialog.address();
    const QString protocol = dialog.protocol();
    BackendTreeItem *item = currentBackendItem();
    if (!item) {
        return;
    }

    // Each scan replaces the queue attributes: those of an earlier IPP queue do not describe this device.
    QHash<QString, QString> attributes;
    if (protocol == QLatin1String("smb")) {
        item->setText(UriColumn, address);
    } else if (protocol == QLatin1String("socket")) {
        item->setText(UriColumn, QStringLiteral("socket://%1").arg(address));
    } else {
        QString queue;
        const QStringList ippProtocols{QStringLiteral("ipp"), QStringLiteral("http"), QStringLiteral("ipps"), QStringLiteral("https")};
        if (ippProtocols.contains(protocol)) {
            queue = selectIppQueue(address, attributes);
        } else if (protocol == QLatin1String("lpd")) {
            queue = getLpdQueue(address);
        }
        if (queue.isEmpty()) {
            return;
        }
        item->setText(UriColumn, QStringLiteral("%1://%2%3/%4").arg(protocol, dialog.userInfo(), address, queue));
    }
    item->setData(UriColumn, Qt::UserRole, QVariant::fromValue(attributes));
    m_uriEdit->setText(item->text(UriColumn));
    if (validatePage()) {
        Q_EMIT completeChanged();
    }
}

QString SelectBackendPage::selectIppQueue(const QString &address, QHash<QString, QString> &attributes)
{
    if (address.isEmpty()) {
        return {};
    }
    const std::unique_ptr<IppQueueSelector> selector(new IppQueueSelector(this, address));
    if (selector->exec() != QDialog::Accepted || selector->selectedQueue().isEmpty()) {
        return {};
    }
    attributes = selector->selectedAttributes();
    return QStringLiteral("printers/") + selector->selectedQueue();
}

QString SelectBackendPage::getLpdQueue(const QString &address)
{
    if (address.isEmpty()) {
        return {};
    }
    bool entered = false;
    const QString queue = QInputDialog::getText(this,
                                                translated("Enter Queue Name"),
                                                translated("Enter LPD queue name (case sensitive):\n"),
                                                QLineEdit::Normal,
                                                QString(),
                                                &entered);
    if (!entered) {
        return {};
    }
    const QString problem = lpdQueueNameProblem(queue);
    if (!problem.isEmpty()) {
        MessageBox::ask(this, QMessageBox::Critical, translated("Invalid queue name"), problem, QMessageBox::Ok);
        return {};
    }
    const QStringList parts = address.split(QLatin1Char(':'));
    bool isNumber = false;
    const quint16 port = parts.size() < 2 ? 0 : parts.at(1).toUShort(&isNumber);
    if (!isNumber || port == 0) {
        qCDebug(CUPS_WIZARD) << "no port in the LPD server's address" << address;
        return {};
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool answered = probeLpdQueue(parts.at(0), port, queue, LpdTimeoutMsecs, &error);
    QApplication::restoreOverrideCursor();
    if (!answered) {
        MessageBox::ask(this,
                        QMessageBox::Critical,
                        translated("Server connection error"),
                        ki18nd("libnorvik-print", "Failed to connect server.\n%1").subs(error).toString(),
                        QMessageBox::Ok);
        return {};
    }
    return queue;
}

bool SelectBackendPage::probeLpdQueue(const QString &host, quint16 port, const QString &queue, int timeoutMsecs, QString *error)
{
    const QString problem = lpdQueueNameProblem(queue);
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    // One deadline for connecting, sending and the answer: a silent server costs at most timeoutMsecs.
    const QDeadlineTimer deadline(timeoutMsecs);
    const auto remaining = [&deadline] {
        return int(qMax<qint64>(0, deadline.remainingTime()));
    };
    QTcpSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(remaining())) {
        *error = socket.errorString();
        socket.abort();
        return false;
    }
    socket.write(QByteArray(1, '\x03') + queue.toLocal8Bit() + '\n');
    QByteArray response;
    while (response.isEmpty() && socket.waitForReadyRead(remaining())) {
        response += socket.readAll();
    }
    response += socket.readAll();
    socket.abort();
    if (response.isEmpty()) {
        *error = translated("The LPD server did not answer the queue state request.");
        return false;
    }
    qCDebug(CUPS_WIZARD, "LPD server response was: \n%s", response.constData());
    return true;
}

bool SelectBackendPage::validatePage()
{
    qCDebug(CUPS_WIZARD) << Q_FUNC_INFO;
    using namespace Wizard;
    const QTreeWidgetItem *item = backendTree->currentItem();
    const QString uri = item ? normalizeUri(m_uriEdit->text()) : QString();
    setField(Field::DeviceUri, uri);
    if (!item || uri.isEmpty()) {
        return false;
    }
    const auto attributes = item->data(UriColumn, Qt::UserRole).value<QHash<QString, QString>>();
    if (!attributes.isEmpty()) {
        setField(Field::QueueName, attributes.value(Attr::PrinterName));
        setField(Field::QueueDescription, attributes.value(Attr::PrinterInfo));
        setField(Field::QueueLocation, attributes.value(Attr::PrinterLocation));
        setField(Field::QueueOrganization, attributes.value(Attr::PrinterOrganization));
        setField(Field::QueueOrganizationalUnit, attributes.value(Attr::PrinterOrganizationalUnit));
    }
    return true;
}
} // namespace CUPS

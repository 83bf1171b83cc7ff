#include "scannetwork.h"

#include "messagebox.h"
#include "wizardlogging.h"
#include "wizardtools.h"

#include <translation.h>

#include <veskhostaddress.h>

#include <KLocalizedString>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHostInfo>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTcpSocket>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace CUPS
{
namespace
{
const QString AuthenticateKey = QStringLiteral("SMBScan/Authenticate");

struct Protocol {
    const char *text;
    const char *key;
    QStringList ports;
};

const QList<Protocol> &protocols()
{
    static const QStringList web{QStringLiteral("631"), QStringLiteral("443"), QStringLiteral("80")};
    static const QList<Protocol> list{{"Internet Printing Protocol (ipp)", "ipp", web},
                                      {"Windows or Samba shared printer", "smb", {}},
                                      {"Internet Printing Protocol (ipps)", "ipps", web},
                                      {"Internet Printing Protocol (http)", "http", web},
                                      {"Internet Printing Protocol (https)", "https", web},
                                      {"Line Printer Daemon(UNIX)", "lpd", {QStringLiteral("515")}},
                                      {"AppSocket/JetDirect", "socket", {QStringLiteral("9100")}}};
    return list;
}

VeskHostAddress *hostAddress(QWidget *parent, const char *name)
{
    auto *address = named(new VeskHostAddress(parent), name);
    address->setToolTip(translated("Field for IPv4 address input and edit"));
    address->setWhatsThis(translated("The field to input and edit IPv4 address."));
    return address;
}
} // namespace

SmbServerItem::SmbServerItem(QTreeWidgetItem *parent, const SmbInfo &info)
    : QTreeWidgetItem(parent, Type)
    , info(info)
{
    setText(0, info.server.trimmed());
    setIcon(0, QIcon::fromTheme(QStringLiteral("system-file-manager")));
}

ScanNetwork::ScanNetwork(QWidget *parent)
    : QDialog(parent)
{
    setupForm();
    portBox->setValidator(new QIntValidator(0, 65535, portBox));
    // Inserted after the slots are connected, so the first one sets up its page.
    for (const Protocol &protocol : protocols()) {
        protocolComboBox->addItem(translated(protocol.text), QLatin1String(protocol.key));
    }

    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack)) {
            continue;
        }
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                const QString label = QStringLiteral("%1: %2").arg(interface.name(), entry.ip().toString());
                subnets.insert(label, entry);
                subnetBox->addItem(label);
            }
        }
    }
    connect(subnetBox, qOverload<int>(&QComboBox::currentIndexChanged), this, &ScanNetwork::onNetworkSelected);
    onNetworkSelected();

    doLoginCheckBox->setChecked(QSettings().value(AuthenticateKey, false).toBool());
    workgroupLineEdit->setText(smb.getWorkgroup());
}

ScanNetwork::~ScanNetwork() = default;

void ScanNetwork::setupForm()
{
    setObjectName(QStringLiteral("ScanNetwork"));
    setWindowTitle(translated("Network Printer Scan"));
    resize(667, 593);
    auto *layout = new QVBoxLayout(this);

    auto *protocolRow = new QHBoxLayout;
    protocolRow->setObjectName(QStringLiteral("horizontalLayout_12"));
    protocolRow->addWidget(new QLabel(translated("Network printer protocol:"), this));
    protocolComboBox = named(new QComboBox(this), "protocolComboBox");
    protocolRow->addWidget(protocolComboBox, 1);
    layout->addLayout(protocolRow);
    auto *line = named(new QFrame(this), "line");
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    stackedWidget = named(new QStackedWidget(this), "stackedWidget");
    layout->addWidget(stackedWidget, 1);

    // Page "network": what was found on the left, how to scan on the right.
    auto *network = named(new QWidget(stackedWidget), "network");
    auto *networkLayout = new QHBoxLayout(network);
    auto *splitter = named(new QSplitter(Qt::Horizontal, network), "splitter");
    networkLayout->addWidget(splitter);
    auto *foundPane = new QWidget(splitter);
    auto *foundLayout = new QVBoxLayout(foundPane);
    foundLayout->setContentsMargins(0, 0, 0, 0);
    foundLayout->addWidget(new QLabel(translated("Devices Found:"), foundPane));
    printerListWidget = named(new QListWidget(foundPane), "printerListWidget");
    printerListWidget->setSortingEnabled(true);
    foundLayout->addWidget(printerListWidget);

    auto *settingsPane = new QWidget(splitter);
    auto *settingsLayout = new QVBoxLayout(settingsPane);
    settingsLayout->setContentsMargins(0, 0, 0, 0);
    settingsLayout->addWidget(new QLabel(translated("Device Address:"), settingsPane));
    deviceAddress = named(new QLineEdit(settingsPane), "deviceAddress");
    settingsLayout->addWidget(deviceAddress);
    auto *scanSettings = named(new QGroupBox(translated("Scan Settings"), settingsPane), "groupBox_2");
    auto *scanForm = new QFormLayout(scanSettings);
    rangeButton = named(new QRadioButton(translated("IP range"), scanSettings), "rangeButton");
    rangeButton->setChecked(true);
    scanForm->addRow(rangeButton);
    waitTimeSpinBox = named(new QSpinBox(scanSettings), "waitTimeSpinBox");
    waitTimeSpinBox->setRange(1, 999999);
    waitTimeSpinBox->setSingleStep(10);
    waitTimeSpinBox->setValue(100);
    waitTimeSpinBox->setSuffix(translated(" ms."));
    scanForm->addRow(translated("Time to connect:"), waitTimeSpinBox);
    resolveCheckBox = named(new QCheckBox(translated("Resolve host name if possible"), scanSettings), "resolveCheckBox");
    scanForm->addRow(resolveCheckBox);
    scanForm->addRow(named(new QPushButton(translated("&Scan..."), scanSettings), "scanButton"));
    portBox = named(new QComboBox(scanSettings), "portBox");
    portBox->setEditable(true);
    scanForm->addRow(translated("Port:"), portBox);
    hostButton = named(new QRadioButton(translated("Host"), scanSettings), "hostButton");
    hostAddressEdit = named(new QLineEdit(scanSettings), "hostAddressEdit");
    hostAddressEdit->setEnabled(false);
    connect(hostButton, &QRadioButton::toggled, hostAddressEdit, &QLineEdit::setEnabled);
    scanForm->addRow(hostButton, hostAddressEdit);
    auto *subnetFrame = named(new QFrame(scanSettings), "subnetFrame_2");
    auto *subnetForm = new QFormLayout(subnetFrame);
    subnetForm->setContentsMargins(0, 0, 0, 0);
    subnetBox = named(new QComboBox(subnetFrame), "subnetBox");
    subnetForm->addRow(translated("SubNet:"), subnetBox);
    startAddress = hostAddress(subnetFrame, "startAddress");
    subnetForm->addRow(translated("Start:"), startAddress);
    endAddress = hostAddress(subnetFrame, "endAddress");
    subnetForm->addRow(translated("End:"), endAddress);
    scanForm->addRow(subnetFrame);
    settingsLayout->addWidget(scanSettings);
    settingsLayout->addStretch();
    stackedWidget->addWidget(network);

    // Page "samba": the workgroup / server / printer tree and the chosen share.
    auto *samba = named(new QWidget(stackedWidget), "samba");
    auto *sambaLayout = new QHBoxLayout(samba);
    auto *splitter2 = named(new QSplitter(Qt::Horizontal, samba), "splitter_2");
    sambaLayout->addWidget(splitter2);
    auto *treePane = new QWidget(splitter2);
    auto *treeLayout = new QVBoxLayout(treePane);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->addWidget(new QLabel(translated("Choose a printer:"), treePane));
    smbTreeWidget = named(new QTreeWidget(treePane), "smbTreeWidget");
    smbTreeWidget->setHeaderHidden(true);
    treeLayout->addWidget(smbTreeWidget);
    auto *sharePane = new QWidget(splitter2);
    auto *shareLayout = new QVBoxLayout(sharePane);
    shareLayout->setContentsMargins(0, 0, 0, 0);
    auto *shareForm = new QFormLayout;
    workgroupLineEdit = named(new QLineEdit(sharePane), "workgroupLineEdit");
    serverLineEdit = named(new QLineEdit(sharePane), "serverLineEdit");
    printerLineEdit = named(new QLineEdit(sharePane), "printerLineEdit");
    shareForm->addRow(translated("Workgroup:"), workgroupLineEdit);
    shareForm->addRow(translated("Server:"), serverLineEdit);
    shareForm->addRow(translated("Printer:"), printerLineEdit);
    shareLayout->addLayout(shareForm);
    auto *smbButtons = new QHBoxLayout;
    doLoginCheckBox = named(new QCheckBox(translated("Authenticate"), sharePane), "doLoginCheckBox");
    smbButtons->addWidget(doLoginCheckBox);
    smbButtons->addWidget(named(new QPushButton(translated("Scan network..."), sharePane), "scanButton_smb"));
    findPrintersButton = named(new QPushButton(translated("Find printers..."), sharePane), "findPrintersButton");
    findPrintersButton->setEnabled(false);
    smbButtons->addWidget(findPrintersButton);
    shareLayout->addLayout(smbButtons);
    shareLayout->addStretch();
    stackedWidget->addWidget(samba);

    authGroupBox = named(new QGroupBox(translated("Authentication"), this), "authGroupBox");
    authGroupBox->setCheckable(true);
    authGroupBox->setChecked(false);
    auto *authForm = new QFormLayout(authGroupBox);
    userLineEdit = named(new QLineEdit(authGroupBox), "userLineEdit");
    passwordLineEdit = named(new QLineEdit(authGroupBox), "passwordLineEdit");
    passwordLineEdit->setEchoMode(QLineEdit::Password);
    authForm->addRow(translated("User:"), userLineEdit);
    authForm->addRow(translated("Password:"), passwordLineEdit);
    layout->addWidget(authGroupBox);

    auto *buttonBox = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this), "buttonBox");
    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttonBox);

    QMetaObject::connectSlotsByName(this);
}

QString ScanNetwork::protocol() const
{
    return protocolComboBox->currentData().toString();
}

QString ScanNetwork::userInfo() const
{
    if (!authGroupBox->isChecked() || userLineEdit->text().isEmpty()) {
        return QString();
    }
    QString info = userLineEdit->text();
    if (!passwordLineEdit->text().isEmpty()) {
        info += QLatin1Char(':') + passwordLineEdit->text();
    }
    return info + QLatin1Char('@');
}

QString ScanNetwork::address() const
{
    if (protocol() != QLatin1String("smb")) {
        return deviceAddress->text();
    }
    if (printerLineEdit->text().isEmpty() || serverLineEdit->text().isEmpty()) {
        return QString();
    }
    QString uri = QStringLiteral("smb://") + userInfo();
    if (!workgroupLineEdit->text().isEmpty()) {
        uri += workgroupLineEdit->text() + QLatin1Char('/');
    }
    uri += QStringLiteral("%1/%2").arg(serverLineEdit->text(), printerLineEdit->text());
    return uri.replace(QLatin1Char(' '), QLatin1String("%20"));
}

QPair<quint32, quint32> ScanNetwork::hostRange(const QNetworkAddressEntry &subnet)
{
    const quint32 mask = subnet.netmask().toIPv4Address();
    const quint32 network = subnet.ip().toIPv4Address() & mask;
    return {network + 1, network + ~mask - 1};
}

void ScanNetwork::onNetworkSelected()
{
    const auto it = subnets.constFind(subnetBox->currentText());
    if (it == subnets.cend()) {
        return;
    }
    const QPair<quint32, quint32> range = hostRange(*it);
    startAddress->setAddress(QHostAddress(range.first));
    endAddress->setAddress(QHostAddress(range.second));
}

void ScanNetwork::on_protocolComboBox_currentIndexChanged(int index)
{
    if (index < 0) {
        return;
    }
    const Protocol &chosen = protocols().at(index);
    if (qstrcmp(chosen.key, "smb") == 0) {
        stackedWidget->setCurrentIndex(1);
        smbTreeWidget->clear();
        printerLineEdit->clear();
        serverLineEdit->clear();
        findPrintersButton->setEnabled(false);
        return;
    }
    stackedWidget->setCurrentIndex(0);
    deviceAddress->clear();
    printerListWidget->clear();
    portBox->clear();
    portBox->addItems(chosen.ports);
}

bool ScanNetwork::probe(const QHostAddress &address, quint16 port, int waitMsecs) const
{
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(address, port, QIODevice::ReadWrite);
    const bool found = socket.waitForConnected(waitMsecs);
    if (found) {
        socket.disconnectFromHost();
    }
    socket.abort();
    return found;
}

void ScanNetwork::addFound(const QHostAddress &address, quint16 port)
{
    printerListWidget->addItem(QStringLiteral("%1:%2").arg(address.toString()).arg(port));
    if (resolveCheckBox->isChecked()) {
        const int id = QHostInfo::lookupHost(address.toString(), this, &ScanNetwork::reverseLookedUp);
        lookups.insert(id, {address.toString(), port});
    }
}

void ScanNetwork::reverseLookedUp(const QHostInfo &info)
{
    const QPair<QString, quint16> found = lookups.take(info.lookupId());
    if (found.first.isEmpty() || info.error() != QHostInfo::NoError || info.hostName().isEmpty()) {
        return;
    }
    // The list may have been rebuilt meanwhile; then the answer has nothing to rename.
    const QString text = QStringLiteral("%1:%2").arg(found.first).arg(found.second);
    const QList<QListWidgetItem *> items = printerListWidget->findItems(text, Qt::MatchExactly);
    for (QListWidgetItem *item : items) {
        item->setText(QStringLiteral("%1:%2").arg(info.hostName()).arg(found.second));
    }
}

void ScanNetwork::on_scanButton_clicked()
{
    const quint16 port = portBox->currentText().toUShort();
    const int wait = waitTimeSpinBox->value();
    printerListWidget->clear();

    if (hostButton->isChecked() && !hostAddressEdit->text().isEmpty()) {
        const QHostInfo host = QHostInfo::fromName(hostAddressEdit->text());
        if (host.error() != QHostInfo::NoError || host.addresses().isEmpty()) {
            MessageBox::ask(this,
                            QMessageBox::Critical,
                            translated("Host Lookup Error"),
                            ki18nd("libnorvik-print", "Error in lookup for host '%1':\n%2").subs(hostAddressEdit->text()).subs(host.errorString()).toString(),
                            QMessageBox::Ok);
            return;
        }
        if (probe(host.addresses().constFirst(), port, wait)) {
            addFound(host.addresses().constFirst(), port);
        }
        return;
    }
    if (!rangeButton->isChecked()) {
        return;
    }
    if (!startAddress->isValid()) {
        MessageBox::ask(this, QMessageBox::Critical, translated("Invalid IP address!"), translated("Start of range address is not correct!"), QMessageBox::Ok);
        return;
    }
    if (!endAddress->isValid()) {
        MessageBox::ask(this, QMessageBox::Critical, translated("Invalid IP address!"), translated("End of range address is not correct!"), QMessageBox::Ok);
        return;
    }
    const quint32 start = startAddress->address().toIPv4Address();
    const quint32 end = endAddress->address().toIPv4Address();
    if (end < start) {
        return;
    }
    QProgressDialog progress(translated("Scanning network..."), translated("Stop scan"), 0, int(end - start), this);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(500);
    // 64-bit, so a range ending at 255.255.255.255 still ends.
    for (quint64 current = start; current <= end; ++current) {
        if (progress.wasCanceled()) {
            break;
        }
        const QHostAddress address(quint32(current & 0xffffffffu));
        if (probe(address, port, wait)) {
            addFound(address, port);
        }
        QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
        progress.setValue(int(current - start + 1));
    }
    progress.setValue(progress.maximum());
}

void ScanNetwork::on_printerListWidget_currentItemChanged(QListWidgetItem *current, QListWidgetItem *)
{
    if (current) {
        deviceAddress->setText(current->text());
    }
}

void ScanNetwork::storeAuthenticate()
{
    QSettings().setValue(AuthenticateKey, doLoginCheckBox->isChecked());
}

void ScanNetwork::on_scanButton_smb_clicked()
{
    if (!smb.checkNetBios()) {
        MessageBox::show(this,
                         QMessageBox::Warning,
                         translated("Warning"),
                         translated("NetBIOS support is disabled in <b>smb.conf</b>.<br>Try to enable it before usage."));
        return;
    }
    storeAuthenticate();
    WaitCursor waitCursor(this);
    smbTreeWidget->clear();
    QCoreApplication::processEvents();
    const QList<SmbInfo> hosts = smb.getSmbList(workgroupLineEdit->text(), true);
    for (const SmbInfo &host : hosts) {
        const QString workgroup = host.workgroup.trimmed();
        QTreeWidgetItem *group = nullptr;
        for (int i = 0; i < smbTreeWidget->topLevelItemCount() && !group; ++i) {
            if (smbTreeWidget->topLevelItem(i)->text(0).compare(workgroup, Qt::CaseInsensitive) == 0) {
                group = smbTreeWidget->topLevelItem(i);
            }
        }
        if (!group) {
            group = new QTreeWidgetItem(smbTreeWidget, QStringList{workgroup}, WorkgroupItem);
            group->setIcon(0, QIcon::fromTheme(QStringLiteral("samba")));
        }
        new SmbServerItem(group, host);
    }
}

void ScanNetwork::on_smbTreeWidget_itemSelectionChanged()
{
    const QList<QTreeWidgetItem *> selected = smbTreeWidget->selectedItems();
    if (selected.isEmpty()) {
        findPrintersButton->setEnabled(false);
        return;
    }
    const QTreeWidgetItem *item = selected.constFirst();
    if (item->type() == PrinterItem) {
        printerLineEdit->setText(item->text(0));
        serverLineEdit->setText(item->text(1));
        workgroupLineEdit->setText(item->text(2));
    }
    findPrintersButton->setEnabled(item->type() == ServerItem);
}

void ScanNetwork::on_findPrintersButton_clicked()
{
    if (QTreeWidgetItem *item = smbTreeWidget->currentItem()) {
        on_smbTreeWidget_itemDoubleClicked(item, 0);
    }
}

void ScanNetwork::on_smbTreeWidget_itemDoubleClicked(QTreeWidgetItem *item, int)
{
    if (!item || item->type() != ServerItem) {
        return;
    }
    qDeleteAll(item->takeChildren());
    SmbInfo info = static_cast<SmbServerItem *>(item)->info;
    storeAuthenticate();
    QString user;
    QString password;
    if (doLoginCheckBox->isChecked()) {
        QDialog login(this);
        login.setObjectName(QStringLiteral("SmbLogin"));
        login.setWindowTitle(translated("Server Login"));
        login.resize(297, 190);
        auto *form = new QFormLayout(&login);
        form->addRow(new QLabel(translated("<h2>Login server</h2>"), &login));
        auto *serverName = named(new QLineEdit(info.server.trimmed(), &login), "serverName_");
        serverName->setEnabled(false);
        auto *userName = named(new QLineEdit(&login), "userName_");
        auto *secret = named(new QLineEdit(&login), "password_");
        secret->setEchoMode(QLineEdit::Password);
        form->addRow(translated("<b>Server:</b>"), serverName);
        form->addRow(translated("<b>User:</b>"), userName);
        form->addRow(translated("<b>Password:</b>"), secret);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, &login);
        connect(buttons, &QDialogButtonBox::accepted, &login, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, &login, &QDialog::reject);
        form->addRow(buttons);
        if (login.exec() == QDialog::Accepted) {
            user = userName->text();
            password = secret->text();
        }
    }

    {
        WaitCursor waitCursor(this);
        QCoreApplication::processEvents();
        bool listed = smb.getPrinters(&info, user, password);
        // Servers that refuse anonymous listing often let a guest look.
        if (listed && info.printers.isEmpty() && user.isEmpty()) {
            listed = smb.getPrinters(&info, QStringLiteral("guest"), password);
        }
        if (listed && info.printers.isEmpty()) {
            MessageBox::ask(this, QMessageBox::Information, translated("Printer list"), translated("No printer found."), QMessageBox::Ok);
        }
        for (const QString &printer : qAsConst(info.printers)) {
            auto *child = new QTreeWidgetItem(item, QStringList{printer.trimmed(), info.server.trimmed(), info.workgroup.trimmed()}, PrinterItem);
            child->setIcon(0, QIcon::fromTheme(QStringLiteral("printer")));
        }
    }
    item->setExpanded(true);
}
} // namespace CUPS

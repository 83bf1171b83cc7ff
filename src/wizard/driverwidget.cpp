#include "driverwidget.h"

#include "wizardlogging.h"
#include "wizardtools.h"

#include <attributes.h>
#include <translation.h>
#include <utils.h>

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTextEdit>
#include <QUrl>
#include <QVBoxLayout>

namespace CUPS
{
namespace
{
// The record keys as QStrings once: the lookups run for thousands of records per keystroke.
const QString s_ppdName = Attr::PpdName;
const QString s_ppdMakeAndModel = Attr::PpdMakeAndModel;
const QString s_ppdNaturalLanguage = Attr::PpdNaturalLanguage;

constexpr int HpMakeUriTimeoutMsecs = 2000;
// Avahi gives up resolving after about 5 s itself; a hung daemon must not hold the window longer.
constexpr int AvahiResolveTimeoutMsecs = 6000;

QString &hpMakeUriProgram()
{
    static QString program = QStringLiteral("/usr/bin/hp-makeuri");
    return program;
}

// The attribute hash a PPD record holds, read in place instead of copied out of the QVariant.
const QHash<QString, QVariant> &recordAttributes(const QVariant &record)
{
    static const QHash<QString, QVariant> none;
    if (record.userType() != QMetaType::QVariantHash) {
        return none;
    }
    return *static_cast<const QHash<QString, QVariant> *>(record.constData());
}

QString firstString(const QHash<QString, QVariant> &attributes, const QString &name)
{
    return Utils::getAttribute(attributes, name, QVariant()).toString();
}

// HPLIP lists each PPD again under numbered back-ends ("hplip:1/...") and as
// hpcups.drv; the user picks among the remaining names.
bool isRepeatedPpdName(const QString &ppdName)
{
    static const QRegularExpression numberedBackend(QStringLiteral("^[a-z,\\-]*:[1-9]/.*"));
    return ppdName.startsWith(QLatin1String("drv:///hpcups.drv")) || numberedBackend.match(ppdName).hasMatch();
}

QString modelText(const QString &makeAndModel, const QVariant &languages)
{
    const QStringList list = languages.toStringList();
    if (list.isEmpty() || (list.size() == 1 && list.first() == QLatin1String("en"))) {
        return makeAndModel;
    }
    return QStringLiteral("%1 (%2)").arg(makeAndModel, list.join(QLatin1Char(',')));
}

bool hasModelContaining(const QVariantList &records, const QString &text)
{
    for (const QVariant &record : records) {
        const QString makeAndModel = firstString(recordAttributes(record), s_ppdMakeAndModel);
        if (!makeAndModel.isEmpty() && makeAndModel.contains(text, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

bool offersEverywhere(const QString &deviceUri)
{
    for (const char *prefix : {"ipp://", "ipps://", "dnssd://"}) {
        if (deviceUri.startsWith(QLatin1String(prefix))) {
            return true;
        }
    }
    return deviceUri.contains(QLatin1String("_ipp._tcp")) || deviceUri.contains(QLatin1String("_ipps._tcp"));
}

// The host label Avahi resolves the service to, or its address; empty on failure.
QString resolveServiceHost(const QStringList &parts)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Avahi"),
                                                       QStringLiteral("/"),
                                                       QStringLiteral("org.freedesktop.Avahi.Server"),
                                                       QStringLiteral("ResolveService"));
    const int anyInterface = -1;
    const int anyProtocol = -1;
    const uint noFlags = 0;
    const QString type = parts.at(1) + QLatin1Char('.') + parts.at(2);
    call << anyInterface << anyProtocol << parts.at(0) << type << parts.at(3) << anyProtocol << noFlags;
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::AutoDetect, AvahiResolveTimeoutMsecs);
    const QVariantList values = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || values.size() < 8) {
        qCDebug(CUPS_WIZARD) << "Avahi did not resolve" << parts << reply.errorName() << reply.errorMessage();
        return QString();
    }
    const QString host = values.at(5).toString().section(QLatin1Char('.'), 0, 0);
    return host.isEmpty() ? values.at(7).toString() : host;
}

QString hpUriOfHost(const QString &target)
{
    QProcess process;
    process.start(hpMakeUriProgram(), {QStringLiteral("-c"), target}, QIODevice::ReadWrite);
    if (!finishesWithin(process, HpMakeUriTimeoutMsecs)) {
        qCDebug(CUPS_WIZARD) << hpMakeUriProgram() << "did not finish:" << process.errorString();
        return QString();
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qCDebug(CUPS_WIZARD) << hpMakeUriProgram() << "failed with exit code" << process.exitCode();
        return QString();
    }
    const QByteArray line = process.readLine().trimmed();
    const QString answer = QString::fromLocal8Bit(line.constData()); // up to a NUL byte, as C text
    return answer.startsWith(QLatin1String("hp:")) ? answer : QString();
}

} // namespace

DriverWidget::DriverWidget(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(translated("Filter"), this));
    filterEdit = named(new QLineEdit(this), "filterEdit");
    filterEdit->setClearButtonEnabled(true);
    filterRow->addWidget(filterEdit);
    layout->addLayout(filterRow);

    outerSplitter = named(new QSplitter(Qt::Vertical, this), "outerSplitter");
    layout->addWidget(outerSplitter);
    auto *browsePane = new QWidget(outerSplitter);
    auto *browseLayout = new QVBoxLayout(browsePane);
    browseLayout->setContentsMargins(0, 0, 0, 0);
    innerSplitter = named(new QSplitter(Qt::Horizontal, browsePane), "innerSplitter");
    vendorList = named(new QListWidget(innerSplitter), "vendorList");
    modelList = named(new QListWidget(innerSplitter), "modelList");
    innerSplitter->setStretchFactor(1, 3);
    browseLayout->addWidget(innerSplitter, 1);
    everywhereCheckBox = named(new QCheckBox(translated("Use IPP Everywhere driver"), browsePane), "everywhereCheckBox");
    browseLayout->addWidget(everywhereCheckBox);
    auto *buttonRow = new QHBoxLayout;
    infoButton = named(new QPushButton(translated("Info"), browsePane), "infoButton");
    infoButton->setCheckable(true);
    buttonRow->addWidget(infoButton);
    buttonRow->addStretch();
    fromFileButton = named(new QPushButton(translated("From file..."), browsePane), "fromFileButton");
    fromFileButton->setToolTip(translated("Select driver from file"));
    buttonRow->addWidget(fromFileButton);
    browseLayout->addLayout(buttonRow);

    infoGroup = named(new QGroupBox(translated("Driver info"), outerSplitter), "infoGroup");
    auto *infoLayout = new QHBoxLayout(infoGroup);
    infoText = named(new QTextEdit(infoGroup), "infoText");
    infoText->setReadOnly(true);
    infoLayout->addWidget(infoText);
    infoGroup->hide();

    connect(vendorList, &QListWidget::currentItemChanged, this, &DriverWidget::onCurrentVendorChanged);
    connect(modelList, &QListWidget::currentItemChanged, this, &DriverWidget::onCurrentModelChanged);
    connect(infoButton, &QPushButton::toggled, this, &DriverWidget::onInfoButtonToggled);
    connect(fromFileButton, &QPushButton::clicked, this, &DriverWidget::onPpdFromFileButtonPressed);
    connect(filterEdit, &QLineEdit::textChanged, this, &DriverWidget::onFilterTextChanged);
    // The IPP Everywhere driver needs no model, filter, info or file.
    for (QWidget *widget : {static_cast<QWidget *>(innerSplitter), static_cast<QWidget *>(filterEdit), static_cast<QWidget *>(infoButton), static_cast<QWidget *>(fromFileButton)}) {
        connect(everywhereCheckBox, &QCheckBox::toggled, widget, &QWidget::setDisabled);
    }
}

DriverWidget::~DriverWidget() = default;

void DriverWidget::setDeviceAndPpds(const QString &deviceUri, const QMap<QString, QList<QVariant>> &ppdsByMake)
{
    const bool everywhere = offersEverywhere(deviceUri);
    everywhereCheckBox->setVisible(everywhere);
    if (!everywhere) {
        // A hidden box cannot be unchecked by the user, so it must not decide the driver.
        everywhereCheckBox->setChecked(false);
    }
    for (auto it = ppdsByMake.cbegin(); it != ppdsByMake.cend(); ++it) {
        auto *item = new QListWidgetItem(it.key());
        item->setData(Qt::UserRole, QVariant(it.value()));
        vendorList->addItem(item);
    }
}

bool DriverWidget::selectPpd(const QString &ppdName)
{
    if (ppdName.isEmpty()) {
        return false;
    }
    for (int row = 0; row < vendorList->count(); ++row) {
        QListWidgetItem *vendor = vendorList->item(row);
        if (vendor->isHidden()) {
            continue;
        }
        const QVariantList records = vendor->data(Qt::UserRole).toList();
        for (const QVariant &record : records) {
            const QHash<QString, QVariant> &attributes = recordAttributes(record);
            const QVariant makeAndModel = Utils::getAttribute(attributes, s_ppdMakeAndModel, QVariant());
            if (!makeAndModel.isValid() || firstString(attributes, s_ppdName) != ppdName) {
                continue;
            }
            vendorList->setCurrentItem(vendor);
            return selectModel(makeAndModel.toString(), ppdName);
        }
    }
    return false;
}

bool DriverWidget::selectModel(const QString &makeAndModel, const QString &ppdName)
{
    // A hidden PPD (hpcups.drv) is shown by a listed one of the same make and
    // model; a listed PPD itself wins over its twins so the driver stays as it was.
    const QList<QListWidgetItem *> items = modelList->findItems(makeAndModel, Qt::MatchStartsWith);
    if (items.isEmpty()) {
        return false;
    }
    QListWidgetItem *choice = items.first();
    for (QListWidgetItem *item : items) {
        if (item->data(Qt::ToolTipRole).toString() == ppdName) {
            choice = item;
            break;
        }
    }
    modelList->setCurrentItem(choice);
    // Thousands of rows: the choice must be in sight when the dialog opens.
    modelList->scrollToItem(choice, QAbstractItemView::PositionAtCenter);
    return true;
}

QString DriverWidget::selectedPpdName() const
{
    if (everywhereCheckBox->isChecked()) {
        return QStringLiteral("everywhere");
    }
    const QListWidgetItem *current = modelList->currentItem();
    if (!current || current->isHidden()) {
        return QString();
    }
    const QVariant record = current->data(Qt::UserRole);
    return firstString(recordAttributes(record), s_ppdName);
}

QString DriverWidget::ppdFileName() const
{
    return ppdFile;
}

QStringList DriverWidget::dnssdServiceParts(const QString &uri)
{
    const QLatin1String scheme("dnssd://");
    if (!uri.startsWith(scheme)) {
        return {};
    }
    const QString rest = uri.mid(scheme.size());
    const QString service = QUrl::fromPercentEncoding(rest.left(rest.indexOf(QLatin1Char('/'))).toUtf8());
    return service.split(QLatin1Char('.'), Qt::KeepEmptyParts);
}

QString DriverWidget::hpUriFromDnssd(const QString &uri)
{
    const QStringList parts = dnssdServiceParts(uri);
    if (parts.size() != 4) {
        qCDebug(CUPS_WIZARD) << "Not a DNS-SD service URI of name, type and domain:" << uri;
        return QString();
    }
    const QString target = resolveServiceHost(parts);
    return target.isEmpty() ? QString() : hpUriOfHost(target);
}

void DriverWidget::setHpMakeUriProgram(const QString &program)
{
    hpMakeUriProgram() = program;
}

void DriverWidget::onInfoButtonToggled(bool state)
{
    infoGroup->setVisible(state);
    outerSplitter->refresh();
}

void DriverWidget::onFilterTextChanged(const QString &text)
{
    QListWidgetItem *firstVisible = nullptr;
    for (int row = 0; row < vendorList->count(); ++row) {
        QListWidgetItem *vendor = vendorList->item(row);
        vendor->setHidden(!text.isEmpty() && !hasModelContaining(vendor->data(Qt::UserRole).toList(), text));
        if (!firstVisible && !vendor->isHidden()) {
            firstVisible = vendor;
        }
    }
    QListWidgetItem *current = vendorList->currentItem();
    if ((current && !current->isHidden()) || current == firstVisible) {
        onCurrentVendorChanged(current, nullptr);
    } else {
        vendorList->setCurrentItem(firstVisible); // refills the model list through the signal
    }
}

void DriverWidget::onCurrentVendorChanged(QListWidgetItem *current, QListWidgetItem *)
{
    // Thousands of items: no signal or repaint per item.
    const QSignalBlocker blocker(modelList);
    modelList->setUpdatesEnabled(false);
    modelList->clear();
    infoText->clear();
    if (current) {
        fillModelList(current->data(Qt::UserRole).toList());
    }
    modelList->setUpdatesEnabled(true);
}

void DriverWidget::fillModelList(const QVariantList &records)
{
    const QString filter = filterEdit->text();
    QString previousMakeAndModel;
    QString previousName;
    for (const QVariant &record : records) {
        const QHash<QString, QVariant> &attributes = recordAttributes(record);
        const QString makeAndModel = firstString(attributes, s_ppdMakeAndModel);
        if (makeAndModel.isEmpty() || (!filter.isEmpty() && !makeAndModel.contains(filter, Qt::CaseInsensitive))) {
            continue;
        }
        const QString ppdName = firstString(attributes, s_ppdName);
        // Equal records have equal names too, so this also drops a record repeated as a whole.
        if (isRepeatedPpdName(ppdName) || (makeAndModel == previousMakeAndModel && ppdName == previousName)) {
            continue;
        }
        // Filled before it joins the list, so setting its data notifies nobody.
        auto *item = new QListWidgetItem(modelText(makeAndModel, attributes.value(s_ppdNaturalLanguage)));
        item->setData(Qt::UserRole, record);
        item->setData(Qt::ToolTipRole, ppdName);
        modelList->addItem(item);
        previousMakeAndModel = makeAndModel;
        previousName = ppdName;
    }
}

void DriverWidget::onCurrentModelChanged(QListWidgetItem *current, QListWidgetItem *)
{
    infoText->clear();
    if (!current) {
        return;
    }
    const QVariant record = current->data(Qt::UserRole);
    const QHash<QString, QVariant> &attributes = recordAttributes(record);
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        // Server text, shown as text even where it holds "<" or "&".
        const QString values = it.value().toStringList().join(QLatin1Char(','));
        infoText->append(QStringLiteral("<b>%1</b>: %2").arg(it.key().toHtmlEscaped(), values.toHtmlEscaped()));
    }
}

void DriverWidget::onPpdFromFileButtonPressed()
{
    // A cancelled dialog clears an earlier choice as well.
    ppdFile = QFileDialog::getOpenFileName(this, translated("Select file..."), QDir::rootPath(), translated("ppd files (*.ppd)"));
    if (!ppdFile.isEmpty()) {
        Q_EMIT ppdFileSelected();
    }
}
} // namespace CUPS

#include "ippqueueselector.h"

#include "wizardlogging.h"
#include "wizardtools.h"

#include <attributes.h>
#include <translation.h>

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPair>
#include <QScopeGuard>
#include <QTreeWidget>

#include <cups/cups.h>

#include <memory>

namespace CUPS
{
namespace
{
enum Column { QueueColumn, TypeColumn, LocationColumn, DescriptionColumn, CapabilitiesColumn };

using NamedBits = QList<QPair<uint, QString>>;

// The printer-type bits that say what a queue is, in the order the Type column lists them.
NamedBits typeBits()
{
    return {{CUPS_PRINTER_CLASS, translated("Printer Class")},
            {CUPS_PRINTER_DEFAULT, translated("Default")},
            {CUPS_PRINTER_IMPLICIT, translated("Implicit Class")},
            {CUPS_PRINTER_FAX, translated("Fax device")}};
}

// The printer-type bits that say what a queue can do, in the order the Capabilities column lists them.
NamedBits capabilityBits()
{
    return {{CUPS_PRINTER_REMOTE, translated("Remote")},
            {CUPS_PRINTER_BW, translated("Can do B&W printing")},
            {CUPS_PRINTER_COLOR, translated("Can do color printing")},
            {CUPS_PRINTER_DUPLEX, translated("Can do duplexing")},
            {CUPS_PRINTER_STAPLE, translated("Can staple output")},
            {CUPS_PRINTER_COPIES, translated("Can do copies")},
            {CUPS_PRINTER_COLLATE, translated("Can collate copies")},
            {CUPS_PRINTER_PUNCH, translated("Can punch output")},
            {CUPS_PRINTER_COVER, translated("Can cover output")},
            {CUPS_PRINTER_BIND, translated("Can bind output")},
            {CUPS_PRINTER_SORT, translated("Can sort output")},
            {CUPS_PRINTER_SMALL, translated("Can do Letter/Legal/A4")},
            {CUPS_PRINTER_MEDIUM, translated("Can do Tabloid/B/C/A3/A2")},
            {CUPS_PRINTER_LARGE, translated("Can do D/E/A1/A0")},
            {CUPS_PRINTER_VARIABLE, translated("Can do variable sizes")}};
}

QStringList textsOfSetBits(uint type, const NamedBits &bits)
{
    QStringList texts;
    for (const auto &[bit, text] : bits) {
        if (type & bit) {
            texts.append(text);
        }
    }
    return texts;
}

struct DestsDeleter {
    int count = 0;
    void operator()(cups_dest_t *dests) const
    {
        cupsFreeDests(count, dests);
    }
};
using DestsPtr = std::unique_ptr<cups_dest_t, DestsDeleter>;

QString option(const cups_dest_t &dest, QLatin1String name)
{
    return QString::fromUtf8(cupsGetOption(name.data(), dest.num_options, dest.options));
}

QHash<QString, QString> attributesOf(const cups_dest_t &dest)
{
    QHash<QString, QString> attributes{{Attr::PrinterName, QString::fromUtf8(dest.name)}};
    for (int i = 0; i < dest.num_options; ++i) {
        attributes.insert(QString::fromLatin1(dest.options[i].name), QString::fromUtf8(dest.options[i].value));
    }
    return attributes;
}

QString organizationToolTip(const cups_dest_t &dest)
{
    QStringList lines;
    const QString organization = option(dest, Attr::PrinterOrganization);
    if (!organization.isEmpty()) {
        lines.append(translated("Organization: %1").arg(organization));
    }
    const QString unit = option(dest, Attr::PrinterOrganizationalUnit);
    if (!unit.isEmpty()) {
        lines.append(translated("Organizational unit: %1").arg(unit));
    }
    return lines.join(QStringLiteral("<br>"));
}

// Back to what libcups used before: its own default when that was in use, else the server the host chose.
void restoreServer(const QByteArray &server, int port)
{
    cupsSetServer(nullptr);
    if (QByteArray(cupsServer()) != server || ippPort() != port) {
        cupsSetServer(server.constData());
        ippSetPort(port);
    }
}
} // namespace

IppQueueSelector::IppQueueSelector(QWidget *parent, const QString &server)
    : QDialog(parent)
    , m_server(server)
{
    setObjectName(QStringLiteral("IppQueueSelector"));
    setWindowTitle(translated("Queue Selection"));
    resize(890, 482);

    auto *label = new QLabel(translated("<h3>Select Queue From List:</h3>"), this);
    label->setObjectName(QStringLiteral("label"));
    queuesTreeWidget = new QTreeWidget(this);
    queuesTreeWidget->setObjectName(QStringLiteral("queuesTreeWidget"));
    queuesTreeWidget->setDropIndicatorShown(false);
    queuesTreeWidget->setRootIsDecorated(false);
    queuesTreeWidget->setItemsExpandable(false);
    queuesTreeWidget->setExpandsOnDoubleClick(false);
    queuesTreeWidget->setHeaderLabels(
        {translated("Queue"), translated("Type"), translated("Location"), translated("Description"), translated("Capabilities")});
    auto *buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(queuesTreeWidget, 1, 0);
    layout->addWidget(buttonBox, 2, 0);

    fill();
}

IppQueueSelector::~IppQueueSelector() = default;

QString IppQueueSelector::selectedQueue() const
{
    const QTreeWidgetItem *current = queuesTreeWidget->currentItem();
    return current ? current->text(QueueColumn) : QString();
}

QHash<QString, QString> IppQueueSelector::selectedAttributes() const
{
    const QTreeWidgetItem *current = queuesTreeWidget->currentItem();
    return current ? current->data(QueueColumn, Qt::UserRole).value<QHash<QString, QString>>() : QHash<QString, QString>();
}

void IppQueueSelector::fill()
{
    // An empty name would make libcups ask its own server, whose queues are no remote queues.
    if (m_server.trimmed().isEmpty()) {
        return;
    }
    const WaitCursor waitCursor;
    // libcups keeps one server per thread, so only this thread's requests go elsewhere meanwhile.
    const QByteArray previousServer = cupsServer();
    const int previousPort = ippPort();
    cupsSetServer(m_server.toLocal8Bit().constData());
    const auto restore = qScopeGuard([&previousServer, previousPort] {
        restoreServer(previousServer, previousPort);
    });

    cups_dest_t *fetched = nullptr;
    const int count = cupsGetDests(&fetched);
    const DestsPtr dests(fetched, DestsDeleter{count});
    qCDebug(CUPS_WIZARD) << "queues of" << m_server << count << cupsLastErrorString();

    const NamedBits types = typeBits();
    const NamedBits capabilities = capabilityBits();
    for (int i = 0; i < count; ++i) {
        const cups_dest_t &dest = dests.get()[i];
        QStringList typeTexts;
        if (dest.is_default) {
            typeTexts.append(translated("Default"));
        }
        QStringList capabilityTexts;
        bool hasType = false;
        const uint type = QByteArray(cupsGetOption(Attr::PrinterType.data(), dest.num_options, dest.options)).toUInt(&hasType);
        if (hasType) {
            typeTexts += textsOfSetBits(type, types);
            capabilityTexts = textsOfSetBits(type, capabilities);
        }
        const QString capabilityText = capabilityTexts.join(QStringLiteral(", "));
        auto *item = new QTreeWidgetItem({QString::fromUtf8(dest.name), typeTexts.join(QStringLiteral(", ")), option(dest, Attr::PrinterLocation),
                                          option(dest, Attr::PrinterInfo), capabilityText});
        item->setToolTip(QueueColumn, organizationToolTip(dest));
        item->setToolTip(CapabilitiesColumn, capabilityText);
        item->setData(QueueColumn, Qt::UserRole, QVariant::fromValue(attributesOf(dest)));
        queuesTreeWidget->addTopLevelItem(item);
    }
}
} // namespace CUPS

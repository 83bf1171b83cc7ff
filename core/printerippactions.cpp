#include "printerippactions.h"

#include "attributes.h"
#include "connection.h"
#include "corelogging.h"
#include "ipprequest.h"
#include "lpoptions.h"
#include "printerlistmodel.h"
#include "printerrequest.h"
#include "utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QUrl>

#include <optional>

#include <cups/cups.h>
#include <cups/ppd.h>

namespace CUPS
{
namespace
{
// CUPS names may hold any printable character but space, tab, "/" and "#";
// the lpoptions file separates its fields by those.
bool isValidDestinationName(const QString &name)
{
    static const QRegularExpression invalid(QStringLiteral("[\\s/#\\\\'\"]|[\\x00-\\x1f\\x7f]"));
    return !name.isEmpty() && name.size() <= 127 && !name.contains(invalid);
}

// Refuses an invalid name before anything reaches the server.
bool checkDestinationName(const QString &name)
{
    if (isValidDestinationName(name)) {
        return true;
    }
    Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("Invalid destination name \"%1\"").arg(name));
    return false;
}

// Whether the server has a queue at uri; nothing when it could not tell (the
// request's error is kept). Any successful answer means cupsd found the queue.
std::optional<bool> queueExists(const QString &uri)
{
    PrinterIppActions::instance()->destAttrs(uri, {Attr::PrinterName});
    if (Connection::lastError() == IPP_STATUS_ERROR_NOT_FOUND) {
        return false;
    }
    if (Connection::lastError() < IPP_STATUS_ERROR_BAD_REQUEST) {
        return true;
    }
    return std::nullopt;
}

struct QueueTexts {
    QString location;
    QString description;
    QString organization;
    QString organizationalUnit;
};

// The settings addPrinter() and addClass() share. A new queue takes only the
// texts given and starts enabled and accepting, as "lpadmin -E" makes it; an
// existing one gets every text, so an emptied field clears the server's value,
// and keeps its state: a paused printer stays paused.
void addQueueSettings(IppRequest &request, bool existing, const QueueTexts &texts, bool shared)
{
    const QPair<QLatin1String, QString> attributes[] = {{Attr::PrinterLocation, texts.location},
                                                        {Attr::PrinterInfo, texts.description},
                                                        {Attr::PrinterOrganization, texts.organization},
                                                        {Attr::PrinterOrganizationalUnit, texts.organizationalUnit}};
    for (const auto &attribute : attributes) {
        if (existing || !attribute.second.isEmpty()) {
            request.addPrinterAttribute(attribute.first.data(), attribute.second, IPP_TAG_TEXT);
        }
    }
    request.addPrinterAttribute(Attr::PrinterIsShared.data(), shared);
    if (!existing) {
        request.addPrinterAttribute(Attr::PrinterState.data(), int(IPP_PSTATE_IDLE), IPP_TAG_ENUM);
        request.addPrinterAttribute(Attr::PrinterIsAcceptingJobs.data(), true);
    }
}

// cupsd takes classes only under /classes/; the name part is the printer URI's.
QString classUri(const QString &name)
{
    return Utils::printerUri(name).replace(QLatin1String("/printers/"), QLatin1String("/classes/"));
}

// CUPS-Add-Modify-Printer setting the given printer attributes, all of one value tag.
bool modifyPrinter(const QString &uri, const QList<QPair<QLatin1String, QString>> &attributes, ipp_tag_t tag)
{
    if (!checkPrinter(uri)) {
        return false;
    }
    IppRequest request = printerRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, uri);
    for (const auto &attribute : attributes) {
        request.addPrinterAttribute(attribute.first.data(), attribute.second, tag);
    }
    return request.doRequest(Connection::instance(), AdminResource).isOk();
}

QString testPageFile()
{
    QString dataDir = qEnvironmentVariable("CUPS_DATADIR");
    if (dataDir.isEmpty()) {
        dataDir = QStringLiteral("/usr/share/cups");
    }
    return dataDir + QStringLiteral("/data/testprint");
}
} // namespace

PrinterIppActions *PrinterIppActions::instance()
{
    static PrinterIppActions actions;
    return &actions;
}

bool PrinterIppActions::deletePrinter(const QString &uri)
{
    return sendAdminRequest(IPP_OP_CUPS_DELETE_PRINTER, uri);
}

bool PrinterIppActions::deleteClass(const QString &uri)
{
    return sendAdminRequest(IPP_OP_CUPS_DELETE_CLASS, uri);
}

QHash<QString, QVariant> PrinterIppActions::destAttrs(const QString &uri, const QStringList &names) const
{
    if (!checkPrinter(uri)) {
        return {};
    }
    IppRequest request = printerRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, uri);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::RequestedAttributes.data(), names.isEmpty() ? QStringList{QStringLiteral("all")} : names);
    const IppResponse response = request.doRequest(Connection::instance(), QStringLiteral("/"));
    if (!response.isOk()) {
        return {};
    }
    const QList<AttributeHash> printers = response.attributeGroups(IPP_TAG_PRINTER);
    return printers.isEmpty() ? AttributeHash() : printers.constFirst();
}

int PrinterIppActions::destState(const QString &uri) const
{
    const AttributeHash attributes = destAttrs(uri, {Attr::PrinterState});
    return Utils::getAttribute(attributes, Attr::PrinterState, 0).toInt();
}

bool PrinterIppActions::pausePrinter(const QString &uri)
{
    return sendAdminRequest(IPP_OP_PAUSE_PRINTER, uri);
}

bool PrinterIppActions::resumePrinter(const QString &uri)
{
    return sendAdminRequest(IPP_OP_RESUME_PRINTER, uri);
}

bool PrinterIppActions::acceptJobs(const QString &uri)
{
    return sendAdminRequest(IPP_OP_CUPS_ACCEPT_JOBS, uri);
}

bool PrinterIppActions::rejectJobs(const QString &uri, const QString &reason)
{
    if (!checkPrinter(uri)) {
        return false;
    }
    IppRequest request = printerRequest(IPP_OP_CUPS_REJECT_JOBS, uri);
    if (!reason.isEmpty()) {
        request.addAttribute(IPP_TAG_PRINTER, IPP_TAG_TEXT, Attr::PrinterStateMessage.data(), reason);
    }
    return request.doRequest(Connection::instance(), AdminResource).isOk();
}

bool PrinterIppActions::setUserDefaultDestination(const QString &name)
{
    if (!checkDestinationName(name)) {
        return false;
    }
    // Like lpoptions, refuse a destination the server does not know.
    if (destAttrs(name, {Attr::PrinterName}).isEmpty()) {
        return false;
    }
    return Lpoptions::setDefaultDestination(name);
}

bool PrinterIppActions::setServerDefaultDestination(const QString &uri)
{
    return sendAdminRequest(IPP_OP_CUPS_SET_DEFAULT, uri);
}

bool PrinterIppActions::setPrinterPolicy(const QString &uri, const QString &policy)
{
    return modifyPrinter(uri, {{Attr::PrinterOpPolicy, policy}}, IPP_TAG_NAME);
}

bool PrinterIppActions::setPrinterMac(const QString &uri, const QString &min, const QString &max)
{
    return modifyPrinter(uri, {{Attr::MacPrinterMacMin, min}, {Attr::MacPrinterMacMax, max}}, IPP_TAG_TEXT);
}

int PrinterIppActions::printTestPage(const QString &name, QString &error)
{
    if (!checkPrinter(name)) {
        error = Connection::lastErrorString();
        return -1;
    }
    const QString file = testPageFile();
    IppRequest request = printerRequest(IPP_OP_PRINT_JOB, name);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::JobName.data(), QStringLiteral("Test Page"));
    // No document-format: cupsd recognises the test page by its content.
    const QString resource = QStringLiteral("/printers/") + QString::fromLatin1(QUrl::toPercentEncoding(name));
    const IppResponse response = request.doFileRequest(Connection::instance(), resource, file);
    if (!response.isOk()) {
        error = Connection::lastErrorString();
        return -1;
    }
    const QVariant jobId = Utils::getAttribute(response.attributes(), Attr::JobId);
    if (!jobId.isValid()) {
        Connection::setLastError(IPP_STATUS_ERROR_INTERNAL, QStringLiteral("The server sent no job id"));
        error = Connection::lastErrorString();
        return -1;
    }
    qCDebug(CUPS_CORE) << "test page sent to" << name << "as job" << jobId.toInt();
    return jobId.toInt();
}

QList<Destination> PrinterIppActions::getDestinations(bool *ok) const
{
    IppRequest request(CUPS_GET_PRINTERS);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::RequestedAttributes.data(), PrinterListModel::requestedAttributes());
    const IppResponse response = request.doRequest(Connection::instance(), QStringLiteral("/"));
    QList<Destination> destinations;
    if (response.isOk()) {
        for (const AttributeHash &group : response.attributeGroups(IPP_TAG_PRINTER)) {
            destinations.append(Destination(group));
        }
    }
    if (ok) {
        *ok = response.isOk() || response.statusCode() == IPP_STATUS_ERROR_NOT_FOUND;
    }
    return destinations;
}

bool PrinterIppActions::addPrinter(const QString &name,
                                   const QString &deviceUri,
                                   const QString &driver,
                                   const QString &location,
                                   const QString &description,
                                   const QString &organization,
                                   const QString &organizationalUnit,
                                   bool shared)
{
    if (!checkDestinationName(name)) {
        return false;
    }
    // PPD names are never absolute paths, so a leading "/" means a local file.
    const bool ppdFile = driver.startsWith(QLatin1Char('/'));
    if (ppdFile && !(QFileInfo(driver).isFile() && QFileInfo(driver).isReadable())) {
        Connection::setLastError(IPP_STATUS_ERROR_NOT_FOUND, QStringLiteral("Cannot read the PPD file %1").arg(driver));
        return false;
    }
    // The check and the change form one step for other threads using the connection.
    ConnectionLocker session;
    const std::optional<bool> existing = queueExists(name);
    if (!existing) {
        return false;
    }
    // cupsd would make a queue without a device print to /dev/null.
    if (!*existing && deviceUri.isEmpty()) {
        Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("The new printer \"%1\" has no device URI").arg(name));
        return false;
    }

    IppRequest request = printerRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, name);
    if (!deviceUri.isEmpty()) {
        request.addPrinterAttribute(Attr::DeviceUri.data(), deviceUri, IPP_TAG_URI);
    }
    if (!driver.isEmpty() && !ppdFile) {
        request.addPrinterAttribute(Attr::PpdName.data(), driver, IPP_TAG_NAME);
    }
    addQueueSettings(request, *existing, {location, description, organization, organizationalUnit}, shared);
    const IppResponse response =
        ppdFile ? request.doFileRequest(Connection::instance(), AdminResource, driver) : request.doRequest(Connection::instance(), AdminResource);
    qCDebug(CUPS_CORE) << (*existing ? "updating" : "adding") << "printer" << name << "with driver" << driver << ":" << response.isOk();
    return response.isOk();
}

bool PrinterIppActions::addClass(const QString &name,
                                 const QStringList &memberUris,
                                 const QString &location,
                                 const QString &description,
                                 const QString &organization,
                                 const QString &organizationalUnit,
                                 bool shared)
{
    if (!checkDestinationName(name)) {
        return false;
    }
    // Without "member-uris" cupsd would keep the old members and still answer success.
    if (memberUris.isEmpty()) {
        Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("The class \"%1\" has no members").arg(name));
        return false;
    }
    const QString uri = classUri(name);
    ConnectionLocker session;
    const std::optional<bool> existing = queueExists(uri);
    if (!existing) {
        return false;
    }

    QStringList members;
    for (const QString &member : memberUris) {
        members.append(Utils::printerUri(member));
    }
    IppRequest request = printerRequest(IPP_OP_CUPS_ADD_MODIFY_CLASS, uri);
    request.addPrinterAttribute(Attr::MemberUris.data(), members, IPP_TAG_URI);
    addQueueSettings(request, *existing, {location, description, organization, organizationalUnit}, shared);
    const bool ok = request.doRequest(Connection::instance(), AdminResource).isOk();
    qCDebug(CUPS_CORE) << (*existing ? "updating" : "adding") << "class" << name << "with" << members << ":" << ok;
    return ok;
}

bool PrinterIppActions::copyPPD(const QString &oldName, const QString &newName)
{
    if (!checkDestinationName(newName)) {
        return false;
    }
    const QString ppd = getPPD(oldName);
    if (ppd.isEmpty()) {
        return false;
    }
    const auto removeCopy = qScopeGuard([&ppd] {
        QFile::remove(ppd);
    });
    IppRequest request = printerRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, newName);
    return request.doFileRequest(Connection::instance(), AdminResource, ppd).isOk();
}

// cupsGetPPD3() is deprecated with the rest of the PPD API, yet it is how cupsd hands out a queue's PPD.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
QString PrinterIppActions::getPPD(const QString &name) const
{
    char buffer[1024] = {0};
    http_status_t status;
    {
        Connection::IoLocker io;
        if (!io.handle()) {
            return QString();
        }
        time_t modtime = 0;
        status = cupsGetPPD3(io.handle(), name.toLocal8Bit().constData(), &modtime, buffer, sizeof(buffer));
        if (io.timedOut()) {
            // Cut off: what arrived is no whole PPD. Leaving the scope records why.
            if (status == HTTP_STATUS_OK) {
                QFile::remove(QString::fromLocal8Bit(buffer));
            }
            return QString();
        }
    }
    if (status != HTTP_STATUS_OK) {
        Connection::takeLastErrorFromCups();
        qCDebug(CUPS_CORE) << "no PPD for" << name << ":" << Connection::lastErrorString();
        return QString();
    }
    const QString file = QString::fromLocal8Bit(buffer);
    const QFileInfo info(file);
    if (!info.isSymLink()) {
        return file;
    }
    // For a local server libcups links to the scheduler's own PPD; the caller
    // edits and deletes its copy, so give it a file of its own.
    const QString target = info.symLinkTarget();
    QFile::remove(file);
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/norvik-ppd-XXXXXX.ppd"));
    QFile source(target);
    if (!source.open(QIODevice::ReadOnly) || !copy.open()) {
        Connection::setLastError(IPP_STATUS_ERROR_NOT_FOUND, source.errorString());
        return QString();
    }
    copy.write(source.readAll());
    copy.setAutoRemove(false);
    return copy.fileName();
}
QT_WARNING_POP
} // namespace CUPS

#include "kapsmbutil.h"

#include "wizardlogging.h"
#include "wizardtools.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace CUPS
{
namespace
{
constexpr int ToolTimeoutMsecs = 3000;
constexpr int NodeStatusTimeoutMsecs = 100;
constexpr int NodeStatusBufferSize = 1024;
// A node status reply: the answer count in the header; after the echoed question, TTL and data length,
// the name count and the name table of 18-byte entries: 15 bytes name, suffix, 2 bytes flags.
constexpr int AnswerCountOffset = 6;
constexpr int NameCountOffset = 56;
constexpr int NameTableOffset = 57;
constexpr int NameEntrySize = 18;
constexpr int NetBiosNameLength = 15;
constexpr quint8 UniqueActiveName = 0x04;
constexpr quint8 GroupActiveName = 0x84;
// smbclient's output is read in lines of at most this many bytes with their line end, as fgets() would.
constexpr int MaxShareLineBytes = 1023;

quint16 &netBiosPort()
{
    static quint16 port = 137;
    return port;
}

int &smbClientTimeoutMsecs()
{
    static int msecs = 60000;
    return msecs;
}

/// A node status query for all names ("*", first-level encoded as "CK" and 30 "A"), transaction id 6.
QByteArray nodeStatusRequest()
{
    QByteArray request("\x00\x06\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x20"
                       "CK",
                       15);
    request.append(30, 'A');
    request.append("\x00\x00\x21\x00\x01", 5);
    return request;
}

/// Runs a tool by name; its standard output when it ended in time with exit code 0.
bool runTool(const QString &program, const QStringList &arguments, QByteArray &output)
{
    QProcess process;
    process.start(program, arguments, QIODevice::ReadOnly);
    if (finishesWithin(process, ToolTimeoutMsecs) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
        output = process.readAllStandardOutput();
        return true;
    }
    qCWarning(CUPS_WIZARD) << "error:" << program << process.errorString() << process.exitCode() << process.readAllStandardError();
    return false;
}

/// A global parameter of Samba's configuration, trimmed; empty when testparm fails.
QString sambaParameter(const QString &name, bool *ok = nullptr)
{
    QByteArray output;
    const QStringList arguments{QStringLiteral("-s"), QStringLiteral("--section-name=global"), QStringLiteral("--parameter-name=") + name};
    const bool done = runTool(QStringLiteral("testparm"), arguments, output);
    if (ok) {
        *ok = done;
    }
    return QString::fromLocal8Bit(output).trimmed();
}

/// Appends the IPv4 addresses that begin the lines of a lookup tool's output (nmblookup, getent ahosts).
bool lookUpAddresses(const QString &program, const QStringList &arguments, QStringList &ips)
{
    static const QRegularExpression addressLine(QStringLiteral("^(\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3})\\s.*"));
    QByteArray output;
    if (!runTool(program, arguments, output)) {
        return false;
    }
    for (const QByteArray &line : output.split('\n')) {
        const QRegularExpressionMatch match = addressLine.match(QString::fromLocal8Bit(line).trimmed());
        if (match.hasMatch()) {
            qCDebug(CUPS_WIZARD) << "IPList.append" << match.captured(1);
            ips.append(match.captured(1));
        }
    }
    return true;
}

/// The printer shares in smbclient's share list; names with "$" are administrative (print$).
QStringList printerShares(const QByteArray &output)
{
    QList<QByteArray> lines = output.split('\n');
    lines.removeLast(); // empty, or a piece without a line end
    QStringList shares;
    for (const QByteArray &line : qAsConst(lines)) {
        if (line.size() >= MaxShareLineBytes || !line.contains("Printer")) {
            continue;
        }
        const QString text = QString::fromLocal8Bit(line).trimmed();
        if (text.contains(QLatin1Char('$'))) {
            continue;
        }
        const QString share = text.left(text.indexOf(QLatin1String("Printer"))).trimmed();
        qCDebug(CUPS_WIZARD, "found printer %s", qUtf8Printable(share));
        shares.append(share);
    }
    return shares;
}

struct SocketCloser {
    const int fd;
    ~SocketCloser()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};
} // namespace

void KapSmbUtil::setNetBiosPort(quint16 port)
{
    netBiosPort() = port;
}

void KapSmbUtil::setSmbClientTimeout(int msecs)
{
    smbClientTimeoutMsecs() = msecs;
}

QList<SmbInfo> KapSmbUtil::getSmbList(const QString &workgroup, bool scan)
{
    qCDebug(CUPS_WIZARD, "scan=%s", scan ? "true" : "false");
    if (!scan) {
        return hosts;
    }
    hosts.clear();
    // The realm's hosts are named after the workgroup scanned, also when that is the configured one.
    const QString name = workgroup.isEmpty() ? getWorkgroup() : workgroup;
    QStringList ips;
    getIPList(name, ips);
    ips.removeDuplicates();
    for (const QString &ip : qAsConst(ips)) {
        SmbInfo host{QString(), QString(), ip, QStringList()};
        if (getNMBInfo(inet_addr(ip.toLatin1().constData()), host.workgroup, host.server)) {
            qCDebug(CUPS_WIZARD, "%s : %s %s", qUtf8Printable(ip), qUtf8Printable(host.workgroup), qUtf8Printable(host.server));
            hosts.append(host);
        } else {
            qCDebug(CUPS_WIZARD, "%s : unable to retrieve info", qUtf8Printable(ip));
        }
    }
    if (hosts.isEmpty()) {
        const QString realm = getRealm();
        QStringList realmIps;
        getIPFromRealm(realm, realmIps);
        realmIps.removeDuplicates();
        for (const QString &ip : qAsConst(realmIps)) {
            hosts.append(SmbInfo{name, QStringLiteral("%1.%2").arg(name, realm), ip, QStringList()});
        }
    }
    return hosts;
}

bool KapSmbUtil::getNMBInfo(unsigned long address, QString &workgroup, QString &server)
{
    const SocketCloser socket{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    if (socket.fd < 0) {
        qCWarning(CUPS_WIZARD) << "Unable to create socket. Error:" << qt_error_string(errno);
        return false;
    }
    sockaddr_in host{};
    host.sin_family = AF_INET;
    host.sin_port = htons(netBiosPort());
    host.sin_addr.s_addr = in_addr_t(address);
    if (IN_MULTICAST(ntohl(host.sin_addr.s_addr))) {
        qCWarning(CUPS_WIZARD) << "Unable to send data. Error: a multicast address";
        return false;
    }
    // Connected, so only this host's reply is read; without SO_BROADCAST the kernel refuses broadcast addresses.
    const QByteArray request = nodeStatusRequest();
    if (::connect(socket.fd, reinterpret_cast<const sockaddr *>(&host), sizeof host) != 0
        || ::send(socket.fd, request.constData(), request.size(), 0) != request.size()) {
        qCWarning(CUPS_WIZARD) << "Unable to send data. Error:" << qt_error_string(errno);
        return false;
    }
    pollfd readable{socket.fd, POLLIN, 0};
    QByteArray reply(NodeStatusBufferSize, '\0');
    // A child process ending (SIGCHLD) interrupts the wait; only the time left counts then.
    const QDeadlineTimer deadline(NodeStatusTimeoutMsecs);
    int ready = 0;
    do {
        ready = ::poll(&readable, 1, int(deadline.remainingTime()));
    } while (ready < 0 && errno == EINTR);
    ssize_t received = -1;
    if (ready == 1) {
        received = ::recv(socket.fd, reply.data(), reply.size(), 0);
    }
    reply.truncate(int(qMax<ssize_t>(received, 0)));
    const bool found = parseNodeStatus(reply, workgroup, server);
    qCDebug(CUPS_WIZARD,
            "workgroup=%s, server=%s, canread=%s",
            qUtf8Printable(workgroup),
            qUtf8Printable(server),
            received > 0 ? "true" : "false");
    return found;
}

bool KapSmbUtil::parseNodeStatus(const QByteArray &reply, QString &workgroup, QString &server)
{
    if (reply.size() < NameTableOffset || qFromBigEndian<quint16>(reply.constData() + AnswerCountOffset) == 0) {
        return false;
    }
    // The name count comes from the network: never walk past the bytes received.
    const int names = qMin(int(quint8(reply.at(NameCountOffset))), (reply.size() - NameTableOffset) / NameEntrySize);
    for (int i = 0; i < names && (workgroup.isEmpty() || server.isEmpty()); ++i) {
        const char *entry = reply.constData() + NameTableOffset + i * NameEntrySize;
        // Suffix 0x00 is the computer's and the workgroup's own name; others are services (0x20 file server).
        if (entry[NetBiosNameLength] != 0) {
            continue;
        }
        const QString name = QString::fromUtf8(entry, int(qstrnlen(entry, NetBiosNameLength)));
        const auto flags = quint8(entry[NetBiosNameLength + 1]);
        if (flags == UniqueActiveName && server.isEmpty()) {
            server = name;
        } else if (flags == GroupActiveName && workgroup.isEmpty()) {
            workgroup = name;
        }
    }
    return !workgroup.isEmpty() && !server.isEmpty();
}

bool KapSmbUtil::getPrinters(SmbInfo *info, const QString &user, const QString &password)
{
    if (!info) {
        return false;
    }
    QStringList arguments{QStringLiteral("-L"), info->server.trimmed(), QStringLiteral("-W"), info->workgroup.trimmed()};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (user.isEmpty()) {
        arguments << QStringLiteral("-N");
    } else {
        // Through the environment: a command line is readable by every local user.
        arguments << QStringLiteral("-U") << user;
        environment.insert(QStringLiteral("PASSWD"), password);
    }
    arguments << QStringLiteral("-I") << info->ip;

    QProcess smbclient;
    smbclient.setProcessEnvironment(environment);
    smbclient.start(QStringLiteral("smbclient"), arguments, QIODevice::ReadOnly);
    if (!smbclient.waitForStarted()) {
        qCWarning(CUPS_WIZARD) << "error:" << smbclient.errorString();
        return false;
    }
    info->printers.clear();
    // A server that accepts the connection and never answers must not hold the window.
    if (!finishesWithin(smbclient, smbClientTimeoutMsecs())) {
        qCWarning(CUPS_WIZARD) << "smbclient stopped: no share list from" << info->server.trimmed() << "in time";
        return false;
    }
    info->printers = printerShares(smbclient.readAllStandardOutput());
    return true;
}

bool KapSmbUtil::getIPList(const QString &workgroup, QStringList &ips) const
{
    return lookUpAddresses(QStringLiteral("nmblookup"), {workgroup.isEmpty() ? getWorkgroup() : workgroup}, ips);
}

bool KapSmbUtil::getIPFromRealm(const QString &realm, QStringList &ips) const
{
    return !realm.isEmpty() && lookUpAddresses(QStringLiteral("getent"), {QStringLiteral("ahosts"), realm}, ips);
}

QString KapSmbUtil::getWorkgroup() const
{
    bool ok = false;
    const QString workgroup = sambaParameter(QStringLiteral("workgroup"), &ok);
    return ok ? workgroup : QStringLiteral("WORKGROUP");
}

QString KapSmbUtil::getRealm() const
{
    return sambaParameter(QStringLiteral("realm"));
}

bool KapSmbUtil::checkNetBios() const
{
    return sambaParameter(QStringLiteral("disable netbios")).toLower() != QLatin1String("yes");
}
} // namespace CUPS

#ifndef CUPS_KAPSMBUTIL_H
#define CUPS_KAPSMBUTIL_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace CUPS
{
/// One Windows/Samba host found by a scan, copied by value.
struct SmbInfo {
    /// NetBIOS workgroup (group name); as a host announces it, padded with spaces to 15 characters.
    QString workgroup;
    /// NetBIOS computer name, padded like workgroup; for a host found through the realm "workgroup.realm".
    QString server;
    /// IPv4 address in dotted form.
    QString ip;
    /// Printer share names, filled only by KapSmbUtil::getPrinters().
    QStringList printers;
};

/**
 * Finds Windows/Samba print servers and their printer shares for the network
 * scan: the workgroup, realm and NetBIOS setting from Samba's configuration
 * (testparm), the workgroup's hosts (nmblookup), each host's names by a
 * NetBIOS node status query sent to that host alone, the addresses of the
 * Kerberos realm (getent) when NetBIOS finds nothing, and a server's printer
 * shares (smbclient).
 *
 * The tools are run by name from PATH, never through a shell. Every call
 * blocks: up to 3 s per tool, 100 ms per host for NetBIOS, 60 s for smbclient;
 * a tool still running then gets SIGTERM and, after a short grace, SIGKILL.
 */
class KapSmbUtil
{
public:
    /// With scan true a fresh scan of workgroup (the configured one when empty), else the last scan's hosts.
    QList<SmbInfo> getSmbList(const QString &workgroup, bool scan);
    /// NetBIOS node status of one host; address in network byte order, as inet_addr() gives it. True when both names came.
    bool getNMBInfo(unsigned long address, QString &workgroup, QString &server);
    /// Lists the printer shares of info's server into info->printers, anonymously when user is empty.
    /// False when smbclient cannot be started, or does not finish in time (then the list is empty).
    bool getPrinters(SmbInfo *info, const QString &user, const QString &password);
    /// Appends the addresses nmblookup finds for workgroup (the configured one when empty).
    bool getIPList(const QString &workgroup, QStringList &ips) const;
    /// Appends the IPv4 addresses getent finds for realm; false for an empty realm.
    bool getIPFromRealm(const QString &realm, QStringList &ips) const;
    /// The configured workgroup; "WORKGROUP" when Samba's configuration cannot be read.
    QString getWorkgroup() const;
    /// The configured Kerberos realm, or empty.
    QString getRealm() const;
    /// False only when Samba's configuration says "disable netbios = yes".
    bool checkNetBios() const;

    /// The active workgroup and computer names (suffix 0x00) of a node status reply; trailing spaces stay.
    /// False for a short or truncated reply, one without answers, or one that lacks either name.
    static bool parseNodeStatus(const QByteArray &reply, QString &workgroup, QString &server);
    /// Points node status queries at another UDP port than 137 (tests).
    static void setNetBiosPort(quint16 port);
    /// How long smbclient may run before it is stopped, 60 s by default (tests).
    static void setSmbClientTimeout(int msecs);

private:
    QList<SmbInfo> hosts;
};
} // namespace CUPS

#endif

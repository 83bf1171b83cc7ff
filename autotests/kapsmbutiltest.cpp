#include <kapsmbutil.h>

#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>
#include <QUdpSocket>

/// SMB discovery with stub tools alone on PATH (no real Samba tool runs), and NetBIOS replies crafted or sent over loopback.
// smbclient -L as Samba 4.17 answers it: disks, the IPC share and two printers.
const QByteArray SmbclientList = "\tSharename       Type      Comment\n\t---------       ----      -------\n\tprint$          Disk      Printer Drivers\n"
                                 "\tHP_1020         Printer   HP LaserJet 1020 in room 12\n\tIPC$            IPC       IPC Service (Samba 4.17.12-Debian)\n"
                                 "\tKyocera_FS1020D Printer   Kyocera FS-1020D\nSMB1 disabled -- no workgroup available\n";

class KapSmbUtilTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_bin;

    /// A tool that logs its name, arguments and PASSWD, then runs body.
    void stub(const char *name, const QByteArray &body)
    {
        QFile file(m_bin.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        file.write("#!/bin/sh\necho \"${0##*/} $* PASSWD=${PASSWD-unset}\" >>\"${0%/*}/log\"\n" + body + '\n');
    }
    /// A body that prints the tool's recorded output when called with these arguments.
    static QByteArray answering(const QByteArray &arguments, const QByteArray &output)
    {
        return "[ \"$*\" = '" + arguments + "' ] && /bin/cat <<'END'\n" + output + "END";
    }
    QByteArray log() const
    {
        QFile file(m_bin.filePath(QStringLiteral("log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static QByteArray entry(const char *name, char suffix, char flags)
    {
        return QByteArray(name).leftJustified(15) + suffix + flags + '\0';
    }
    /// A node status reply as nmbd sends it: header, the question echoed, TTL, data length, name count, entries.
    static QByteArray reply(char answers, const QByteArray &entries, char count = 2)
    {
        return QByteArray::fromHex("00068400000000") + answers + QByteArray::fromHex("000000002043") + 'K' + QByteArray(30, 'A')
            + QByteArray::fromHex("0000210001000000000000") + count + entries;
    }

private Q_SLOTS:
    void init() // the stubs alone on PATH, an empty log
    {
        qputenv("PATH", QFile::encodeName(m_bin.path()));
        CUPS::KapSmbUtil::setSmbClientTimeout(1000);
        QVERIFY(!QFile::exists(m_bin.filePath(QStringLiteral("log"))) || QFile::remove(m_bin.filePath(QStringLiteral("log"))));
    }

    void nodeStatusGivesTheHostsOwnNames_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("received"); // bytes of reply that arrived: the rest must stay unread
        QTest::addColumn<bool>("found");
        const QByteArray samba = entry("FILESRV", 0x20, 0x04) + entry("PRINTSRV", 0, 0x04) + entry("OFFICE", 0, char(0x84));
        QTest::newRow("file server suffix skipped") << reply(1, samba, 3) << 111 << true;
        QTest::newRow("unique names only") << reply(1, entry("PRINTSRV", 0, 0x04) + entry("OFFICE", 0x1d, 0x04)) << 93 << false;
        QTest::newRow("answer count 0") << reply(0, samba, 3) << 111 << false;
        QTest::newRow("truncated entry") << reply(1, samba, 3) << 110 << false;
        QTest::newRow("count beyond the bytes") << reply(1, samba, char(255)) << 93 << false;
    }
    void nodeStatusGivesTheHostsOwnNames()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, received);
        QFETCH(bool, found);
        QString workgroup, server;
        QCOMPARE(CUPS::KapSmbUtil::parseNodeStatus(QByteArray::fromRawData(reply.constData(), received), workgroup, server), found);
        QVERIFY(!found || (workgroup == QStringLiteral("OFFICE").leftJustified(15) && server == QStringLiteral("PRINTSRV").leftJustified(15)));
    }

    void scanListsEachHostOnce_data()
    {
        QTest::addColumn<QByteArray>("nmblookup");
        QTest::addColumn<QStringList>("hosts"); // workgroup, server, address
        const QString realmHost = QStringLiteral("OFFICE OFFICE.CORP.EXAMPLE.COM 127.0.0.%1");
        QTest::newRow("NetBIOS") << answering("OFFICE", "querying OFFICE on 127.255.255.255\n127.0.0.1 OFFICE<00>\n127.0.0.1 OFFICE<00>\n\n")
                                 << QStringList{QStringLiteral("OFFICE PRINTSRV 127.0.0.1")};
        QTest::newRow("realm") << QByteArray("echo 'name_query failed to find name OFFICE'") << QStringList{realmHost.arg(5), realmHost.arg(6)};
    }
    void scanListsEachHostOnce()
    {
        QFETCH(QByteArray, nmblookup);
        QFETCH(QStringList, hosts);
        stub("nmblookup", nmblookup);
        stub("testparm", "[ \"$*\" = '-s --section-name=global --parameter-name=realm' ] && echo CORP.EXAMPLE.COM");
        stub("getent", answering("ahosts CORP.EXAMPLE.COM", "127.0.0.5       STREAM corp.example.com\n127.0.0.5       DGRAM  \n127.0.0.6       STREAM \n::1             STREAM \n"));
        QUdpSocket responder;
        QVERIFY(responder.bind(QHostAddress::LocalHost));
        connect(&responder, &QUdpSocket::readyRead, this, [&responder] {
            const QNetworkDatagram request = responder.receiveDatagram();
            QCOMPARE(request.data(), QByteArray::fromHex("0006000000010000000000002043") + 'K' + QByteArray(30, 'A') + QByteArray::fromHex("0000210001"));
            responder.writeDatagram(request.makeReply(reply(1, entry("OFFICE", 0, char(0x84)) + entry("PRINTSRV", 0, 0x04))));
        });
        CUPS::KapSmbUtil::setNetBiosPort(responder.localPort());
        const QFuture<QList<CUPS::SmbInfo>> scan = QtConcurrent::run([] { return CUPS::KapSmbUtil().getSmbList(QStringLiteral("OFFICE"), true); });
        QTRY_VERIFY(scan.isFinished());
        for (const CUPS::SmbInfo &host : scan.result()) {
            QCOMPARE(host.workgroup.trimmed() + QLatin1Char(' ') + host.server.trimmed() + QLatin1Char(' ') + host.ip, hosts.takeFirst());
        }
        QCOMPARE(hosts, QStringList());
    }

    void printerSharesAreListed_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QByteArray>("smbclient");
        QTest::addColumn<QByteArray>("call"); // the arguments after server and workgroup, then PASSWD
        QTest::addColumn<QStringList>("printers"); // empty: getPrinters() fails
        QTest::newRow("user") << QStringLiteral("bob") << QByteArray("/bin/cat <<'END'\n" + SmbclientList + "END") << QByteArray("-U bob -I 127.0.0.1 PASSWD=s3cr%t x")
                              << QStringList{QStringLiteral("HP_1020"), QStringLiteral("Kyocera_FS1020D")};
        QTest::newRow("never answers") << QString() << QByteArray("exec /bin/sleep 60") << QByteArray("-N -I 127.0.0.1 PASSWD=unset") << QStringList();
    }
    void printerSharesAreListed()
    {
        QFETCH(QString, user);
        QFETCH(QByteArray, smbclient);
        QFETCH(QByteArray, call);
        QFETCH(QStringList, printers);
        stub("smbclient", smbclient);
        CUPS::SmbInfo info{QStringLiteral(" OFFICE "), QStringLiteral("PRINTSRV       "), QStringLiteral("127.0.0.1"), {QStringLiteral("stale")}};
        QCOMPARE(CUPS::KapSmbUtil().getPrinters(&info, user, QStringLiteral("s3cr%t x")), !printers.isEmpty());
        QCOMPARE(info.printers, printers);
        QCOMPARE(log(), "smbclient -L PRINTSRV -W OFFICE " + call + '\n');
    }

    void sambaConfigurationFallsBackWhenTestparmFails()
    {
        stub("testparm", "echo 'Error loading services.' >&2; exit 1");
        const CUPS::KapSmbUtil util;
        QCOMPARE(util.getWorkgroup(), QStringLiteral("WORKGROUP"));
        QCOMPARE(util.getRealm(), QString());
        QVERIFY(util.checkNetBios());
    }
};

QTEST_GUILESS_MAIN(KapSmbUtilTest)
#include "kapsmbutiltest.moc"

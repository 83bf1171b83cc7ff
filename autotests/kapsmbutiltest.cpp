#include <kapsmbutil.h>

#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>
#include <QUdpSocket>

using CUPS::KapSmbUtil;

// SMB discovery with stub tools alone on PATH (no real Samba tool runs) and NetBIOS answers over loopback.
class KapSmbUtilTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_bin;
    // As a scan lists it, names padded to NetBIOS length.
    CUPS::SmbInfo m_server{QStringLiteral("OFFICE "), QStringLiteral("PRINTSRV "),
                           QStringLiteral("127.0.0.1"), {}};

    void stub(const char *name, const QByteArray &script)
    {
        QFile file(m_bin.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        file.write("#!/bin/sh\n" + script + '\n');
    }
    static QByteArray entry(const char *name, char suffix, char flags)
    {
        return QByteArray(name).leftJustified(15) + suffix + flags + '\0';
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("PATH", QFile::encodeName(m_bin.path()));
        KapSmbUtil::setSmbClientTimeout(1000);
    }

    void aScanAsksEachHostForItsOwnNames()
    {
        stub("nmblookup", "[ \"$*\" = OFFICE ] && printf '127.0.0.1 OFFICE<00>\\n127.0.0.1 OFFICE<00>\\n'");
        // A node status query for all names: "*", encoded as "CK" and 30 "A".
        const QByteArray question =
            QByteArray::fromHex("2043") + 'K' + QByteArray(30, 'A') + QByteArray::fromHex("0000210001");
        // The answer: a file service (suffix 0x20) before the host and its workgroup, and one name too many.
        const QByteArray answer = QByteArray::fromHex("000684000000000100000000") + question
            + QByteArray::fromHex("00000000000004") + entry("FILESRV", 0x20, 4) + entry("PRINTSRV", 0, 4)
            + entry("OFFICE", 0, char(0x84));
        QUdpSocket nmbd;
        QVERIFY(nmbd.bind(QHostAddress::LocalHost));
        connect(&nmbd, &QUdpSocket::readyRead, this, [&] {
            const QNetworkDatagram request = nmbd.receiveDatagram();
            QCOMPARE(request.data(), QByteArray::fromHex("000600000001000000000000") + question);
            nmbd.writeDatagram(request.makeReply(answer));
        });
        KapSmbUtil::setNetBiosPort(nmbd.localPort());
        // In a thread of its own: this one answers.
        const auto scan = QtConcurrent::run([] {
            return KapSmbUtil().getSmbList(QStringLiteral("OFFICE"), true);
        });
        QTRY_VERIFY(scan.isFinished());
        QCOMPARE(scan.result().size(), 1); // listed twice, asked once
        const CUPS::SmbInfo host = scan.result().value(0);
        QCOMPARE(host.workgroup.trimmed(), QStringLiteral("OFFICE"));
        QCOMPARE(host.server.trimmed(), QStringLiteral("PRINTSRV"));
    }

    void printerSharesAreListed()
    {
        // Answers only when called as it must be; the password goes by the environment, unseen by others.
        stub("smbclient", "[ \"$* $PASSWD\" = '-L PRINTSRV -W OFFICE -U bob -I 127.0.0.1 s3cr%t x' ] &&"
                          " printf '\\tprint$ Disk Printer Drivers\\n\\tHP_1020 Printer HP\\n\\tIPC$ IPC\\n'");
        QVERIFY(KapSmbUtil().getPrinters(&m_server, QStringLiteral("bob"), QStringLiteral("s3cr%t x")));
        QCOMPARE(m_server.printers, QStringList{QStringLiteral("HP_1020")});
    }

    void anSmbclientThatNeverAnswersIsStopped()
    {
        stub("smbclient", "[ \"$*\" = '-L PRINTSRV -W OFFICE -N -I 127.0.0.1' ] && exec /bin/sleep 60");
        QVERIFY(!KapSmbUtil().getPrinters(&m_server, QString(), QString()));
        QCOMPARE(m_server.printers, QStringList());
    }
};

QTEST_GUILESS_MAIN(KapSmbUtilTest)
#include "kapsmbutiltest.moc"

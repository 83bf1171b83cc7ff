#include "modalanswerer.h"

#include <scannetwork.h>

#include <QComboBox>
#include <QListWidget>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace CUPS;

// Only 127.0.0.0/8 is ever probed: every address there is this machine.
class ScanNetworkTest : public QObject
{
    Q_OBJECT
    QTcpServer m_printer;
    QTemporaryDir m_bin;

    // Sets a property of the dialog's widget by its object name; false when there is no such property.
    static bool set(const ScanNetwork &dialog, const char *name, const char *property, const QVariant &value)
    {
        return dialog.findChild<QWidget *>(QLatin1String(name))->setProperty(property, value);
    }
    static void click(const ScanNetwork &dialog, const char *button)
    {
        QMetaObject::invokeMethod(dialog.findChild<QWidget *>(QLatin1String(button)), "click");
    }

    // What a scan of the range finds listening on the printer's port.
    QStringList scan(ScanNetwork &dialog, const char *start, const char *end)
    {
        set(dialog, "portBox", "currentText", QString::number(m_printer.serverPort()));
        set(dialog, "startAddress", "text", QLatin1String(start));
        set(dialog, "endAddress", "text", QLatin1String(end));
        click(dialog, "scanButton");
        const auto *list = dialog.findChild<QListWidget *>();
        QStringList found;
        for (int row = 0; row < list->count(); ++row) {
            found << list->item(row)->text();
        }
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_printer.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
        // Samba's tools: a realm's host without a NetBIOS answer, a print server that lists to a guest only.
        const QList<QPair<const char *, QByteArray>> stubs{
            {"testparm", "case \"$3\" in *workgroup) echo WORKGROUP;; *realm) echo EXAMPLE.COM;; esac"},
            {"nmblookup", "echo '127.0.0.1 WORKGROUP<00>'"},
            {"getent", "echo '127.0.0.1       STREAM example.com'"},
            {"smbclient",
             "case \"$*\" in *'-U guest'*) printf '\\tOffice Jet  Printer\\n\\tprint$  Printer\\n';; esac"}};
        for (const auto &[name, script] : stubs) {
            QFile stub(m_bin.filePath(QLatin1String(name)));
            QVERIFY(stub.open(QIODevice::WriteOnly) && stub.write("#!/bin/sh\n" + script + '\n') > 0);
            QVERIFY(stub.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        }
        qputenv("PATH", QFile::encodeName(m_bin.path()) + ':' + qgetenv("PATH"));
    }

    void theRangeIsTheSubnetsHosts()
    {
        QNetworkAddressEntry subnet; // arithmetic only, never probed: a documentation range
        subnet.setIp(QHostAddress(QStringLiteral("192.0.2.17")));
        subnet.setPrefixLength(24);
        const auto [first, last] = ScanNetwork::hostRange(subnet);
        QCOMPARE(QHostAddress(first).toString() + QLatin1Char(' ') + QHostAddress(last).toString(),
                 QStringLiteral("192.0.2.1 192.0.2.254"));
    }

    void scansListOpenPortsUntilStopped()
    {
        const QStringList listening{QStringLiteral("127.0.0.1:%1").arg(m_printer.serverPort())};
        ScanNetwork dialog;
        QCOMPARE(scan(dialog, "127.0.0.3", "127.0.0.1"), QStringList()); // backwards: nothing probed
        QCOMPARE(scan(dialog, "127.0.0.1", "127.0.0.3"), listening);
        // Stopped at once, a long scan never gets to the listener at its end.
        QTcpServer last;
        QVERIFY(last.listen(QHostAddress(QStringLiteral("127.0.255.254")), m_printer.serverPort()));
        ModalAnswerer answerer({[](QWidget *progress) { QMetaObject::invokeMethod(progress, "cancel"); }});
        QCOMPARE(scan(dialog, "127.0.0.1", "127.0.255.254"), listening);
    }

    void theSmbTreeLeadsToAShareUri()
    {
        ScanNetwork dialog;
        auto *protocols = dialog.findChild<QComboBox *>(QStringLiteral("protocolComboBox"));
        protocols->setCurrentIndex(protocols->findData(QStringLiteral("smb")));
        click(dialog, "scanButton_smb");
        auto *tree = dialog.findChild<QTreeWidget *>(QStringLiteral("smbTreeWidget"));
        QTreeWidgetItem *server = tree->topLevelItem(0) ? tree->topLevelItem(0)->child(0) : nullptr;
        QVERIFY(server && server->text(0) == QLatin1String("WORKGROUP.EXAMPLE.COM"));
        // Refused anonymously, listed to a guest; print$ is no printer. Any box is closed unanswered.
        ModalAnswerer answerer({});
        tree->setCurrentItem(server);
        click(dialog, "findPrintersButton");
        QCOMPARE(server->childCount(), 1);
        tree->setCurrentItem(server->child(0));
        QCOMPARE(dialog.address(), QStringLiteral("smb://WORKGROUP/WORKGROUP.EXAMPLE.COM/Office%20Jet"));
    }
};

QTEST_MAIN(ScanNetworkTest)
#include "scannetworktest.moc"

#include <veskhostaddress.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

class VeskHostAddressTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void onlyCompleteDottedQuadsAreAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");
        // Typed key by key, a key that leads to no address is refused and the rest goes on.
        QTest::addColumn<QString>("typed");
        // Text typed into the field, never an address contacted; the documentation ranges say so.
        QTest::newRow("plain") << "192.0.2.5" << "192.0.2.5" << "192.0.2.5";
        QTest::newRow("blanks around") << " 198.51.100.1 " << "198.51.100.1" << "198.51.100.1";
        QTest::newRow("leading zeros") << "192.000.002.005" << "192.0.2.5" << "192.0.2.5";
        QTest::newRow("octet above 255") << "256.1.1.1" << "" << "25.1.1.1";
        QTest::newRow("three octets") << "192.0.2" << "" << "";
        QTest::newRow("five octets") << "1.2.3.4.5" << "" << "1.2.3.45";
        QTest::newRow("with port") << "192.0.2.5:631" << "" << "192.0.2.56";
        QTest::newRow("IPv6") << "::1" << "" << "";
    }
    void onlyCompleteDottedQuadsAreAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(QString, typed);
        VeskHostAddress set;
        QSignalSpy changed(&set, &VeskHostAddress::addressChanged);
        set.setText(text);
        set.setText(address); // the same address again, or empty again: no change
        QCOMPARE(changed.count(), address.isEmpty() ? 0 : 1);
        VeskHostAddress pasted;
        QApplication::clipboard()->setText(text);
        pasted.findChild<QLineEdit *>(QStringLiteral("addressEdit"))->paste();
        for (const VeskHostAddress *field : {&set, &pasted}) {
            QCOMPARE(field->text(), address);
            QCOMPARE(field->isValid(), !address.isEmpty());
            QCOMPARE(field->address(), address.isEmpty() ? QHostAddress() : QHostAddress(address));
        }
        VeskHostAddress keyed;
        QTest::keyClicks(keyed.findChild<QLineEdit *>(QStringLiteral("addressEdit")), text);
        QCOMPARE(keyed.text(), typed);
        set.setText(QString());
        QCOMPARE(changed.count(), address.isEmpty() ? 0 : 2);
    }
};

QTEST_MAIN(VeskHostAddressTest)
#include "veskhostaddresstest.moc"

#include <veskhostaddress.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>

class VeskHostAddressTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void onlyCompleteDottedQuadsAreAddresses_data()
    {
        QTest::addColumn<QString>("text"); // typed into the field, never contacted: documentation ranges
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("typed"); // key by key: a key that leads to no address is refused
        QTest::newRow("blanks around") << " 198.51.100.1 " << "198.51.100.1" << "198.51.100.1";
        QTest::newRow("leading zeros") << "192.000.002.005" << "192.0.2.5" << "192.0.2.5";
        QTest::newRow("octet above 255") << "256.1.1.1" << "" << "25.1.1.1";
        QTest::newRow("with port") << "192.0.2.5:631" << "" << "192.0.2.56";
    }
    void onlyCompleteDottedQuadsAreAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        VeskHostAddress set;
        set.setText(text);
        VeskHostAddress pasted;
        QApplication::clipboard()->setText(text);
        pasted.findChild<QLineEdit *>()->paste();
        QCOMPARE(set.address(), address.isEmpty() ? QHostAddress() : QHostAddress(address));
        QCOMPARE(pasted.text(), address);
        VeskHostAddress keyed;
        QTest::keyClicks(keyed.findChild<QLineEdit *>(), text);
        QTEST(keyed.text(), "typed");
    }
};

QTEST_MAIN(VeskHostAddressTest)
#include "veskhostaddresstest.moc"

#include "cupssandbox.h"
#include "wizardfieldspage.h"
#include "modalanswerer.h"

#include <destination.h>
#include <infodriverpage.h>
#include <printerippactions.h>
#include <utils.h>
#include <wizardfields.h>

#include <QTest>
#include <QWizard>

using namespace CUPS;
using namespace CUPS::Wizard;
using Fields = QHash<QString, QVariant>;

namespace
{
const QString Socket = QStringLiteral("socket://127.0.0.1:9100");
const QString GenericPpd = QStringLiteral("drv:///sample.drv/generic.ppd");

Fields queue(const QString &name, const QString &uri = Socket, const QString &driver = GenericPpd)
{
    return {{Field::IsPrinterQueue, true}, {Field::QueueName, name}, {Field::DeviceUri, uri},
            {Field::DeviceDriver, driver}};
}

Destination destination(const QString &name)
{
    return Destination(PrinterIppActions::instance()->destAttrs(name, {}));
}
} // namespace

// A wizard with the information page as its second page, entered as a user would.
struct TestWizard : QWizard {
    explicit TestWizard(const Fields &fields)
    {
        setPage(0, new FieldsPage);
        setPage(InfoDriverPageId, page);
        show();
        // First: the page takes URI and driver into account only for a printer.
        setField(Field::IsPrinterQueue, fields.value(Field::IsPrinterQueue, false));
        for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
            setField(it.key(), it.value());
        }
        next();
    }
    // How the wizard ended: Accepted or Rejected; -1 while it stays open.
    int finish()
    {
        button(QWizard::FinishButton)->click();
        return isVisible() ? -1 : result();
    }
    InfoDriverPage *page = new InfoDriverPage;
};

class InfoDriverPageTest : public QObject
{
    Q_OBJECT
    CupsSandbox m_sandbox;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
        // "Office" is taken in other letter case: cupsd compares names without regard to case.
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("office")));
    }

    void finishNeedsAValidNameUriAndDriver_data()
    {
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<bool>("complete");
        QTest::newRow("printer") << queue(QStringLiteral("Office")) << true;
        QTest::newRow("space") << queue(QStringLiteral("My Office")) << false;
        QTest::newRow("no uri") << queue(QStringLiteral("Office"), QString()) << false;
        QTest::newRow("no driver") << queue(QStringLiteral("Office"), Socket, QString()) << false;
        QTest::newRow("no host") << queue(QStringLiteral("Office"), QStringLiteral("ipp://:631/x")) << true;
        QTest::newRow("class") << Fields{{Field::QueueName, QStringLiteral("Team")}} << true;
    }
    void finishNeedsAValidNameUriAndDriver()
    {
        QFETCH(Fields, fields);
        TestWizard wizard(fields);
        QTEST(wizard.button(QWizard::FinishButton)->isEnabled(), "complete");
    }

    void aNewPrinterGetsTheFieldsAndTheNextFreeName()
    {
        Fields fields = queue(QStringLiteral("Office"));
        fields.insert(Field::QueueLocation, QStringLiteral("Floor 2"));
        QCOMPARE(TestWizard(fields).finish(), int(QDialog::Accepted));
        // Shared where this server shares nothing: the user is offered to turn sharing on.
        fields.insert(Field::QueueShared, true);
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::No}, &seen));
        QCOMPARE(TestWizard(fields).finish(), int(QDialog::Accepted));
        QCOMPARE(seen.value(0).title, QStringLiteral("Remote Access"));
        for (const QString &name : {QStringLiteral("Office(2)"), QStringLiteral("Office(3)")}) {
            const Destination created = destination(name);
            QCOMPARE(created.deviceUri(), Socket);
            QCOMPARE(created.location(), QStringLiteral("Floor 2"));
            QCOMPARE(created.makeAndModel(), QStringLiteral("Generic PostScript Printer"));
            QCOMPARE(created.isShared(), name.endsWith(QLatin1String("(3)")));
        }
    }

    void driverEditKeepsTheQueuesDriver()
    {
        // A raw queue has no PPD of its own, so sending the path below would fail.
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Edited"), {QStringLiteral("-m"), QStringLiteral("raw")}));
        ModalAnswerer answerer({});
        const QString ownPpd = Utils::serverRoot() + QStringLiteral("/ppd/Edited.ppd");
        Fields fields = queue(QStringLiteral("Edited"), Socket, ownPpd);
        fields.insert(Field::DriverEdit, true);
        QCOMPARE(TestWizard(fields).finish(), int(QDialog::Accepted));
        QCOMPARE(destination(QStringLiteral("Edited")).makeAndModel(), QStringLiteral("Local Raw Printer"));
        QVERIFY(destination(QStringLiteral("Edited(2)")).isEmpty());
    }

    void aFailedAddAsksWhetherToTryAgain_data()
    {
        QTest::addColumn<bool>("retry");
        QTest::newRow("yes stays") << true;
        QTest::newRow("no closes") << false;
    }
    void aFailedAddAsksWhetherToTryAgain()
    {
        QFETCH(bool, retry);
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({retry ? QMessageBox::Yes : QMessageBox::No}, &seen));
        TestWizard wizard(queue(QStringLiteral("Broken"), Socket, QStringLiteral("drv:///none.drv/x.ppd")));
        QCOMPARE(wizard.finish(), retry ? -1 : int(QDialog::Rejected)); // no queue: never accepted
        QVERIFY(seen.value(0).text.startsWith(QLatin1String("Unable to add printer.<br>CUPS error: ")));
    }
};

QTEST_MAIN(InfoDriverPageTest)
#include "infodriverpagetest.moc"

#include "macippserverprocess.h"
#include "modalanswerer.h"

#include <attributes.h>
#include <macprintersettingsdialog.h>
#include <printerippactions.h>
#include <utils.h>

#include <maccategorylistwidget.h>
#include <maclevelcombobox.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>

using namespace CUPS;
using namespace TelmarQt5;

namespace
{
const QString Office = QStringLiteral("Office");

template<typename T>
T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

} // namespace

class MacPrinterSettingsDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Built-in level and category names only; no machine configuration decides the test.
        qputenv("TELMAR_MAC_CONFIG", "/nonexistent/mac.conf");
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_server.use();
    }

    void init()
    {
        QVERIFY(m_server.reset());
    }

    void showsThePrintersPolicyAndLabels()
    {
        QVERIFY(PrinterIppActions::instance()->setPrinterPolicy(Office, QStringLiteral("mac-strict")));
        // An unreadable label reads as zero; levels without a name are kept.
        const QString max = QStringLiteral("200:9:0x0000000000000103");
        QVERIFY(PrinterIppActions::instance()->setPrinterMac(Office, QStringLiteral("secret"), max));
        MacPrinterSettingsDialog dialog(Office);
        QCOMPARE(child<QComboBox>(&dialog, "policyCombo")->currentText(), QStringLiteral("mac-strict"));
        const QList<uint> values{child<MacLevelComboBox>(&dialog, "minLevel")->value(),
                                 child<MacLevelComboBox>(&dialog, "maxLevel")->value(),
                                 child<ILevelComboBox>(&dialog, "minIntegrity")->value(),
                                 child<ILevelComboBox>(&dialog, "maxIntegrity")->value(),
                                 uint(child<MacCategoryListWidget>(&dialog, "minCategories")->value()),
                                 uint(child<MacCategoryListWidget>(&dialog, "maxCategories")->value())};
        QCOMPARE(values, (QList<uint>{0, 200, 0, 9, 0, 0x103}));
    }

    void boundsFollowEachOtherAndOkStoresThem()
    {
        MacPrinterSettingsDialog dialog(Office);
        child<QComboBox>(&dialog, "policyCombo")->setCurrentIndex(1);
        child<MacLevelComboBox>(&dialog, "maxLevel")->setCurrentIndex(3);
        child<MacLevelComboBox>(&dialog, "minLevel")->setCurrentIndex(2);
        child<ILevelComboBox>(&dialog, "maxIntegrity")->setCurrentIndex(2);
        QCOMPARE(int(child<MacLevelComboBox>(&dialog, "maxLevel")->minimumValue()), 2);
        QCOMPARE(child<ILevelComboBox>(&dialog, "minIntegrity")->maximumValue(), 2u);

        // The maximum category set holds the minimum one (the rows are the built-in categories 0-7).
        auto *minCategories = child<MacCategoryListWidget>(&dialog, "minCategories");
        auto *maxCategories = child<MacCategoryListWidget>(&dialog, "maxCategories");
        minCategories->item(4)->setCheckState(Qt::Checked);
        minCategories->item(5)->setCheckState(Qt::Checked);
        maxCategories->item(0)->setCheckState(Qt::Checked);
        maxCategories->item(4)->setCheckState(Qt::Unchecked);
        QCOMPARE(minCategories->value(), 0x20ul);
        QCOMPARE(maxCategories->value(), 0x21ul);

        ModalAnswerer none({});
        child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(none.unexpected(), 0);
        const QHash<QString, QVariant> printer = PrinterIppActions::instance()->destAttrs(Office, {});
        const auto stored = [&printer](QLatin1String name) {
            return Utils::getAttribute(printer, name).toString();
        };
        QCOMPARE(stored(Attr::PrinterOpPolicy), QStringLiteral("authenticated"));
        QCOMPARE(stored(Attr::MacPrinterMacMin), QStringLiteral("2:0:0x0000000000000020"));
        QCOMPARE(stored(Attr::MacPrinterMacMax), QStringLiteral("3:2:0x0000000000000021"));
    }

    void failedPolicySendsNoLabels()
    {
        MacPrinterSettingsDialog dialog(Office);
        QVERIFY(m_server.failOperation(QStringLiteral("add-modify-printer"), QStringLiteral("<locked>")));
        QList<SeenBox> seen;
        {
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok, QMessageBox::Ok}, &seen));
            child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        }
        QCOMPARE(seen.size(), 1); // a second box: the labels went out after all
        QCOMPARE(seen.first().text, QStringLiteral("Unable to set printer policy.<br>CUPS error: &lt;locked&gt;"));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

private:
    MacIppServerProcess m_server;
};

QTEST_MAIN(MacPrinterSettingsDialogTest)

#include "macprintersettingsdialogtest.moc"

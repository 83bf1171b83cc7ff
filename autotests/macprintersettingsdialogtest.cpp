#include "macippserverprocess.h"
#include "modalanswerer.h"

#include <attributes.h>
#include <macprintersettingsdialog.h>
#include <printerippactions.h>

#include <maccategorylistwidget.h>
#include <maclevelcombobox.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using CUPS::MacPrinterSettingsDialog;
using TelmarQt5::ILevelComboBox;
using TelmarQt5::MacCategoryListWidget;
using TelmarQt5::MacLevelComboBox;

namespace
{
const QString Office = QStringLiteral("Office");

template<typename T>
T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

// Picks a level as the user does, through the combo's item.
template<typename Combo>
void choose(Combo *combo, uint value)
{
    const int index = combo->findData(value);
    QVERIFY2(index >= 0, qPrintable(QStringLiteral("level %1 is not offered").arg(value)));
    combo->setCurrentIndex(index);
}

void setChecked(MacCategoryListWidget *list, int category, bool checked)
{
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(Qt::UserRole).toInt() == category) {
            list->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
            return;
        }
    }
    QFAIL("no such category");
}

QString label(const QHash<QString, QVariant> &attributes, QLatin1String name)
{
    return attributes.value(name).toList().value(0).toString();
}

int modifyRequests(const QStringList &log)
{
    return log.filter(QRegularExpression(QStringLiteral("^4003 "))).size();
}
} // namespace

class MacPrinterSettingsDialogTest : public QObject
{
    Q_OBJECT

private:
    MacIppServerProcess m_server;

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

    void showsThePrintersPolicyAndLabels_data()
    {
        QTest::addColumn<QString>("policy"); // forced on the server first, when not empty
        QTest::addColumn<QString>("min");
        QTest::addColumn<QString>("max");
        QTest::addColumn<int>("currentPolicy");
        QTest::addColumn<QList<uint>>("expected"); // min level, max level, min integrity, max integrity, min and max categories

        QTest::newRow("labels as stored") << QString() << QStringLiteral("1:1:0x0000000000000001") << QStringLiteral("3:2:0x0000000000000013") << 0
                                          << QList<uint>{1, 3, 1, 2, 0x1, 0x13};
        QTest::newRow("unnamed levels kept") << QStringLiteral("mac-strict") << QStringLiteral("0:7:0x0000000000000000")
                                             << QStringLiteral("200:9:0x0000000000000100") << 2 << QList<uint>{0, 200, 7, 9, 0, 0x100};
        QTest::newRow("unreadable labels read as zero") << QString() << QStringLiteral("secret") << QStringLiteral("1:2:0x3") << 0
                                                        << QList<uint>{0, 0, 0, 0, 0, 0};
        // Reported, but not among the supported ones: nothing is current.
        QTest::newRow("unsupported policy") << QStringLiteral("Default") << QStringLiteral("0:0:0x0000000000000000")
                                            << QStringLiteral("0:0:0x0000000000000000") << -1 << QList<uint>{0, 0, 0, 0, 0, 0};
    }

    void showsThePrintersPolicyAndLabels()
    {
        QFETCH(QString, policy);
        QFETCH(QString, min);
        QFETCH(QString, max);
        QFETCH(int, currentPolicy);
        QFETCH(QList<uint>, expected);
        if (!policy.isEmpty()) {
            QVERIFY(m_server.forcePrinterPolicy(Office, policy));
        }
        QVERIFY(CUPS::PrinterIppActions::instance()->setPrinterMac(Office, min, max));

        MacPrinterSettingsDialog dialog(Office);
        auto *policies = child<QComboBox>(&dialog, "policyCombo");
        QCOMPARE(policies->count(), 3);
        QCOMPARE(policies->itemText(2), QStringLiteral("mac-strict"));
        QCOMPARE(policies->currentIndex(), currentPolicy);
        const QList<uint> shown{child<MacLevelComboBox>(&dialog, "minLevel")->value(),
                                child<MacLevelComboBox>(&dialog, "maxLevel")->value(),
                                child<ILevelComboBox>(&dialog, "minIntegrity")->value(),
                                child<ILevelComboBox>(&dialog, "maxIntegrity")->value(),
                                uint(child<MacCategoryListWidget>(&dialog, "minCategories")->value()),
                                uint(child<MacCategoryListWidget>(&dialog, "maxCategories")->value())};
        QCOMPARE(shown, expected);
    }

    void levelBoundsFollowEachOther()
    {
        // How a combo's bounds behave is the label widgets' test; here, that each bound follows the other.
        MacPrinterSettingsDialog dialog(Office);
        choose(child<MacLevelComboBox>(&dialog, "maxLevel"), 2);
        choose(child<MacLevelComboBox>(&dialog, "minLevel"), 1);
        choose(child<ILevelComboBox>(&dialog, "maxIntegrity"), 2);
        choose(child<ILevelComboBox>(&dialog, "minIntegrity"), 1);
        QCOMPARE(int(child<MacLevelComboBox>(&dialog, "minLevel")->maximumValue()), 2);
        QCOMPARE(int(child<MacLevelComboBox>(&dialog, "maxLevel")->minimumValue()), 1);
        QCOMPARE(child<ILevelComboBox>(&dialog, "minIntegrity")->maximumValue(), 2u);
        QCOMPARE(child<ILevelComboBox>(&dialog, "maxIntegrity")->minimumValue(), 1u);
    }

    void maximumCategoriesHoldTheMinimumOnes()
    {
        QVERIFY(CUPS::PrinterIppActions::instance()->setPrinterMac(Office, QStringLiteral("0:0:0x0000000000000001"), QStringLiteral("0:0:0x0000000000000003")));
        MacPrinterSettingsDialog dialog(Office);
        auto *minCategories = child<MacCategoryListWidget>(&dialog, "minCategories");
        auto *maxCategories = child<MacCategoryListWidget>(&dialog, "maxCategories");

        // A minimum category the maximum lacks joins the maximum.
        setChecked(minCategories, 4, true);
        QCOMPARE(minCategories->value(), 0x11ul);
        QCOMPARE(maxCategories->value(), 0x13ul);

        // A category taken from the maximum leaves the minimum; the others stay.
        setChecked(maxCategories, 0, false);
        QCOMPARE(maxCategories->value(), 0x12ul);
        QCOMPARE(minCategories->value(), 0x10ul);

        // Neither handler set off the other: a maximum-only category stays where it is.
        setChecked(maxCategories, 6, true);
        QCOMPARE(maxCategories->value(), 0x52ul);
        QCOMPARE(minCategories->value(), 0x10ul);
    }

    void okStoresPolicyAndLabels()
    {
        MacPrinterSettingsDialog dialog(Office);
        child<QComboBox>(&dialog, "policyCombo")->setCurrentIndex(1);
        choose(child<MacLevelComboBox>(&dialog, "maxLevel"), 3);
        choose(child<MacLevelComboBox>(&dialog, "minLevel"), 2);
        choose(child<ILevelComboBox>(&dialog, "maxIntegrity"), 2);
        setChecked(child<MacCategoryListWidget>(&dialog, "minCategories"), 5, true);
        setChecked(child<MacCategoryListWidget>(&dialog, "maxCategories"), 0, true);

        ModalAnswerer none({});
        child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(none.unexpected(), 0);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        const QHash<QString, QVariant> stored = m_server.printerAttributes(Office);
        QCOMPARE(label(stored, CUPS::Attr::PrinterOpPolicy), QStringLiteral("authenticated"));
        QCOMPARE(label(stored, CUPS::Attr::MacPrinterMacMin), QStringLiteral("2:0:0x0000000000000020"));
        QCOMPARE(label(stored, CUPS::Attr::MacPrinterMacMax), QStringLiteral("3:2:0x0000000000000021"));
    }

    void failedPolicySendsNoLabels()
    {
        MacPrinterSettingsDialog dialog(Office);
        choose(child<MacLevelComboBox>(&dialog, "maxLevel"), 2);
        QVERIFY(m_server.failOperation(QStringLiteral("add-modify-printer"), QStringLiteral("Policy <locked>")));
        const int before = modifyRequests(m_server.requestLog());

        QList<SeenBox> seen;
        {
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
            child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        }
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().text, QStringLiteral("Unable to set printer policy.<br>CUPS error: Policy &lt;locked&gt;"));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        // One request, the policy; the labels never went out.
        QCOMPARE(modifyRequests(m_server.requestLog()) - before, 1);
        QVERIFY(m_server.clearFailures());
        QCOMPARE(label(m_server.printerAttributes(Office), CUPS::Attr::MacPrinterMacMax), QStringLiteral("0:0:0x0000000000000000"));
    }
};

QTEST_MAIN(MacPrinterSettingsDialogTest)

#include "macprintersettingsdialogtest.moc"

#include "maccategorylistwidget.h"
#include "maclevelcombobox.h"
#include "telmarmac.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace TelmarQt5;

namespace
{
QListWidgetItem *categoryItem(const MacCategoryListWidget &list, int category)
{
    for (int row = 0; row < list.count(); ++row) {
        if (list.item(row)->data(Qt::UserRole).toInt() == category) {
            return list.item(row);
        }
    }
    return nullptr;
}

// Signals, bounds and chaining, the same for both level combos.
template<class Combo>
void checkLevelCombo()
{
    using Value = decltype(Combo().value());
    Combo combo;
    QSignalSpy spy(&combo, &Combo::valueChanged);
    combo.setValue(2, false);
    combo.setValue(2, false); // no change, no signal
    combo.setValue(1, true);
    QTest::keyClick(&combo, Qt::Key_Down); // the user's choice is reported
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.last().at(0).value<Value>(), Value(2));

    combo.setMaximumValue(1); // moves the value, and the minimum when crossed
    combo.setMinimumValue(1);
    combo.setMaximumValue(0);
    QCOMPARE(combo.value(), Value(0));
    QCOMPARE(combo.count(), 1);
    combo.setValue(2, false); // beyond the bounds: the nearest bound
    QCOMPARE(combo.value(), Value(0));
    QCOMPARE(spy.count(), 4);

    // Chained as a settings dialog does: loading a pair keeps each bound on the other.
    Combo minimum;
    Combo maximum;
    QObject::connect(&minimum, &Combo::valueChanged, &maximum, &Combo::setMinimumValue);
    QObject::connect(&maximum, &Combo::valueChanged, &minimum, &Combo::setMaximumValue);
    minimum.setValue(1, false);
    maximum.setValue(2, false);
    QCOMPARE(maximum.itemData(0).toUInt(), 1u);
    QTest::keyClick(&minimum, Qt::Key_End);
    QCOMPARE(minimum.value(), Value(2));
    QTest::keyClick(&maximum, Qt::Key_Home);
    QCOMPARE(maximum.value(), Value(2));
}
} // namespace

class TelmarMacTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_config = m_dir.filePath(QStringLiteral("mac.conf"));
        qputenv("TELMAR_MAC_CONFIG", QFile::encodeName(m_config));
    }

    void init()
    {
        qunsetenv("TELMAR_MAC_ENABLED");
        QFile::remove(m_config);
    }

    void overrideThenFileDecideWhetherMacIsOn_data()
    {
        QTest::addColumn<QByteArray>("override"); // null: unset
        QTest::addColumn<QByteArray>("file"); // null: no file
        QTest::addColumn<bool>("enabled");
        const QByteArray none;
        const QByteArray on = "enabled=yes\n";
        QTest::newRow("nothing") << none << none << false;
        QTest::newRow("file on, spaced, CRLF") << none << QByteArray("# MAC\r\n enabled = ON \r\n") << true;
        QTest::newRow("file on, names follow") << none << QByteArray(on + "[categories]\n63=Top\n") << true;
        QTest::newRow("enabled twice") << none << QByteArray(on + on) << false;
        QTest::newRow("level out of range") << none << QByteArray(on + "[levels]\n256=Too high\n") << false;
        QTest::newRow("value named twice") << none << QByteArray(on + "[levels]\n1=A\n1=B\n") << false;
        QTest::newRow("override yes, file off") << QByteArray("yes") << QByteArray("enabled=no\n") << true;
        QTest::newRow("unknown override, file on") << QByteArray("bogus") << on << false;
        QTest::newRow("empty override, file on") << QByteArray("") << on << true;
    }

    void overrideThenFileDecideWhetherMacIsOn()
    {
        QFETCH(QByteArray, override);
        QFETCH(QByteArray, file);
        QFETCH(bool, enabled);
        if (!override.isNull()) {
            qputenv("TELMAR_MAC_ENABLED", override);
        }
        if (!file.isNull()) {
            writeConfig(file);
        }
        QCOMPARE(telmar_mac_enabled(), enabled);
    }

    void namesComeFromTheFileOrTheBuiltInTables()
    {
        writeConfig("[levels]\n0=Public\n5 = Internal use\n[categories]\n2=Finance\n63=Board\n");
        MacLevelComboBox levels;
        ILevelComboBox integrity;
        MacCategoryListWidget categories;
        QCOMPARE(levels.count(), 2);
        QCOMPARE(levels.itemText(1), QStringLiteral("Internal use"));
        QCOMPARE(integrity.itemText(2), QStringLiteral("High"));
        QCOMPARE(categoryItem(categories, 63)->text(), QStringLiteral("Board"));

        // A broken file counts for nothing, names included; a rebuild keeps the value under its new name.
        levels.setValue(5, false);
        writeConfig("[levels]\n0=Public\n[levels]\n");
        levels.rebuild();
        QCOMPARE(levels.count(), 5);
        QCOMPARE(levels.itemText(3), QStringLiteral("Top secret"));
        QCOMPARE(levels.currentText(), QStringLiteral("Level 5"));
    }

    void levelCombosReportBoundAndChain()
    {
        checkLevelCombo<MacLevelComboBox>();
        checkLevelCombo<ILevelComboBox>();
    }

    void categoryMasksRoundTripSilently()
    {
        MacCategoryListWidget list;
        QSignalSpy spy(&list, &MacCategoryListWidget::valueChanged);
        // Each mask replaces the one before; unnamed categories, up to the top bit, come back whole.
        for (ulong mask : {0x85UL, (1UL << 40) | (1UL << 31) | 0x2UL, ~0UL, 0UL}) {
            list.setValue(mask);
            QCOMPARE(list.value(), mask);
        }
        QCOMPARE(spy.count(), 0);
    }

    void checkingACategoryReportsTheNewMask()
    {
        MacCategoryListWidget list;
        list.setValue(0x1);
        QSignalSpy spy(&list, &MacCategoryListWidget::valueChanged);
        // A slot may correct the list from its own signal, while the item change is still under way.
        connect(&list, &MacCategoryListWidget::valueChanged, &list, [&list](ulong mask) {
            list.setValue(mask | 0x1);
        });
        categoryItem(list, 2)->setCheckState(Qt::Checked);
        categoryItem(list, 0)->setCheckState(Qt::Unchecked);
        QCOMPARE(list.value(), 0x5UL);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).value<ulong>(), 0x4UL);
    }

private:
    void writeConfig(const QByteArray &contents)
    {
        QFile file(m_config);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(contents), contents.size());
    }

    QTemporaryDir m_dir;
    QString m_config;
};

QTEST_MAIN(TelmarMacTest)

#include "telmarmactest.moc"

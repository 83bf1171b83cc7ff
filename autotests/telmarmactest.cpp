#include "maccategorylistwidget.h"
#include "maclevelcombobox.h"
#include "telmarmac.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace TelmarQt5;

namespace
{
// What a combo offers: (item data, item text) pairs in order.
template<class Combo>
QVector<QPair<uint, QString>> items(const Combo &combo)
{
    QVector<QPair<uint, QString>> result;
    for (int row = 0; row < combo.count(); ++row) {
        result.append({combo.itemData(row).toUInt(), combo.itemText(row)});
    }
    return result;
}

QListWidgetItem *categoryItem(const MacCategoryListWidget &list, int category)
{
    for (int row = 0; row < list.count(); ++row) {
        if (list.item(row)->data(Qt::UserRole).toInt() == category) {
            return list.item(row);
        }
    }
    return nullptr;
}

QVariantList emitted(const QSignalSpy &spy)
{
    QVariantList values;
    for (const QVariantList &arguments : spy) {
        values.append(arguments.at(0));
    }
    return values;
}

template<class Combo>
void checkValueChanged()
{
    using Value = decltype(Combo().value());
    Combo combo;
    QSignalSpy spy(&combo, &Combo::valueChanged);
    combo.setValue(2, false);
    combo.setValue(2, false); // no change, no signal
    combo.setValue(1, true);
    QCOMPARE(combo.currentData().toUInt(), 1u);
    QTest::keyClick(&combo, Qt::Key_Down);
    QCOMPARE(combo.value(), Value(2));
    QCOMPARE(emitted(spy), (QVariantList{QVariant::fromValue(Value(2)), QVariant::fromValue(Value(2))}));
}

template<class Combo>
void checkBounds()
{
    using Value = decltype(Combo().value());
    Combo combo;
    combo.setValue(1, true);
    QSignalSpy spy(&combo, &Combo::valueChanged);

    combo.setMinimumValue(2);
    QCOMPARE(combo.value(), Value(2));
    QCOMPARE(combo.itemData(0).toUInt(), 2u);
    combo.setMaximumValue(1); // crosses the minimum, which follows it down
    QCOMPARE(combo.value(), Value(1));
    QCOMPARE(combo.minimumValue(), Value(1));
    QCOMPARE(combo.count(), 1);
    combo.setValue(0, false); // below the bounds: the nearest bound
    QCOMPARE(combo.value(), Value(1));
    QCOMPARE(emitted(spy), (QVariantList{QVariant::fromValue(Value(2)), QVariant::fromValue(Value(1))}));

    combo.setMinimumValue(0);
    QCOMPARE(combo.value(), Value(1));
    QCOMPARE(combo.count(), 2);
    QCOMPARE(spy.count(), 2);
}

template<class Combo>
void checkChainedCombos()
{
    using Value = decltype(Combo().value());
    Combo minimum;
    Combo maximum;
    QObject::connect(&minimum, &Combo::valueChanged, &maximum, &Combo::setMinimumValue);
    QObject::connect(&maximum, &Combo::valueChanged, &minimum, &Combo::setMaximumValue);

    // Loading a label pair the way a settings dialog does.
    minimum.setValue(1, false);
    maximum.setValue(2, false);
    QCOMPARE(maximum.itemData(0).toUInt(), 1u);
    QCOMPARE(minimum.itemData(minimum.count() - 1).toUInt(), 2u);

    // The user cannot push the minimum past the maximum, and the maximum
    // then cannot go below the new minimum.
    QTest::keyClick(&minimum, Qt::Key_End);
    QCOMPARE(minimum.value(), Value(2));
    QCOMPARE(minimum.currentText(), minimum.itemText(minimum.findData(2u)));
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
        QDir(m_config).removeRecursively();
    }

    void overrideThenFileDecideWhetherMacIsOn_data()
    {
        QTest::addColumn<QByteArray>("override");
        QTest::addColumn<QByteArray>("file"); // null: no file; "<dir>": unreadable
        QTest::addColumn<bool>("enabled");

        const QByteArray none;
        const QByteArray on = "enabled=yes\n";
        QTest::newRow("nothing") << none << QByteArray() << false;
        QTest::newRow("file on") << none << on << true;
        QTest::newRow("file on, spaced, upper case, CRLF") << none << QByteArray("# MAC\r\n  enabled = ON \r\n") << true;
        QTest::newRow("file off") << none << QByteArray("enabled=0\n") << false;
        QTest::newRow("file without enabled") << none << QByteArray("[levels]\n0=Public\n") << false;
        QTest::newRow("file on, names follow") << none << QByteArray(on + "[categories]\n63=Top\n") << true;
        QTest::newRow("unknown switch value") << none << QByteArray("enabled=maybe\n") << false;
        QTest::newRow("enabled twice") << none << QByteArray(on + on) << false;
        QTest::newRow("unknown key") << none << QByteArray(on + "colour=red\n") << false;
        QTest::newRow("line without =") << none << QByteArray(on + "garbage\n") << false;
        QTest::newRow("enabled inside a section") << none << QByteArray("[levels]\n" + on) << false;
        QTest::newRow("unknown section") << none << QByteArray(on + "[colours]\n") << false;
        QTest::newRow("level out of range") << none << QByteArray(on + "[levels]\n256=Too high\n") << false;
        QTest::newRow("empty name") << none << QByteArray(on + "[levels]\n1=\n") << false;
        QTest::newRow("value named twice") << none << QByteArray(on + "[levels]\n1=A\n1=B\n") << false;
        QTest::newRow("unreadable file") << none << QByteArray("<dir>") << false;
        QTest::newRow("override on, no file") << QByteArray("1") << none << true;
        QTest::newRow("override yes, file off") << QByteArray("yes") << QByteArray("enabled=no\n") << true;
        QTest::newRow("override off, file on") << QByteArray("0") << on << false;
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
        if (file == "<dir>") {
            QVERIFY(QDir().mkpath(m_config));
        } else if (!file.isNull()) {
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

        using Items = QVector<QPair<uint, QString>>;
        QCOMPARE(items(levels), (Items{{0, QStringLiteral("Public")}, {5, QStringLiteral("Internal use")}}));
        QCOMPARE(items(integrity), (Items{{0, QStringLiteral("Low")}, {1, QStringLiteral("Medium")}, {2, QStringLiteral("High")}}));
        QCOMPARE(categories.count(), 2);
        QCOMPARE(categoryItem(categories, 2)->text(), QStringLiteral("Finance"));
        QCOMPARE(categoryItem(categories, 63)->text(), QStringLiteral("Board"));

        // A broken file counts for nothing, names included.
        writeConfig("[levels]\n0=Public\n[levels]\n");
        levels.rebuild();
        QCOMPARE(levels.count(), 4);
        QCOMPARE(levels.itemText(3), QStringLiteral("Top secret"));
    }

    void valueChangedComesFromTheUserAndUnsilencedSetValue()
    {
        checkValueChanged<MacLevelComboBox>();
        checkValueChanged<ILevelComboBox>();
    }

    void unnamedValuesGetAnItemAndReadBack()
    {
        MacLevelComboBox levels;
        levels.setValue(255, false);
        QCOMPARE(levels.value(), uchar(255));
        QCOMPARE(levels.currentText(), QStringLiteral("Level 255"));

        ILevelComboBox integrity;
        for (uint value : {0xFFFFFFFFu, 1000u}) {
            integrity.setValue(value, false);
            QCOMPARE(integrity.value(), value);
            QCOMPARE(integrity.currentText(), QStringLiteral("Integrity level %1").arg(value));
        }
        // Both stay on offer, so the user can return to a loaded value.
        QCOMPARE(integrity.count(), 5);
        QCOMPARE(integrity.itemData(4).toUInt(), 0xFFFFFFFFu);
    }

    void boundsLimitTheItemsAndMoveTheValue()
    {
        checkBounds<MacLevelComboBox>();
        checkBounds<ILevelComboBox>();
    }

    void chainedCombosStayConsistentAfterLoading()
    {
        checkChainedCombos<MacLevelComboBox>();
        checkChainedCombos<ILevelComboBox>();
    }

    void rebuildKeepsTheValuesUnderNewNames()
    {
        MacLevelComboBox combo;
        combo.setValue(2, false);
        QSignalSpy spy(&combo, &MacLevelComboBox::valueChanged);
        writeConfig("[levels]\n0=Public\n5=Internal\n");
        combo.rebuild();
        QCOMPARE(combo.value(), uchar(2));
        QCOMPARE(combo.currentText(), QStringLiteral("Level 2"));
        QCOMPARE(combo.count(), 3);
        QCOMPARE(combo.itemText(2), QStringLiteral("Internal"));

        writeConfig("[levels]\n2=Restricted\n");
        combo.rebuild();
        QCOMPARE(combo.currentText(), QStringLiteral("Restricted"));
        QCOMPARE(spy.count(), 0);

        MacCategoryListWidget list;
        list.setValue((1UL << 40) | 0x2UL);
        writeConfig("[categories]\n1=Finance\n40=Legal\n");
        list.rebuild();
        QCOMPARE(list.value(), (1UL << 40) | 0x2UL);
        QCOMPARE(list.count(), 2);
        QCOMPARE(categoryItem(list, 40)->text(), QStringLiteral("Legal"));
    }

    void categoryMaskRoundTripsSilently_data()
    {
        QTest::addColumn<ulong>("mask");
        QTest::addColumn<int>("items");

        QTest::newRow("none") << 0UL << 8;
        QTest::newRow("named ones") << 0x85UL << 8;
        QTest::newRow("top bit, unnamed") << (1UL << 63) << 9;
        QTest::newRow("named and unnamed") << ((1UL << 40) | 0x2UL) << 9;
        QTest::newRow("all") << ~0UL << 64;
    }

    void categoryMaskRoundTripsSilently()
    {
        QFETCH(ulong, mask);
        QFETCH(int, items);

        MacCategoryListWidget list;
        QSignalSpy spy(&list, &MacCategoryListWidget::valueChanged);
        list.setValue(mask);
        QCOMPARE(list.value(), mask);
        QCOMPARE(list.count(), items);
        for (int category = 0; category < 64; ++category) {
            if (mask & (1UL << category)) {
                QListWidgetItem *item = categoryItem(list, category);
                QVERIFY2(item, qPrintable(QString::number(category)));
                QCOMPARE(item->data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
            }
        }
        list.setValue(0);
        QCOMPARE(list.value(), 0UL);
        QCOMPARE(spy.count(), 0);
    }

    void checkingACategoryReportsTheNewMask()
    {
        MacCategoryListWidget list;
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.setValue(0x1);
        QSignalSpy spy(&list, &MacCategoryListWidget::valueChanged);

        list.setCurrentItem(categoryItem(list, 2));
        QTest::keyClick(list.viewport(), Qt::Key_Space);
        QCOMPARE(list.value(), 0x5UL);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<ulong>(), 0x5UL);

        // A slot may correct the list from its own signal, while the item
        // change it reports is still under way.
        connect(&list, &MacCategoryListWidget::valueChanged, &list, [&list](ulong mask) {
            list.setValue(mask | 0x1);
        });
        categoryItem(list, 0)->setData(Qt::CheckStateRole, 0);
        QCOMPARE(list.value(), 0x5UL);
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

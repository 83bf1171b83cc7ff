#include "modalanswerer.h"

#include <attributeviewer.h>
#include <columneditor.h>
#include <utils.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

using CUPS::AttributeViewer;
using CUPS::ColumnEditor;

namespace
{
QComboBox *combo(const ColumnEditor &editor, const char *name)
{
    return editor.findChild<QComboBox *>(QLatin1String(name));
}

QStringList itemTexts(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) {
        texts << box->itemText(i);
    }
    return texts;
}

QSet<QString> allKnownAttributes()
{
    QSet<QString> names;
    for (const auto &pair : CUPS::Utils::attributeNames()) {
        names.insert(pair.first);
    }
    return names;
}

QPushButton *button(const QWidget *dialog, QDialogButtonBox::StandardButton which = QDialogButtonBox::Ok)
{
    return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(which);
}

QTreeWidget *treeOf(const AttributeViewer &viewer)
{
    return viewer.findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
}

QTreeWidgetItem *rowOf(const AttributeViewer &viewer, const QString &name)
{
    const auto items = treeOf(viewer)->findItems(name, Qt::MatchExactly, 0);
    return items.isEmpty() ? nullptr : items.constFirst();
}

QAction *actionNamed(const AttributeViewer &viewer, const char *text)
{
    const auto actions = treeOf(viewer)->actions();
    const auto it = std::find_if(actions.cbegin(), actions.cend(), [text](const QAction *action) {
        return action->text() == QLatin1String(text);
    });
    return it == actions.cend() ? nullptr : *it;
}

const QString JobName = QStringLiteral("Report <b>Q3</b> & more, Grüße");

const QHash<QString, QVariant> &sampleAttributes()
{
    static const QHash<QString, QVariant> attributes{
        {QStringLiteral("job-name"), QVariantList{JobName}},
        {QStringLiteral("job-priority"), QVariantList{50}},
        {QStringLiteral("finishings"), QVariantList{3, 4}},
        {QStringLiteral("mac-inv-num"), QVariantList{QStringLiteral("17")}},
        {QStringLiteral("job-hold-until"), QVariantList{}},
    };
    return attributes;
}
} // namespace

class AttributeDialogsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
    }

    void columnListsAreParallelWithoutExcludedAttributes()
    {
        const QSet<QString> excluded{QStringLiteral("job-id"), QStringLiteral("job-name")};
        ColumnEditor editor(excluded, nullptr);
        QComboBox *titles = combo(editor, "titleComboBox");
        QComboBox *attributes = combo(editor, "attributeComboBox");
        QStringList expected = (allKnownAttributes() - excluded).values();
        expected.sort();
        QCOMPARE(itemTexts(attributes), expected);
        for (int i = 0; i < attributes->count(); ++i) {
            QCOMPARE(titles->itemText(i), CUPS::Utils::attributeTitle(attributes->itemText(i)));
        }
        // Nothing is chosen at first.
        QCOMPARE(editor.attribute() + editor.title(), QString());
        QVERIFY(!button(&editor)->isEnabled());
    }

    void pickingEitherListFillsTheOther()
    {
        ColumnEditor editor({}, nullptr);
        QComboBox *titles = combo(editor, "titleComboBox");
        QComboBox *attributes = combo(editor, "attributeComboBox");
        attributes->setCurrentIndex(attributes->findText(QStringLiteral("job-k-octets")));
        QCOMPARE(editor.title(), CUPS::Utils::attributeTitle(QStringLiteral("job-k-octets")));
        QVERIFY(button(&editor)->isEnabled());
        // The filled title stays editable.
        titles->setEditText(QStringLiteral("Size"));
        QCOMPARE(editor.title(), QStringLiteral("Size"));
        QCOMPARE(editor.attribute(), QStringLiteral("job-k-octets"));

        // Choosing the still-current title again, after typing, fills the attribute again.
        const int printer = titles->findText(CUPS::Utils::attributeTitle(QStringLiteral("job-printer-uri")));
        titles->setCurrentIndex(printer);
        attributes->setEditText(QStringLiteral("my-own-attribute"));
        Q_EMIT titles->activated(printer);
        QCOMPARE(editor.attribute(), QStringLiteral("job-printer-uri"));

        // Ok needs both fields.
        editor.setTitle(QString());
        QVERIFY(!button(&editor)->isEnabled());
        editor.setTitle(QStringLiteral("Name"));
        editor.setAttribute(QString());
        QVERIFY(!button(&editor)->isEnabled());
    }

    void typedColumnsWorkWithEverythingExcluded()
    {
        ColumnEditor editor(allKnownAttributes(), nullptr);
        QComboBox *titles = combo(editor, "titleComboBox");
        QComboBox *attributes = combo(editor, "attributeComboBox");
        QCOMPARE(titles->count() + attributes->count(), 0);
        editor.show();
        QTest::keyClicks(attributes, QStringLiteral("x-custom"));
        QVERIFY(!button(&editor)->isEnabled());
        QTest::keyClicks(titles, QStringLiteral("Custom"));
        QVERIFY(button(&editor)->isEnabled());
        // Enter keeps the lists parallel: typed text is no new item.
        QTest::keyClick(attributes, Qt::Key_Return);
        QCOMPARE(attributes->count(), 0);
        QCOMPARE(editor.attribute(), QStringLiteral("x-custom"));
        QCOMPARE(editor.title(), QStringLiteral("Custom"));
    }

    void readOnlyViewerShowsValuesAsText()
    {
        AttributeViewer viewer(sampleAttributes(), false, nullptr);
        QStringList rows;
        for (int row = 0; row < treeOf(viewer)->topLevelItemCount(); ++row) {
            const QTreeWidgetItem *item = treeOf(viewer)->topLevelItem(row);
            rows << item->text(0) + QLatin1Char('=') + item->text(1);
            QVERIFY(!(item->flags() & Qt::ItemIsEditable));
        }
        QCOMPARE(rows, QStringList({QStringLiteral("finishings=3,4"), QStringLiteral("job-hold-until="), QStringLiteral("job-name=") + JobName,
                                    QStringLiteral("job-priority=50"), QStringLiteral("mac-inv-num=17")}));
        QCOMPARE(rowOf(viewer, QStringLiteral("job-name"))->toolTip(1), JobName);
        QVERIFY(rowOf(viewer, QStringLiteral("mac-inv-num"))->font(0).bold());
        QVERIFY(!rowOf(viewer, QStringLiteral("job-name"))->font(0).bold());
        QVERIFY(!actionNamed(viewer, "Add attribute"));
        QCOMPARE(viewer.findChild<QDialogButtonBox *>()->standardButtons(), QDialogButtonBox::Close);
    }

    void editedSingleValuesAreReported_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("reported");
        QTest::newRow("single value changed") << "job-priority" << "80" << true;
        QTest::newRow("single value unchanged") << "job-priority" << "50" << false;
        QTest::newRow("empty value filled") << "job-hold-until" << "indefinite" << true;
        QTest::newRow("text with a comma") << "job-name" << "a,b" << true;
        QTest::newRow("multi-valued never") << "finishings" << "3" << false;
    }

    void editedSingleValuesAreReported()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, reported);
        AttributeViewer viewer(sampleAttributes(), true, nullptr);
        QVERIFY(rowOf(viewer, name)->flags() & Qt::ItemIsEditable);
        rowOf(viewer, name)->setText(1, text);
        QVERIFY(viewer.modifiedAttributes().isEmpty());
        button(&viewer)->click();
        QCOMPARE(viewer.modifiedAttributes(), (reported ? QHash<QString, QString>{{name, text}} : QHash<QString, QString>()));
    }

    void eachRunReportsItsOwnChanges()
    {
        AttributeViewer viewer(sampleAttributes(), true, nullptr);
        const auto run = [&](const char *priority, QDialogButtonBox::StandardButton which) {
            rowOf(viewer, QStringLiteral("job-priority"))->setText(1, QLatin1String(priority));
            button(&viewer, which)->click();
            return viewer.modifiedAttributes().value(QStringLiteral("job-priority"), QStringLiteral("none"));
        };
        QCOMPARE(run("80", QDialogButtonBox::Ok), QStringLiteral("80"));
        QCOMPARE(run("50", QDialogButtonBox::Ok), QStringLiteral("50")); // set back after the first was written
        QCOMPARE(run("90", QDialogButtonBox::Close), QStringLiteral("none"));
        QCOMPARE(rowOf(viewer, QStringLiteral("job-priority"))->text(1), QStringLiteral("50")); // the closed run's edit is gone

        // Only values can be edited, not names.
        viewer.show();
        QTreeWidgetItem *row = rowOf(viewer, QStringLiteral("job-priority"));
        treeOf(viewer)->openPersistentEditor(row, 0);
        treeOf(viewer)->openPersistentEditor(row, 1);
        QVERIFY(!treeOf(viewer)->isPersistentEditorOpen(row, 0));
        QVERIFY(treeOf(viewer)->isPersistentEditorOpen(row, 1));
    }

    void theAddDialogTakesOnlyAttributeNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("rows"); // 5 when nothing was added, or the attribute replaced
        QTest::newRow("new attribute") << "job-sheets" << "standard" << 6;
        QTest::newRow("existing attribute replaced") << "job-priority" << "10" << 5;
        QTest::newRow("lower case, digits, hyphens") << "x-job-2" << "v" << 6;
        QTest::newRow("upper case") << "Job-name" << "v" << 5;
        QTest::newRow("space") << "job name" << "v" << 5;
        QTest::newRow("non-ASCII") << "jöb" << "v" << 5;
        QTest::newRow("empty name") << "" << "v" << 5;
        QTest::newRow("empty value") << "x-new-name" << "" << 5;
    }

    void theAddDialogTakesOnlyAttributeNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(int, rows);
        const bool accepted = rows == 6 || sampleAttributes().contains(name);
        AttributeViewer viewer(sampleAttributes(), true, nullptr);
        QString title;
        bool enabledAtFirst = true;
        bool enabledWhenFilled = !accepted;
        ModalAnswerer answerer({[&](QWidget *dialog) {
            title = QString::fromLatin1(dialog->metaObject()->className()) + QLatin1Char(' ') + dialog->windowTitle();
            enabledAtFirst = button(dialog)->isEnabled();
            // Pasted rather than typed: typing would drop the refused characters.
            dialog->findChild<QLineEdit *>(QStringLiteral("attributeLineEdit"))->setText(name);
            dialog->findChild<QLineEdit *>(QStringLiteral("valueLineEdit"))->setText(value);
            enabledWhenFilled = button(dialog)->isEnabled();
            button(dialog, enabledWhenFilled ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        }});
        actionNamed(viewer, "Add attribute")->trigger();
        QCOMPARE(title, QStringLiteral("CUPS::AddAttributeDialog Add Attribute"));
        QVERIFY(!enabledAtFirst);
        QCOMPARE(enabledWhenFilled, accepted);
        QCOMPARE(treeOf(viewer)->topLevelItemCount(), rows);
        button(&viewer)->click();
        QCOMPARE(viewer.modifiedAttributes(), (accepted ? QHash<QString, QString>{{name, value}} : QHash<QString, QString>()));
    }

    void copyPutsTheCurrentRowOnTheClipboard()
    {
        AttributeViewer viewer(sampleAttributes(), false, nullptr);
        QApplication::clipboard()->setText(QStringLiteral("untouched"));
        treeOf(viewer)->setCurrentItem(nullptr);
        actionNamed(viewer, "Copy &key")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("untouched"));
        treeOf(viewer)->setCurrentItem(rowOf(viewer, QStringLiteral("finishings")));
        actionNamed(viewer, "Copy &key")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("finishings"));
        actionNamed(viewer, "Copy &value")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("3,4"));
    }

    void closingSavesTheGeometryForTheNextViewer()
    {
        const QString key = QStringLiteral("AttributeViewer/geometry");
        QSettings().remove(key);
        for (bool accept : {true, false}) {
            {
                AttributeViewer viewer(sampleAttributes(), accept, nullptr);
                viewer.show();
                viewer.setGeometry(40, 60, 700, 520);
                if (accept) {
                    button(&viewer)->click();
                } else {
                    QTest::keyClick(&viewer, Qt::Key_Escape);
                }
            }
            // Accepting does not save; closing does.
            QCOMPARE(QSettings().contains(key), !accept);
        }
        QCOMPARE(AttributeViewer(sampleAttributes(), false, nullptr).size(), QSize(700, 520));
    }
};

QTEST_MAIN(AttributeDialogsTest)

#include "attributedialogstest.moc"

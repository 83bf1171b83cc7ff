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

QPushButton *okButton(const QWidget *dialog)
{
    return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok);
}

QTreeWidgetItem *rowOf(const AttributeViewer &viewer, const QString &name)
{
    const auto items = viewer.findChild<QTreeWidget *>(QStringLiteral("treeWidget"))->findItems(name, Qt::MatchExactly, 0);
    return items.isEmpty() ? nullptr : items.constFirst();
}

QAction *actionNamed(const AttributeViewer &viewer, const QString &text)
{
    const auto actions = viewer.findChild<QTreeWidget *>(QStringLiteral("treeWidget"))->actions();
    for (QAction *action : actions) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

const QHash<QString, QVariant> &sampleAttributes()
{
    static const QHash<QString, QVariant> attributes{
        {QStringLiteral("job-name"), QVariantList{QStringLiteral("Report <b>Q3</b> & more, Grüße")}},
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
    void initTestCase();

    void columnListsAreParallelWithoutExcludedAttributes();
    void pickingEitherListFillsTheOther();
    void okNeedsBothFields_data();
    void okNeedsBothFields();
    void typedColumnsWorkWithEverythingExcluded();

    void readOnlyViewerShowsValuesAsText();
    void editedSingleValuesAreReported_data();
    void editedSingleValuesAreReported();
    void eachRunReportsItsOwnChanges();
    void namesCannotBeEdited();
    void addedAttributesAreReported_data();
    void addedAttributesAreReported();
    void addDialogAcceptsOnlyAttributeNames_data();
    void addDialogAcceptsOnlyAttributeNames();
    void copyPutsTheCurrentRowOnTheClipboard();
    void closingSavesTheGeometryForTheNextViewer();
};

void AttributeDialogsTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();
}

void AttributeDialogsTest::columnListsAreParallelWithoutExcludedAttributes()
{
    const QSet<QString> excluded{QStringLiteral("job-id"), QStringLiteral("job-name")};
    ColumnEditor editor(excluded, nullptr);
    QCOMPARE(editor.windowTitle(), QStringLiteral("Edit Column"));
    auto *titles = editor.findChild<QComboBox *>(QStringLiteral("titleComboBox"));
    auto *attributes = editor.findChild<QComboBox *>(QStringLiteral("attributeComboBox"));
    QVERIFY(titles && attributes);

    QStringList expected;
    for (const QString &name : allKnownAttributes()) {
        if (!excluded.contains(name)) {
            expected << name;
        }
    }
    expected.sort();
    QCOMPARE(itemTexts(attributes), expected);
    for (int i = 0; i < attributes->count(); ++i) {
        QCOMPARE(titles->itemText(i), CUPS::Utils::attributeTitle(attributes->itemText(i)));
    }
    // Nothing is chosen at first.
    QCOMPARE(attributes->currentIndex(), -1);
    QCOMPARE(titles->currentIndex(), -1);
    QCOMPARE(editor.attribute(), QString());
    QCOMPARE(editor.title(), QString());
    QVERIFY(!okButton(&editor)->isEnabled());
}

void AttributeDialogsTest::pickingEitherListFillsTheOther()
{
    ColumnEditor editor({}, nullptr);
    auto *titles = editor.findChild<QComboBox *>(QStringLiteral("titleComboBox"));
    auto *attributes = editor.findChild<QComboBox *>(QStringLiteral("attributeComboBox"));

    attributes->setCurrentIndex(attributes->findText(QStringLiteral("job-k-octets")));
    QCOMPARE(editor.title(), CUPS::Utils::attributeTitle(QStringLiteral("job-k-octets")));
    QVERIFY(okButton(&editor)->isEnabled());

    // The filled title stays editable.
    titles->setEditText(QStringLiteral("Size"));
    QCOMPARE(editor.title(), QStringLiteral("Size"));
    QCOMPARE(editor.attribute(), QStringLiteral("job-k-octets"));

    const int printer = titles->findText(CUPS::Utils::attributeTitle(QStringLiteral("job-printer-uri")));
    titles->setCurrentIndex(printer);
    QCOMPARE(editor.attribute(), QStringLiteral("job-printer-uri"));

    // Choosing the still-current title again, after typing, fills it again.
    attributes->setEditText(QStringLiteral("my-own-attribute"));
    Q_EMIT titles->activated(printer);
    QCOMPARE(editor.attribute(), QStringLiteral("job-printer-uri"));
}

void AttributeDialogsTest::okNeedsBothFields_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("both preset, as for a column being changed") << QStringLiteral("Name") << QStringLiteral("job-name") << true;
    QTest::newRow("title cleared") << QString() << QStringLiteral("job-name") << false;
    QTest::newRow("attribute cleared") << QStringLiteral("Name") << QString() << false;
}

void AttributeDialogsTest::okNeedsBothFields()
{
    QFETCH(QString, title);
    QFETCH(QString, attribute);
    QFETCH(bool, enabled);
    ColumnEditor editor({}, nullptr);
    editor.setTitle(QStringLiteral("Name"));
    editor.setAttribute(QStringLiteral("job-name"));
    QVERIFY(okButton(&editor)->isEnabled());

    editor.setTitle(title);
    editor.setAttribute(attribute);
    QCOMPARE(okButton(&editor)->isEnabled(), enabled);
}

void AttributeDialogsTest::typedColumnsWorkWithEverythingExcluded()
{
    ColumnEditor editor(allKnownAttributes(), nullptr);
    auto *titles = editor.findChild<QComboBox *>(QStringLiteral("titleComboBox"));
    auto *attributes = editor.findChild<QComboBox *>(QStringLiteral("attributeComboBox"));
    QCOMPARE(titles->count(), 0);
    QCOMPARE(attributes->count(), 0);

    editor.show();
    attributes->setFocus();
    QTest::keyClicks(attributes, QStringLiteral("x-custom"));
    QVERIFY(!okButton(&editor)->isEnabled());
    QTest::keyClicks(titles, QStringLiteral("Custom"));
    QVERIFY(okButton(&editor)->isEnabled());
    // Enter keeps the lists parallel: typed text is no new item.
    QTest::keyClick(attributes, Qt::Key_Return);
    QCOMPARE(attributes->count(), 0);
    QCOMPARE(editor.attribute(), QStringLiteral("x-custom"));
    QCOMPARE(editor.title(), QStringLiteral("Custom"));
}

void AttributeDialogsTest::readOnlyViewerShowsValuesAsText()
{
    AttributeViewer viewer(sampleAttributes(), false, nullptr);
    QCOMPARE(viewer.windowTitle(), QStringLiteral("Attributes Viewer"));
    auto *tree = viewer.findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
    QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Attribute"));
    QCOMPARE(tree->headerItem()->text(1), QStringLiteral("Value"));

    QStringList names;
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        names << tree->topLevelItem(row)->text(0);
        QVERIFY(!(tree->topLevelItem(row)->flags() & Qt::ItemIsEditable));
    }
    QCOMPARE(names, QStringList({QStringLiteral("finishings"), QStringLiteral("job-hold-until"), QStringLiteral("job-name"), QStringLiteral("job-priority"), QStringLiteral("mac-inv-num")}));

    QCOMPARE(rowOf(viewer, QStringLiteral("finishings"))->text(1), QStringLiteral("3,4"));
    QCOMPARE(rowOf(viewer, QStringLiteral("job-hold-until"))->text(1), QString());
    const QString name = QStringLiteral("Report <b>Q3</b> & more, Grüße");
    QCOMPARE(rowOf(viewer, QStringLiteral("job-name"))->text(1), name);
    QCOMPARE(rowOf(viewer, QStringLiteral("job-name"))->toolTip(1), name);
    QVERIFY(rowOf(viewer, QStringLiteral("mac-inv-num"))->font(0).bold());
    QVERIFY(!rowOf(viewer, QStringLiteral("job-name"))->font(0).bold());

    QVERIFY(!actionNamed(viewer, QStringLiteral("Add attribute")));
    QVERIFY(actionNamed(viewer, QStringLiteral("Copy &key")));
    const auto *buttons = viewer.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Close);
}

void AttributeDialogsTest::editedSingleValuesAreReported_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("reported");
    QTest::newRow("single value changed") << QStringLiteral("job-priority") << QStringLiteral("80") << true;
    QTest::newRow("single value unchanged") << QStringLiteral("job-priority") << QStringLiteral("50") << false;
    QTest::newRow("empty value filled") << QStringLiteral("job-hold-until") << QStringLiteral("indefinite") << true;
    QTest::newRow("text with a comma") << QStringLiteral("job-name") << QStringLiteral("a,b") << true;
    QTest::newRow("multi-valued never") << QStringLiteral("finishings") << QStringLiteral("3") << false;
}

void AttributeDialogsTest::editedSingleValuesAreReported()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, reported);
    AttributeViewer viewer(sampleAttributes(), true, nullptr);
    QVERIFY(rowOf(viewer, name)->flags() & Qt::ItemIsEditable);
    rowOf(viewer, name)->setText(1, text);
    QVERIFY(viewer.modifiedAttributes().isEmpty());

    okButton(&viewer)->click();
    QCOMPARE(viewer.result(), int(QDialog::Accepted));
    const QHash<QString, QString> expected = reported ? QHash<QString, QString>{{name, text}} : QHash<QString, QString>();
    QCOMPARE(viewer.modifiedAttributes(), expected);
}

void AttributeDialogsTest::eachRunReportsItsOwnChanges()
{
    AttributeViewer viewer(sampleAttributes(), true, nullptr);
    const auto run = [&](const char *priority, QDialogButtonBox::StandardButton button) {
        rowOf(viewer, QStringLiteral("job-priority"))->setText(1, QLatin1String(priority));
        viewer.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(button)->click();
        return viewer.modifiedAttributes().value(QStringLiteral("job-priority"), QStringLiteral("none"));
    };
    QCOMPARE(run("80", QDialogButtonBox::Ok), QStringLiteral("80"));
    QCOMPARE(run("50", QDialogButtonBox::Ok), QStringLiteral("50")); // set back after the first was written
    QCOMPARE(run("90", QDialogButtonBox::Close), QStringLiteral("none"));
    QCOMPARE(rowOf(viewer, QStringLiteral("job-priority"))->text(1), QStringLiteral("50")); // the closed run's edit is gone
}

void AttributeDialogsTest::namesCannotBeEdited()
{
    AttributeViewer viewer(sampleAttributes(), true, nullptr);
    viewer.show();
    auto *tree = viewer.findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
    QTreeWidgetItem *row = rowOf(viewer, QStringLiteral("job-priority"));
    tree->openPersistentEditor(row, 0);
    QVERIFY(!tree->isPersistentEditorOpen(row, 0));
    tree->openPersistentEditor(row, 1);
    QVERIFY(tree->isPersistentEditorOpen(row, 1));
}

void AttributeDialogsTest::addedAttributesAreReported_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("rows");
    QTest::newRow("new attribute") << QStringLiteral("job-sheets") << QStringLiteral("standard") << 6;
    QTest::newRow("existing attribute replaced") << QStringLiteral("job-priority") << QStringLiteral("10") << 5;
}

void AttributeDialogsTest::addedAttributesAreReported()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(int, rows);
    AttributeViewer viewer(sampleAttributes(), true, nullptr);
    QAction *add = actionNamed(viewer, QStringLiteral("Add attribute"));
    QVERIFY(add);

    QString className;
    ModalAnswerer answerer({[&](QWidget *dialog) {
        className = QString::fromLatin1(dialog->metaObject()->className());
        dialog->findChild<QLineEdit *>(QStringLiteral("attributeLineEdit"))->setText(name);
        dialog->findChild<QLineEdit *>(QStringLiteral("valueLineEdit"))->setText(value);
        okButton(dialog)->click();
    }});
    add->trigger();

    QCOMPARE(className, QStringLiteral("CUPS::AddAttributeDialog"));
    auto *tree = viewer.findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
    QCOMPARE(tree->topLevelItemCount(), rows);
    QCOMPARE(rowOf(viewer, name)->text(1), value);
    okButton(&viewer)->click();
    QCOMPARE(viewer.modifiedAttributes(), (QHash<QString, QString>{{name, value}}));
}

void AttributeDialogsTest::addDialogAcceptsOnlyAttributeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("lower case, digits, hyphens") << QStringLiteral("x-job-2") << QStringLiteral("v") << true;
    QTest::newRow("upper case") << QStringLiteral("Job-name") << QStringLiteral("v") << false;
    QTest::newRow("space") << QStringLiteral("job name") << QStringLiteral("v") << false;
    QTest::newRow("non-ASCII") << QStringLiteral("jöb") << QStringLiteral("v") << false;
    QTest::newRow("empty name") << QString() << QStringLiteral("v") << false;
    QTest::newRow("empty value") << QStringLiteral("x-new-name") << QString() << false;
}

void AttributeDialogsTest::addDialogAcceptsOnlyAttributeNames()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(bool, enabled);
    AttributeViewer viewer(sampleAttributes(), true, nullptr);

    QString title;
    bool enabledAtFirst = true;
    bool enabledAfterTyping = !enabled;
    ModalAnswerer answerer({[&](QWidget *dialog) {
        title = dialog->windowTitle();
        enabledAtFirst = okButton(dialog)->isEnabled();
        // Pasted rather than typed: typing would drop the refused characters.
        dialog->findChild<QLineEdit *>(QStringLiteral("attributeLineEdit"))->setText(name);
        dialog->findChild<QLineEdit *>(QStringLiteral("valueLineEdit"))->setText(value);
        enabledAfterTyping = okButton(dialog)->isEnabled();
        if (enabledAfterTyping) {
            okButton(dialog)->click();
        } else {
            dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Cancel)->click();
        }
    }});
    actionNamed(viewer, QStringLiteral("Add attribute"))->trigger();

    QCOMPARE(title, QStringLiteral("Add Attribute"));
    QVERIFY(!enabledAtFirst);
    QCOMPARE(enabledAfterTyping, enabled);
    QCOMPARE(rowOf(viewer, name) != nullptr, enabled);
}

void AttributeDialogsTest::copyPutsTheCurrentRowOnTheClipboard()
{
    AttributeViewer viewer(sampleAttributes(), false, nullptr);
    auto *tree = viewer.findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
    QApplication::clipboard()->setText(QStringLiteral("untouched"));
    tree->setCurrentItem(nullptr);
    actionNamed(viewer, QStringLiteral("Copy &key"))->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("untouched"));

    tree->setCurrentItem(rowOf(viewer, QStringLiteral("finishings")));
    actionNamed(viewer, QStringLiteral("Copy &key"))->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("finishings"));
    actionNamed(viewer, QStringLiteral("Copy &value"))->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("3,4"));
}

void AttributeDialogsTest::closingSavesTheGeometryForTheNextViewer()
{
    QSettings().remove(QStringLiteral("AttributeViewer/geometry"));
    {
        AttributeViewer viewer(sampleAttributes(), true, nullptr);
        viewer.show();
        viewer.setGeometry(40, 60, 700, 520);
        okButton(&viewer)->click();
    }
    // Accepting does not save.
    QVERIFY(!QSettings().contains(QStringLiteral("AttributeViewer/geometry")));
    {
        AttributeViewer viewer(sampleAttributes(), false, nullptr);
        viewer.show();
        viewer.setGeometry(40, 60, 700, 520);
        QTest::keyClick(&viewer, Qt::Key_Escape);
        QCOMPARE(viewer.result(), int(QDialog::Rejected));
    }
    QVERIFY(QSettings().contains(QStringLiteral("AttributeViewer/geometry")));
    AttributeViewer next(sampleAttributes(), false, nullptr);
    QCOMPARE(next.size(), QSize(700, 520));
}

QTEST_MAIN(AttributeDialogsTest)

#include "attributedialogstest.moc"

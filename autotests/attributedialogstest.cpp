#include "modalanswerer.h"

#include <attributeviewer.h>
#include <columneditor.h>
#include <utils.h>

#include <QAction>
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
    return treeOf(viewer)->findItems(name, Qt::MatchExactly, 0).value(0);
}

const QString JobName = QStringLiteral("Report <b>Q3</b> & more, Grüße");

const QHash<QString, QVariant> &sampleAttributes()
{
    static const QHash<QString, QVariant> attributes{
        {QStringLiteral("job-name"), QVariantList{JobName}},
        {QStringLiteral("job-priority"), QVariantList{50}},
        {QStringLiteral("finishings"), QVariantList{3, 4}},
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
        ColumnEditor editor({QStringLiteral("job-id"), QStringLiteral("job-name")}, nullptr);
        auto *titles = editor.findChild<QComboBox *>(QStringLiteral("titleComboBox"));
        auto *attributes = editor.findChild<QComboBox *>(QStringLiteral("attributeComboBox"));
        QCOMPARE(attributes->count(), int(CUPS::Utils::attributeNames().size()) - 2);
        for (int i = 0; i < attributes->count(); ++i) {
            QCOMPARE(titles->itemText(i), CUPS::Utils::attributeTitle(attributes->itemText(i)));
        }
        QVERIFY(!button(&editor)->isEnabled()); // nothing is chosen at first

        // Picking either list fills the other; the filled title stays editable.
        attributes->setCurrentIndex(attributes->findText(QStringLiteral("job-k-octets")));
        QCOMPARE(editor.title(), CUPS::Utils::attributeTitle(QStringLiteral("job-k-octets")));
        QVERIFY(button(&editor)->isEnabled());
        titles->setEditText(QStringLiteral("Size"));
        QCOMPARE(editor.title(), QStringLiteral("Size"));
        QCOMPARE(editor.attribute(), QStringLiteral("job-k-octets"));
        editor.setTitle(QString());
        QVERIFY2(!button(&editor)->isEnabled(), "Ok needs a title too");
    }

    void editedSingleValuesAreReported_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown"); // the value as text, not rich text
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("reported");
        QTest::newRow("single value changed") << "job-priority" << "50" << "80" << true;
        QTest::newRow("single value unchanged") << "job-priority" << "50" << "50" << false;
        QTest::newRow("empty value filled") << "job-hold-until" << "" << "indefinite" << true;
        QTest::newRow("markup") << "job-name" << JobName << "plain" << true;
        QTest::newRow("multi-valued never") << "finishings" << "3,4" << "3" << false;
    }

    void editedSingleValuesAreReported()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, reported);
        AttributeViewer viewer(sampleAttributes(), true, nullptr);
        QTEST(rowOf(viewer, name)->text(1), "shown");
        QVERIFY(rowOf(viewer, name)->flags() & Qt::ItemIsEditable);
        rowOf(viewer, name)->setText(1, text);
        button(&viewer)->click();
        const QHash<QString, QString> none;
        QCOMPARE(viewer.modifiedAttributes(), (reported ? QHash<QString, QString>{{name, text}} : none));
    }

    void theAddDialogTakesOnlyAttributeNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("lower case, digits, hyphens") << "x-job-2" << "v" << true;
        QTest::newRow("existing attribute replaced") << "job-priority" << "10" << true;
        QTest::newRow("upper case") << "Job-name" << "v" << false;
        QTest::newRow("empty value") << "x-new-name" << "" << false;
    }

    void theAddDialogTakesOnlyAttributeNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(bool, accepted);
        AttributeViewer viewer(sampleAttributes(), true, nullptr);
        ModalAnswerer answerer({[&](QWidget *dialog) {
            // Pasted rather than typed: typing would drop the refused characters.
            dialog->findChild<QLineEdit *>(QStringLiteral("attributeLineEdit"))->setText(name);
            dialog->findChild<QLineEdit *>(QStringLiteral("valueLineEdit"))->setText(value);
            const bool complete = button(dialog)->isEnabled();
            button(dialog, complete ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        }});
        for (QAction *action : treeOf(viewer)->actions()) {
            if (action->text() == QLatin1String("Add attribute")) {
                action->trigger();
            }
        }
        QCOMPARE(answerer.pending(), 0);
        button(&viewer)->click();
        const QHash<QString, QString> none;
        QCOMPARE(viewer.modifiedAttributes(), (accepted ? QHash<QString, QString>{{name, value}} : none));
    }

    void closingSavesTheGeometryForTheNextViewer()
    {
        const QString key = QStringLiteral("AttributeViewer/geometry");
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
        const AttributeViewer readOnly(sampleAttributes(), false, nullptr);
        QCOMPARE(readOnly.size(), QSize(700, 520));
        QVERIFY(!(rowOf(readOnly, QStringLiteral("job-priority"))->flags() & Qt::ItemIsEditable));
    }
};

QTEST_MAIN(AttributeDialogsTest)

#include "attributedialogstest.moc"

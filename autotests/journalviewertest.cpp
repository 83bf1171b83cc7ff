#include "journalhtml.h"
#include "macippserverprocess.h"
#include "modalanswerer.h"

#include <columneditor.h>
#include <journalviewer.h>

#include <KDateTimeEdit>

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using CUPS::JournalViewer;

namespace
{
// When the test server's first journal record was created; the form shows whole minutes.
constexpr qint64 FirstCreated = 1700000000 + 3600;
const QString CreationRange = QStringLiteral("time-at-creation-range");

template<typename T>
T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

void setKey(QWidget *viewer, const char *box, const QString &key)
{
    auto *combo = child<QComboBox>(viewer, box);
    combo->setCurrentIndex(qMax(0, combo->findData(key)));
}

void setTimeRange(QWidget *viewer, qint64 from, qint64 to, const QString &range = CreationRange)
{
    setKey(viewer, "key1ComboBox", range);
    child<KDateTimeEdit>(viewer, "fromDateTimeEdit")->setDateTime(QDateTime::fromSecsSinceEpoch(from));
    child<KDateTimeEdit>(viewer, "toDateTimeEdit")->setDateTime(QDateTime::fromSecsSinceEpoch(to));
}

// The texts of a column, top to bottom.
QStringList columnTexts(const QTreeWidget *tree, int column = 0)
{
    QStringList texts;
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        texts << tree->topLevelItem(row)->text(column);
    }
    return texts;
}
} // namespace

class JournalViewerTest : public QObject
{
    Q_OBJECT

private:
    MacIppServerProcess m_server;
    QPointer<JournalViewer> m_viewer;
    QTreeWidget *m_tree = nullptr;

    JournalViewer *newViewer()
    {
        delete m_viewer.data();
        m_viewer = new JournalViewer;
        m_viewer->popup();
        m_tree = child<QTreeWidget>(m_viewer, "journalTreeWidget");
        return m_viewer;
    }
    void search()
    {
        child<QPushButton>(m_viewer, "searchButton")->click();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_server.use();
    }

    void init()
    {
        QSettings().clear();
        QVERIFY(m_server.reset());
        newViewer();
    }

    void searchFindsWhatTheFormAsks_data()
    {
        QTest::addColumn<QString>("timeRange");
        QTest::addColumn<QStringList>("rows"); // key, value, key, value, key, value
        QTest::addColumn<QString>("op");
        QTest::addColumn<QStringList>("found"); // the job IDs shown
        const QString user = QStringLiteral("job-originating-user-name");
        const QString name = QStringLiteral("job-name");
        const QString number = QStringLiteral("mac-inv-num");
        QTest::newRow("time range and a condition") << CreationRange
            << QStringList{user, QStringLiteral("alice"), {}, {}, {}, {}} << QStringLiteral("AND")
            << QStringList{QStringLiteral("101"), QStringLiteral("103")};
        QTest::newRow("the same key twice: the later row wins") << QString()
            << QStringList{name, QStringLiteral("report-1"), number, {}, name, QStringLiteral("report-44")}
            << QStringLiteral("AND") << QStringList{QStringLiteral("144")};
    }

    void searchFindsWhatTheFormAsks()
    {
        QFETCH(QString, timeRange);
        QFETCH(QStringList, rows);
        QFETCH(QString, op);
        QFETCH(QStringList, found);

        // Records 101 and 103 in range, 102 and 104 out; the edges fall between whole minutes.
        setTimeRange(m_viewer, FirstCreated - 80, FirstCreated + 2 * 3600 + 40, timeRange);
        const char *keys[] = {"key2ComboBox", "key3ComboBox", "key4ComboBox"};
        const char *values[] = {"value2LineEdit", "value3LineEdit", "value4LineEdit"};
        for (int row = 0; row < 3; ++row) {
            setKey(m_viewer, keys[row], rows.at(2 * row));
            child<QLineEdit>(m_viewer, values[row])->setText(rows.at(2 * row + 1));
        }
        setKey(m_viewer, "opeatorComboBox", op);
        search();
        QCOMPARE(columnTexts(m_tree), found);
    }

    void resultsComeThirtyToAPage()
    {
        auto *label = child<QLabel>(m_viewer, "pageLabel");
        auto *next = child<QToolButton>(m_viewer, "nextPageButton");
        search();
        QCOMPARE(m_tree->topLevelItemCount(), 30);
        QCOMPARE(label->text(), QStringLiteral("Page 1/2"));

        next->click();
        QCOMPARE(m_tree->topLevelItemCount(), 15);
        QCOMPARE(m_tree->topLevelItem(0)->text(0), QStringLiteral("131"));
        QCOMPARE(label->text(), QStringLiteral("Page 2/2"));
        QVERIFY(!next->isEnabled() && child<QToolButton>(m_viewer, "prevPageButton")->isEnabled());

        // Records 1 to 30 are exactly one page: no empty second one.
        setTimeRange(m_viewer, FirstCreated - 20, FirstCreated + 29 * 3600 + 40);
        search();
        QCOMPARE(m_tree->topLevelItemCount(), 30);
        QVERIFY(label->isHidden() && next->isHidden());
    }

    void failedSearchWarnsAndLeavesTheTableEmpty()
    {
        search();
        QVERIFY(m_server.failOperation(QStringLiteral("get-journal"), QStringLiteral("<b>down</b>")));
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
        search();
        QCOMPARE(seen.value(0).text, QStringLiteral("Unable to receive marking journal\nCUPS error: <b>down</b>"));
        QCOMPARE(m_tree->topLevelItemCount(), 0);
    }

    void cellsFollowTheirAttributeRules()
    {
        child<QLineEdit>(m_viewer, "idLineEdit")->setText(QStringLiteral("102"));
        search();
        const QString created = QDateTime::fromSecsSinceEpoch(FirstCreated + 3600).toString(Qt::TextDate);
        QCOMPARE(columnTexts(m_tree, 2), QStringList{created});
        // The printer URI shows as the printer's name; a missing attribute as "<hidden>".
        QCOMPARE(columnTexts(m_tree, 4), QStringList{QStringLiteral("Archive")});
        QCOMPARE(columnTexts(m_tree, 6), QStringList{QStringLiteral("<hidden>")});
    }

    void presetsAreSavedOverwrittenAndDeleted()
    {
        auto *presets = child<QComboBox>(m_viewer, "presetComboBox");
        auto *id = child<QLineEdit>(m_viewer, "idLineEdit");
        const auto save = [&](const char *jobId) {
            id->setText(QString::fromLatin1(jobId));
            presets->setEditText(QStringLiteral("mine"));
            child<QToolButton>(m_viewer, "savePresetButton")->click();
        };
        save("101");
        // The same name again: No keeps both, Yes replaces the first.
        QList<SeenBox> seen;
        {
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::No, QMessageBox::Yes}, &seen));
            save("102");
            save("103");
        }
        QCOMPARE(seen.size(), 2);

        // Written at once, read by the next viewer; choosing one searches with it.
        presets = child<QComboBox>(newViewer(), "presetComboBox");
        Q_EMIT presets->activated(0);
        QCOMPARE(columnTexts(m_tree), QStringList{QStringLiteral("103")});
        Q_EMIT presets->activated(1);
        QCOMPARE(columnTexts(m_tree), QStringList{QStringLiteral("102")});

        presets->setCurrentIndex(1);
        child<QToolButton>(m_viewer, "deletePresetButton")->click();
        QCOMPARE(child<QComboBox>(newViewer(), "presetComboBox")->count(), 1);
    }

    void formColumnsAndHeaderSurviveANewViewer()
    {
        const QString processing = QStringLiteral("time-at-processing-range");
        const QString phone = QStringLiteral("mac-owner-phone");
        setTimeRange(m_viewer, FirstCreated - 20, FirstCreated + 7180, processing);
        setKey(m_viewer, "key3ComboBox", phone);
        child<QLineEdit>(m_viewer, "value3LineEdit")->setText(QStringLiteral("555"));
        setKey(m_viewer, "opeatorComboBox", QStringLiteral("OR"));
        search();
        m_tree->header()->moveSection(3, 0);
        m_viewer->reject();
        QTRY_VERIFY(!m_viewer); // closing deletes the dialog

        JournalViewer *next = newViewer();
        QCOMPARE(child<QComboBox>(next, "key1ComboBox")->currentData().toString(), processing);
        // The condition lands in the first free row.
        QCOMPARE(child<QComboBox>(next, "key2ComboBox")->currentData().toString(), phone);
        QCOMPARE(child<QLineEdit>(next, "value2LineEdit")->text(), QStringLiteral("555"));
        QCOMPARE(child<QComboBox>(next, "opeatorComboBox")->currentData().toString(), QStringLiteral("OR"));
        QCOMPARE(m_tree->header()->visualIndex(3), 0);
    }

    void headerMenuAddsEditsAndRemovesColumns()
    {
        m_viewer->resize(2000, 600);
        child<QLineEdit>(m_viewer, "idLineEdit")->setText(QStringLiteral("101"));
        search();
        QHeaderView *header = m_tree->header();
        // Chooses a header menu entry on a section, answering the column editor with an attribute and title.
        const auto trigger = [&](int section, int action, const QString &attribute, const QString &title) {
            ModalAnswerer answerer({[&](QWidget *widget) {
                auto *editor = qobject_cast<CUPS::ColumnEditor *>(widget);
                editor->setAttribute(attribute);
                editor->setTitle(title);
                attribute.isEmpty() ? editor->reject() : editor->accept();
            }});
            const QPoint position(header->sectionViewportPosition(section) + 2, 2);
            Q_EMIT header->customContextMenuRequested(position);
            child<QMenu>(m_viewer, "headerMenu")->actions().at(action)->trigger();
            child<QMenu>(m_viewer, "headerMenu")->hide();
        };
        trigger(1, 0, QStringLiteral("mac-inv-num"), QStringLiteral("Inventory")); // inserted where asked
        QCOMPARE(m_tree->headerItem()->text(1), QStringLiteral("Inventory"));
        QCOMPARE(m_tree->topLevelItem(0)->text(1), QStringLiteral("INV-101"));
        trigger(1, 1, QStringLiteral("mac-distribution"), QStringLiteral("Copies to"));
        QCOMPARE(m_tree->topLevelItem(0)->text(1), QStringLiteral("Office 1^Archive"));

        // Remove never takes the last column.
        for (int columns = m_tree->columnCount(); columns > 0; --columns) {
            trigger(0, 3, QString(), QString());
        }
        QCOMPARE(m_tree->columnCount(), 1);
        QCOMPARE(m_tree->headerItem()->text(0), QStringLiteral("Paper Size"));
    }

    void printedTableEscapesItsTexts()
    {
        // A header row and a row per record; job names and users come from users: markup prints as text.
        QTreeWidget table;
        table.setHeaderLabels({QStringLiteral("User & co"), QStringLiteral("Name")});
        new QTreeWidgetItem(&table, {QStringLiteral("<img src=\"x.png\">"), QStringLiteral("report")});
        const QString escaped = CUPS::journalTableHtml(&table);
        QCOMPARE(escaped.count(QStringLiteral("<tr>\n")), 2);
        QCOMPARE(escaped.count(QStringLiteral("<td bgcolor=white>")), 4);
        QVERIFY(escaped.contains(QStringLiteral(">User &amp; co</td>")));
        QVERIFY(escaped.contains(QStringLiteral(">&lt;img src=&quot;x.png&quot;&gt;</td>")));
    }
};

QTEST_MAIN(JournalViewerTest)

#include "journalviewertest.moc"

#include "journalhtml.h"
#include "macippserverprocess.h"
#include "modalanswerer.h"

#include <attributes.h>
#include <attributeviewer.h>
#include <columneditor.h>
#include <journalviewer.h>

#include <KDateComboBox>
#include <KDateTimeEdit>

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPrintDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using CUPS::JournalViewer;
using State = QHash<QString, QString>;

namespace
{
// Epoch seconds of the first journal record's creation, as the test server starts.
// It lies 20 seconds past a whole minute; times the form shows are whole minutes.
constexpr qint64 FirstCreated = 1700000000 + 3600;
constexpr qint64 MinuteOfFirst = FirstCreated - 20;

template<typename T>
T *child(QWidget *parent, const char *name)
{
    auto *found = parent->findChild<T *>(QLatin1String(name));
    if (!found) {
        qWarning("no child %s", name);
    }
    return found;
}

void selectData(QComboBox *box, const QString &data)
{
    box->setCurrentIndex(box->findData(data));
}

QStringList strings(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts) {
        list << QString::fromUtf8(text);
    }
    return list;
}

// "key=value key=value" as the request's keys.
State state(const char *pairs)
{
    State result;
    for (const QString &pair : QString::fromUtf8(pairs).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        result.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    }
    return result;
}

QStringList rowTexts(const QTreeWidgetItem *item)
{
    QStringList texts;
    for (int i = 0; i < item->treeWidget()->columnCount(); ++i) {
        texts << item->text(i);
    }
    return texts;
}

// Answers the column editor with an attribute and title, or cancels it.
ModalAnswerer::Handler answerColumnEditor(const QString &attribute, const QString &title, QString *seenTitle = nullptr)
{
    return [=](QWidget *widget) {
        auto *editor = qobject_cast<CUPS::ColumnEditor *>(widget);
        if (!editor) {
            widget->close();
            return;
        }
        if (seenTitle) {
            *seenTitle = editor->windowTitle() + QLatin1Char('|') + editor->attribute() + QLatin1Char('|') + editor->title();
        }
        if (attribute.isEmpty()) {
            editor->reject();
            return;
        }
        editor->setAttribute(attribute);
        editor->setTitle(title);
        editor->accept();
    };
}
} // namespace

class JournalViewerTest : public QObject
{
    Q_OBJECT

private:
    MacIppServerProcess m_server;
    QList<QPointer<JournalViewer>> m_viewers;

    JournalViewer *newViewer()
    {
        auto *viewer = new JournalViewer;
        m_viewers << viewer;
        viewer->popup();
        return viewer;
    }
    static void search(JournalViewer *viewer)
    {
        child<QPushButton>(viewer, "searchButton")->click();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // Built-in level names only; no machine configuration decides the test.
        qputenv("TELMAR_MAC_CONFIG", "/nonexistent/mac.conf");
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_server.use();
    }

    void init()
    {
        QSettings().clear();
        QVERIFY(m_server.reset());
        for (const QPointer<JournalViewer> &viewer : qAsConst(m_viewers)) {
            delete viewer.data();
        }
        m_viewers.clear();
    }

    void searchSendsTheFormAsItsKeys_data()
    {
        QTest::addColumn<QString>("jobId");
        QTest::addColumn<QString>("timeRange");
        QTest::addColumn<QStringList>("rows"); // key, value, key, value, key, value
        QTest::addColumn<QString>("op");
        QTest::addColumn<State>("expected");
        QTest::addColumn<int>("found");
        const QString range = QStringLiteral("time-at-creation-range=%1-%2").arg(FirstCreated - 80).arg(FirstCreated + 2 * 3600 + 40);
        QTest::newRow("job number only, the rest ignored") << QStringLiteral("105") << QStringLiteral("time-at-creation-range")
                                                           << strings({"job-name", "report-9", "", "", "", ""}) << QStringLiteral("OR") << state("job-id=105") << 1;
        QTest::newRow("time range and a condition") // records 1 and 3
            << QString() << QStringLiteral("time-at-creation-range") << strings({"job-originating-user-name", "alice", "", "", "", ""}) << QStringLiteral("AND")
            << state(qPrintable(range + QStringLiteral(" job-originating-user-name=alice operator=AND"))) << 2;
        QTest::newRow("two conditions joined by OR") << QString() << QString() << strings({"mac-inv-num", "INV-101", "job-name", "report-45", "", ""})
                                                     << QStringLiteral("OR") << state("mac-inv-num=INV-101 job-name=report-45 operator=OR") << 2;
        QTest::newRow("the same key twice: the later row wins") << QString() << QString() << strings({"job-name", "report-1", "mac-inv-num", "", "job-name", "report-44"})
                                                                << QStringLiteral("AND") << state("job-name=report-44 operator=AND") << 1;
    }

    void searchSendsTheFormAsItsKeys()
    {
        QFETCH(QString, jobId);
        QFETCH(QString, timeRange);
        QFETCH(QStringList, rows);
        QFETCH(QString, op);
        QFETCH(State, expected);
        QFETCH(int, found);

        JournalViewer *viewer = newViewer();
        child<QLineEdit>(viewer, "idLineEdit")->setText(jobId);
        selectData(child<QComboBox>(viewer, "key1ComboBox"), timeRange);
        child<KDateTimeEdit>(viewer, "fromDateTimeEdit")->setDateTime(QDateTime::fromSecsSinceEpoch(FirstCreated - 80));
        child<KDateTimeEdit>(viewer, "toDateTimeEdit")->setDateTime(QDateTime::fromSecsSinceEpoch(FirstCreated + 2 * 3600 + 40));
        const char *keys[] = {"key2ComboBox", "key3ComboBox", "key4ComboBox"};
        const char *values[] = {"value2LineEdit", "value3LineEdit", "value4LineEdit"};
        for (int row = 0; row < 3; ++row) {
            auto *key = child<QComboBox>(viewer, keys[row]);
            key->setCurrentIndex(rows.at(2 * row).isEmpty() ? 0 : key->findData(rows.at(2 * row)));
            child<QLineEdit>(viewer, values[row])->setText(rows.at(2 * row + 1));
        }
        selectData(child<QComboBox>(viewer, "opeatorComboBox"), op);

        search(viewer);
        QCOMPARE(m_server.lastJournalRequest(), expected);
        QCOMPARE(child<QTreeWidget>(viewer, "journalTreeWidget")->topLevelItemCount(), found);
    }

    void pagesAskForTheirFirstIndex()
    {
        JournalViewer *viewer = newViewer();
        auto *tree = child<QTreeWidget>(viewer, "journalTreeWidget");
        auto *label = child<QLabel>(viewer, "pageLabel");
        auto *previous = child<QToolButton>(viewer, "prevPageButton");
        auto *next = child<QToolButton>(viewer, "nextPageButton");
        QVERIFY(label->isHidden() && previous->isHidden() && next->isHidden());

        search(viewer);
        QCOMPARE(tree->topLevelItemCount(), 30);
        QVERIFY(!m_server.lastJournalRequest().contains(QStringLiteral("first-index")));
        QCOMPARE(label->text(), QStringLiteral("Page 1/2"));
        QVERIFY(!label->isHidden() && !previous->isEnabled() && next->isEnabled());

        next->click();
        QCOMPARE(m_server.lastJournalRequest().value(QStringLiteral("first-index")), QStringLiteral("31"));
        QCOMPARE(tree->topLevelItemCount(), 15);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("131"));
        QCOMPARE(label->text(), QStringLiteral("Page 2/2"));
        QVERIFY(previous->isEnabled() && !next->isEnabled());

        // A new search starts at the first page again.
        search(viewer);
        QVERIFY(!m_server.lastJournalRequest().contains(QStringLiteral("first-index")));
        QCOMPARE(label->text(), QStringLiteral("Page 1/2"));
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("101"));

        // Exactly one full page (records 1 to 30) is one page: no empty second page.
        selectData(child<QComboBox>(viewer, "key1ComboBox"), QStringLiteral("time-at-creation-range"));
        child<KDateTimeEdit>(viewer, "fromDateTimeEdit")->setDateTime(QDateTime::fromSecsSinceEpoch(MinuteOfFirst));
        child<KDateTimeEdit>(viewer, "toDateTimeEdit")->setDateTime(QDateTime::fromSecsSinceEpoch(FirstCreated + 29 * 3600 + 40));
        search(viewer);
        QCOMPARE(tree->topLevelItemCount(), 30);
        QVERIFY(label->isHidden() && previous->isHidden() && next->isHidden());

        // One page of results shows no paging at all.
        child<QLineEdit>(viewer, "idLineEdit")->setText(QStringLiteral("102"));
        search(viewer);
        QVERIFY(label->isHidden() && previous->isHidden() && next->isHidden());
    }

    void failedSearchWarnsAndLeavesTheTableEmpty()
    {
        JournalViewer *viewer = newViewer();
        search(viewer);
        QVERIFY(m_server.failOperation(QStringLiteral("get-journal"), QStringLiteral("Journal <b>offline</b>")));
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
        search(viewer);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().title, QStringLiteral("Error"));
        QCOMPARE(seen.first().text, QStringLiteral("Unable to receive marking journal\nCUPS error: Journal <b>offline</b>"));
        QCOMPARE(seen.first().icon, QMessageBox::Warning);
        QCOMPARE(child<QTreeWidget>(viewer, "journalTreeWidget")->topLevelItemCount(), 0);
        QVERIFY(child<QLabel>(viewer, "pageLabel")->isHidden());
    }

    void cellsFollowTheirAttributeRules()
    {
        JournalViewer *viewer = newViewer();
        child<QLineEdit>(viewer, "idLineEdit")->setText(QStringLiteral("102"));
        search(viewer);
        auto *tree = child<QTreeWidget>(viewer, "journalTreeWidget");
        QCOMPARE(rowTexts(tree->headerItem()), strings({"ID", "User", "Created", "Name", "Printer", "Confidentiality Level", "Paper Size"}));
        QCOMPARE(tree->topLevelItemCount(), 1);
        const QString created = QDateTime::fromSecsSinceEpoch(FirstCreated + 3600).toString(Qt::TextDate);
        // The printer URI shows as the printer's name; a missing attribute as "<hidden>".
        QCOMPARE(rowTexts(tree->topLevelItem(0)), strings({"102", "bob", created.toLatin1().constData(), "report-2", "Archive", "Public", "<hidden>"}));
        const QVariantHash record = tree->topLevelItem(0)->data(0, Qt::UserRole).toHash();
        QCOMPARE(record.value(QStringLiteral("mac-inv-num")).toList().value(0).toString(), QStringLiteral("INV-102"));
    }

    void presetsAreSavedOverwrittenAndDeleted()
    {
        JournalViewer *viewer = newViewer();
        auto *presets = child<QComboBox>(viewer, "presetComboBox");
        auto *id = child<QLineEdit>(viewer, "idLineEdit");
        auto *save = child<QToolButton>(viewer, "savePresetButton");
        QCOMPARE(presets->currentIndex(), -1);

        // No name, no preset.
        id->setText(QStringLiteral("101"));
        save->click();
        QCOMPARE(presets->count(), 0);

        presets->setEditText(QStringLiteral("mine"));
        save->click();
        QCOMPARE(presets->count(), 1);

        // The same name: No keeps both, Yes replaces the first.
        QList<SeenBox> seen;
        {
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::No, QMessageBox::Yes}, &seen));
            id->setText(QStringLiteral("102"));
            presets->setEditText(QStringLiteral("mine"));
            save->click();
            QCOMPARE(presets->count(), 2);
            id->setText(QStringLiteral("103"));
            presets->setEditText(QStringLiteral("mine"));
            save->click();
            QCOMPARE(presets->count(), 2);
            QCOMPARE(answerer.pending(), 0);
        }
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.first().text, QStringLiteral("A preset with this name is already exists. Overwite?"));

        // Written at once, in box order, read by the next viewer.
        auto *next = newViewer();
        auto *nextPresets = child<QComboBox>(next, "presetComboBox");
        QCOMPARE(nextPresets->count(), 2);
        QCOMPARE(nextPresets->itemText(0), QStringLiteral("mine"));
        QCOMPARE(nextPresets->itemData(0).value<State>(), state("job-id=103"));
        QCOMPARE(nextPresets->itemData(1).value<State>(), state("job-id=102"));

        // Choosing a preset searches with it.
        nextPresets->setCurrentIndex(0);
        Q_EMIT nextPresets->activated(0);
        QCOMPARE(m_server.lastJournalRequest(), state("job-id=103"));
        auto *tree = child<QTreeWidget>(next, "journalTreeWidget");
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("103"));

        // Delete needs the current item's own name in the box.
        nextPresets->setCurrentIndex(1);
        nextPresets->setEditText(QStringLiteral("other"));
        child<QToolButton>(next, "deletePresetButton")->click();
        QCOMPARE(nextPresets->count(), 2);
        nextPresets->setCurrentIndex(1);
        child<QToolButton>(next, "deletePresetButton")->click();
        QCOMPARE(nextPresets->count(), 1);
        QCOMPARE(nextPresets->currentText(), QString());

        auto *afterDelete = child<QComboBox>(newViewer(), "presetComboBox");
        QCOMPARE(afterDelete->count(), 1);
        QCOMPARE(afterDelete->itemData(0).value<State>(), state("job-id=103"));
    }

    void formColumnsAndHeaderSurviveANewViewer()
    {
        JournalViewer *viewer = newViewer();
        selectData(child<QComboBox>(viewer, "key1ComboBox"), QStringLiteral("time-at-processing-range"));
        child<KDateTimeEdit>(viewer, "fromDateTimeEdit")->setDateTime(QDateTime::fromSecsSinceEpoch(MinuteOfFirst));
        child<KDateTimeEdit>(viewer, "toDateTimeEdit")->setDateTime(QDateTime::fromSecsSinceEpoch(MinuteOfFirst + 7200));
        selectData(child<QComboBox>(viewer, "key3ComboBox"), QStringLiteral("mac-owner-phone"));
        child<QLineEdit>(viewer, "value3LineEdit")->setText(QStringLiteral("555"));
        selectData(child<QComboBox>(viewer, "opeatorComboBox"), QStringLiteral("OR"));
        auto *tree = child<QTreeWidget>(viewer, "journalTreeWidget");
        search(viewer);
        tree->header()->moveSection(3, 0);
        QPointer<JournalViewer> closing = viewer;
        viewer->reject();
        // Closing deletes the dialog.
        QTRY_VERIFY(!closing);

        JournalViewer *next = newViewer();
        QCOMPARE(child<QComboBox>(next, "key1ComboBox")->currentData().toString(), QStringLiteral("time-at-processing-range"));
        QCOMPARE(child<KDateTimeEdit>(next, "fromDateTimeEdit")->dateTime().toSecsSinceEpoch(), MinuteOfFirst);
        QCOMPARE(child<KDateTimeEdit>(next, "toDateTimeEdit")->dateTime().toSecsSinceEpoch(), MinuteOfFirst + 7200);
        // The condition lands in the first free row.
        QCOMPARE(child<QComboBox>(next, "key2ComboBox")->currentData().toString(), QStringLiteral("mac-owner-phone"));
        QCOMPARE(child<QLineEdit>(next, "value2LineEdit")->text(), QStringLiteral("555"));
        QCOMPARE(child<QComboBox>(next, "opeatorComboBox")->currentData().toString(), QStringLiteral("OR"));
        QCOMPARE(child<QTreeWidget>(next, "journalTreeWidget")->header()->visualIndex(3), 0);
    }

    void headerMenuAddsEditsAndRemovesColumns()
    {
        JournalViewer *viewer = newViewer();
        auto *tree = child<QTreeWidget>(viewer, "journalTreeWidget");
        auto *menu = child<QMenu>(viewer, "headerMenu");
        QHeaderView *header = tree->header();
        viewer->resize(2000, 600);
        child<QLineEdit>(viewer, "idLineEdit")->setText(QStringLiteral("101"));
        search(viewer);
        QStringList texts;
        for (const QAction *action : menu->actions()) {
            texts << action->text();
        }
        QCOMPARE(texts, strings({"Add", "Edit", "", "Remove"}));

        // Chooses the menu entry on a section (or beside them, -1), answering the column editor if one is given.
        auto trigger = [&](int section, int action, const ModalAnswerer::Handler &editor = {}) {
            ModalAnswerer answerer(editor ? QList<ModalAnswerer::Handler>{editor} : QList<ModalAnswerer::Handler>{});
            const QPoint position = section >= 0 ? QPoint(header->sectionViewportPosition(section) + 2, 2) : QPoint(header->length() + 20, 2);
            Q_EMIT header->customContextMenuRequested(position);
            menu->actions().at(action)->trigger();
            menu->hide();
            QCOMPARE(answerer.pending(), 0);
            QCOMPARE(answerer.unexpected(), 0);
        };

        // Add on a section inserts there; beside the sections appends.
        QString seen;
        trigger(1, 0, answerColumnEditor(QStringLiteral("mac-inv-num"), QStringLiteral("Inventory"), &seen));
        QCOMPARE(seen, QStringLiteral("Add Column||"));
        QCOMPARE(tree->headerItem()->text(1), QStringLiteral("Inventory"));
        QCOMPARE(tree->topLevelItem(0)->text(1), QStringLiteral("INV-101"));
        trigger(-1, 0, answerColumnEditor(QStringLiteral("mac-job-user-name"), QStringLiteral("Marker")));
        QCOMPARE(tree->columnCount(), 9);
        QCOMPARE(tree->headerItem()->text(8), QStringLiteral("Marker"));

        // Edit starts from the column and replaces it; a cancelled edit changes nothing.
        trigger(1, 1, answerColumnEditor(QStringLiteral("mac-distribution"), QStringLiteral("Copies to"), &seen));
        QCOMPARE(seen, QStringLiteral("Edit Column|mac-inv-num|Inventory"));
        QCOMPARE(tree->headerItem()->text(1), QStringLiteral("Copies to"));
        QCOMPARE(tree->topLevelItem(0)->text(1), QStringLiteral("Office 1^Archive"));
        trigger(1, 1, answerColumnEditor(QString(), QString()));
        QCOMPARE(tree->headerItem()->text(1), QStringLiteral("Copies to"));

        // Remove asks nothing, and never takes the last column.
        while (tree->columnCount() > 1) {
            const int before = tree->columnCount();
            trigger(0, 3);
            QCOMPARE(tree->columnCount(), before - 1);
        }
        trigger(0, 3);
        QCOMPARE(tree->columnCount(), 1);
        QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Marker"));
    }

    void attributesActionShowsTheCurrentRecord()
    {
        JournalViewer *viewer = newViewer();
        child<QLineEdit>(viewer, "idLineEdit")->setText(QStringLiteral("107"));
        selectData(child<QComboBox>(viewer, "key2ComboBox"), QStringLiteral("job-name"));
        search(viewer);
        auto *tree = child<QTreeWidget>(viewer, "journalTreeWidget");
        auto *attributes = child<QAction>(viewer, "attributesAction");
        QVERIFY(viewer->actions().contains(attributes));
        QCOMPARE(viewer->contextMenuPolicy(), Qt::ActionsContextMenu);

        // Without a current item nothing is asked.
        {
            ModalAnswerer none({});
            attributes->trigger();
            QCOMPARE(none.unexpected(), 0);
        }

        tree->setCurrentItem(tree->topLevelItem(0));
        QVERIFY(m_server.reset()); // forget the search
        bool readOnly = false;
        QString jobId;
        {
            ModalAnswerer answerer({[&](QWidget *widget) {
                auto *shown = qobject_cast<CUPS::AttributeViewer *>(widget);
                QVERIFY(shown);
                auto *table = shown->findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
                const auto items = table->findItems(QStringLiteral("mac-inv-num"), Qt::MatchExactly, 0);
                jobId = items.isEmpty() ? QString() : items.first()->text(1);
                readOnly = shown->parentWidget() == viewer && !items.isEmpty() && !(items.first()->flags() & Qt::ItemIsEditable);
                shown->reject();
            }});
            attributes->trigger();
            QCOMPARE(answerer.pending(), 0);
        }
        QCOMPARE(m_server.lastJournalRequest(), state("job-id=107"));
        QCOMPARE(jobId, QStringLiteral("INV-107"));
        QVERIFY(readOnly);

        // A record the server no longer finds.
        QVERIFY(m_server.failOperation(QStringLiteral("get-journal"), QStringLiteral("gone")));
        QList<SeenBox> seen;
        {
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
            attributes->trigger();
        }
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().text, QStringLiteral("Unable to receive marking journal\nCUPS error: gone"));
    }

    void printedTableEscapesItsTexts()
    {
        // The table as the viewer fills it: a header row and a row per record.
        JournalViewer *viewer = newViewer();
        search(viewer);
        auto *tree = child<QTreeWidget>(viewer, "journalTreeWidget");
        const QString html = CUPS::journalTableHtml(tree);
        QCOMPARE(html.count(QStringLiteral("<tr>\n")), 31);
        QCOMPARE(html.count(QStringLiteral("<td bgcolor=white>")), 31 * 7);
        QVERIFY(html.contains(QStringLiteral("<td bgcolor=white>&lt;hidden&gt;</td>\n")));

        // Job names and users come from users: markup prints as text.
        QTreeWidget table;
        table.setHeaderLabels({QStringLiteral("Name"), QStringLiteral("User & co")});
        new QTreeWidgetItem(&table, {QStringLiteral("<img src=\"x.png\">"), QStringLiteral("bob")});
        const QString escaped = CUPS::journalTableHtml(&table);
        QVERIFY(escaped.contains(QStringLiteral("<td bgcolor=white>User &amp; co</td>\n")));
        QVERIFY(escaped.contains(QStringLiteral("<td bgcolor=white>&lt;img src=&quot;x.png&quot;&gt;</td>\n")));
    }

    void printButtonAsksForAPrinterAndPrintsTheTable()
    {
        // Accepted with a file as the printer: the table ends up in it.
        JournalViewer *viewer = newViewer();
        QTemporaryDir folder;
        const QString pdf = folder.filePath(QStringLiteral("journal.pdf"));
        search(viewer);
        {
            ModalAnswerer answerer({[&](QWidget *widget) {
                QVERIFY(qobject_cast<QPrintDialog *>(widget) && widget->parentWidget() == viewer);
                auto *printers = widget->findChild<QComboBox *>(QStringLiteral("printers"));
                auto *file = widget->findChild<QLineEdit *>(QStringLiteral("filename"));
                QVERIFY2(printers && file, "the print dialog has no printer list or file name");
                printers->setCurrentIndex(printers->count() - 1); // "Print to File (PDF)"
                file->setText(pdf);
                qobject_cast<QDialog *>(widget)->accept();
            }});
            child<QPushButton>(viewer, "printButton")->click();
            QCOMPARE(answerer.pending(), 0);
        }
        QFile printed(pdf);
        QVERIFY(printed.open(QIODevice::ReadOnly));
        QVERIFY(printed.read(5) == "%PDF-");
    }

    void dateMaskOnlyWhereDatesFitIt_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("masked");
        QTest::newRow("day.month.year") << QStringLiteral("ru_RU") << true;
        QTest::newRow("month/day/year") << QStringLiteral("en_US") << false;
        // The date field writes years with four digits.
        QTest::newRow("two-digit year in the locale") << QStringLiteral("de_DE") << true;
    }

    void dateMaskOnlyWhereDatesFitIt()
    {
        QFETCH(QString, locale);
        QFETCH(bool, masked);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        auto restore = qScopeGuard([&before] {
            QLocale::setDefault(before);
        });
        JournalViewer *viewer = newViewer();
        for (const char *name : {"fromDateTimeEdit", "toDateTimeEdit"}) {
            auto *date = child<KDateTimeEdit>(viewer, name)->findChild<KDateComboBox *>();
            QVERIFY(date);
            QCOMPARE(date->lineEdit()->inputMask().startsWith(QStringLiteral("99.99.9999")), masked);
            // Either way the field shows its date as an unmasked one does.
            KDateComboBox plain;
            plain.setDate(date->date());
            QCOMPARE(date->lineEdit()->text(), plain.lineEdit()->text());
        }
    }
};

QTEST_MAIN(JournalViewerTest)

#include "journalviewertest.moc"

#include "journalviewer.h"

#include "journalhtml.h"
#include "messagebox.h"
#include "widgetslogging.h"

#include <attributes.h>
#include <attributeviewer.h>
#include <columneditor.h>
#include <connection.h>
#include <macippactions.h>
#include <translation.h>
#include <utils.h>

#include <KDateComboBox>
#include <KDateTimeEdit>
#include <KLocalizedString>
#include <KTimeComboBox>

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

namespace CUPS
{
namespace
{
constexpr int PageSize = 30;
const QString Group = QStringLiteral("JournalViewer");
const QString PresetsKey = QStringLiteral("presets");
const QString ColumnsKey = QStringLiteral("columns");
const QString NameKey = QStringLiteral("name");
const QString TitleKey = QStringLiteral("title");
const QString AttributeKey = QStringLiteral("attribute");
const QString GeometryPath = QStringLiteral("JournalViewer/geometry");
const QString HeaderStatePath = QStringLiteral("JournalViewer/header_state");
const QString SearchStatePath = QStringLiteral("JournalViewer/search_state");
const QString DateMask = QStringLiteral("99.99.9999");

using Column = QPair<QString, QString>;
using State = QHash<QString, QString>;

// (label, key) pairs: the label translated when asked for, the key never.
using Choice = QPair<QString, QString>;

QList<Choice> searchKeys()
{
    return {
        {translated("Job name"), Attr::JobName},
        {translated("Printer URI"), Attr::JobPrinterUri},
        {translated("Distribution list"), Attr::MacDistribution},
        {translated("Inventory number"), Attr::MacInvNum},
        {translated("Job marking user name"), Attr::MacJobUserName},
        {translated("Job owner phone"), Attr::MacOwnerPhone},
        {translated("Workplace ID"), Attr::MacWorkplaceId},
        {translated("Confidentiality level name"), Attr::MacJobMacLevelName},
        {translated("Integrity level name"), Attr::MacJobMacIlevelName},
        {translated("Category name"), Attr::MacJobMacCategoryName},
        {translated("Privacy reason"), Attr::MacJobMacLevelReason},
        {translated("Marking user full name"), Attr::MacJobUserFullName},
        {translated("Job user full name"), Attr::MacJobOriginatingUserFullName},
        {translated("Job user name"), Attr::JobOriginatingUserName},
    };
}

QList<Choice> timeRanges()
{
    return {
        {translated("Completion time range"), Attr::TimeAtCompletedRange},
        {translated("Creation time range"), Attr::TimeAtCreationRange},
        {translated("Processing time range"), Attr::TimeAtProcessingRange},
    };
}

// (title, attribute) pairs.
QList<Choice> defaultColumns()
{
    return {
        {translated("ID"), Attr::JobId},
        {translated("User"), Attr::JobOriginatingUserName},
        {translated("Created"), Attr::TimeAtCreation},
        {translated("Name"), Attr::JobName},
        {translated("Printer"), Attr::JobPrinterUri},
        {translated("Confidentiality Level"), Attr::MacJobMacLevelName},
        {translated("Paper Size"), Attr::PageSize},
    };
}

void fill(QComboBox *box, const QList<Choice> &choices)
{
    box->addItem(translated("N/A"));
    for (const Choice &choice : choices) {
        box->addItem(choice.first, choice.second);
    }
}

QLineEdit *clearableLineEdit(const QString &name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setClearButtonEnabled(true);
    return edit;
}

QComboBox *comboBox(const QString &name, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(name);
    return box;
}

QLabel *label(const QString &name, const QString &text, QWidget *parent)
{
    auto *widget = new QLabel(text, parent);
    widget->setObjectName(name);
    return widget;
}

template<typename Button>
Button *button(const QString &name, const QString &text, const QString &icon, QWidget *parent)
{
    auto *widget = new Button(parent);
    widget->setObjectName(name);
    widget->setText(text);
    widget->setIcon(QIcon::fromTheme(icon));
    return widget;
}

KDateTimeEdit *dateTimeEdit(const QString &name, QWidget *parent)
{
    auto *edit = new KDateTimeEdit(parent);
    edit->setObjectName(name);
    edit->setTimeListInterval(60);
    return edit;
}

// The editor's date and time; the time box's own value counts, as typed text
// reaches the editor only when the box loses focus.
QDateTime dateTimeOf(const KDateTimeEdit *edit)
{
    QDateTime value = edit->dateTime();
    if (const auto *time = edit->findChild<KTimeComboBox *>()) {
        value.setTime(time->time());
    }
    return value;
}

// The date mask takes day.month.year digits; on a locale that writes dates
// otherwise it would garble every date shown, so it is kept off there.
bool dateFitsMask(const QString &shownDate)
{
    QString shape = shownDate;
    for (QChar &c : shape) {
        if (c.isDigit()) {
            c = QLatin1Char('9');
        }
    }
    return shape == DateMask;
}

// What a journal cell shows for one attribute of a record.
QString cellText(const QHash<QString, QVariant> &record, const QString &attribute)
{
    if (attribute.startsWith(QLatin1String("time-at"))) {
        const qint64 seconds = Utils::getAttribute(record, attribute, 0).toLongLong();
        return QDateTime::fromSecsSinceEpoch(seconds).toString(Qt::TextDate);
    }
    if (attribute == Attr::JobPrinterUri) {
        const QString uri = QUrl::fromPercentEncoding(Utils::getAttribute(record, attribute).toString().toUtf8());
        return uri.mid(uri.lastIndexOf(QLatin1Char('/')) + 1);
    }
    if (!record.contains(attribute)) {
        return translated("<hidden>");
    }
    return Utils::getAttribute(record, attribute).toString();
}
} // namespace

namespace Ui
{
class JournalViewer
{
public:
    QGridLayout *gridLayout = nullptr;
    QLabel *label = nullptr;
    QLineEdit *idLineEdit = nullptr;
    QComboBox *key1ComboBox = nullptr;
    KDateTimeEdit *fromDateTimeEdit = nullptr;
    QLabel *label_4 = nullptr;
    KDateTimeEdit *toDateTimeEdit = nullptr;
    QComboBox *key2ComboBox = nullptr;
    QLineEdit *value2LineEdit = nullptr;
    QComboBox *key3ComboBox = nullptr;
    QLineEdit *value3LineEdit = nullptr;
    QComboBox *key4ComboBox = nullptr;
    QLineEdit *value4LineEdit = nullptr;
    QLabel *label_2 = nullptr;
    QComboBox *opeatorComboBox = nullptr;
    QPushButton *printButton = nullptr;
    QPushButton *searchButton = nullptr;
    QLabel *label_3 = nullptr;
    QComboBox *presetComboBox = nullptr;
    QToolButton *savePresetButton = nullptr;
    QToolButton *deletePresetButton = nullptr;
    QTreeWidget *journalTreeWidget = nullptr;
    QToolButton *prevPageButton = nullptr;
    QLabel *pageLabel = nullptr;
    QToolButton *nextPageButton = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

    void setupUi(QDialog *dialog)
    {
        dialog->setObjectName(QStringLiteral("JournalViewer"));
        // Wide enough for the default columns.
        dialog->resize(860, 559);
        dialog->setWindowTitle(translated("Marking Journal"));
        gridLayout = new QGridLayout(dialog);
        gridLayout->setObjectName(QStringLiteral("gridLayout"));

        label = CUPS::label(QStringLiteral("label"), translated("Job ID:"), dialog);
        idLineEdit = clearableLineEdit(QStringLiteral("idLineEdit"), dialog);
        gridLayout->addWidget(label, 0, 0);
        gridLayout->addWidget(idLineEdit, 0, 1);

        key1ComboBox = comboBox(QStringLiteral("key1ComboBox"), dialog);
        fromDateTimeEdit = dateTimeEdit(QStringLiteral("fromDateTimeEdit"), dialog);
        label_4 = CUPS::label(QStringLiteral("label_4"), QStringLiteral("-"), dialog);
        toDateTimeEdit = dateTimeEdit(QStringLiteral("toDateTimeEdit"), dialog);
        auto *timeRow = new QHBoxLayout();
        timeRow->addWidget(fromDateTimeEdit);
        timeRow->addWidget(label_4);
        timeRow->addWidget(toDateTimeEdit);
        gridLayout->addWidget(key1ComboBox, 1, 0);
        gridLayout->addLayout(timeRow, 1, 1);

        key2ComboBox = comboBox(QStringLiteral("key2ComboBox"), dialog);
        value2LineEdit = clearableLineEdit(QStringLiteral("value2LineEdit"), dialog);
        key3ComboBox = comboBox(QStringLiteral("key3ComboBox"), dialog);
        value3LineEdit = clearableLineEdit(QStringLiteral("value3LineEdit"), dialog);
        key4ComboBox = comboBox(QStringLiteral("key4ComboBox"), dialog);
        value4LineEdit = clearableLineEdit(QStringLiteral("value4LineEdit"), dialog);
        gridLayout->addWidget(key2ComboBox, 2, 0);
        gridLayout->addWidget(value2LineEdit, 2, 1);
        gridLayout->addWidget(key3ComboBox, 3, 0);
        gridLayout->addWidget(value3LineEdit, 3, 1);
        gridLayout->addWidget(key4ComboBox, 4, 0);
        gridLayout->addWidget(value4LineEdit, 4, 1);

        label_2 = CUPS::label(QStringLiteral("label_2"), translated("Logical operation:"), dialog);
        opeatorComboBox = comboBox(QStringLiteral("opeatorComboBox"), dialog);
        printButton = button<QPushButton>(QStringLiteral("printButton"), translated("Print"), QStringLiteral("document-print"), dialog);
        searchButton = button<QPushButton>(QStringLiteral("searchButton"), translated("Search"), QStringLiteral("system-search"), dialog);
        searchButton->setDefault(true);
        auto *operatorRow = new QHBoxLayout();
        operatorRow->addWidget(opeatorComboBox, 1);
        operatorRow->addWidget(printButton);
        operatorRow->addWidget(searchButton);
        gridLayout->addWidget(label_2, 5, 0);
        gridLayout->addLayout(operatorRow, 5, 1);

        label_3 = CUPS::label(QStringLiteral("label_3"), translated("Preset:"), dialog);
        presetComboBox = comboBox(QStringLiteral("presetComboBox"), dialog);
        presetComboBox->setEditable(true);
        // Only the Save button makes presets; Enter in the box must not add a preset without a search.
        presetComboBox->setInsertPolicy(QComboBox::NoInsert);
        presetComboBox->setMinimumWidth(120);
        savePresetButton = button<QToolButton>(QStringLiteral("savePresetButton"), translated("Save"), QStringLiteral("document-save"), dialog);
        savePresetButton->setToolTip(translated("Save preset"));
        deletePresetButton = button<QToolButton>(QStringLiteral("deletePresetButton"), translated("Delete"), QStringLiteral("edit-delete"), dialog);
        deletePresetButton->setToolTip(translated("Remove preset"));
        auto *presetRow = new QHBoxLayout();
        presetRow->addWidget(presetComboBox, 1);
        presetRow->addWidget(savePresetButton);
        presetRow->addWidget(deletePresetButton);
        gridLayout->addWidget(label_3, 6, 0);
        gridLayout->addLayout(presetRow, 6, 1);

        journalTreeWidget = new QTreeWidget(dialog);
        journalTreeWidget->setObjectName(QStringLiteral("journalTreeWidget"));
        journalTreeWidget->setRootIsDecorated(false);
        journalTreeWidget->setUniformRowHeights(true);
        gridLayout->addWidget(journalTreeWidget, 7, 0, 1, 2);

        prevPageButton = button<QToolButton>(QStringLiteral("prevPageButton"), QString(), QStringLiteral("go-previous"), dialog);
        pageLabel = CUPS::label(QStringLiteral("pageLabel"), QString(), dialog);
        nextPageButton = button<QToolButton>(QStringLiteral("nextPageButton"), QString(), QStringLiteral("go-next"), dialog);
        buttonBox = new QDialogButtonBox(QDialogButtonBox::Close, Qt::Horizontal, dialog);
        buttonBox->setObjectName(QStringLiteral("buttonBox"));
        auto *pageRow = new QHBoxLayout();
        pageRow->addWidget(prevPageButton);
        pageRow->addWidget(pageLabel);
        pageRow->addWidget(nextPageButton);
        pageRow->addWidget(buttonBox, 1);
        gridLayout->addLayout(pageRow, 8, 0, 1, 2);
    }
};
} // namespace Ui

class JournalViewerPrivate
{
public:
    explicit JournalViewerPrivate(JournalViewer *dialog)
        : q(dialog)
    {
        ui.setupUi(dialog);
    }

    void readSettings();
    void connectSignals();
    void resetForm();
    // The three condition rows: key box and value field.
    QVector<QPair<QComboBox *, QLineEdit *>> conditionRows() const;
    State searchState() const;
    void applySearchState(const State &state);
    void search();
    void query();
    void turnPage(int step);
    void showPageButtons();
    void showRecordAttributes();
    void showHeaderMenu(const QPoint &position);
    void addColumn();
    void editColumn();
    void removeColumn();
    void savePreset();
    void deletePreset();
    void selectPreset(int index);
    void writePresets() const;
    void print();
    bool fetch(const State &request, QList<QHash<QString, QVariant>> *records);
    QSet<QString> columnAttributes(int except) const;

    Ui::JournalViewer ui;
    JournalViewer *const q;
    State request;
    int total = 0;
    int page = 0;
    int pageCount = 1;
    QList<Column> columns;
    QMenu *headerMenu = nullptr;
    // The header section under the menu, -1 beside the sections.
    int menuSection = -1;
};

void JournalViewerPrivate::readSettings()
{
    QSettings settings;
    settings.beginGroup(Group);
    q->restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    const int presets = settings.beginReadArray(PresetsKey);
    for (int i = 0; i < presets; ++i) {
        settings.setArrayIndex(i);
        State state;
        const QStringList keys = settings.childKeys();
        for (const QString &key : keys) {
            state.insert(key, settings.value(key).toString());
        }
        const QString name = state.take(NameKey);
        ui.presetComboBox->addItem(name, QVariant::fromValue(state));
    }
    settings.endArray();
    const int count = settings.beginReadArray(ColumnsKey);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        columns.append({settings.value(TitleKey).toString(), settings.value(AttributeKey).toString()});
    }
    settings.endArray();
    settings.endGroup();
}

void JournalViewerPrivate::connectSignals()
{
    QObject::connect(ui.searchButton, &QPushButton::clicked, q, [this] {
        search();
    });
    QObject::connect(ui.printButton, &QPushButton::clicked, q, [this] {
        print();
    });
    QObject::connect(ui.prevPageButton, &QToolButton::clicked, q, [this] {
        turnPage(-1);
    });
    QObject::connect(ui.nextPageButton, &QToolButton::clicked, q, [this] {
        turnPage(1);
    });
    QObject::connect(ui.savePresetButton, &QToolButton::clicked, q, [this] {
        savePreset();
    });
    QObject::connect(ui.deletePresetButton, &QToolButton::clicked, q, [this] {
        deletePreset();
    });
    QObject::connect(ui.presetComboBox, QOverload<int>::of(&QComboBox::activated), q, [this](int index) {
        selectPreset(index);
    });
    QObject::connect(ui.buttonBox, &QDialogButtonBox::rejected, q, &JournalViewer::reject);
    QHeaderView *header = ui.journalTreeWidget->header();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(header, &QHeaderView::customContextMenuRequested, q, [this](const QPoint &position) {
        showHeaderMenu(position);
    });
}

void JournalViewerPrivate::resetForm()
{
    const QDate today = QDate::currentDate();
    ui.toDateTimeEdit->setDateTime(QDateTime(today, QTime(23, 59)));
    ui.fromDateTimeEdit->setDateTime(QDateTime(today.addDays(-7), QTime(0, 0)));
    for (QComboBox *key : {ui.key1ComboBox, ui.key2ComboBox, ui.key3ComboBox, ui.key4ComboBox}) {
        key->setCurrentIndex(0);
    }
    for (QLineEdit *edit : {ui.idLineEdit, ui.value2LineEdit, ui.value3LineEdit, ui.value4LineEdit}) {
        edit->clear();
    }
}

QVector<QPair<QComboBox *, QLineEdit *>> JournalViewerPrivate::conditionRows() const
{
    return {{ui.key2ComboBox, ui.value2LineEdit}, {ui.key3ComboBox, ui.value3LineEdit}, {ui.key4ComboBox, ui.value4LineEdit}};
}

State JournalViewerPrivate::searchState() const
{
    State state;
    if (!ui.idLineEdit->text().isEmpty()) {
        state.insert(Attr::JobId, ui.idLineEdit->text());
        return state;
    }
    const QString range = ui.key1ComboBox->currentData().toString();
    if (!range.isEmpty()) {
        const qint64 from = dateTimeOf(ui.fromDateTimeEdit).toSecsSinceEpoch();
        const qint64 to = dateTimeOf(ui.toDateTimeEdit).toSecsSinceEpoch();
        state.insert(range, QString::number(from) + QLatin1Char('-') + QString::number(to));
    }
    for (const auto &row : conditionRows()) {
        const QString key = row.first->currentData().toString();
        if (!key.isEmpty() && !row.second->text().isEmpty()) {
            state.insert(key, row.second->text());
        }
    }
    state.insert(Attr::Operator, ui.opeatorComboBox->currentData().toString());
    return state;
}

void JournalViewerPrivate::applySearchState(const State &state)
{
    resetForm();
    if (state.contains(Attr::JobId)) {
        ui.idLineEdit->setText(state.value(Attr::JobId));
    }
    const auto rows = conditionRows();
    for (auto it = state.cbegin(); it != state.cend(); ++it) {
        if (it.key() == Attr::JobId) {
            continue;
        }
        if (it.key() == Attr::Operator) {
            ui.opeatorComboBox->setCurrentIndex(qMax(0, ui.opeatorComboBox->findData(it.value())));
        } else if (it.key().startsWith(QLatin1String("time-at-")) && ui.key1ComboBox->currentIndex() == 0) {
            ui.key1ComboBox->setCurrentIndex(qMax(0, ui.key1ComboBox->findData(it.key())));
            const QStringList bounds = it.value().split(QLatin1Char('-'));
            if (bounds.size() == 2) {
                ui.fromDateTimeEdit->setDateTime(QDateTime::fromSecsSinceEpoch(bounds.at(0).toLongLong()));
                ui.toDateTimeEdit->setDateTime(QDateTime::fromSecsSinceEpoch(bounds.at(1).toLongLong()));
            }
        } else {
            for (const auto &row : rows) {
                if (row.first->currentIndex() == 0) {
                    row.first->setCurrentIndex(qMax(0, row.first->findData(it.key())));
                    row.second->setText(it.value());
                    break;
                }
            }
        }
    }
}

void JournalViewerPrivate::search()
{
    request = searchState();
    page = 1;
    query();
    // Whole pages: 30 records are one page, not a full one and an empty one.
    pageCount = qMax(1, (total + PageSize - 1) / PageSize);
    showPageButtons();
}

void JournalViewerPrivate::showPageButtons()
{
    ui.pageLabel->setText(ki18nd("libnorvik-print", "Page %1/%2").subs(page).subs(pageCount).toString());
    ui.prevPageButton->setEnabled(page >= 2);
    ui.nextPageButton->setEnabled(page < pageCount);
    const bool paged = pageCount >= 2;
    ui.pageLabel->setVisible(paged);
    ui.prevPageButton->setVisible(paged);
    ui.nextPageButton->setVisible(paged);
}

void JournalViewerPrivate::turnPage(int step)
{
    const int wanted = page + step;
    if (wanted < 1 || wanted > pageCount) {
        return;
    }
    page = wanted;
    query();
    showPageButtons();
}

bool JournalViewerPrivate::fetch(const State &request, QList<QHash<QString, QVariant>> *records)
{
    if (MacIppActions::instance()->getJournal(request, records)) {
        return true;
    }
    const QString text = QStringLiteral("%1\n%2: %3")
                             .arg(translated("Unable to receive marking journal"), translated("CUPS error"), Connection::lastErrorString());
    MessageBox::ask(q, QMessageBox::Warning, translated("Error"), text, QMessageBox::Ok);
    return false;
}

void JournalViewerPrivate::query()
{
    QTreeWidget *tree = ui.journalTreeWidget;
    tree->clear();
    total = 0;
    if (page > 1) {
        request.insert(Attr::FirstIndex, QString::number((page - 1) * PageSize + 1));
    } else {
        request.remove(Attr::FirstIndex);
    }
    QList<QHash<QString, QVariant>> records;
    if (!fetch(request, &records)) {
        records.clear();
    }
    if (!records.isEmpty()) {
        total = Utils::getAttribute(records.first(), Attr::Count, 0).toInt();
    }
    QStringList titles;
    for (const Column &column : qAsConst(columns)) {
        titles.append(column.first);
    }
    tree->setColumnCount(titles.size());
    tree->setHeaderLabels(titles);
    for (const QHash<QString, QVariant> &record : qAsConst(records)) {
        auto *item = new QTreeWidgetItem(tree);
        item->setData(0, Qt::UserRole, record);
        for (int column = 0; column < columns.size(); ++column) {
            item->setText(column, cellText(record, columns.at(column).second));
        }
    }
}

void JournalViewerPrivate::showRecordAttributes()
{
    const QTreeWidgetItem *item = ui.journalTreeWidget->currentItem();
    if (!item) {
        return;
    }
    const QHash<QString, QVariant> record = item->data(0, Qt::UserRole).toHash();
    const State jobRequest{{Attr::JobId, Utils::getAttribute(record, Attr::JobId).toString()}};
    QList<QHash<QString, QVariant>> records;
    if (!fetch(jobRequest, &records)) {
        return;
    }
    if (records.isEmpty()) {
        MessageBox::ask(q, QMessageBox::Warning, translated("Error"), translated("Unable to receive job information"), QMessageBox::Ok);
        return;
    }
    AttributeViewer viewer(records.first(), false, q);
    viewer.exec();
}

void JournalViewerPrivate::showHeaderMenu(const QPoint &position)
{
    QHeaderView *header = ui.journalTreeWidget->header();
    menuSection = header->logicalIndexAt(position);
    headerMenu->popup(header->mapToGlobal(position));
}

QSet<QString> JournalViewerPrivate::columnAttributes(int except) const
{
    QSet<QString> attributes;
    for (int i = 0; i < columns.size(); ++i) {
        if (i != except) {
            attributes.insert(columns.at(i).second);
        }
    }
    return attributes;
}

void JournalViewerPrivate::addColumn()
{
    const int section = menuSection;
    ColumnEditor editor(columnAttributes(-1), q);
    editor.setWindowTitle(translated("Add Column"));
    if (editor.exec() != QDialog::Accepted) {
        return;
    }
    const Column column{editor.title(), editor.attribute()};
    if (section >= 0 && section < columns.size()) {
        columns.insert(section, column);
    } else {
        columns.append(column);
    }
    query();
}

void JournalViewerPrivate::editColumn()
{
    const int section = menuSection;
    if (section < 0 || section >= columns.size()) {
        return;
    }
    ColumnEditor editor(columnAttributes(section), q);
    editor.setTitle(columns.at(section).first);
    editor.setAttribute(columns.at(section).second);
    if (editor.exec() != QDialog::Accepted) {
        return;
    }
    columns[section] = {editor.title(), editor.attribute()};
    query();
}

void JournalViewerPrivate::removeColumn()
{
    const int section = menuSection;
    if (section < 0 || ui.journalTreeWidget->columnCount() <= 1 || section >= columns.size()) {
        return;
    }
    columns.removeAt(section);
    query();
}

void JournalViewerPrivate::savePreset()
{
    QComboBox *box = ui.presetComboBox;
    const QString name = box->currentText();
    if (name.isEmpty()) {
        return;
    }
    const QVariant state = QVariant::fromValue(searchState());
    const int existing = box->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (existing >= 0
        && MessageBox::ask(q,
                           QMessageBox::Question,
                           q->windowTitle(),
                           translated("A preset with this name is already exists. Overwite?"),
                           QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes) {
        box->setItemData(existing, state);
    } else {
        box->addItem(name, state);
    }
    writePresets();
}

void JournalViewerPrivate::deletePreset()
{
    QComboBox *box = ui.presetComboBox;
    const int index = box->currentIndex();
    if (index < 0 || box->itemText(index) != box->currentText()) {
        return;
    }
    box->removeItem(index);
    box->setEditText(QString());
    writePresets();
}

void JournalViewerPrivate::selectPreset(int index)
{
    applySearchState(ui.presetComboBox->itemData(index).value<State>());
    search();
}

void JournalViewerPrivate::writePresets() const
{
    QSettings settings;
    settings.beginGroup(Group);
    settings.remove(PresetsKey);
    settings.beginWriteArray(PresetsKey, ui.presetComboBox->count());
    for (int i = 0; i < ui.presetComboBox->count(); ++i) {
        settings.setArrayIndex(i);
        const State state = ui.presetComboBox->itemData(i).value<State>();
        for (auto it = state.cbegin(); it != state.cend(); ++it) {
            settings.setValue(it.key(), it.value());
        }
        settings.setValue(NameKey, ui.presetComboBox->itemText(i));
    }
    settings.endArray();
    settings.endGroup();
}

void JournalViewerPrivate::print()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, q);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    QTextDocument document;
    document.setHtml(journalTableHtml(ui.journalTreeWidget));
    document.print(&printer);
}

JournalViewer::JournalViewer(QWidget *parent)
    : QDialog(parent)
    , d(new JournalViewerPrivate(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    QHeaderView *header = d->ui.journalTreeWidget->header();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionsMovable(true);
    header->setFirstSectionMovable(true);

    fill(d->ui.key1ComboBox, timeRanges());
    const QList<Choice> keys = searchKeys();
    for (QComboBox *key : {d->ui.key2ComboBox, d->ui.key3ComboBox, d->ui.key4ComboBox}) {
        fill(key, keys);
    }
    d->ui.opeatorComboBox->addItem(translated("AND"), QStringLiteral("AND"));
    d->ui.opeatorComboBox->addItem(translated("OR"), QStringLiteral("OR"));
    d->ui.idLineEdit->setValidator(new QIntValidator(1, std::numeric_limits<int>::max(), d->ui.idLineEdit));

    d->readSettings();
    if (d->columns.isEmpty()) {
        d->columns = defaultColumns();
    }
    // The header has its sections before a search, so a saved header layout has something to apply to.
    QStringList titles;
    for (const Column &column : qAsConst(d->columns)) {
        titles.append(column.first);
    }
    d->ui.journalTreeWidget->setHeaderLabels(titles);

    d->ui.presetComboBox->setCurrentIndex(-1);
    auto *attributes = new QAction(QIcon::fromTheme(QStringLiteral("document-properties")), translated("Attributes"), this);
    attributes->setObjectName(QStringLiteral("attributesAction"));
    connect(attributes, &QAction::triggered, this, [this] {
        d->showRecordAttributes();
    });
    addAction(attributes);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    d->headerMenu = new QMenu(this);
    d->headerMenu->setObjectName(QStringLiteral("headerMenu"));
    d->headerMenu->addAction(QIcon::fromTheme(QStringLiteral("list-add")), translated("Add"), this, [this] {
        d->addColumn();
    });
    d->headerMenu->addAction(QIcon::fromTheme(QStringLiteral("configure")), translated("Edit"), this, [this] {
        d->editColumn();
    });
    d->headerMenu->addSeparator();
    d->headerMenu->addAction(QIcon::fromTheme(QStringLiteral("list-remove")), translated("Remove"), this, [this] {
        d->removeColumn();
    });
    d->connectSignals();

    for (KDateTimeEdit *edit : {d->ui.fromDateTimeEdit, d->ui.toDateTimeEdit}) {
        auto *date = edit->findChild<KDateComboBox *>();
        if (date && dateFitsMask(date->lineEdit()->text())) {
            date->lineEdit()->setInputMask(DateMask);
        }
    }
    d->showPageButtons();
}

JournalViewer::~JournalViewer() = default;

void JournalViewer::popup()
{
    if (isVisible()) {
        raise();
        activateWindow();
    } else {
        show();
    }
    d->ui.presetComboBox->setCurrentIndex(-1);
    d->resetForm();
    QSettings settings;
    settings.beginGroup(SearchStatePath);
    State state;
    const QStringList keys = settings.childKeys();
    for (const QString &key : keys) {
        state.insert(key, settings.value(key).toString());
    }
    settings.endGroup();
    d->applySearchState(state);
    d->ui.journalTreeWidget->header()->restoreState(settings.value(HeaderStatePath).toByteArray());
}

void JournalViewer::reject()
{
    QSettings settings;
    settings.setValue(GeometryPath, saveGeometry());
    settings.remove(SearchStatePath);
    settings.beginGroup(SearchStatePath);
    const State state = d->searchState();
    for (auto it = state.cbegin(); it != state.cend(); ++it) {
        settings.setValue(it.key(), it.value());
    }
    settings.endGroup();
    settings.beginGroup(Group);
    settings.remove(ColumnsKey);
    settings.beginWriteArray(ColumnsKey, d->columns.size());
    for (int i = 0; i < d->columns.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(TitleKey, d->columns.at(i).first);
        settings.setValue(AttributeKey, d->columns.at(i).second);
    }
    settings.endArray();
    settings.setValue(QStringLiteral("header_state"), d->ui.journalTreeWidget->header()->saveState());
    settings.endGroup();
    QDialog::reject();
}
} // namespace CUPS

#include "macattributesdialog.h"

#include "dialogbuttons.h"
#include "messagebox.h"
#include "widgetslogging.h"

#include <attributes.h>
#include <connection.h>
#include <macippactions.h>
#include <translation.h>

#include <KBusyIndicatorWidget>
#include <KLocalizedString>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace CUPS
{
namespace
{
const QString FontName = QStringLiteral("font");
const QString PageRangesName = QStringLiteral("page-ranges");
constexpr int MaxDistributionRows = 6;

// "what failed<br>CUPS error: why", the server's words shown as text.
QString failure(const QString &what, const QString &error)
{
    return what + QStringLiteral("<br>") + MessageBox::escapedSubs(ki18nd("libnorvik-print", "CUPS error: %1"), {error});
}

void warn(QWidget *parent, const QString &richText)
{
    MessageBox::show(parent, QMessageBox::Warning, translated("Error"), richText);
}
} // namespace

namespace Ui
{
// The dialog's fixed frame; the rows of a job are added to formLayout.
class MacAttributesDialog
{
public:
    QVBoxLayout *verticalLayout = nullptr;
    QFormLayout *formLayout = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

    void setupUi(QDialog *dialog)
    {
        dialog->setObjectName(QStringLiteral("MacAttributesDialog"));
        dialog->resize(601, 166);
        verticalLayout = new QVBoxLayout(dialog);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        formLayout = new QFormLayout();
        formLayout->setObjectName(QStringLiteral("formLayout"));
        verticalLayout->addLayout(formLayout);
        buttonBox = createButtonBox(dialog, QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        verticalLayout->addWidget(buttonBox);
        dialog->setWindowTitle(translated("Marking"));
    }
};
} // namespace Ui

class MacAttributesDialogPrivate : public QObject
{
public:
    explicit MacAttributesDialogPrivate(MacAttributesDialog *dialog)
        : QObject(dialog)
        , q(dialog)
    {
        ui.setupUi(dialog);
    }

    void addDistributionListItem(DistributionEditWidget *after);
    void setDistributionList(const QString &value);
    QString distributionList() const;
    void updateOkButton();

    void clearRows();
    void buildRows(const MacJobInfo &info);
    void addEntryRow(const MacAttributeEntry &entry, bool readOnly);
    void changeAttributes(int jobId);
    void mark(int jobId);
    DistributionEditWidget *firstDistributionRow() const;
    QList<DistributionEditWidget *> addressRowsBelow(DistributionEditWidget *first) const;
    void watch(DistributionEditWidget *row);

    Ui::MacAttributesDialog ui;
    MacAttributesDialog *const q;
    QList<MacAttributeEntry> entries;
};

DistributionEditWidget *MacAttributesDialogPrivate::firstDistributionRow() const
{
    return q->findChild<DistributionEditWidget *>(Attr::MacDistribution);
}

// The address rows directly below the first one, up to the first row of another kind.
QList<DistributionEditWidget *> MacAttributesDialogPrivate::addressRowsBelow(DistributionEditWidget *first) const
{
    QList<DistributionEditWidget *> rows;
    int firstRow = -1;
    QFormLayout::ItemRole role = QFormLayout::FieldRole;
    ui.formLayout->getWidgetPosition(first, &firstRow, &role);
    if (firstRow < 0) {
        return rows;
    }
    for (int row = firstRow + 1; row < ui.formLayout->rowCount(); ++row) {
        QLayoutItem *item = ui.formLayout->itemAt(row, QFormLayout::FieldRole);
        auto *address = qobject_cast<DistributionEditWidget *>(item ? item->widget() : nullptr);
        if (!address) {
            break;
        }
        rows.append(address);
    }
    return rows;
}

void MacAttributesDialogPrivate::watch(DistributionEditWidget *row)
{
    connect(row, &DistributionEditWidget::textEdited, this, &MacAttributesDialogPrivate::updateOkButton);
    connect(row, &DistributionEditWidget::clicked, this, [this, row] {
        addDistributionListItem(row);
    });
}

void MacAttributesDialogPrivate::addDistributionListItem(DistributionEditWidget *after)
{
    int row = -1;
    QFormLayout::ItemRole role = QFormLayout::FieldRole;
    ui.formLayout->getWidgetPosition(after, &row, &role);
    if (row < 0) {
        qCWarning(CUPS_WIDGETS) << "unable to find row for widget" << after;
        return;
    }
    auto *added = new DistributionEditWidget(q);
    ui.formLayout->insertRow(row + 1, static_cast<QWidget *>(nullptr), added);
    watch(added);
    const QList<DistributionEditWidget *> rows = q->findChildren<DistributionEditWidget *>();
    if (rows.size() >= MaxDistributionRows) {
        for (DistributionEditWidget *each : rows) {
            each->setAddButtonEnabled(false);
        }
    }
}

void MacAttributesDialogPrivate::setDistributionList(const QString &value)
{
    DistributionEditWidget *first = firstDistributionRow();
    if (!first) {
        qCWarning(CUPS_WIDGETS) << "unable to find address input widget";
        return;
    }
    const QStringList parts = value.split(QLatin1Char('^'), Qt::SkipEmptyParts);
    first->setText(parts.value(0));
    int count = q->findChildren<DistributionEditWidget *>().size();
    while (count < parts.size()) {
        addDistributionListItem(first);
        const int grown = q->findChildren<DistributionEditWidget *>().size();
        if (grown == count) {
            return; // no row could be added; never loop for ever
        }
        count = grown;
    }
    const QList<DistributionEditWidget *> below = addressRowsBelow(first);
    for (int i = 0; i < below.size() && i + 1 < parts.size(); ++i) {
        below.at(i)->setText(parts.at(i + 1));
        below.at(i)->setReadOnly(first->isReadOnly());
    }
}

QString MacAttributesDialogPrivate::distributionList() const
{
    DistributionEditWidget *first = firstDistributionRow();
    if (!first) {
        return QString();
    }
    QStringList addresses{first->text()};
    for (const DistributionEditWidget *address : addressRowsBelow(first)) {
        addresses.append(address->text());
    }
    addresses.removeAll(QString());
    return addresses.join(QLatin1Char('^'));
}

void MacAttributesDialogPrivate::updateOkButton()
{
    bool complete = true;
    for (const MacAttributeEntry &entry : qAsConst(entries)) {
        if (entry.mode == MacAttributeEntry::Hidden || entry.mode == MacAttributeEntry::Optional) {
            continue;
        }
        QString value;
        if (entry.name == Attr::MacDistribution) {
            if (DistributionEditWidget *first = firstDistributionRow()) {
                value = first->text();
            }
        } else if (auto *edit = q->findChild<QLineEdit *>(entry.name)) {
            value = edit->text();
        }
        complete = complete && !value.isEmpty();
    }

    static const QRegularExpression rangePart(QStringLiteral("^\\d+(-\\d+){0,1}$"));
    const QString pages = q->pageRanges();
    if (!pages.isEmpty()) {
        const QStringList parts = pages.split(QLatin1Char(','));
        for (const QString &part : parts) {
            complete = complete && rangePart.match(part).hasMatch();
        }
    }
    if (QPushButton *ok = ui.buttonBox->button(QDialogButtonBox::Ok)) {
        ok->setEnabled(complete);
    }
}

void MacAttributesDialogPrivate::addEntryRow(const MacAttributeEntry &entry, bool readOnly)
{
    auto *label = new QLabel(entry.title + QLatin1Char(':'), q);
    if (entry.name == Attr::MacDistribution) {
        auto *first = new DistributionEditWidget(q);
        first->setObjectName(entry.name);
        first->setReadOnly(readOnly);
        ui.formLayout->addRow(label, first);
        watch(first);
        setDistributionList(entry.value);
        return;
    }
    auto *edit = new QLineEdit(entry.value, q);
    edit->setObjectName(entry.name);
    edit->setClearButtonEnabled(true);
    edit->setReadOnly(readOnly);
    connect(edit, &QLineEdit::textEdited, this, &MacAttributesDialogPrivate::updateOkButton);
    ui.formLayout->addRow(label, edit);
}

// A dialog run again starts from an empty form: the form look-ups must never
// find the fields, and send the values, of the job it was run for before.
void MacAttributesDialogPrivate::clearRows()
{
    entries.clear();
    while (ui.formLayout->rowCount() > 0) {
        ui.formLayout->removeRow(0);
    }
}

void MacAttributesDialogPrivate::buildRows(const MacJobInfo &info)
{
    const bool readOnly = !info.permissions.contains(MacJobInfo::ChangeAttributes);
    for (const MacAttributeEntry &entry : qAsConst(entries)) {
        if (entry.mode != MacAttributeEntry::Hidden) {
            addEntryRow(entry, readOnly);
        }
    }
    if (!info.markerFont.isEmpty() && !info.fonts.isEmpty()) {
        auto *fonts = new QComboBox(q);
        fonts->setObjectName(FontName);
        fonts->addItems(info.fonts);
        fonts->setCurrentIndex(info.fonts.indexOf(info.markerFont));
        ui.formLayout->addRow(new QLabel(translated("Font:"), q), fonts);
    }
    auto *pages = new QLineEdit(q);
    pages->setObjectName(PageRangesName);
    pages->setClearButtonEnabled(true);
    connect(pages, &QLineEdit::textEdited, this, &MacAttributesDialogPrivate::updateOkButton);
    ui.formLayout->addRow(new QLabel(translated("Pages to print (example: 1-5,8):"), q), pages);
}

void MacAttributesDialogPrivate::changeAttributes(int jobId)
{
    MacIppActions *actions = MacIppActions::instance();
    if (actions->setJobMacAttrs(jobId, q->attributes())) {
        MessageBox::show(q->parentWidget(), QMessageBox::Information, translated("Information"), translated("Job attributes has been changed successfully"));
    } else {
        warn(q->parentWidget(), failure(translated("Unable to change job attributes"), Connection::lastErrorString()));
    }
    actions->unlockJob(jobId);
}

void MacAttributesDialogPrivate::mark(int jobId)
{
    QWidget *parent = q->parentWidget();
    // Owned here whether or not it has a parent to die with.
    std::unique_ptr<BusyWidget> busy(new BusyWidget(translated("Marking document..."), parent));
    if (!parent) {
        busy->move(q->pos());
    }
    busy->show();

    const QHash<QString, QString> attributes = q->attributes();
    const QString pages = q->pageRanges();
    Connection *connection = Connection::instance();
    connection->lock();
    QString error;
    QThread *const guiThread = QThread::currentThread();
    // The task joins this thread's session: same server, user and password prompt, and no deadlock on the lock held here.
    QFutureWatcher<QList<int>> watcher;
    QEventLoop loop;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([connection, guiThread, jobId, attributes, pages, &error] {
        connection->lockOnBehalfOf(guiThread);
        const QList<int> derived = MacIppActions::instance()->markJob(jobId, attributes, pages);
        error = Connection::lastErrorString();
        connection->unlock();
        return derived;
    }));
    if (!watcher.isFinished()) {
        loop.exec();
    }
    watcher.waitForFinished();
    const QList<int> derived = watcher.result();
    busy->hide();

    if (derived.isEmpty()) {
        warn(parent, failure(ki18nd("libnorvik-print", "Unable to mark job %1").subs(jobId).toString(), error));
        MacIppActions::instance()->unlockJob(jobId);
    } else {
        QStringList ids;
        for (int id : derived) {
            ids.append(QString::number(id));
        }
        MessageBox::show(parent,
                         QMessageBox::Information,
                         translated("Information"),
                         translated("Marking has been completed") + QStringLiteral("<br>")
                             + ki18nd("libnorvik-print", "Derived Job ID's: %1").subs(ids.join(QLatin1Char(','))).toString());
    }
    connection->unlock();
}

MacAttributesDialog::MacAttributesDialog(QWidget *parent)
    : QDialog(parent)
    , d(new MacAttributesDialogPrivate(this))
{
}

MacAttributesDialog::~MacAttributesDialog() = default;

void MacAttributesDialog::exec(int jobId)
{
    if (jobId < 0) {
        return;
    }
    d->clearRows();
    MacIppActions *actions = MacIppActions::instance();
    if (!actions->lockJob(jobId)) {
        warn(parentWidget(), failure(ki18nd("libnorvik-print", "Unable to lock job %1").subs(jobId).toString(), Connection::lastErrorString()));
        return;
    }
    const MacJobInfo info = actions->getMacInfo(jobId);
    if (!info.valid) {
        // Without the server's answer there are no permissions to judge by: say why, not "not allowed".
        const QString error = Connection::lastErrorString();
        actions->unlockJob(jobId);
        warn(parentWidget(), failure(ki18nd("libnorvik-print", "Unable to get mandatory attributes of job %1").subs(jobId).toString(), error));
        return;
    }
    d->entries = info.entries;
    const bool mayChange = info.permissions.contains(MacJobInfo::ChangeAttributes);
    const bool mayMark = info.permissions.contains(MacJobInfo::Mark);
    if (!mayChange && !mayMark) {
        actions->unlockJob(jobId);
        warn(parentWidget(), translated("Changing of mandatory attributes and marking are not allowed by current user"));
        return;
    }
    d->buildRows(info);
    d->updateOkButton();
    if (QDialog::exec() != QDialog::Accepted) {
        actions->unlockJob(jobId);
        return;
    }
    if (mayMark) {
        d->mark(jobId);
    } else {
        d->changeAttributes(jobId);
    }
}

QHash<QString, QString> MacAttributesDialog::attributes() const
{
    QHash<QString, QString> values;
    for (const MacAttributeEntry &entry : qAsConst(d->entries)) {
        if (entry.mode == MacAttributeEntry::Hidden) {
            // Not shown, so not edited: the server's value goes back unchanged.
            values.insert(entry.name, entry.value);
        } else if (entry.name == Attr::MacDistribution) {
            QString list = d->distributionList();
            if (list.isEmpty()) {
                // A list the server never had is marked as not specified; one the user emptied is sent as emptied.
                list = entry.value.isEmpty() ? translated("Not specified") : QString();
            }
            values.insert(entry.name, list);
        } else if (auto *edit = findChild<QLineEdit *>(entry.name)) {
            values.insert(entry.name, edit->text());
        } else {
            values.insert(entry.name, entry.value);
        }
    }
    if (auto *fonts = findChild<QComboBox *>(FontName)) {
        values.insert(Attr::MacMarkerFont, fonts->currentText());
    }
    return values;
}

QString MacAttributesDialog::pageRanges() const
{
    auto *pages = findChild<QLineEdit *>(PageRangesName);
    return pages && !pages->text().isEmpty() ? pages->text() : QString();
}

class DistributionEditWidgetPrivate
{
public:
    void updateButton()
    {
        button->setEnabled(addAllowed && !edit->isReadOnly() && !edit->text().isEmpty());
    }

    QLineEdit *edit = nullptr;
    QToolButton *button = nullptr;
    bool addAllowed = true;
};

DistributionEditWidget::DistributionEditWidget(QWidget *parent)
    : QWidget(parent)
    , d(new DistributionEditWidgetPrivate)
{
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    d->edit = new QLineEdit(this);
    d->edit->setClearButtonEnabled(true);
    layout->addWidget(d->edit, 1);
    d->button = new QToolButton(this);
    d->button->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    d->button->setAutoRaise(true);
    d->button->setEnabled(false);
    layout->addWidget(d->button);
    connect(d->edit, &QLineEdit::textChanged, this, [this] {
        d->updateButton();
    });
    connect(d->edit, &QLineEdit::textEdited, this, &DistributionEditWidget::textEdited);
    connect(d->button, &QToolButton::clicked, this, &DistributionEditWidget::clicked);
}

DistributionEditWidget::DistributionEditWidget(const QString &text, QWidget *parent)
    : DistributionEditWidget(parent)
{
    setText(text);
}

DistributionEditWidget::~DistributionEditWidget() = default;

QString DistributionEditWidget::text() const
{
    return d->edit->text();
}

void DistributionEditWidget::setText(const QString &text)
{
    d->edit->setText(text);
}

bool DistributionEditWidget::isReadOnly() const
{
    return d->edit->isReadOnly();
}

void DistributionEditWidget::setReadOnly(bool readOnly)
{
    d->edit->setReadOnly(readOnly);
    d->updateButton();
}

void DistributionEditWidget::setAddButtonEnabled(bool enabled)
{
    d->addAllowed = enabled;
    d->updateButton();
}

class BusyWidgetPrivate
{
public:
    KBusyIndicatorWidget *indicator = nullptr;
    QLabel *label = nullptr;
};

BusyWidget::BusyWidget(const QString &text, QWidget *parent)
    : QFrame(parent)
    , d(new BusyWidgetPrivate)
{
    setFrameShape(QFrame::Panel);
    setWindowFlags(Qt::ToolTip);
    setWindowModality(Qt::ApplicationModal);
    auto *layout = new QHBoxLayout(this);
    d->indicator = new KBusyIndicatorWidget(this);
    layout->addWidget(d->indicator);
    d->label = new QLabel(text, this);
    layout->addWidget(d->label);
    if (parent) {
        // Its top-left corner at the parent's centre; a tool tip window is placed on the screen, not inside its parent.
        move(parent->mapToGlobal(QPoint(parent->width() / 2, parent->height() / 2)));
    }
}

BusyWidget::~BusyWidget() = default;
} // namespace CUPS

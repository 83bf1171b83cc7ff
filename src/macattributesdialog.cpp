#include "macattributesdialog.h"

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

QString cupsError(const QString &message)
{
    return ki18nd("libnorvik-print", "CUPS error: %1").subs(message).toString();
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
        buttonBox = new QDialogButtonBox(dialog);
        buttonBox->setObjectName(QStringLiteral("buttonBox"));
        buttonBox->setOrientation(Qt::Horizontal);
        buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        verticalLayout->addWidget(buttonBox);
        dialog->setWindowTitle(translated("Marking"));
        QObject::connect(buttonBox, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
        QObject::connect(buttonBox, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
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

    void buildRows(const MacJobInfo &info);
    void addEntryRow(const MacAttributeEntry &entry, bool readOnly);
    void changeAttributes(int jobId);
    void mark(int jobId);
    DistributionEditWidget *firstDistributionRow() const;
    void watch(DistributionEditWidget *row);

    Ui::MacAttributesDialog ui;
    MacAttributesDialog *const q;
    QList<MacAttributeEntry> entries;
};

DistributionEditWidget *MacAttributesDialogPrivate::firstDistributionRow() const
{
    return q->findChild<DistributionEditWidget *>(Attr::MacDistribution);
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
    while (q->findChildren<DistributionEditWidget *>().size() < parts.size()) {
        addDistributionListItem(first);
    }
    int firstRow = -1;
    QFormLayout::ItemRole role = QFormLayout::FieldRole;
    ui.formLayout->getWidgetPosition(first, &firstRow, &role);
    int next = 1;
    for (int row = firstRow + 1; row < ui.formLayout->rowCount() && next < parts.size(); ++row) {
        QLayoutItem *item = ui.formLayout->itemAt(row, QFormLayout::FieldRole);
        if (auto *address = qobject_cast<DistributionEditWidget *>(item ? item->widget() : nullptr)) {
            address->setText(parts.at(next++));
            address->setReadOnly(first->isReadOnly());
        }
    }
}

QString MacAttributesDialogPrivate::distributionList() const
{
    DistributionEditWidget *first = firstDistributionRow();
    if (!first) {
        return QString();
    }
    QStringList addresses{first->text()};
    int firstRow = -1;
    QFormLayout::ItemRole role = QFormLayout::FieldRole;
    ui.formLayout->getWidgetPosition(first, &firstRow, &role);
    for (int row = firstRow + 1; row < ui.formLayout->rowCount(); ++row) {
        QLayoutItem *item = ui.formLayout->itemAt(row, QFormLayout::FieldRole);
        auto *address = qobject_cast<DistributionEditWidget *>(item ? item->widget() : nullptr);
        if (!address) {
            break;
        }
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
        QMessageBox::information(q->parentWidget(), translated("Information"), translated("Job attributes has been changed successfully"));
    } else {
        QMessageBox::warning(q->parentWidget(),
                             translated("Error"),
                             translated("Unable to change job attributes") + QStringLiteral("<br>") + cupsError(Connection::lastErrorString()),
                             QMessageBox::Ok);
    }
    actions->unlockJob(jobId);
}

void MacAttributesDialogPrivate::mark(int jobId)
{
    QWidget *parent = q->parentWidget();
    // Owned here whether or not it has a parent to die with.
    std::unique_ptr<BusyWidget> busy(new BusyWidget(translated("Marking document..."), parent));
    if (parent) {
        busy->move(parent->width() / 2, parent->height() / 2);
    } else {
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
        QMessageBox::warning(parent,
                             translated("Error"),
                             ki18nd("libnorvik-print", "Unable to mark job %1").subs(jobId).toString() + QStringLiteral("<br>") + cupsError(error),
                             QMessageBox::Ok);
        MacIppActions::instance()->unlockJob(jobId);
    } else {
        QStringList ids;
        for (int id : derived) {
            ids.append(QString::number(id));
        }
        QMessageBox::information(parent,
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
    MacIppActions *actions = MacIppActions::instance();
    if (!actions->lockJob(jobId)) {
        QMessageBox::warning(parentWidget(),
                             translated("Error"),
                             ki18nd("libnorvik-print", "Unable to lock job %1").subs(jobId).toString() + QStringLiteral("<br>")
                                 + cupsError(Connection::lastErrorString()),
                             QMessageBox::Ok);
        return;
    }
    const MacJobInfo info = actions->getMacInfo(jobId);
    if (!info.valid) {
        // Without the server's answer there are no permissions to judge by: say why, not "not allowed".
        const QString error = Connection::lastErrorString();
        actions->unlockJob(jobId);
        QMessageBox::warning(parentWidget(),
                             translated("Error"),
                             ki18nd("libnorvik-print", "Unable to get mandatory attributes of job %1").subs(jobId).toString() + QStringLiteral("<br>")
                                 + cupsError(error),
                             QMessageBox::Ok);
        return;
    }
    d->entries = info.entries;
    const bool mayChange = info.permissions.contains(MacJobInfo::ChangeAttributes);
    const bool mayMark = info.permissions.contains(MacJobInfo::Mark);
    if (!mayChange && !mayMark) {
        actions->unlockJob(jobId);
        QMessageBox::warning(parentWidget(),
                             translated("Error"),
                             translated("Changing of mandatory attributes and marking are not allowed by current user"),
                             QMessageBox::Ok);
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
        if (entry.name == Attr::MacDistribution) {
            QString list = d->distributionList();
            if (list.isEmpty()) {
                // A list the server never had stays unset; one the user emptied is sent as emptied.
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
}

BusyWidget::~BusyWidget() = default;
} // namespace CUPS

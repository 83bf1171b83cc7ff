#include "printerwizard.h"

#include "messagebox.h"
#include "widgetslogging.h"

#include <attributes.h>
#include <connection.h>
#include <destination.h>
#include <printerippactions.h>
#include <translation.h>
#include <utils.h>

#include <wizard/autodetectselectionpage.h>
#include <wizard/classmemberspage.h>
#include <wizard/infodriverpage.h>
#include <wizard/printerclasspage.h>
#include <wizard/selectbackendpage.h>
#include <wizard/wizardfields.h>
#include <wizard/wizardtools.h>

#include <KLocalizedString>

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

namespace CUPS
{
using namespace Wizard;

class PrinterWizardPrivate
{
public:
    explicit PrinterWizardPrivate(PrinterWizard *q)
        : q(q)
    {
    }

    void restoreSize() const
    {
        QSettings settings;
        settings.beginGroup(QStringLiteral("PrinterWizard"));
        QSize size(640, 480);
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            size = size.boundedTo(screen->availableSize());
        }
        q->resize(settings.value(QStringLiteral("windowSize"), size).toSize());
    }

    void saveSize() const
    {
        QSettings settings;
        settings.beginGroup(QStringLiteral("PrinterWizard"));
        settings.setValue(QStringLiteral("windowSize"), q->size());
    }

    // The queue's own PPD where a local server keeps it; "raw" when it can't be seen here.
    static QString ppdPath(const QString &name)
    {
        const QString path = QStringLiteral("%1/ppd/%2.ppd").arg(Utils::serverRoot(), name);
        return QFile::exists(path) ? path : QStringLiteral("raw");
    }

    int finishRename(const Destination &destination) const;
    int rewriteClass(const Destination &destination) const;

    PrinterWizard *const q;
};

PrinterWizard::PrinterWizard(QWidget *parent)
    : QWizard(parent)
    , d(new PrinterWizardPrivate(this))
{
    setWindowTitle(translated("Printer/Class Setup Wizard"));
    setPage(PrinterClassPageId, new PrinterClassPage(this));
    setPage(InfoDriverPageId, new InfoDriverPage(this));
    setPage(AutodetectSelectionPageId, new AutodetectSelectionPage(this));
    setPage(ClassMembersPageId, new ClassMembersPage(this));
    setPage(SelectBackendPageId, new SelectBackendPage(this));
    setStartId(PrinterClassPageId);
    setOption(QWizard::IndependentPages, false);
    d->restoreSize();
}

PrinterWizard::~PrinterWizard()
{
    d->saveSize();
}

QString PrinterWizard::printerName() const
{
    return field(Field::QueueName).toString();
}

void PrinterWizard::setPrinterName(const QString &name)
{
    setField(Field::QueueName, name);
}

int PrinterWizard::nextId() const
{
    switch (currentId()) {
    case PrinterClassPageId:
        if (field(Field::IsPrinterQueue).toBool()) {
            return AutodetectSelectionPageId;
        }
        return field(Field::IsPrinterManualQueue).toBool() ? SelectBackendPageId : ClassMembersPageId;
    case AutodetectSelectionPageId:
        // No detected device chosen: the user picks one by hand.
        return field(Field::IsAutodetectedPrinterSelected).toBool() ? InfoDriverPageId : SelectBackendPageId;
    case ClassMembersPageId:
        return field(Field::MembersEdit).toBool() ? -1 : InfoDriverPageId;
    case SelectBackendPageId:
        return InfoDriverPageId;
    case InfoDriverPageId:
        return -1;
    default:
        return QWizard::nextId();
    }
}

int PrinterWizard::execSpecialTask(Task task, const Destination &destination)
{
    setField(Field::QueueName, destination.name());
    setField(Field::IsPrinterQueue, !destination.isClass());
    setField(Field::QueueDescription, destination.info());
    setField(Field::QueueLocation, destination.location());
    setField(Field::QueueOrganization, destination.organization());
    setField(Field::QueueOrganizationalUnit, destination.organizationalUnit());
    setField(Field::QueueShared, destination.isShared());
    setField(Field::DeviceUri, destination.deviceUri());

    const bool isClass = destination.isClass();
    int startPage = -1;
    if (task == GeneralEdit) {
        setField(Field::GeneralEdit, true);
        if (isClass) {
            setField(Field::IsClassQueue, true);
            setField(Field::ClassMembers, destination.memberUris());
        } else {
            setField(Field::DeviceDriver, PrinterWizardPrivate::ppdPath(destination.name()));
        }
        startPage = InfoDriverPageId;
    } else if (task == BackendEdit && !isClass) {
        setField(Field::DeviceDriver, PrinterWizardPrivate::ppdPath(destination.name()));
        setField(Field::BackendEdit, true);
        startPage = PrinterClassPageId;
    } else if (task == DriverEdit && !isClass) {
        setField(Field::DriverEdit, true);
        startPage = InfoDriverPageId;
    } else if (task == MembersEdit && isClass) {
        setField(Field::ClassMembers, destination.memberUris());
        setField(Field::MembersEdit, true);
        startPage = ClassMembersPageId;
    }
    if (startPage < 0) {
        qCWarning(CUPS_WIDGETS) << Q_FUNC_INFO << "task is not supported";
        return 0;
    }

    setStartId(startPage);
    const int result = exec();
    if (result != QDialog::Accepted) {
        return result;
    }
    if (task == GeneralEdit) {
        return d->finishRename(destination);
    }
    if (task == MembersEdit) {
        return d->rewriteClass(destination);
    }
    return result;
}

int PrinterWizardPrivate::finishRename(const Destination &destination) const
{
    const QString oldName = destination.name();
    const QString newName = q->field(Field::QueueName).toString();
    // cupsd compares names without regard to case: that is no rename.
    if (qstricmp(oldName.toUtf8().constData(), newName.toUtf8().constData()) == 0) {
        return 1;
    }
    ConnectionLocker locker;
    WaitCursor waitCursor;
    PrinterIppActions *actions = PrinterIppActions::instance();
    // Without its successor the old queue stays: a printer is never lost to a failed rename.
    if (actions->destAttrs(newName, {Attr::PrinterName}).isEmpty()) {
        qCWarning(CUPS_WIDGETS) << "not renaming" << oldName << ": no queue" << newName << "was created";
        return 0;
    }
    bool deleted;
    if (destination.isClass()) {
        deleted = actions->deleteClass(destination.uri());
    } else {
        // A raw queue has no driver to copy; the rename goes on without one.
        actions->copyPPD(oldName, newName);
        deleted = actions->deletePrinter(destination.uri());
    }
    if (!deleted) {
        // Both queues are there now; the user has to know which one to remove.
        MessageBox::show(q,
                         QMessageBox::Critical,
                         translated("Error"),
                         MessageBox::escapedSubs(ki18nd("libnorvik-print", "%2 was created, but %1 could not be removed.<br>CUPS error: %3"),
                                                 {oldName, newName, Connection::lastErrorString()}));
        return 0;
    }
    return 1;
}

int PrinterWizardPrivate::rewriteClass(const Destination &destination) const
{
    ConnectionLocker locker;
    bool rewritten;
    {
        WaitCursor waitCursor;
        rewritten = PrinterIppActions::instance()->addClass(destination.name(),
                                                            q->field(Field::ClassMembers).toStringList(),
                                                            destination.location(),
                                                            destination.info(),
                                                            destination.organization(),
                                                            destination.organizationalUnit(),
                                                            destination.isShared());
    }
    if (!rewritten) {
        MessageBox::show(q,
                         QMessageBox::Critical,
                         translated("Error"),
                         MessageBox::escapedSubs(ki18nd("libnorvik-print", "Unable to update class.<br>CUPS error: %1"), {Connection::lastErrorString()}));
        return 0;
    }
    return 1;
}
} // namespace CUPS

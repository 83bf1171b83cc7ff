// The add-printer wizard's Finish for a new printer with a driver, on a
// server that already has 200 printers: clicking Finish on the wizard's last
// page (InfoDriverPage::validatePage(), which calls
// PrinterIppActions::addPrinter()), and addPrinter() alone, against the least
// any libcups client has to do for it: the same CUPS-Add-Modify-Printer
// request through cupsDoRequest(). Each run adds a queue of a new name; the
// queue of the case's previous run is deleted first, untimed, so the server
// keeps the same number of queues throughout.

#include "benchtools.h"
#include "wizardfieldspage.h"
#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <infodriverpage.h>
#include <ipprequest.h>
#include <printerippactions.h>
#include <utils.h>
#include <wizardfields.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QWizard>

#include <cups/cups.h>

#include <cstdio>
#include <memory>

using namespace Bench;
using namespace CUPS;

namespace
{
constexpr int PrinterCount = 200;
constexpr int Runs = 15;
constexpr int WarmUpRuns = 2;
// The driver the wizard proposes for the sandbox's HP LaserJet P2055dn; cupsd
// has cups-driverd generate it from HPLIP's driver file for every new queue.
const QString Driver = QStringLiteral("drv:///hpcups.drv/hp-laserjet_p2055dn-pcl3.ppd");
const QString DeviceUri = QStringLiteral("socket://127.0.0.1:9100");
const QString Location = QStringLiteral("Building 2, floor 3");
const QString Description = QStringLiteral("HP LaserJet P2055dn");

// A wizard on its last page with a new printer's name, device and driver
// filled in, as a user leaves it before Finish.
struct FilledWizard {
    explicit FilledWizard(const QString &name)
    {
        wizard.setPage(0, new FieldsPage);
        wizard.setPage(Wizard::InfoDriverPageId, new InfoDriverPage);
        wizard.setField(Wizard::Field::IsPrinterQueue, true);
        wizard.show();
        wizard.setField(Wizard::Field::QueueName, name);
        wizard.setField(Wizard::Field::DeviceUri, DeviceUri);
        wizard.setField(Wizard::Field::DeviceDriver, Driver);
        wizard.setField(Wizard::Field::QueueLocation, Location);
        wizard.setField(Wizard::Field::QueueDescription, Description);
        wizard.next();
        QCoreApplication::processEvents();
    }
    QWizard wizard;
};

// Queue names for one case: a new one each run, the previous run's deleted.
class Queues
{
public:
    explicit Queues(const char *prefix)
        : m_prefix(QString::fromLatin1(prefix))
    {
    }
    QString next()
    {
        removeLast();
        m_last = QStringLiteral("%1_%2").arg(m_prefix).arg(++m_count);
        return m_last;
    }
    const QString &last() const
    {
        return m_last;
    }
    bool removeLast()
    {
        if (m_last.isEmpty()) {
            return true;
        }
        const bool ok = PrinterIppActions::instance()->deletePrinter(m_last);
        if (!ok) {
            std::fprintf(stderr, "deleting %s failed: %s\n", qPrintable(m_last), qPrintable(Connection::lastErrorString()));
        }
        m_last.clear();
        return ok;
    }

private:
    QString m_prefix;
    QString m_last;
    int m_count = 0;
};

// The floor: addPrinter()'s request for a new queue, straight through libcups.
bool plainAddPrinter(http_t *http, const QString &name)
{
    const QByteArray uri = Utils::printerUri(name).toUtf8();
    const QByteArray device = DeviceUri.toUtf8();
    const QByteArray driver = Driver.toUtf8();
    const QByteArray location = Location.toUtf8();
    const QByteArray description = Description.toUtf8();
    ipp_t *request = ippNewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::RequestingUserName.data(), nullptr, cupsUser());
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, Attr::DeviceUri.data(), nullptr, device.constData());
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_NAME, Attr::PpdName.data(), nullptr, driver.constData());
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, Attr::PrinterLocation.data(), nullptr, location.constData());
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, Attr::PrinterInfo.data(), nullptr, description.constData());
    ippAddBoolean(request, IPP_TAG_PRINTER, Attr::PrinterIsShared.data(), 0);
    ippAddInteger(request, IPP_TAG_PRINTER, IPP_TAG_ENUM, Attr::PrinterState.data(), IPP_PSTATE_IDLE);
    ippAddBoolean(request, IPP_TAG_PRINTER, Attr::PrinterIsAcceptingJobs.data(), 1);
    const IppPtr response(cupsDoRequest(http, request, "/admin/"));
    return response && ippGetStatusCode(response.get()) <= IPP_STATUS_OK_CONFLICTING;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    CupsSandbox sandbox;
    if (!startSandbox(sandbox)) {
        return 1;
    }
    if (!addPrinters(PrinterCount)) {
        return 1;
    }
    const HttpPtr http = connectPlain(sandbox.server());
    if (!http) {
        std::fprintf(stderr, "could not connect to %s\n", qPrintable(sandbox.server()));
        return 1;
    }

    Queues floorQueues("Bench_Floor");
    Queues actionQueues("Bench_Action");
    Queues wizardQueues("Bench_Wizard");
    QString floorName;
    QString actionName;
    std::unique_ptr<FilledWizard> wizard;

    std::vector<Case> cases;
    cases.push_back({"(a) libcups floor: CUPS-Add-Modify-Printer",
                     [&http, &floorName] {
                         return plainAddPrinter(http.get(), floorName) ? 1 : -1;
                     },
                     [&floorQueues, &floorName] {
                         floorName = floorQueues.next();
                     }});
    cases.push_back({"(b) PrinterIppActions::addPrinter()",
                     [&actionName] {
                         return PrinterIppActions::instance()->addPrinter(actionName, DeviceUri, Driver, Location, Description, QString(), QString(), false)
                             ? 1
                             : -1;
                     },
                     [&actionQueues, &actionName] {
                         actionName = actionQueues.next();
                     }});
    cases.push_back({"(b) wizard: Finish on the last page",
                     [&wizard] {
                         wizard->wizard.button(QWizard::FinishButton)->click();
                         return wizard->wizard.isVisible() || wizard->wizard.result() != QDialog::Accepted ? -1 : 1;
                     },
                     [&wizardQueues, &wizard] {
                         wizard.reset();
                         wizard = std::make_unique<FilledWizard>(wizardQueues.next());
                     }});
    measure(cases, WarmUpRuns, Runs);
    wizard.reset();

    for (const Case &c : cases) {
        if (c.rows < 0) {
            std::fprintf(stderr, "%s failed: %s\n", c.name, qPrintable(Connection::lastErrorString()));
            return 1;
        }
    }
    // What each case added: the driver's PPD and the wizard's name as typed (no "(2)" suffix).
    for (const QString &name : {floorQueues.last(), actionQueues.last(), wizardQueues.last()}) {
        const QString attribute = Attr::PrinterMakeAndModel;
        const QString model = Utils::getAttribute(PrinterIppActions::instance()->destAttrs(name, {attribute}), attribute).toString();
        if (!model.startsWith(QLatin1String("HP LaserJet"))) {
            std::fprintf(stderr, "the queue %s was not added with the HP driver\n", qPrintable(name));
            return 1;
        }
    }

    std::printf("a new printer (%s, %s) on a server with %d printers; medians of %d runs after %d warm-up runs;\n"
                "cpu = this process' thread time\n\n",
                qPrintable(DeviceUri),
                qPrintable(Driver),
                PrinterCount,
                Runs,
                WarmUpRuns);
    const double floorWall = medianMs(cases.at(0).wallNsecs);
    printTable(cases, "x (a)", [floorWall](const Case &c) {
        return medianMs(c.wallNsecs) / floorWall;
    });

    std::printf("\n");
    printSummary(QStringLiteral("Wizard: Finish for a new printer"),
                 QStringLiteral("1 new printer, HP PPD, %1 queues").arg(PrinterCount),
                 medianMs(cases.at(2).wallNsecs),
                 floorWall,
                 Runs,
                 QStringLiteral("Finish checks first whether the queue exists (one Get-Printer-Attributes), then sends the floor's "
                                "CUPS-Add-Modify-Printer; cupsd has the PPD generated from HPLIP's driver file in both."));
    return 0;
}

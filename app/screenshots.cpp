// Draws the documentation's pictures from the real widgets, offscreen: the
// add-printer wizard's pages, the options dialog, the jobs list and the
// attribute viewer against a server with the sample printers and jobs
// (scripts/cups-sandbox start --sample), or with --mac the MAC dialogs
// against the MAC test server. scripts/screenshots runs it once per server
// and language; texts follow LANGUAGE as in the manager.

#include "appsetup.h"
#include "screenshot.h"

#include <attributeviewer.h>
#include <connection.h>
#include <destoptionsdialog.h>
#include <jobswidget.h>
#include <journalviewer.h>
#include <macattributesdialog.h>
#include <macprintersettingsdialog.h>
#include <ppdsettings.h>
#include <printerippactions.h>
#include <printerwizard.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cups/cups.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace
{
// What a slow server may take to answer a dialog's loading.
constexpr int LoadTimeoutMsecs = 60000;
// All pictures of one run; a run that takes longer hangs somewhere.
constexpr int RunTimeoutMsecs = 300000;

const QString HpModel = QStringLiteral("HP LaserJet P2055dn");
const QString PrinterWithPpd = QStringLiteral("HP_LaserJet");
const QString MacPrinter = QStringLiteral("Office");
constexpr int HeldMacJob = 1;

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "norvik-print-screenshots: %s\n", qPrintable(why));
    std::fflush(stderr);
    // This may run inside a dialog's event loop: widgets are not unwound, the run just ends.
    std::_Exit(1);
}

// A message box by what it says, another widget by its class.
QString describe(QWidget *widget)
{
    auto *box = qobject_cast<QMessageBox *>(widget);
    return box ? QStringLiteral("%1: %2").arg(box->windowTitle(), box->text()) : QString::fromLatin1(widget->metaObject()->className());
}

// Boxes only open here when something went wrong, and would be pictured in
// place of the dialog: each one ends the run with what it says.
void watchForMessageBoxes(QApplication &app)
{
    auto *poll = new QTimer(&app);
    QObject::connect(poll, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            fail(QStringLiteral("a message box opened: %1").arg(describe(box)));
        }
    });
    poll->start(100);
    // The timers also fire inside dialogs' event loops, not in a blocked request.
    QTimer::singleShot(RunTimeoutMsecs, &app, [] {
        fail(QStringLiteral("the pictures took longer than %1 s").arg(RunTimeoutMsecs / 1000));
    });
}

// A window without a size of its own opens at its size hint on a desktop;
// offscreen its 800x600 screen would squeeze it to two thirds of that.
void showAtNaturalSize(QWidget *window)
{
    if (!window->testAttribute(Qt::WA_Resized)) {
        window->resize(window->sizeHint());
    }
    window->show();
}

void waitUntil(const std::function<bool()> &done, const QString &what)
{
    if (!QTest::qWaitFor(done, LoadTimeoutMsecs)) {
        fail(QStringLiteral("%1 within %2 s").arg(what).arg(LoadTimeoutMsecs / 1000));
    }
}

template<typename T>
T *child(QWidget *parent, const char *name)
{
    auto *found = parent->findChild<T *>(QLatin1String(name));
    if (!found) {
        fail(QStringLiteral("%1 has no %2").arg(QString::fromLatin1(parent->metaObject()->className()), QLatin1String(name)));
    }
    return found;
}

class Pictures
{
public:
    Pictures(const QString &folder, const QString &suffix)
        : m_folder(folder)
        , m_suffix(suffix)
    {
    }

    /// Writes the widget as it shows now to FOLDER/NAME+SUFFIX.png.
    void save(QWidget *widget, const QString &name) const
    {
        const QString file = QDir(m_folder).filePath(name + m_suffix + QStringLiteral(".png"));
        if (!Screenshot::save(Screenshot::grab(widget), file)) {
            fail(QStringLiteral("no picture %1").arg(file));
        }
    }

private:
    QString m_folder;
    QString m_suffix;
};

// Detected device, then the driver proposed for it.
void drawWizardForDetectedDevice(const Pictures &pictures)
{
    CUPS::PrinterWizard wizard;
    showAtNaturalSize(&wizard);
    pictures.save(&wizard, QStringLiteral("wizard-start"));

    wizard.next();
    auto *devices = child<QTreeWidget>(wizard.currentPage(), "deviceTree");
    waitUntil(
        [devices] {
            return devices->isVisible() && devices->topLevelItemCount() > 0;
        },
        QStringLiteral("the server listed no devices"));
    QTreeWidgetItem *hp = devices->findItems(HpModel, Qt::MatchExactly).value(0);
    if (!hp) {
        fail(QStringLiteral("the server did not detect the %1").arg(HpModel));
    }
    devices->setCurrentItem(hp);
    pictures.save(&wizard, QStringLiteral("wizard-devices"));

    wizard.next();
    if (child<QLineEdit>(wizard.currentPage(), "driverLineEdit")->text().isEmpty()) {
        fail(QStringLiteral("no driver was proposed for the %1").arg(HpModel));
    }
    pictures.save(&wizard, QStringLiteral("wizard-driver"));
}

// A device chosen by hand: a network printer's URI, typed.
void drawWizardForManualDevice(const Pictures &pictures)
{
    CUPS::PrinterWizard wizard;
    showAtNaturalSize(&wizard);
    child<QRadioButton>(&wizard, "manualRadioButton")->setChecked(true);
    wizard.next();
    auto *backends = child<QTreeWidget>(wizard.currentPage(), "backendTree");
    // Network printer, then custom URI, always come last, whatever ports the machine has.
    const int count = backends->topLevelItemCount();
    if (count < 2) {
        fail(QStringLiteral("the device page offers no network printer"));
    }
    backends->setCurrentItem(backends->topLevelItem(count - 2));
    QTest::keyClicks(child<QLineEdit>(wizard.currentPage(), "m_uriEdit"), QStringLiteral("socket://127.0.0.1:9100"));
    if (!wizard.button(QWizard::NextButton)->isEnabled()) {
        fail(QStringLiteral("the typed device URI was not taken"));
    }
    pictures.save(&wizard, QStringLiteral("wizard-backend"));
}

void drawWizardForClass(const Pictures &pictures)
{
    CUPS::PrinterWizard wizard;
    showAtNaturalSize(&wizard);
    child<QRadioButton>(&wizard, "classRadioButton")->setChecked(true);
    wizard.next();
    auto *available = child<QTreeWidget>(wizard.currentPage(), "availableTree");
    for (const QString &name : {PrinterWithPpd, QStringLiteral("Lobby_Printer")}) {
        QTreeWidgetItem *item = available->findItems(name, Qt::MatchExactly).value(0);
        if (!item) {
            fail(QStringLiteral("%1 is not offered as a class member").arg(name));
        }
        item->setSelected(true);
    }
    child<QAbstractButton>(wizard.currentPage(), "addButton")->click();
    pictures.save(&wizard, QStringLiteral("wizard-members"));
}

void drawOptions(const Pictures &pictures)
{
    CUPS::DestOptionsDialog dialog;
    if (!dialog.load(PrinterWithPpd, false)) {
        fail(QStringLiteral("the options of %1 could not be loaded").arg(PrinterWithPpd));
    }
    showAtNaturalSize(&dialog);
    auto *stack = child<QStackedWidget>(&dialog, "stackedWidget");
    QPushButton *ok = child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok);
    QWidget *loadError = child<QWidget>(&dialog, "loadErrorMessage");
    waitUntil(
        [&] {
            return stack->currentWidget()->objectName() == QLatin1String("optionsPage") && (ok->isEnabled() || loadError->isVisible());
        },
        QStringLiteral("the options of %1 did not finish loading").arg(PrinterWithPpd));
    if (loadError->isVisible()) {
        fail(loadError->property("text").toString());
    }
    auto *tabs = child<QTabWidget>(&dialog, "tabWidget");
    tabs->setCurrentIndex(0);
    pictures.save(&dialog, QStringLiteral("options-general"));
    auto *driverSettings = dialog.findChild<CUPS::PpdSettings *>();
    if (!driverSettings) {
        fail(QStringLiteral("the options of %1 have no driver settings").arg(PrinterWithPpd));
    }
    tabs->setCurrentWidget(driverSettings);
    pictures.save(&dialog, QStringLiteral("options-driver"));
}

void drawJobs(const Pictures &pictures)
{
    CUPS::JobsWidget jobs;
    // As the manager shows it; without focus, no row stands out as the current one.
    jobs.setAlternatingRowColors(true);
    jobs.setFocusPolicy(Qt::NoFocus);
    jobs.load(QString()); // every destination's jobs
    if (jobs.model()->rowCount() == 0) {
        fail(QStringLiteral("the server listed no jobs"));
    }
    // Every column (within reason), and room for a few more rows.
    constexpr int MaxWidth = 1200;
    QHeaderView *header = jobs.header();
    header->resizeSections(QHeaderView::ResizeToContents);
    const int frame = 2 * jobs.frameWidth();
    const int rows = jobs.model()->rowCount() + 2;
    jobs.resize(std::min(header->length() + frame, MaxWidth), header->sizeHint().height() + rows * jobs.sizeHintForRow(0) + frame);
    showAtNaturalSize(&jobs);
    pictures.save(&jobs, QStringLiteral("jobs"));
}

void drawAttributes(const Pictures &pictures)
{
    const QHash<QString, QVariant> attributes = CUPS::PrinterIppActions::instance()->destAttrs(PrinterWithPpd, {});
    if (attributes.isEmpty()) {
        fail(QStringLiteral("the server gave no attributes of %1: %2").arg(PrinterWithPpd, CUPS::Connection::lastErrorString()));
    }
    CUPS::AttributeViewer viewer(attributes, false, nullptr);
    showAtNaturalSize(&viewer);
    pictures.save(&viewer, QStringLiteral("attributes"));
}

void drawMarking(const Pictures &pictures)
{
    CUPS::MacAttributesDialog dialog;
    const bool pictured = Screenshot::grabModal(
        [&dialog] {
            dialog.exec(HeldMacJob);
        },
        [&](QWidget *modal) {
            if (modal != &dialog) {
                fail(QStringLiteral("no marking dialog for job %1: %2").arg(HeldMacJob).arg(describe(modal)));
            }
            pictures.save(modal, QStringLiteral("mac-marking"));
            return true;
        });
    if (!pictured) {
        fail(QStringLiteral("no marking dialog opened for job %1").arg(HeldMacJob));
    }
}

void drawMacPrinterSettings(const Pictures &pictures)
{
    CUPS::MacPrinterSettingsDialog dialog(MacPrinter);
    if (child<QComboBox>(&dialog, "policyCombo")->count() == 0) {
        fail(QStringLiteral("the server gave no operation policies for %1").arg(MacPrinter));
    }
    showAtNaturalSize(&dialog);
    pictures.save(&dialog, QStringLiteral("mac-printer-settings"));
}

void drawJournal(const Pictures &pictures)
{
    // It deletes itself when closed.
    QPointer<CUPS::JournalViewer> viewer = new CUPS::JournalViewer;
    viewer->popup();
    child<QPushButton>(viewer, "searchButton")->click();
    if (child<QTreeWidget>(viewer, "journalTreeWidget")->topLevelItemCount() == 0) {
        fail(QStringLiteral("the journal search found no records"));
    }
    pictures.save(viewer, QStringLiteral("mac-journal"));
    viewer->close();
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Norvik"));
    AppSetup::loadQtTranslations(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws the documentation's pictures of the widgets."));
    parser.addHelpOption();
    const QCommandLineOption serverOption(QStringLiteral("server"), QStringLiteral("Print server with the sample printers and jobs."), QStringLiteral("HOST:PORT"));
    const QCommandLineOption outputOption(QStringLiteral("output"), QStringLiteral("Folder the pictures go to."), QStringLiteral("DIR"));
    const QCommandLineOption suffixOption(QStringLiteral("suffix"), QStringLiteral("Added to each picture's name (\"-de\")."), QStringLiteral("SUFFIX"));
    const QCommandLineOption macOption(QStringLiteral("mac"), QStringLiteral("The MAC dialogs; the server is the MAC test server."));
    parser.addOptions({serverOption, outputOption, suffixOption, macOption});
    parser.process(app);
    if (!parser.isSet(serverOption) || !parser.isSet(outputOption)) {
        fail(QStringLiteral("--server and --output are needed"));
    }

    cupsSetServer(parser.value(serverOption).toLocal8Bit().constData());
    CUPS::Connection::instance()->reconnect(true);
    AppSetup::ensureIconTheme();
    watchForMessageBoxes(app);

    const Pictures pictures(parser.value(outputOption), parser.value(suffixOption));
    if (parser.isSet(macOption)) {
        drawMarking(pictures);
        drawMacPrinterSettings(pictures);
        drawJournal(pictures);
    } else {
        drawWizardForDetectedDevice(pictures);
        drawWizardForManualDevice(pictures);
        drawWizardForClass(pictures);
        drawOptions(pictures);
        drawJobs(pictures);
        drawAttributes(pictures);
    }
    return 0;
}

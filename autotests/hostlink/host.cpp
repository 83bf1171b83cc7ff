#include <attributeviewer.h>
#include <columneditor.h>
#include <destoptionsdialog.h>
#include <jobswidget.h>
#include <journalviewer.h>
#include <macattributesdialog.h>
#include <macprintersettingsdialog.h>
#include <optionsdata.h>
#include <ppdsettings.h>
#include <printerippactions.h>
#include <printerlistmodel.h>
#include <printerswidget.h>

#include <norvikprintwidgets_version.h>

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    CUPS::PrintersWidget widget;
    const QAction *reload = widget.action(CUPS::PrintersWidget::Reload);
    if (!reload || widget.mainMenu()->actions().isEmpty() || widget.model()->rowCount() != 2) {
        std::fprintf(stderr, "the printers widget is not what the header promises\n");
        return 1;
    }
    // Every exported dialog is reachable through the one package.
    const CUPS::ColumnEditor editor({}, nullptr);
    const CUPS::AttributeViewer viewer({}, false, nullptr);
    const CUPS::MacAttributesDialog marking;
    // The journal deletes itself when closed, so it lives on the heap.
    const auto *journal = new CUPS::JournalViewer(&widget);
    const CUPS::MacPrinterSettingsDialog macSettings(QStringLiteral("Office"));
    if (editor.objectName() != QLatin1String("ColumnEditor") || viewer.objectName() != QLatin1String("AttributeViewer")
        || marking.objectName() != QLatin1String("MacAttributesDialog") || journal->objectName() != QLatin1String("JournalViewer")
        || macSettings.objectName() != QLatin1String("MacPrinterSettingsDialog") || !CUPS::PrinterIppActions::instance()) {
        std::fprintf(stderr, "the exported dialogs are not what the headers promise\n");
        return 1;
    }
    const CUPS::JobsWidget jobs;
    if (!jobs.action(CUPS::JobsWidget::Cancel) || jobs.action(CUPS::JobsWidget::Cancel)->shortcut() != QKeySequence(Qt::Key_Delete)) {
        std::fprintf(stderr, "the jobs widget is not what the header promises\n");
        return 1;
    }
    const CUPS::DestOptionsDialog options;
    const CUPS::PpdSettings driverSettings;
    OptionsData data;
    data.setCurrentData(OptionsData::pageSizePropertyName(), QStringLiteral("iso_a4_210x297mm"));
    const OptionsData copy = data;
    if (options.objectName() != QLatin1String("DestOptionsDialog") || driverSettings.columnCount() != 2
        || copy.currentData(QStringLiteral("media")).toString() != QLatin1String("iso_a4_210x297mm")) {
        std::fprintf(stderr, "the options dialog is not what its headers promise\n");
        return 1;
    }
    std::printf("host linked against %s: %s\n", NORVIKPRINTWIDGETS_VERSION_STRING, qPrintable(reload->text()));
    return 0;
}

#include "appsetup.h"
#include "mainwindow.h"
#include "screenshot.h"

#include <connection.h>

#include <KAboutData>
#include <KLocalizedString>

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QTimer>

#include <norvikprintwidgets_version.h>

namespace
{
// Pictures the window with the first dialog the marking opens (the form, or
// the error that stands in its place) beside it, then closes the dialog:
// closing unlocks the job again.
int screenshotMarking(MainWindow &window, int jobId, const QString &file)
{
    const bool saved = Screenshot::grabModal(
        [&] {
            window.markJob(jobId);
        },
        [&](QWidget *dialog) {
            return Screenshot::save(Screenshot::sideBySide(Screenshot::grab(&window), Screenshot::grab(dialog)), file);
        });
    return saved ? 0 : 1;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    KLocalizedString::setApplicationDomain("norvik-print-manager");
    AppSetup::loadQtTranslations(app);
    KAboutData about(QStringLiteral("norvik-print-manager"),
                     i18n("Printers"),
                     QStringLiteral(NORVIKPRINTWIDGETS_VERSION_STRING),
                     i18n("Manages the printers, classes and jobs of a CUPS print server."),
                     KAboutLicense::Unknown,
                     i18n("© 2026 the Norvik developers"));
    about.addAuthor(i18n("The Norvik developers"));
    about.setOrganizationDomain("norvik.org");
    about.setDesktopFileName(QStringLiteral("org.norvik.PrintManager"));
    // Names the settings file, the window's title suffix and the About box.
    KAboutData::setApplicationData(about);
    app.setOrganizationName(QStringLiteral("Norvik"));
    app.setWindowIcon(QIcon::fromTheme(QStringLiteral("printer")));

    QCommandLineParser parser;
    about.setupCommandLine(&parser);
    const QCommandLineOption serverOption(QStringLiteral("server"), i18n("Print server to manage."), i18n("HOST[:PORT]"));
    const QCommandLineOption screenshotOption(QStringLiteral("screenshot"), i18n("Write a picture of the window and exit."), i18n("FILE"));
    const QCommandLineOption selectOption(QStringLiteral("select"), i18n("Destination to select at start."), i18n("NAME"));
    const QCommandLineOption markOption(QStringLiteral("mark-job"), i18n("Open the marking dialog for a held job at start."), i18n("ID"));
    parser.addOptions({serverOption, screenshotOption, selectOption, markOption});
    parser.process(app);
    about.processCommandLine(&parser);

    if (parser.isSet(serverOption)) {
        cupsSetServer(parser.value(serverOption).toLocal8Bit().constData());
        CUPS::Connection::instance()->reconnect(true);
    }
    AppSetup::ensureIconTheme();

    MainWindow window;
    window.reload(parser.value(selectOption));
    window.show();
    const int jobId = parser.isSet(markOption) ? parser.value(markOption).toInt() : -1;
    if (parser.isSet(screenshotOption)) {
        if (jobId >= 0) {
            return screenshotMarking(window, jobId, parser.value(screenshotOption));
        }
        return Screenshot::save(Screenshot::grab(&window), parser.value(screenshotOption)) ? 0 : 1;
    }
    if (jobId >= 0) {
        QTimer::singleShot(0, &window, [&window, jobId] {
            window.markJob(jobId);
        });
    }
    return app.exec();
}

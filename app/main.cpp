#include "mainwindow.h"

#include <connection.h>

#include <KLocalizedString>

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

namespace
{
// Without a desktop session (offscreen, a bare X server) Qt knows neither the
// icon theme nor where themes live; the printers' state emblems need both.
void ensureIconTheme()
{
    QStringList searchPaths = QIcon::themeSearchPaths();
    const QStringList systemPaths =
        QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory);
    for (const QString &path : systemPaths) {
        if (!searchPaths.contains(path)) {
            searchPaths.append(path);
        }
    }
    QIcon::setThemeSearchPaths(searchPaths);
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor")) {
        QIcon::setThemeName(QStringLiteral("breeze"));
    }
    // Breeze has no "emblem-unreadable" or "emblem-system" (stopped, printing).
    if (QIcon::fallbackThemeName().isEmpty()) {
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    }
}

int writeScreenshot(MainWindow &window, const QString &file)
{
    window.show();
    const QPixmap shot = window.grab();
    if (!shot.save(file, "PNG")) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        return 1;
    }
    std::printf("screenshot written to %s\n", qPrintable(file));
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    KLocalizedString::setApplicationDomain("norvik-print-manager");
    app.setApplicationName(QStringLiteral("norvik-print-manager"));
    app.setOrganizationName(QStringLiteral("Norvik"));
    app.setWindowIcon(QIcon::fromTheme(QStringLiteral("printer")));

    QCommandLineParser parser;
    parser.setApplicationDescription(i18n("Printer manager"));
    parser.addHelpOption();
    const QCommandLineOption serverOption(QStringLiteral("server"), i18n("Print server to manage."), i18n("HOST[:PORT]"));
    const QCommandLineOption screenshotOption(QStringLiteral("screenshot"), i18n("Write a picture of the window and exit."), i18n("FILE"));
    const QCommandLineOption selectOption(QStringLiteral("select"), i18n("Destination to select at start."), i18n("NAME"));
    parser.addOptions({serverOption, screenshotOption, selectOption});
    parser.process(app);

    if (parser.isSet(serverOption)) {
        cupsSetServer(parser.value(serverOption).toLocal8Bit().constData());
        CUPS::Connection::instance()->reconnect(true);
    }
    ensureIconTheme();

    MainWindow window;
    window.reload(parser.value(selectOption));
    if (parser.isSet(screenshotOption)) {
        return writeScreenshot(window, parser.value(screenshotOption));
    }
    window.show();
    return app.exec();
}

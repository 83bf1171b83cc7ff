#include "mainwindow.h"

#include <connection.h>

#include <KAboutData>
#include <KLocalizedString>

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QStandardPaths>
#include <QTimer>
#include <QTranslator>

#include <norvikprintwidgets_version.h>

#include <algorithm>
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

// Qt's own texts (standard buttons, an edit field's context menu) in the
// languages of LANGUAGE or the locale, as the catalogues are.
void loadQtTranslations(QApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
        app.installTranslator(translator);
    }
}

bool saveScreenshot(const QPixmap &picture, const QString &file)
{
    if (!picture.save(file, "PNG")) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        return false;
    }
    std::printf("screenshot written to %s\n", qPrintable(file));
    return true;
}

// Offscreen there is no screen to picture both on: they are put side by side.
QPixmap sideBySide(const QPixmap &left, const QPixmap &right)
{
    QPixmap picture(left.width() + right.width(), std::max(left.height(), right.height()));
    picture.fill(QApplication::palette().color(QPalette::Window));
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, left);
    painter.drawPixmap(left.width(), 0, right);
    return picture;
}

// Pictures the window with the first dialog the marking opens (the form, or
// the error that stands in its place) beside it, then closes the dialog:
// closing unlocks the job again.
int screenshotMarking(QApplication &app, MainWindow &window, int jobId, const QString &file)
{
    bool saved = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            poll.stop();
            saved = saveScreenshot(sideBySide(window.grab(), dialog->grab()), file);
            dialog->close();
        }
    });
    poll.start(20);
    window.markJob(jobId);
    return saved ? 0 : 1;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    KLocalizedString::setApplicationDomain("norvik-print-manager");
    loadQtTranslations(app);
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
    ensureIconTheme();

    MainWindow window;
    window.reload(parser.value(selectOption));
    window.show();
    const int jobId = parser.isSet(markOption) ? parser.value(markOption).toInt() : -1;
    if (parser.isSet(screenshotOption)) {
        if (jobId >= 0) {
            return screenshotMarking(app, window, jobId, parser.value(screenshotOption));
        }
        return saveScreenshot(window.grab(), parser.value(screenshotOption)) ? 0 : 1;
    }
    if (jobId >= 0) {
        QTimer::singleShot(0, &window, [&window, jobId] {
            window.markJob(jobId);
        });
    }
    return app.exec();
}

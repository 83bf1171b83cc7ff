#include "appsetup.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>

namespace AppSetup
{
// Without a desktop session Qt knows neither the icon theme nor where themes
// live; the printers' state emblems need both.
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

void loadQtTranslations(QApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
        app.installTranslator(translator);
    }
}
} // namespace AppSetup

#ifndef APPSETUP_H
#define APPSETUP_H

class QApplication;

/// What the manager and the picture tool set up alike, so both look the same.
namespace AppSetup
{
/// Finds an icon theme where no desktop session names one (offscreen, a bare X server).
void ensureIconTheme();
/// Qt's own texts (standard buttons, an edit field's context menu) in the
/// languages of LANGUAGE or the locale, as the catalogues are.
void loadQtTranslations(QApplication &app);
} // namespace AppSetup

#endif

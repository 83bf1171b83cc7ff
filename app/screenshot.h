#ifndef SCREENSHOT_H
#define SCREENSHOT_H

#include <QPixmap>
#include <QString>

#include <functional>

class QWidget;

/// Pictures of windows and dialogs, drawn offscreen: the manager's
/// --screenshot and the documentation's pictures use the same code.
namespace Screenshot
{
/// The widget as it shows once its layouts and item views have settled:
/// those are done in posted events and zero-time timers after a change.
QPixmap grab(QWidget *widget);

/// Writes the picture to file as PNG and says where, or on stderr why not.
bool save(const QPixmap &picture, const QString &file);

/// Two windows side by side: offscreen there is no screen to picture both on.
QPixmap sideBySide(const QPixmap &left, const QPixmap &right);

/// Calls open(), which runs a modal dialog; the first modal widget that shows
/// (the dialog, or a message box standing in its place) is handed to
/// picture() and then closed. Returns what picture() returned, false when no
/// modal widget showed.
bool grabModal(const std::function<void()> &open, const std::function<bool(QWidget *)> &picture);
} // namespace Screenshot

#endif

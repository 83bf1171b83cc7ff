#ifndef CUPS_MESSAGEBOX_H
#define CUPS_MESSAGEBOX_H

#include <QMessageBox>
#include <QString>

class KLocalizedString;

// Message boxes whose texts carry names and server messages: those come from
// users and remote servers, so they are shown as text, never as markup.
namespace CUPS::MessageBox
{
/// A modal question or warning; returns the button pressed. The text is
/// plain unless format says otherwise (then escape its arguments with escapedSubs()).
QMessageBox::StandardButton ask(QWidget *parent,
                                QMessageBox::Icon icon,
                                const QString &title,
                                const QString &text,
                                QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                                Qt::TextFormat format = Qt::PlainText);

/// A modal box with one Ok button; text is rich text (it may hold "<br>"),
/// its arguments already escaped by escapedSubs().
void show(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &richText);

/// message with its placeholders filled by the arguments, each HTML-escaped.
QString escapedSubs(const KLocalizedString &message, const QStringList &arguments);

/// "Error" warning: message ends with "<br>CUPS error: %1", filled with the
/// connection's last error string.
void showCupsError(QWidget *parent, const KLocalizedString &message);
} // namespace CUPS::MessageBox

#endif

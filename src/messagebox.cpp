#include "messagebox.h"

#include <connection.h>
#include <translation.h>

#include <KLocalizedString>

namespace CUPS::MessageBox
{
QMessageBox::StandardButton ask(QWidget *parent,
                                QMessageBox::Icon icon,
                                const QString &title,
                                const QString &text,
                                QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton,
                                Qt::TextFormat format)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(format);
    if (defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(defaultButton);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void show(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &richText)
{
    QMessageBox box(icon, title, richText, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::RichText);
    box.exec();
}

QString escapedSubs(const KLocalizedString &message, const QStringList &arguments)
{
    KLocalizedString filled = message;
    for (const QString &argument : arguments) {
        filled = filled.subs(argument.toHtmlEscaped());
    }
    return filled.toString();
}

void showCupsError(QWidget *parent, const KLocalizedString &message)
{
    show(parent, QMessageBox::Warning, translated("Error"), escapedSubs(message, {Connection::lastErrorString()}));
}
} // namespace CUPS::MessageBox

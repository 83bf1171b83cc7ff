#ifndef CUPS_WIZARDTOOLS_H
#define CUPS_WIZARDTOOLS_H

#include <QApplication>
#include <QLatin1String>
#include <QProcess>
#include <QWidget>

// Small helpers the wizard's forms share.
namespace CUPS
{
/// Gives a form's widget its fixed object name, by which tests and hosts find it.
template<typename T>
T *named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

/**
 * Waits up to msecs for a started program. One still running then is asked to
 * end (SIGTERM) and, as a program may ignore that, killed after a short grace:
 * the caller never waits much longer than msecs. True when it ended in time by itself.
 */
inline bool finishesWithin(QProcess &process, int msecs)
{
    constexpr int TerminateGraceMsecs = 200;
    constexpr int KillGraceMsecs = 1000;
    if (process.waitForFinished(msecs)) {
        return true;
    }
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(TerminateGraceMsecs)) {
            process.kill();
            process.waitForFinished(KillGraceMsecs);
        }
    }
    return false;
}

/// Shows the wait cursor for a scope: over one widget, or over the whole application.
class WaitCursor
{
public:
    explicit WaitCursor(QWidget *widget = nullptr)
        : m_widget(widget)
    {
        if (m_widget) {
            m_widget->setCursor(Qt::WaitCursor);
        } else {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        }
    }
    ~WaitCursor()
    {
        if (m_widget) {
            m_widget->unsetCursor();
        } else {
            QApplication::restoreOverrideCursor();
        }
    }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    QWidget *const m_widget;
};
} // namespace CUPS

#endif

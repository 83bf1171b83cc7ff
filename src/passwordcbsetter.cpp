#include "passwordcbsetter.h"

#include "widgetslogging.h"

#include <connection.h>

#include <KLocalizedString>
#include <KPasswordDialog>

#include <QApplication>
#include <QCoreApplication>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QSemaphore>
#include <QThread>

#include <memory>

namespace CUPS
{
namespace
{
// The last entries live for the whole process; libcups keeps the returned
// pointer only until the next call.
struct Credentials {
    QString lastUser;
    QByteArray password;
};
Q_GLOBAL_STATIC(Credentials, s_credentials)

struct Answer {
    bool accepted = false;
    QString user;
    QByteArray password;
};

// A worker's question to the GUI thread, which the worker may give up when it is told to stop.
struct PendingPrompt {
    QMutex mutex;
    bool abandoned = false;
    QPointer<KPasswordDialog> dialog;
    Answer answer;
    QSemaphore answered;
};

// How often a worker waiting for the user checks whether it was told to stop.
constexpr int InterruptionCheckMsecs = 50;

// Runs in the GUI thread: widgets may not be made anywhere else. A new user
// name is switched to here, since the GUI thread's libcups user is the
// process' choice that every other thread follows.
Answer askInGuiThread(const QString &prompt, const QString &presetUser, const QString &currentUser, PendingPrompt *pending = nullptr)
{
    Answer answer;
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    QPointer<KPasswordDialog> dialog = new KPasswordDialog(QApplication::activeWindow(), KPasswordDialog::ShowUsernameLine);
    if (pending) {
        QMutexLocker locker(&pending->mutex);
        if (pending->abandoned) {
            delete dialog;
            QApplication::restoreOverrideCursor();
            return answer;
        }
        pending->dialog = dialog;
    }
    dialog->setWindowTitle(ki18nd("libnorvik-print", "CUPS Authentication").toString());
    dialog->setPrompt(prompt);
    dialog->setUsername(presetUser);
    if (dialog->exec() == QDialog::Accepted && dialog) {
        answer.accepted = true;
        answer.user = dialog->username();
        answer.password = dialog->password().toLocal8Bit();
    }
    if (pending) {
        QMutexLocker locker(&pending->mutex);
        pending->dialog.clear();
        if (pending->abandoned) {
            answer = {};
        }
    }
    delete dialog;
    QApplication::restoreOverrideCursor();
    if (answer.accepted && answer.user != currentUser) {
        Connection::instance()->setUser(answer.user);
    }
    return answer;
}

Answer ask(const QString &prompt, const QString &presetUser, const QString &currentUser)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!qobject_cast<QApplication *>(app)) {
        qCWarning(CUPS_WIDGETS) << "no widget application to ask for a password in";
        return {};
    }
    if (QThread::currentThread() == app->thread()) {
        return askInGuiThread(prompt, presetUser, currentUser);
    }
    // From a worker: it waits until the GUI thread has asked, or until it is told to stop (its
    // owner closing, maybe from within this very prompt); then the prompt goes and the answer is cancel.
    QThread *const worker = QThread::currentThread();
    if (worker->isInterruptionRequested()) {
        return {};
    }
    auto pending = std::make_shared<PendingPrompt>();
    QMetaObject::invokeMethod(
        app,
        [pending, prompt, presetUser, currentUser] {
            pending->answer = askInGuiThread(prompt, presetUser, currentUser, pending.get());
            pending->answered.release();
        },
        Qt::QueuedConnection);
    while (!pending->answered.tryAcquire(1, InterruptionCheckMsecs)) {
        if (worker->isInterruptionRequested()) {
            QMutexLocker locker(&pending->mutex);
            pending->abandoned = true;
            if (pending->dialog) {
                QMetaObject::invokeMethod(pending->dialog.data(), &QDialog::reject, Qt::QueuedConnection);
            }
            return {};
        }
    }
    const Answer answer = pending->answer;
    // The request being retried in this thread must carry the new user too.
    if (answer.accepted && answer.user != currentUser) {
        Connection::instance()->setUser(answer.user);
    }
    return answer;
}
} // namespace

const char *passwordCallback(const char *prompt, http_t *http, const char *method, const char *resource, void *userData)
{
    Q_UNUSED(userData)
    qCDebug(CUPS_WIDGETS) << "begin authentication";
    qCDebug(CUPS_WIDGETS) << "prompt =" << prompt;
    qCDebug(CUPS_WIDGETS) << "current user =" << cupsUser();
    qCDebug(CUPS_WIDGETS) << "last error string =" << cupsLastErrorString();
    qCDebug(CUPS_WIDGETS) << "last error =" << int(cupsLastError());
    qCDebug(CUPS_WIDGETS) << "status =" << int(http ? httpGetStatus(http) : HTTP_STATUS_NONE);
    qCDebug(CUPS_WIDGETS) << "method =" << method;
    qCDebug(CUPS_WIDGETS) << "resource =" << resource;

    // Taken in the requesting thread, which may already hold it or have joined the GUI thread's
    // session (lockOnBehalfOf): either way it gets in at once, so asking the GUI cannot deadlock.
    // It also gives this thread the process' user, which a worker's own libcups user may lag behind.
    Connection::instance()->lock();
    Credentials &credentials = *s_credentials;
    const QString currentUser = QString::fromLocal8Bit(cupsUser());
    if (credentials.lastUser.isEmpty()) {
        credentials.lastUser = currentUser;
    }
    const Answer answer = ask(QString::fromLocal8Bit(prompt), credentials.lastUser, currentUser);
    if (answer.accepted) {
        credentials.lastUser = answer.user;
        credentials.password = answer.password;
    }
    Connection::instance()->unlock();

    qCDebug(CUPS_WIDGETS) << "end of authentication";
    return answer.accepted ? credentials.password.constData() : nullptr;
}

namespace
{
void resetCupsCallback()
{
    cupsSetUser(nullptr);
    cupsSetPasswordCB(nullptr);
    Connection::instance()->setPasswordCallback(nullptr, nullptr);
}

void installCupsCallback()
{
    Connection::instance()->setPasswordCallback(passwordCallback, nullptr);
    qAddPostRoutine(resetCupsCallback);
}

// Linking the library is enough: Qt runs this when the host creates its application.
Q_COREAPP_STARTUP_FUNCTION(installCupsCallback)
} // namespace
} // namespace CUPS

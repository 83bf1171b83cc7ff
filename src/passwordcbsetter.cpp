#include "passwordcbsetter.h"

#include "widgetslogging.h"

#include <connection.h>

#include <KLocalizedString>
#include <KPasswordDialog>

#include <QApplication>
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

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

// Runs in the GUI thread: widgets may not be made anywhere else. A new user
// name is switched to here, since the GUI thread's libcups user is the
// process' choice that every other thread follows.
Answer askInGuiThread(const QString &prompt, const QString &presetUser, const QString &currentUser)
{
    Answer answer;
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    QPointer<KPasswordDialog> dialog = new KPasswordDialog(QApplication::activeWindow(), KPasswordDialog::ShowUsernameLine);
    dialog->setWindowTitle(ki18nd("libnorvik-print", "CUPS Authentication").toString());
    dialog->setPrompt(prompt);
    dialog->setUsername(presetUser);
    if (dialog->exec() == QDialog::Accepted && dialog) {
        answer.accepted = true;
        answer.user = dialog->username();
        answer.password = dialog->password().toLocal8Bit();
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
    // From a worker: block it until the GUI thread has asked.
    Answer answer;
    QMetaObject::invokeMethod(
        app,
        [&] {
            answer = askInGuiThread(prompt, presetUser, currentUser);
        },
        Qt::BlockingQueuedConnection);
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

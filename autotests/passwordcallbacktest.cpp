#include "cupssandbox.h"
#include "modalanswerer.h"
#include "passwordcbsetter.h"

#include <connection.h>
#include <ipprequest.h>

#include <KPasswordDialog>

#include <QTest>
#include <QThread>

#include <cups/cups.h>

#include <functional>

using CUPS::Connection;

namespace
{
constexpr char PromptText[] = "Password for the test queue:";

// What a password dialog showed when it was answered.
struct Prompt {
    QString text;
    QString presetUser;
    QThread *thread = nullptr;
};

// Answers the next password dialog: accepts it as user with password, or rejects it when user is null.
ModalAnswerer::Handler answering(QVector<Prompt> *seen, const QString &user = {}, const QString &pw = {})
{
    return [=](QWidget *widget) {
        if (auto *dialog = qobject_cast<KPasswordDialog *>(widget)) {
            seen->append({dialog->prompt(), dialog->username(), dialog->thread()});
            dialog->setUsername(user);
            dialog->setPassword(pw);
            user.isNull() ? dialog->reject() : dialog->accept();
        } else {
            widget->close(); // not a password prompt: the prompts seen tell
        }
    };
}

// Runs work while this (GUI) thread holds the connection: here, or in a worker admitted to its session
// while this thread handles events, as a worker asking for a password needs; false when not finished.
bool run(const std::function<void()> &work, bool inWorker)
{
    CUPS::ConnectionLocker held;
    if (!inWorker) {
        work();
        return true;
    }
    QPointer<QThread> worker = QThread::create([work, gui = QThread::currentThread()] {
        Connection::instance()->lockOnBehalfOf(gui);
        work();
        Connection::instance()->unlock();
    });
    // Gone once finished; one still blocked is left running, as destroying it would abort.
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
    return QTest::qWaitFor([&worker] { return !worker || worker->isFinished(); }, 20000);
}
} // namespace

class PasswordCallbackTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_loginUser = QString::fromLocal8Bit(cupsUser());
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
        m_lastUser = QStringLiteral("first-user");
        Connection::instance()->setUser(m_lastUser);
    }

    void acceptingSwitchesTheUserEverywhereCancellingFailsTheRequest_data()
    {
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<QString>("user"); // empty: the name already in use
        // The first row is offered the user set at the start, later ones the user typed before.
        QTest::newRow("another user, GUI thread") << false << QStringLiteral("alice");
        QTest::newRow("the current user, GUI thread") << false << QString();
        QTest::newRow("another user, worker") << true << QStringLiteral("bob");
        QTest::newRow("the current user, worker") << true << QString();
        // A fresh thread's own libcups user is the login name; typing it must still switch.
        QTest::newRow("back to the login user, worker") << true << m_loginUser;
    }
    void acceptingSwitchesTheUserEverywhereCancellingFailsTheRequest()
    {
        QFETCH(bool, fromWorker);
        QFETCH(QString, user);
        const QString typed = user.isEmpty() ? Connection::instance()->userName() : user;
        const QString password = QLatin1String("pw of ") + typed;
        const QString offered = m_lastUser;
        m_lastUser = typed; // what later prompts should offer, whatever fails below
        QVector<Prompt> prompts;
        ModalAnswerer answerer({answering(&prompts, typed, password), answering(&prompts)});
        // The answer, and the user libcups has in the asking thread afterwards.
        std::pair<const char *, QString> accepted{"(unfinished)", QString()};
        run([&accepted] {
            const char *answer = CUPS::passwordCallback(PromptText, nullptr, "POST", "/", nullptr);
            accepted = {answer, QString::fromLocal8Bit(cupsUser())};
        }, fromWorker);
        // The sandbox answers every request to /secure with 401 (Basic): the second prompt, cancelled.
        Connection::setLastError(IPP_STATUS_OK, QString());
        CUPS::IppResponse response;
        const bool finished = run([&response] {
            CUPS::IppRequest request(CUPS_GET_PRINTERS);
            response = request.doRequest(Connection::instance(), QStringLiteral("/secure"));
        }, fromWorker);
        QVERIFY2(finished, "the request waiting for a password never finished");
        QVERIFY2(!response.isOk() && Connection::lastError() != IPP_STATUS_OK,
                 qPrintable(Connection::lastErrorString()));
        QVERIFY(!Connection::instance()->isLockedByCallingThread());
        // One prompt each, asked in the GUI thread; the second offers the user the first one typed.
        QCOMPARE(prompts.size(), 2);
        QCOMPARE(prompts[0].text, QString::fromLatin1(PromptText));
        QCOMPARE(prompts[0].presetUser, offered);
        QCOMPARE(prompts[1].presetUser, typed);
        QVERIFY(prompts[0].thread == qApp->thread() && prompts[1].thread == qApp->thread());
        // libcups may still hold the pointer it was given for the accepted password.
        QCOMPARE(QString::fromLocal8Bit(accepted.first), password);
        QCOMPARE(accepted.second, typed);
        QCOMPARE(QString::fromLocal8Bit(cupsUser()), typed);
        QCOMPARE(Connection::instance()->userName(), typed);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

private:
    QString m_loginUser;
    QString m_lastUser;
    CupsSandbox m_sandbox;
};

QTEST_MAIN(PasswordCallbackTest)

#include "passwordcallbacktest.moc"

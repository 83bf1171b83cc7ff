#include "macippserverprocess.h"

#include <attributes.h>
#include <connection.h>
#include <macattributesdialog.h>
#include <macippactions.h>
#include <serverwatcher.h>
#include <utils.h>

#include <KPasswordDialog>

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

using namespace CUPS;

namespace
{
constexpr int Change = MacJobInfo::ChangeAttributes;
constexpr int Mark = MacJobInfo::Mark;
const QString Marked = QStringLiteral("Information: Marking has been completed<br>Derived Job ID's: 12,13");

/**
 * Plays the user while it lives: hands the marking dialog to a handler that
 * edits it and says whether to accept, answers message boxes with OK
 * ("title: text" kept in boxes) and password prompts as told.
 */
class User : public QObject
{
public:
    using Handler = std::function<bool(MacAttributesDialog *)>;

    explicit User(Handler handler = {})
        : m_handler(std::move(handler))
    {
        connect(&m_timer, &QTimer::timeout, this, &User::act);
        m_timer.start(10);
    }

    // Prompts get this user and the passwords in turn (the last one again); a null user cancels them.
    QString promptUser;
    QStringList promptPasswords;
    int promptHold = 0; // times a prompt is seen before it is answered: the event loop runs on under it
    int dialogsSeen = 0;
    QStringList boxes;
    QList<QThread *> prompts; // the thread each password prompt ran in

private:
    void act()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes.append(box->windowTitle() + QStringLiteral(": ") + box->text());
            box->button(QMessageBox::Ok)->click();
        } else if (auto *dialog = qobject_cast<MacAttributesDialog *>(modal); dialog && dialog->isVisible()) {
            ++dialogsSeen;
            m_handler && m_handler(dialog) ? dialog->accept() : dialog->reject();
        } else if (auto *prompt = qobject_cast<KPasswordDialog *>(modal); prompt && m_promptSightings++ >= promptHold) {
            prompts.append(prompt->thread());
            if (promptUser.isNull()) {
                prompt->reject();
                return;
            }
            prompt->setUsername(promptUser);
            prompt->setPassword(promptPasswords.value(prompts.size() - 1, promptPasswords.last()));
            prompt->accept();
        }
    }

    Handler m_handler;
    int m_promptSightings = 0;
    QTimer m_timer;
};

bool acceptAsShown(MacAttributesDialog *)
{
    return true;
}

QPushButton *okButton(MacAttributesDialog *dialog)
{
    return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok);
}

// Replaces a line edit's text as typing does, so textEdited is emitted.
void retype(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// The address rows from the first one down, in form order.
QList<DistributionEditWidget *> addressRows(MacAttributesDialog *dialog)
{
    auto *form = dialog->findChild<QFormLayout *>(QStringLiteral("formLayout"));
    int row = -1;
    QFormLayout::ItemRole role;
    form->getWidgetPosition(dialog->findChild<DistributionEditWidget *>(Attr::MacDistribution), &row, &role);
    QList<DistributionEditWidget *> rows;
    for (; row >= 0 && row < form->rowCount(); ++row) {
        QLayoutItem *item = form->itemAt(row, QFormLayout::FieldRole);
        auto *address = qobject_cast<DistributionEditWidget *>(item ? item->widget() : nullptr);
        if (!address) {
            break;
        }
        rows.append(address);
    }
    return rows;
}

QLineEdit *edit(DistributionEditWidget *row)
{
    return row->findChild<QLineEdit *>();
}

int requestsOf(const QStringList &log, int operation)
{
    const QString code = QString::number(operation, 16) + QLatin1Char(' ');
    return int(std::count_if(log.cbegin(), log.cend(), [&code](const QString &line) {
        return line.startsWith(code);
    }));
}

// An attribute of the job's only journal record; empty without exactly one.
QString journaled(int jobId, QLatin1String attribute)
{
    QList<QHash<QString, QVariant>> records;
    if (!MacIppActions::instance()->getJournal({{Attr::JobId, QString::number(jobId)}}, &records) || records.size() != 1) {
        return {};
    }
    return Utils::getAttribute(records.first(), attribute).toString();
}

// True when another thread can take the connection lock: nothing was left holding it.
bool connectionLockIsFree()
{
    std::atomic<bool> taken{false};
    std::unique_ptr<QThread> other(QThread::create([&taken] {
        Connection::instance()->lock();
        taken = true;
        Connection::instance()->unlock();
    }));
    other->start();
    if (!other->wait(QDeadlineTimer(5000))) {
        other.release(); // blocked for good: leaking it beats aborting
        return false;
    }
    return taken;
}
} // namespace

class MacAttributesDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_server.use();
    }

    void init()
    {
        QVERIFY(m_server.reset());
        markLogStart();
    }

    void cleanup()
    {
        QVERIFY2(connectionLockIsFree(), "the dialog left the connection lock taken");
    }

    void refusalsAreReportedWithoutTheDialog_data()
    {
        QTest::addColumn<int>("jobId");
        QTest::addColumn<bool>("lockedElsewhere");
        QTest::addColumn<QString>("infoError"); // the server fails get-job-info with it
        QTest::addColumn<QList<int>>("permissions");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("unlocks");
        const QList<int> all{Change, Mark};
        QTest::newRow("negative job id") << -1 << false << QString() << all << QStringList() << 0;
        // Not the dialog's lock: it must not undo it.
        QTest::newRow("locked elsewhere") << 1 << true << QString() << all
                                          << QStringList{QStringLiteral("Error: Unable to lock job 1<br>CUPS error: Job #1 is locked by another user")} << 0;
        QTest::newRow("unreadable info, not a refusal")
            << 1 << false << QStringLiteral("Label database offline") << all
            << QStringList{QStringLiteral("Error: Unable to get mandatory attributes of job 1<br>CUPS error: Label database offline")} << 1;
        QTest::newRow("neither changing nor marking allowed")
            << 1 << false << QString() << QList<int>{}
            << QStringList{QStringLiteral("Error: Changing of mandatory attributes and marking are not allowed by current user")} << 1;
    }

    void refusalsAreReportedWithoutTheDialog()
    {
        QFETCH(int, jobId);
        QFETCH(bool, lockedElsewhere);
        QFETCH(QString, infoError);
        QFETCH(QList<int>, permissions);
        QFETCH(QStringList, boxes);
        QFETCH(int, unlocks);
        QVERIFY(m_server.setPermissions(permissions));
        QVERIFY(!lockedElsewhere || MacIppActions::instance()->lockJob(1));
        QVERIFY(infoError.isEmpty() || m_server.failOperation(QStringLiteral("get-job-info"), infoError));
        markLogStart();

        User user(acceptAsShown);
        MacAttributesDialog dialog;
        dialog.exec(jobId);
        QCOMPARE(user.dialogsSeen, 0);
        QCOMPARE(user.boxes, boxes);
        QCOMPARE(requestsOf(newRequests(), MacIppActions::UnlockJob), unlocks);
        if (jobId < 0) {
            QCOMPARE(newRequests(), QStringList());
        }
    }

    void permissionsDecideBetweenChangingAndMarking_data()
    {
        QTest::addColumn<QList<int>>("permissions");
        QTest::addColumn<bool>("editable");
        QTest::addColumn<bool>("marks");
        QTest::newRow("change only") << QList<int>{Change} << true << false;
        QTest::newRow("mark only") << QList<int>{Mark} << false << true;
        QTest::newRow("change and mark") << QList<int>{Change, Mark} << true << true;
    }

    void permissionsDecideBetweenChangingAndMarking()
    {
        QFETCH(QList<int>, permissions);
        QFETCH(bool, editable);
        QFETCH(bool, marks);
        QVERIFY(m_server.setPermissions(permissions));
        markLogStart();

        QVector<bool> addressReadOnly;
        QVector<bool> addEnabled;
        bool pagesAndFontUsable = false;
        User user([&](MacAttributesDialog *dialog) {
            auto *invNum = dialog->findChild<QLineEdit *>(Attr::MacInvNum);
            auto *pages = dialog->findChild<QLineEdit *>(QStringLiteral("page-ranges"));
            auto *font = dialog->findChild<QComboBox *>(QStringLiteral("font"));
            for (DistributionEditWidget *row : addressRows(dialog)) {
                addressReadOnly.append(row->isReadOnly());
                addEnabled.append(row->findChild<QToolButton *>()->isEnabled());
            }
            pagesAndFontUsable = !pages->isReadOnly() && font->isEnabled();
            if (!invNum->isReadOnly()) {
                retype(invNum, QStringLiteral("INV-99"));
            }
            font->setCurrentText(QStringLiteral("DejaVu Sans"));
            QTest::keyClicks(pages, QStringLiteral("2-3"));
            return okButton(dialog)->isEnabled();
        });
        MacAttributesDialog dialog;
        dialog.exec(1);

        QCOMPARE(user.boxes, QStringList{marks ? Marked : QStringLiteral("Information: Job attributes has been changed successfully")});
        QCOMPARE(addressReadOnly, QVector<bool>(3, !editable));
        QCOMPARE(addEnabled, QVector<bool>(3, editable)); // read-only rows offer no adding
        QVERIFY(pagesAndFontUsable);

        const QStringList log = newRequests();
        QCOMPARE(requestsOf(log, MacIppActions::SetJobAttributes), marks ? 0 : 1);
        QCOMPARE(requestsOf(log, MacIppActions::MarkJob), marks ? 1 : 0);
        // Unlocked after changing; a marked job is the server's to release.
        QCOMPARE(requestsOf(log, MacIppActions::UnlockJob), marks ? 0 : 1);

        const QString invNum = editable ? QStringLiteral("INV-99") : QStringLiteral("INV-7");
        if (marks) {
            QCOMPARE(journaled(1, Attr::MacInvNum), invNum);
            QCOMPARE(journaled(1, Attr::MacMarkerFont), QStringLiteral("DejaVu Sans"));
            QCOMPARE(journaled(1, Attr::PageRanges), QStringLiteral("2-3"));
            QCOMPARE(journaled(1, Attr::MacWorkplaceId), QStringLiteral("WS-7"));
        } else {
            const MacJobInfo info = MacIppActions::instance()->getMacInfo(1);
            QCOMPARE(info.entries.at(1).value, invNum);
            QCOMPARE(info.markerFont, QStringLiteral("DejaVu Sans"));
        }
    }

    void requiredEntriesGateOkButOptionalAndHiddenOnesDoNot()
    {
        QList<bool> okStates;
        bool hiddenShown = true;
        bool optionalShown = false;
        QHash<QString, QString> sent;
        {
            User user([&](MacAttributesDialog *dialog) {
                okStates.append(okButton(dialog)->isEnabled()); // all required set, the optional phone empty
                hiddenShown = dialog->findChild<QLineEdit *>(Attr::MacWorkplaceId) != nullptr;
                optionalShown = dialog->findChild<QLineEdit *>(Attr::MacOwnerPhone) != nullptr;
                auto *invNum = dialog->findChild<QLineEdit *>(Attr::MacInvNum);
                retype(invNum, QString());
                okStates.append(okButton(dialog)->isEnabled());
                QTest::keyClicks(invNum, QStringLiteral("7"));
                okStates.append(okButton(dialog)->isEnabled());
                QLineEdit *firstAddress = edit(addressRows(dialog).first()); // the first address row is what counts
                retype(firstAddress, QString());
                okStates.append(okButton(dialog)->isEnabled());
                QTest::keyClicks(firstAddress, QStringLiteral("Office 9"));
                okStates.append(okButton(dialog)->isEnabled());
                sent = dialog->attributes();
                return false;
            });
            MacAttributesDialog dialog;
            dialog.exec(1);
            QCOMPARE(user.dialogsSeen, 1);
        }
        QCOMPARE(okStates, (QList<bool>{true, false, true, false, true}));
        QVERIFY(!hiddenShown);
        QVERIFY(optionalShown);
        QCOMPARE(sent.value(Attr::MacInvNum), QStringLiteral("7"));
        QCOMPARE(sent.value(Attr::MacMarkerFont), QStringLiteral("Liberation Serif"));
        QCOMPARE(sent.size(), 6);
        QCOMPARE(requestsOf(newRequests(), MacIppActions::UnlockJob), 1); // cancel unlocks

        // Job 2: a required entry the server left empty keeps OK off; no font row without a current font.
        bool okAtStart = true;
        bool fontShown = true;
        User second([&](MacAttributesDialog *dialog) {
            okAtStart = okButton(dialog)->isEnabled();
            fontShown = dialog->findChild<QComboBox *>(QStringLiteral("font")) != nullptr;
            return false;
        });
        MacAttributesDialog other;
        other.exec(2);
        QVERIFY(!okAtStart);
        QVERIFY(!fontShown);
    }

    void pageRangesGateOk_data()
    {
        QTest::addColumn<QString>("pages");
        QTest::addColumn<bool>("ok");
        QTest::newRow("the label's example") << QStringLiteral("1-5,8") << true;
        QTest::newRow("all pages") << QString() << true;
        QTest::newRow("blank before a number") << QStringLiteral("1, 2") << false;
        QTest::newRow("empty part") << QStringLiteral("1,,2") << false;
        QTest::newRow("dangling dash") << QStringLiteral("4-") << false;
        QTest::newRow("a word") << QStringLiteral("all") << false;
    }

    void pageRangesGateOk()
    {
        QFETCH(QString, pages);
        QFETCH(bool, ok);
        bool okEnabled = !ok;
        User user([&](MacAttributesDialog *dialog) {
            QTest::keyClicks(dialog->findChild<QLineEdit *>(QStringLiteral("page-ranges")), pages);
            okEnabled = okButton(dialog)->isEnabled();
            return false;
        });
        MacAttributesDialog dialog;
        dialog.exec(1);
        QCOMPARE(okEnabled, ok);
    }

    void addressRowsSplitTheListAndStopAtSix()
    {
        QStringList stored;
        QString sentAsStored;
        QList<int> rowCounts;
        QVector<bool> emptyRowAddEnabled;
        QVector<bool> addEnabledAtSix;
        QString sent;
        User user([&](MacAttributesDialog *dialog) {
            for (DistributionEditWidget *row : addressRows(dialog)) {
                stored.append(row->text());
            }
            sentAsStored = dialog->attributes().value(Attr::MacDistribution);
            // Add below the last row and fill it, up to six rows.
            while (addressRows(dialog).size() < 6 && addressRows(dialog).last()->findChild<QToolButton *>()->isEnabled()) {
                addressRows(dialog).last()->findChild<QToolButton *>()->click();
                rowCounts.append(addressRows(dialog).size());
                emptyRowAddEnabled.append(addressRows(dialog).last()->findChild<QToolButton *>()->isEnabled());
                QTest::keyClicks(edit(addressRows(dialog).last()), QStringLiteral("Desk %1").arg(rowCounts.size()));
            }
            for (DistributionEditWidget *row : addressRows(dialog)) {
                addEnabledAtSix.append(row->findChild<QToolButton *>()->isEnabled());
            }
            retype(edit(addressRows(dialog).at(1)), QString()); // an emptied row drops out of the list
            sent = dialog->attributes().value(Attr::MacDistribution);
            return false;
        });
        MacAttributesDialog dialog;
        dialog.exec(1); // the server holds "Office 1^Office 2^^Archive"
        QCOMPARE(stored, (QStringList{QStringLiteral("Office 1"), QStringLiteral("Office 2"), QStringLiteral("Archive")}));
        QCOMPARE(sentAsStored, QStringLiteral("Office 1^Office 2^Archive"));
        QCOMPARE(rowCounts, (QList<int>{4, 5, 6}));
        QCOMPARE(emptyRowAddEnabled, QVector<bool>(3, false));
        QCOMPARE(addEnabledAtSix, QVector<bool>(6, false));
        QCOMPARE(sent, QStringLiteral("Office 1^Archive^Desk 1^Desk 2^Desk 3"));
    }

    void unsetAndEmptiedDistributionListsDiffer_data()
    {
        QTest::addColumn<int>("jobId");
        QTest::addColumn<QString>("sent");
        QTest::newRow("never set, left empty") << 2 << QStringLiteral("Not specified");
        QTest::newRow("set, emptied by the user") << 1 << QString();
        QTest::newRow("hidden, sent back as stored") << 3 << QStringLiteral("Office 1^Office 2^^Archive");
    }

    void unsetAndEmptiedDistributionListsDiffer()
    {
        QFETCH(int, jobId);
        QFETCH(QString, sent);
        QVERIFY(m_server.setPermissions({Change}));
        User user([&](MacAttributesDialog *dialog) {
            for (DistributionEditWidget *row : addressRows(dialog)) {
                retype(edit(row), QString());
            }
            if (auto *invNum = dialog->findChild<QLineEdit *>(Attr::MacInvNum); invNum->text().isEmpty()) {
                QTest::keyClicks(invNum, QStringLiteral("INV-2"));
            }
            return true;
        });
        MacAttributesDialog dialog;
        dialog.exec(jobId);
        QCOMPARE(user.boxes, QStringList{QStringLiteral("Information: Job attributes has been changed successfully")});
        const MacJobInfo info = MacIppActions::instance()->getMacInfo(jobId);
        const auto distribution = std::find_if(info.entries.cbegin(), info.entries.cend(), [](const MacAttributeEntry &entry) {
            return entry.name == Attr::MacDistribution;
        });
        QVERIFY(distribution != info.entries.cend());
        QCOMPARE(distribution->value, sent);
    }

    void aSecondRunSendsOnlyItsOwnJobsValues()
    {
        int runs = 0;
        User user([&](MacAttributesDialog *dialog) {
            if (++runs == 1) {
                retype(dialog->findChild<QLineEdit *>(Attr::MacInvNum), QStringLiteral("INV-typed-for-1"));
            }
            return runs > 1; // job 1 cancelled, job 3 marked as shown
        });
        MacAttributesDialog dialog;
        dialog.exec(1);
        dialog.exec(3);
        QCOMPARE(user.boxes, QStringList{Marked});
        QCOMPARE(journaled(3, Attr::MacInvNum), QStringLiteral("INV-7"));
    }

    void theBusyWidgetStartsAtItsParentsCentre()
    {
        QWidget parent;
        parent.setGeometry(300, 200, 400, 300);
        const BusyWidget busy(QStringLiteral("Marking document..."), &parent);
        QCOMPARE(busy.pos(), parent.mapToGlobal(QPoint(200, 150)));
    }

    void markingRunsInTheBackgroundAsTheGuiThreadsUser_data()
    {
        QTest::addColumn<QString>("user"); // null: the prompt is cancelled
        // None: no prompt, the user is set beforehand. The last is the server's; a new one each row, as
        // libcups keeps what worked on its connection.
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<QString>("serverError"); // the server fails mark-job with it
        QTest::addColumn<QString>("box"); // failures unlock the job
        QTest::newRow("no prompt") << QStringLiteral("marker-9") << QStringList() << QString() << Marked;
        QTest::newRow("answered") << QStringLiteral("carol") << QStringList{QStringLiteral("s3cret")} << QString() << Marked;
        QTest::newRow("mistyped once") << QStringLiteral("dave") << QStringList{QStringLiteral("typo"), QStringLiteral("s3cr3t")} << QString() << Marked;
        const QString failed = QStringLiteral("Error: Unable to mark job 1<br>CUPS error: ");
        QTest::newRow("cancelled") << QString() << QStringList{QStringLiteral("n3w")} << QString()
                                   << failed + QString::fromUtf8(httpStatus(HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED));
        QTest::newRow("server error") << QStringLiteral("marker-9") << QStringList() << QStringLiteral("Marker out of toner")
                                      << failed + QStringLiteral("Marker out of toner");
    }

    void markingRunsInTheBackgroundAsTheGuiThreadsUser()
    {
        QFETCH(QString, user);
        QFETCH(QStringList, passwords);
        QFETCH(QString, serverError);
        QFETCH(QString, box);
        auto restore = qScopeGuard([before = Connection::instance()->userName()] {
            Connection::instance()->setUser(before);
        });
        if (passwords.isEmpty()) {
            Connection::instance()->setUser(user);
        } else {
            QVERIFY(m_server.requireAuthentication(QStringLiteral("mark-job"), passwords.last()));
        }
        QVERIFY(serverError.isEmpty() || m_server.failOperation(QStringLiteral("mark-job"), serverError));
        ServerWatcher watcher; // this server has no subscriptions: the watcher reports at every fallback tick
        watcher.setFallbackInterval(20);
        QList<bool> underPrompt; // an entry a report
        connect(&watcher, &ServerWatcher::jobsChanged, this, [&underPrompt] {
            underPrompt.append(qobject_cast<KPasswordDialog *>(QApplication::activeModalWidget()));
        });
        watcher.start();

        User answering(acceptAsShown);
        answering.promptUser = user;
        answering.promptPasswords = passwords;
        answering.promptHold = 20; // the first prompt stays up for some ten of the watcher's ticks
        MacAttributesDialog dialog;
        dialog.exec(1);
        // Prompts come up in the GUI thread, which holds the lock while the task asks: no deadlock, and the
        // watcher skips its ticks rather than wait as well, until it reports again once marking is done.
        QCOMPARE(answering.prompts.size(), user.isNull() ? 1 : passwords.size());
        QCOMPARE(answering.prompts.count(qApp->thread()), answering.prompts.size());
        QCOMPARE(answering.boxes, QStringList{box});
        QVERIFY(!underPrompt.contains(true));
        const int reports = underPrompt.size();
        QTRY_VERIFY(underPrompt.size() > reports);
        const bool marked = box == Marked;
        QCOMPARE(requestsOf(newRequests(), MacIppActions::UnlockJob), marked ? 0 : 1);
        QCOMPARE(journaled(1, Attr::MacJobUserName), marked ? user : QString());
        // The busy widget had no parent: it must not stay behind as a window.
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(windows.cbegin(), windows.cend(), [](QWidget *w) {
            return qobject_cast<BusyWidget *>(w);
        }));
    }

private:
    // The server's requests since the current test's set-up.
    QStringList newRequests() const
    {
        return m_server.requestLog().mid(m_logStart);
    }
    void markLogStart()
    {
        m_logStart = m_server.requestLog().size();
    }

    MacIppServerProcess m_server;
    int m_logStart = 0;
};

QTEST_MAIN(MacAttributesDialogTest)

#include "macattributesdialogtest.moc"

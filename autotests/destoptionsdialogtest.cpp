#include "cupssandbox.h"
#include "modalanswerer.h"
#include "testppd.h"

#include <busyindicator.h>
#include <destoptionsdialog.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using CUPS::DestOptionsDialog;
using Dialog = std::unique_ptr<DestOptionsDialog>;
using Button = QDialogButtonBox::StandardButton;

namespace
{
QComboBox *combo(QWidget *dialog, const char *name)
{
    return dialog->findChild<QComboBox *>(QLatin1String(name));
}

QStringList words(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '));
}

QStringList items(QComboBox *combo)
{
    QStringList values;
    for (int i = 0; i < combo->count(); ++i) {
        values << combo->itemData(i).toString();
    }
    return values;
}

// Chooses the item whose data reads as the text, as the user would.
void choose(QComboBox *combo, const QString &data)
{
    const int index = items(combo).indexOf(data);
    QVERIFY2(index >= 0, qPrintable(data));
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
}

QPushButton *button(QWidget *dialog, Button which)
{
    return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(which);
}
} // namespace

/// The options dialog against the private cupsd, its writes read back with ipptool and from the PPDs.
class DestOptionsDialogTest : public QObject
{
    Q_OBJECT

private:
    CupsSandbox m_sandbox;
    QTemporaryDir m_files;

    static bool waitLoaded(DestOptionsDialog *dialog)
    {
        auto *busy = dialog->findChild<Tolva::BusyIndicator *>(QStringLiteral("busyIndicator"));
        auto *pages = dialog->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
        return QTest::qWaitFor(
            [&] {
                const QString page = pages->currentWidget()->objectName();
                return !busy->isRunning() && page == QLatin1String("optionsPage");
            },
            30000);
    }
    Dialog open(const QString &name, bool isClass = false)
    {
        Dialog dialog(new DestOptionsDialog);
        if (!dialog->load(name, isClass) || !waitLoaded(dialog.get())) {
            return nullptr;
        }
        return dialog;
    }
    bool addPpdPrinter(const QString &name, const TestPpd &ppd)
    {
        const QString file = m_files.filePath(name + QStringLiteral(".ppd"));
        return ppd.write(file) && m_sandbox.addPrinter(name, {QStringLiteral("-P"), file});
    }
    QHash<QString, QString> serverAttributes(const QString &name, bool isClass = false) const
    {
        const QString kind = isClass ? QStringLiteral("classes") : QStringLiteral("printers");
        const QString uri = QStringLiteral("ipp://%1/%2/%3").arg(m_sandbox.server(), kind, name);
        const QString test = m_files.filePath(QStringLiteral("attributes.test"));
        const QString output = m_sandbox.output(QStringLiteral("ipptool"), {QStringLiteral("-tv"), uri, test});
        QHash<QString, QString> attributes;
        static const QRegularExpression line(QStringLiteral("^\\s+([a-z0-9-]+) \\([^)]*\\) = (.*)$"),
                                             QRegularExpression::MultilineOption);
        for (auto it = line.globalMatch(output); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            attributes.insert(match.captured(1), match.captured(2));
        }
        return attributes;
    }
    QString serverPpdDefault(const QString &printer, const QString &keyword) const
    {
        QFile ppd(m_sandbox.directory() + QStringLiteral("/ppd/%1.ppd").arg(printer));
        const QString pattern = QStringLiteral("^\\*Default%1: *(\\S*)").arg(keyword);
        const QRegularExpression line(pattern, QRegularExpression::MultilineOption);
        return ppd.open(QFile::ReadOnly) ? line.match(QLatin1String(ppd.readAll())).captured(1) : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
        // "all" leaves out cupsd's own policies, so they are named too.
        QFile test(m_files.filePath(QStringLiteral("attributes.test")));
        QVERIFY(test.open(QIODevice::WriteOnly));
        test.write("{\n OPERATION Get-Printer-Attributes\n GROUP operation-attributes-tag\n"
                   " ATTR charset attributes-charset utf-8\n"
                   " ATTR naturalLanguage attributes-natural-language en\n"
                   " ATTR uri printer-uri $uri\n ATTR name requesting-user-name $user\n"
                   " ATTR keyword requested-attributes all,printer-error-policy,requesting-user-name-allowed,"
                   "requesting-user-name-denied,job-sheets-default,media-default\n STATUS successful-ok\n}\n");
        test.close();
    }

    void savingWritesWhatTheDialogShowsAndAutomaticRotationDeletesTheOrientation()
    {
        const QString printer = QStringLiteral("HP_LaserJet");
        // Combo, chosen value, attribute, and what the server then reports where that differs.
        const QList<QStringList> choices{
            words("pageSizeComboBox iso_a4_210x297mm media-default"),
            words("duplexComboBox two-sided-long-edge sides-default"),
            words("orientationComboBox 4 orientation-requested-default landscape"),
            words("holdUntilComboBox night job-hold-until-default"),
            words("startBannerComboBox classified job-sheets-default classified,none")};
        {
            const Dialog dialog = open(printer);
            QVERIFY(dialog);
            QVERIFY(!button(dialog.get(), QDialogButtonBox::Apply)->isEnabled());
            for (const QStringList &choice : choices) {
                choose(combo(dialog.get(), qPrintable(choice.at(0))), choice.at(1));
            }
            dialog->findChild<QSpinBox *>(QStringLiteral("topMarginSpinBox"))->setValue(36);
            dialog->findChild<QCheckBox *>(QStringLiteral("fitToPageCheckBox"))->setChecked(true);
            dialog->show();
            button(dialog.get(), QDialogButtonBox::Ok)->click();
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
        }
        const QHash<QString, QString> server = serverAttributes(printer);
        for (const QStringList &choice : choices) {
            QCOMPARE(server.value(choice.at(2)), choice.value(3, choice.at(1)));
        }
        QString lpoptions;
        QVERIFY(m_sandbox.run(QStringLiteral("lpoptions"), {QStringLiteral("-p"), printer}, &lpoptions));
        for (const char *option : {"page-top(-default)?=36", "fit-to-page(-default)?=true"}) {
            QVERIFY2(lpoptions.contains(QRegularExpression(QLatin1String(option))), qPrintable(lpoptions));
        }

        // Reopened, the dialog shows what was written; automatic rotation then deletes the default.
        const Dialog again = open(printer);
        QVERIFY(again);
        for (const QStringList &choice : choices) {
            QCOMPARE(combo(again.get(), qPrintable(choice.at(0)))->currentData().toString(), choice.at(1));
        }
        QCOMPARE(again->findChild<QSpinBox *>(QStringLiteral("topMarginSpinBox"))->value(), 36);
        QVERIFY(items(combo(again.get(), "pageSizeComboBox")).filter(QStringLiteral("custom")).isEmpty());
        choose(combo(again.get(), "orientationComboBox"), QStringLiteral("0"));
        QPushButton *apply = button(again.get(), QDialogButtonBox::Apply);
        apply->click();
        QVERIFY(!apply->isEnabled()); // saved
        const QHash<QString, QString> after = serverAttributes(printer);
        QCOMPARE(after.value(QStringLiteral("orientation-requested-default")), QStringLiteral("no-value"));
    }

    void driverSettingsUploadOnlyWhenChanged()
    {
        const QString printer = QStringLiteral("Lobby_Printer");
        const QString ppdPath = m_sandbox.directory() + QStringLiteral("/ppd/%1.ppd").arg(printer);
        const QDateTime before = QFileInfo(ppdPath).lastModified();
        {
            const Dialog dialog = open(printer);
            QVERIFY(dialog && dialog->save());
        }
        QCOMPARE(QFileInfo(ppdPath).lastModified(), before); // no PPD went up

        // Set, then set back: the second Apply is judged against what the first uploaded.
        const Dialog dialog = open(printer);
        QPushButton *apply = button(dialog.get(), QDialogButtonBox::Apply);
        for (const QString &choice : {QStringLiteral("Upper"), QStringLiteral("Default")}) {
            choose(combo(dialog.get(), "InputSlot"), choice);
            QVERIFY(apply->isEnabled()); // the driver tab's editors count as edits too
            apply->click();
            QCOMPARE(serverPpdDefault(printer, QStringLiteral("InputSlot")), choice);
        }
    }

    // Paper and duplex are one setting on two tabs: a pick on either shows on the other, and goes to the PPD.
    void paperAndDuplexAreOneSettingOnBothTabs()
    {
        const QString printer = QStringLiteral("HP_LaserJet");
        const Dialog dialog = open(printer);
        QVERIFY(dialog);
        // Picks value in one combo; true when the other then shows what it should.
        const auto pick = [&](const char *from, const char *value, const char *other, const char *shown) {
            choose(combo(dialog.get(), from), QLatin1String(value));
            return combo(dialog.get(), other)->currentData().toString() == QLatin1String(shown);
        };
        QVERIFY(pick("pageSizeComboBox", "na_legal_8.5x14in", "PageSize", "Legal"));
        QVERIFY(pick("Duplex", "DuplexTumble", "duplexComboBox", "two-sided-short-edge"));
        QVERIFY(dialog->save());
        QCOMPARE(serverPpdDefault(printer, QStringLiteral("PageSize")), QStringLiteral("Legal"));
        QCOMPARE(serverPpdDefault(printer, QStringLiteral("Duplex")), QStringLiteral("DuplexTumble"));
    }

    void userListRules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("deny");
        QTest::addColumn<QString>("allowed");
        QTest::addColumn<QString>("denied");
        QTest::newRow("allowed, trimmed, blanks dropped") << " carol , ,dave" << false << "carol,dave" << "";
        QTest::newRow("denied") << "alice,,bob " << true << "" << "alice,bob";
        QTest::newRow("empty list allows all") << "" << true << "" << "";
    }

    void userListRules()
    {
        QFETCH(QString, text);
        QFETCH(bool, deny);
        const QString printer = QStringLiteral("Private_Printer");
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), words("-p Private_Printer -u allow:frank")));
        {
            const Dialog dialog = open(printer);
            QVERIFY(dialog);
            auto *users = dialog->findChild<QLineEdit *>(QStringLiteral("userListLineEdit"));
            QCOMPARE(users->text(), QStringLiteral("frank"));
            const char *radio = deny ? "deniedUsersRadioButton" : "allowedUsersRadioButton";
            dialog->findChild<QRadioButton *>(QLatin1String(radio))->click();
            users->setText(text);
            QVERIFY(dialog->save());
        }
        const QHash<QString, QString> server = serverAttributes(printer);
        QTEST(server.value(QStringLiteral("requesting-user-name-allowed")), "allowed");
        QTEST(server.value(QStringLiteral("requesting-user-name-denied")), "denied");
    }

    void aClassIsSavedWithoutADriverTab()
    {
        const QString name = QStringLiteral("Office_Class");
        const Dialog dialog = open(name, true);
        QVERIFY(dialog);
        QCOMPARE(dialog->findChild<QTabWidget *>(QStringLiteral("tabWidget"))->count(), 2);
        choose(combo(dialog.get(), "startBannerComboBox"), QStringLiteral("standard"));
        QVERIFY(dialog->save());
        const QString sheets = serverAttributes(name, true).value(QStringLiteral("job-sheets-default"));
        QCOMPARE(sheets, QStringLiteral("standard,none"));
    }

    void refusedSaveKeepsTheDialogOpen()
    {
        const QString printer = QStringLiteral("Stopped_Printer");
        const QString before = serverAttributes(printer).value(QStringLiteral("printer-error-policy"));
        const Dialog dialog = open(printer);
        QVERIFY(dialog);
        // cupsd refuses an unknown policy with a client error (0x04xx): nothing changed, so it is no success.
        QComboBox *policy = combo(dialog.get(), "errorPolicyComboBox");
        policy->addItem(QStringLiteral("Bogus"), QStringLiteral("bogus-policy"));
        choose(policy, QStringLiteral("bogus-policy"));
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
        dialog->show();
        button(dialog.get(), QDialogButtonBox::Ok)->click();
        QVERIFY(dialog->isVisible());
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().title, QStringLiteral("Options for Stopped_Printer"));
        const QString error = QStringLiteral("Unable to set printer attributes.<br>CUPS error: ");
        const QString text = seen.first().text;
        QVERIFY2(text.startsWith(error) && text.size() > error.size(), qPrintable(text));
        QCOMPARE(serverAttributes(printer).value(QStringLiteral("printer-error-policy")), before);
    }

    void nothingIsWrittenWhileLoading()
    {
        DestOptionsDialog dialog;
        QVERIFY(dialog.load(QStringLiteral("HP_LaserJet"), false));
        QVERIFY(!dialog.save());
        QVERIFY(!button(&dialog, QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(waitLoaded(&dialog));
        QVERIFY(button(&dialog, QDialogButtonBox::Ok)->isEnabled());
    }

    void attributesLostWhileLoadingCountAsAFailedLoad()
    {
        const QString printer = QStringLiteral("Short_Lived");
        QVERIFY(addPpdPrinter(printer, TestPpd()));
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
        DestOptionsDialog dialog;
        QVERIFY(dialog.load(printer, false));
        // Deleted before the loaded values are processed: that waits for this thread's event loop.
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), printer}));
        QVERIFY(waitLoaded(&dialog));
        QCOMPARE(seen.size(), 1);
        const QString error = QStringLiteral("Unable to get printer attributes.<br>CUPS error: ");
        QVERIFY2(seen.first().text.startsWith(error), qPrintable(seen.first().text));
        QVERIFY(!button(&dialog, QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(!dialog.save());
        QCOMPARE(answerer.unexpected(), 0);
    }
};

QTEST_MAIN(DestOptionsDialogTest)

#include "destoptionsdialogtest.moc"
#include "cupssandbox.h"
#include "modalanswerer.h"
#include "testppd.h"

#include <busyindicator.h>
#include <connection.h>
#include <destoptionsdialog.h>
#include <ppdsettings.h>
#include <printerlistmodel.h>
#include <printerswidget.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cups/pwg.h>

#include <memory>

using CUPS::DestOptionsDialog;
using Dialog = std::unique_ptr<DestOptionsDialog>;

namespace
{
const QString TenSizes = QStringLiteral("Ten_Sizes");
const QString ManySizes = QStringLiteral("Many_Sizes");
const QString Stapler = QStringLiteral("Stapler");

QStringList strings(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts) {
        list << QLatin1String(text);
    }
    return list;
}

template<typename T>
T *child(QWidget *dialog, const char *name)
{
    return dialog->findChild<T *>(QLatin1String(name));
}

// The items' data, or with Qt::DisplayRole their texts.
QStringList items(QComboBox *combo, int role = Qt::UserRole)
{
    QStringList values;
    for (int i = 0; i < combo->count(); ++i) {
        values << combo->itemData(i, role).toString();
    }
    return values;
}

void choose(QComboBox *combo, const QVariant &data)
{
    const int index = combo->findData(data);
    QVERIFY2(index >= 0, qPrintable(data.toString()));
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
}

QPushButton *button(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    return child<QDialogButtonBox>(dialog, "buttonBox")->button(which);
}

QString currentPage(QWidget *dialog)
{
    return child<QStackedWidget>(dialog, "stackedWidget")->currentWidget()->objectName();
}

// Whether another thread can take the connection lock within a few seconds.
bool lockIsFree()
{
    bool taken = false;
    QThread *probe = QThread::create([&taken] {
        CUPS::Connection::instance()->lock();
        taken = true;
        CUPS::Connection::instance()->unlock();
    });
    probe->start();
    const bool finished = probe->wait(5000);
    delete probe;
    return finished && taken;
}
} // namespace

/// The options dialog against the private cupsd; what it writes is read back with ipptool and from the scheduler's PPD files.
class DestOptionsDialogTest : public QObject
{
    Q_OBJECT

private:
    CupsSandbox m_sandbox;
    QTemporaryDir m_files;

    bool addTestPrinter(const QString &name, const TestPpd &ppd)
    {
        const QString file = m_files.filePath(name + QStringLiteral(".ppd"));
        return ppd.write(file) && m_sandbox.addPrinter(name, {QStringLiteral("-P"), file});
    }
    static bool waitLoaded(DestOptionsDialog *dialog)
    {
        auto *busy = child<Tolva::BusyIndicator>(dialog, "busyIndicator");
        return QTest::qWaitFor(
            [&] {
                return !busy->isRunning() && currentPage(dialog) == QLatin1String("optionsPage");
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
    QHash<QString, QString> serverAttributes(const QString &name, bool isClass = false) const
    {
        const QString uri = QStringLiteral("ipp://%1/%2/%3").arg(m_sandbox.server(), isClass ? QStringLiteral("classes") : QStringLiteral("printers"), name);
        QString output;
        m_sandbox.run(QStringLiteral("ipptool"), {QStringLiteral("-tv"), uri, m_files.filePath(QStringLiteral("attributes.test"))}, &output);
        QHash<QString, QString> attributes;
        static const QRegularExpression line(QStringLiteral("^\\s+([a-z0-9-]+) \\([^)]*\\) = (.*)$"), QRegularExpression::MultilineOption);
        for (auto it = line.globalMatch(output); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            attributes.insert(match.captured(1), match.captured(2));
        }
        return attributes;
    }
    QString serverPpdDefault(const QString &printer, const QString &keyword) const
    {
        QFile ppd(m_sandbox.directory() + QStringLiteral("/ppd/") + printer + QStringLiteral(".ppd"));
        const QRegularExpression line(QStringLiteral("^\\*Default%1: *(\\S*)").arg(keyword), QRegularExpression::MultilineOption);
        return ppd.open(QIODevice::ReadOnly) ? line.match(QString::fromLatin1(ppd.readAll())).captured(1) : QString();
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
        test.write("{\n NAME \"Get-Printer-Attributes\"\n OPERATION Get-Printer-Attributes\n GROUP operation-attributes-tag\n"
                   " ATTR charset attributes-charset utf-8\n ATTR naturalLanguage attributes-natural-language en\n"
                   " ATTR uri printer-uri $uri\n ATTR name requesting-user-name $user\n"
                   " ATTR keyword requested-attributes all,printer-error-policy,printer-op-policy,requesting-user-name-allowed,"
                   "requesting-user-name-denied,job-sheets-default,media-default,job-priority-default\n STATUS successful-ok\n}\n");
        test.close();
        TestPpd ten;
        ten.sizeCount = 10;
        QVERIFY(addTestPrinter(TenSizes, ten));
        TestPpd many;
        many.sizeCount = TestPpd::MaxSizes;
        QVERIFY(addTestPrinter(ManySizes, many));
        TestPpd stapler;
        stapler.finishings = true;
        stapler.customSize = true;
        QVERIFY(addTestPrinter(Stapler, stapler));
    }

    void pageSizesAreTheServersMediaWithoutCustomSizes_data()
    {
        QTest::addColumn<QString>("printer");
        QTest::newRow("generic PostScript") << QStringLiteral("Office_PS");
        QTest::newRow("HP driver") << QStringLiteral("HP_LaserJet");
    }

    void pageSizesAreTheServersMediaWithoutCustomSizes()
    {
        QFETCH(QString, printer);
        const QHash<QString, QString> server = serverAttributes(printer);
        QStringList expected = server.value(QStringLiteral("media-supported")).split(QLatin1Char(','));
        expected.erase(std::remove_if(expected.begin(), expected.end(), [](const QString &media) {
            return media.startsWith(QLatin1String("custom"));
        }), expected.end());
        QVERIFY(!expected.isEmpty());

        const Dialog dialog = open(printer);
        QVERIFY(dialog);
        auto *pageSize = child<QComboBox>(dialog.get(), "pageSizeComboBox");
        // libcups lists one paper per size: of two names for the same size (B5 envelope, ISO B5) one is shown.
        const QStringList shown = items(pageSize);
        auto sizeOf = [](const QString &media) {
            const pwg_media_t *size = pwgMediaForPWG(media.toLatin1().constData());
            return size ? qMakePair(size->width / 100, size->length / 100) : qMakePair(0, 0);
        };
        QSet<QPair<int, int>> shownSizes;
        for (const QString &media : shown) {
            QVERIFY2(expected.contains(media), qPrintable(media));
            shownSizes.insert(sizeOf(media));
        }
        for (const QString &media : qAsConst(expected)) {
            QVERIFY2(shownSizes.contains(sizeOf(media)), qPrintable(media));
        }
        QVERIFY(shown.size() >= expected.size() - 1);
        QCOMPARE(pageSize->currentData().toString(), server.value(QStringLiteral("media-default")));
        QVERIFY(!items(pageSize, Qt::DisplayRole).contains(QString()));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Options for %1").arg(printer));
        auto *tabs = child<QTabWidget>(dialog.get(), "tabWidget");
        QCOMPARE(tabs->count(), 3);
        QVERIFY(qobject_cast<CUPS::PpdSettings *>(tabs->widget(2))->topLevelItemCount() > 0);
    }

    void jobOptionsFollowTheServer()
    {
        const Dialog dialog = open(QStringLiteral("HP_LaserJet"));
        QVERIFY(dialog);
        QWidget *d = dialog.get();
        // Keys in text order, so 16 comes before 2.
        QCOMPARE(items(child<QComboBox>(d, "pagesPerSheetComboBox"), Qt::DisplayRole), strings({"1", "16", "2", "4", "6", "9"}));
        QCOMPARE(child<QComboBox>(d, "pagesPerSheetComboBox")->currentData().toInt(), 1);
        QCOMPARE(items(child<QComboBox>(d, "duplexComboBox")), strings({"one-sided", "two-sided-long-edge", "two-sided-short-edge"}));
        QCOMPARE(items(child<QComboBox>(d, "duplexComboBox"), Qt::DisplayRole), strings({"One sided", "Two sided, Long edge", "Two sided, Short edge"}));

        auto *orientation = child<QComboBox>(d, "orientationComboBox");
        QCOMPARE(items(orientation, Qt::DisplayRole), strings({"Automatic rotation", "Landscape", "Portrait", "Reverse landscape", "Reverse portrait"}));
        QCOMPARE(orientation->currentData().toInt(), 0); // the server has no default: automatic rotation
        QCOMPARE(child<QSpinBox>(d, "copiesSpinBox")->value(), 1);
        QCOMPARE(child<QSpinBox>(d, "prioritySpinBox")->value(), 50);

        // "evening" is the server's other name for the night shift.
        auto *hold = child<QComboBox>(d, "holdUntilComboBox");
        QStringList holds = items(hold);
        holds.sort();
        QCOMPARE(holds, strings({"day-time", "indefinite", "night", "no-hold", "second-shift", "third-shift", "weekend"}));
        QCOMPARE(hold->itemText(hold->findData(QStringLiteral("night"))), QStringLiteral("Night"));
        QCOMPARE(hold->currentData().toString(), QStringLiteral("no-hold"));

        const QHash<QString, QString> server = serverAttributes(QStringLiteral("HP_LaserJet"));
        const QStringList sheets = server.value(QStringLiteral("job-sheets-supported")).split(QLatin1Char(','));
        for (const char *banner : {"startBannerComboBox", "endBannerComboBox"}) {
            QCOMPARE(items(child<QComboBox>(d, banner), Qt::DisplayRole), sheets);
            QCOMPARE(child<QComboBox>(d, banner)->currentText(), QStringLiteral("none"));
        }
        QCOMPARE(items(child<QComboBox>(d, "finishingsComboBox")), strings({"3"})); // none
        QCOMPARE(child<QComboBox>(d, "errorPolicyComboBox")->currentData().toString(), server.value(QStringLiteral("printer-error-policy")));
        QCOMPARE(child<QComboBox>(d, "opPolicyComboBox")->currentText(), QStringLiteral("default"));
        QCOMPARE(child<QComboBox>(d, "authComboBox")->currentData().toString(), QStringLiteral("none"));
        QVERIFY(!button(d, QDialogButtonBox::Apply)->isEnabled());
    }

    void valuesWithoutALabelShowThemselves()
    {
        const Dialog dialog = open(Stapler);
        QVERIFY(dialog);
        auto *finishings = child<QComboBox>(dialog.get(), "finishingsComboBox");
        QStringList shown;
        for (int i = 0; i < finishings->count(); ++i) {
            shown << finishings->itemText(i) + QLatin1Char('=') + finishings->itemData(i).toString();
        }
        shown.sort();
        // 71 and 74 (punching) have no label of their own; both stay, each under its number.
        QCOMPARE(shown, strings({"71=71", "74=74", "None=3", "Staple=4"}));
    }

    void progressSplitsTheMediaHalf_data()
    {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QList<int>>("values");
        QTest::newRow("no media") << QStringLiteral("Raw_Queue") << QList<int>{50, 100};
        // 50 / 10 = 5 a medium; the closing step (50 - 55) is clipped to nothing.
        QTest::newRow("10 media") << TenSizes << QList<int>{5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 100};
        // More than 50 media: 50 each, so the bar is full after the first and Qt ignores the rest.
        QTest::newRow("more than 50 media") << ManySizes << QList<int>{50, 100};
    }

    void progressSplitsTheMediaHalf()
    {
        QFETCH(QString, printer);
        QFETCH(QList<int>, values);
        DestOptionsDialog dialog;
        auto *bar = child<QProgressBar>(&dialog, "progressBar");
        QVERIFY(dialog.load(printer, false));
        QCOMPARE(bar->value(), 0);
        QCOMPARE(currentPage(&dialog), QStringLiteral("loadingPage"));
        QSignalSpy spy(bar, &QProgressBar::valueChanged);
        QVERIFY(waitLoaded(&dialog));
        QList<int> seen;
        for (const QList<QVariant> &arguments : qAsConst(spy)) {
            seen << arguments.first().toInt();
        }
        QCOMPARE(seen, values);
    }

    void savingWritesWhatTheDialogShowsAndAutomaticRotationDeletesTheOrientation()
    {
        const QString printer = QStringLiteral("HP_LaserJet");
        struct Choice {
            const char *combo;
            QVariant data;
            const char *attribute;
            const char *stored;
        };
        const QList<Choice> choices{{"pageSizeComboBox", QStringLiteral("iso_a4_210x297mm"), "media-default", "iso_a4_210x297mm"},
                                    {"pagesPerSheetComboBox", 2, "number-up-default", "2"},
                                    {"duplexComboBox", QStringLiteral("two-sided-long-edge"), "sides-default", "two-sided-long-edge"},
                                    {"orientationComboBox", 4, "orientation-requested-default", "landscape"},
                                    {"holdUntilComboBox", QStringLiteral("night"), "job-hold-until-default", "night"},
                                    {"errorPolicyComboBox", QStringLiteral("abort-job"), "printer-error-policy", "abort-job"},
                                    {"startBannerComboBox", QStringLiteral("classified"), "job-sheets-default", "classified,none"}};
        {
            const Dialog dialog = open(printer);
            QVERIFY(dialog);
            for (const Choice &choice : choices) {
                choose(child<QComboBox>(dialog.get(), choice.combo), choice.data);
            }
            child<QSpinBox>(dialog.get(), "copiesSpinBox")->setValue(3);
            child<QSpinBox>(dialog.get(), "prioritySpinBox")->setValue(70);
            child<QSpinBox>(dialog.get(), "topMarginSpinBox")->setValue(36);
            child<QCheckBox>(dialog.get(), "fitToPageCheckBox")->setChecked(true);
            QVERIFY(button(dialog.get(), QDialogButtonBox::Apply)->isEnabled());
            dialog->show();
            button(dialog.get(), QDialogButtonBox::Ok)->click();
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
        }
        const QHash<QString, QString> server = serverAttributes(printer);
        for (const Choice &choice : choices) {
            QCOMPARE(server.value(QLatin1String(choice.attribute)), QLatin1String(choice.stored));
        }
        QCOMPARE(server.value(QStringLiteral("copies-default")), QStringLiteral("3"));
        QCOMPARE(server.value(QStringLiteral("job-priority-default")), QStringLiteral("70"));
        QString lpoptions;
        QVERIFY(m_sandbox.run(QStringLiteral("lpoptions"), {QStringLiteral("-p"), printer}, &lpoptions));
        QVERIFY2(QRegularExpression(QStringLiteral("page-top(-default)?=36")).match(lpoptions).hasMatch(), qPrintable(lpoptions));
        QVERIFY2(QRegularExpression(QStringLiteral("fit-to-page(-default)?=true")).match(lpoptions).hasMatch(), qPrintable(lpoptions));

        // Reopened, the dialog shows what was written.
        const Dialog again = open(printer);
        QVERIFY(again);
        for (const Choice &choice : choices) {
            QCOMPARE(child<QComboBox>(again.get(), choice.combo)->currentData().toString(), choice.data.toString());
        }
        QCOMPARE(child<QSpinBox>(again.get(), "copiesSpinBox")->value(), 3);
        QCOMPARE(child<QSpinBox>(again.get(), "prioritySpinBox")->value(), 70);
        QCOMPARE(child<QSpinBox>(again.get(), "topMarginSpinBox")->value(), 36);
        QVERIFY(child<QCheckBox>(again.get(), "fitToPageCheckBox")->isChecked());

        choose(child<QComboBox>(again.get(), "orientationComboBox"), 0);
        QPushButton *apply = button(again.get(), QDialogButtonBox::Apply);
        QVERIFY(apply->isEnabled());
        apply->click();
        QVERIFY(!apply->isEnabled()); // saved
        QCOMPARE(serverAttributes(printer).value(QStringLiteral("orientation-requested-default")), QStringLiteral("no-value"));
    }

    void driverSettingsUploadOnlyWhenChanged()
    {
        const QString printer = QStringLiteral("Lobby_Printer");
        const QString ppdPath = m_sandbox.directory() + QStringLiteral("/ppd/") + printer + QStringLiteral(".ppd");
        const QDateTime before = QFileInfo(ppdPath).lastModified();
        {
            const Dialog dialog = open(printer);
            QVERIFY(dialog && dialog->save());
        }
        QCOMPARE(QFileInfo(ppdPath).lastModified(), before); // no PPD went up
        QCOMPARE(serverPpdDefault(printer, QStringLiteral("Duplex")), QStringLiteral("None"));

        // Set, then set back: the second Apply is judged against what the first uploaded.
        const Dialog dialog = open(printer);
        QPushButton *apply = button(dialog.get(), QDialogButtonBox::Apply);
        for (const QString &choice : {QStringLiteral("Upper"), QStringLiteral("Default")}) {
            choose(child<QComboBox>(dialog.get(), "InputSlot"), choice);
            QVERIFY(apply->isEnabled()); // the driver tab's editors count as edits too
            apply->click();
            QCOMPARE(serverPpdDefault(printer, QStringLiteral("InputSlot")), choice);
        }
    }

    // Paper and duplex are one setting on two tabs: a pick on either shows on the other at once, and the last pick is saved.
    void paperAndDuplexAreOneSettingOnBothTabs()
    {
        const QString printer = QStringLiteral("HP_LaserJet");
        const Dialog dialog = open(printer);
        QVERIFY(dialog);
        // Picks value in one combo; true when the other then shows what it should.
        const auto pick = [&](const char *combo, const char *value, const char *other, const char *shown) {
            choose(child<QComboBox>(dialog.get(), combo), QLatin1String(value));
            return child<QComboBox>(dialog.get(), other)->currentData().toString() == QLatin1String(shown);
        };
        QVERIFY(pick("pageSizeComboBox", "na_legal_8.5x14in", "PageSize", "Legal"));
        QVERIFY(pick("Duplex", "DuplexTumble", "duplexComboBox", "two-sided-short-edge"));
        QVERIFY(dialog->save());
        QCOMPARE(serverPpdDefault(printer, QStringLiteral("PageSize")), QStringLiteral("Legal"));
        QVERIFY(pick("PageSize", "A4", "pageSizeComboBox", "iso_a4_210x297mm"));
        QVERIFY(pick("duplexComboBox", "one-sided", "Duplex", "None"));
        QVERIFY(dialog->save());
        QCOMPARE(serverAttributes(printer).value(QStringLiteral("media-default")), QStringLiteral("iso_a4_210x297mm"));
        QCOMPARE(serverPpdDefault(printer, QStringLiteral("PageSize")), QStringLiteral("A4"));
        QCOMPARE(serverPpdDefault(printer, QStringLiteral("Duplex")), QStringLiteral("None"));
    }

    void userListRules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QString>("allowed");
        QTest::addColumn<QString>("denied");
        const QString allow = QStringLiteral("allowedUsersRadioButton");
        const QString deny = QStringLiteral("deniedUsersRadioButton");
        QTest::newRow("allowed, trimmed") << QStringLiteral(" carol , dave") << allow << QStringLiteral("carol,dave") << QString();
        QTest::newRow("denied, doubled comma and trailing blank") << QStringLiteral("alice,,bob ") << deny << QString() << QStringLiteral("alice,bob");
        QTest::newRow("a blank part names nobody") << QStringLiteral("erin, ,@staff") << allow << QStringLiteral("@staff,erin") << QString();
        QTest::newRow("empty list allows all") << QString() << deny << QString() << QString();
    }

    void userListRules()
    {
        QFETCH(QString, text);
        QFETCH(QString, radio);
        QFETCH(QString, allowed);
        QFETCH(QString, denied);
        const QString printer = QStringLiteral("Private_Printer");
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), printer, QStringLiteral("-u"), QStringLiteral("allow:frank")}));
        {
            const Dialog dialog = open(printer);
            QVERIFY(dialog);
            QCOMPARE(child<QLineEdit>(dialog.get(), "userListLineEdit")->text(), QStringLiteral("frank"));
            QVERIFY(child<QRadioButton>(dialog.get(), "allowedUsersRadioButton")->isChecked());
            child<QRadioButton>(dialog.get(), radio.toLatin1().constData())->click();
            child<QLineEdit>(dialog.get(), "userListLineEdit")->setText(text);
            QVERIFY(dialog->save());
        }
        const QHash<QString, QString> server = serverAttributes(printer);
        QCOMPARE(server.value(QStringLiteral("requesting-user-name-allowed")), allowed);
        QCOMPARE(server.value(QStringLiteral("requesting-user-name-denied")), denied);
    }

    void aSecondLoadStartsFromNothingAndAClassHasNoDriverTab()
    {
        const QString name = QStringLiteral("Office_Class");
        // In one dialog: a printer only bob may use, with a driver; a raw queue with neither; a class.
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), TenSizes, QStringLiteral("-u"), QStringLiteral("allow:bob")}));
        DestOptionsDialog dialog;
        QVERIFY(dialog.load(TenSizes, false) && waitLoaded(&dialog));
        QCOMPARE(child<QLineEdit>(&dialog, "userListLineEdit")->text(), QStringLiteral("bob"));
        QVERIFY(dialog.load(QStringLiteral("Raw_Queue"), false));
        QVERIFY(waitLoaded(&dialog));
        QCOMPARE(child<QTabWidget>(&dialog, "tabWidget")->count(), 3);
        QCOMPARE(dialog.findChild<CUPS::PpdSettings *>()->topLevelItemCount(), 0);
        QVERIFY(dialog.save());
        QCOMPARE(serverAttributes(QStringLiteral("Raw_Queue")).value(QStringLiteral("requesting-user-name-allowed")), QString());
        QVERIFY(!QFile::exists(m_sandbox.directory() + QStringLiteral("/ppd/Raw_Queue.ppd")));
        QVERIFY(dialog.load(name, true));
        QVERIFY(waitLoaded(&dialog));
        QCOMPARE(child<QTabWidget>(&dialog, "tabWidget")->count(), 2);
        QVERIFY(!dialog.findChild<CUPS::PpdSettings *>());
        choose(child<QComboBox>(&dialog, "startBannerComboBox"), QStringLiteral("standard"));
        QVERIFY(dialog.save());
        QCOMPARE(serverAttributes(name, true).value(QStringLiteral("job-sheets-default")), QStringLiteral("standard,none"));
        QVERIFY(!QFile::exists(m_sandbox.directory() + QStringLiteral("/ppd/") + name + QStringLiteral(".ppd")));
    }

    void refusedSaveKeepsTheDialogOpen()
    {
        const QString printer = QStringLiteral("Stopped_Printer");
        const QString before = serverAttributes(printer).value(QStringLiteral("printer-error-policy"));
        const Dialog dialog = open(printer);
        QVERIFY(dialog);
        // cupsd refuses an unknown policy with a client error (0x04xx): nothing changed, so it is no success.
        auto *policy = child<QComboBox>(dialog.get(), "errorPolicyComboBox");
        policy->addItem(QStringLiteral("Bogus"), QStringLiteral("bogus-policy"));
        choose(policy, QStringLiteral("bogus-policy"));
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok, QMessageBox::Ok}, &seen));
        dialog->show();
        button(dialog.get(), QDialogButtonBox::Apply)->click();
        QVERIFY(button(dialog.get(), QDialogButtonBox::Apply)->isEnabled());
        button(dialog.get(), QDialogButtonBox::Ok)->click();
        QVERIFY(dialog->isVisible());
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.first().title, QStringLiteral("Options for Stopped_Printer"));
        QVERIFY2(seen.first().text.startsWith(QLatin1String("Unable to set printer attributes.<br>CUPS error: ")) && seen.first().text.size() > 50,
                 qPrintable(seen.first().text));
        QCOMPARE(serverAttributes(printer).value(QStringLiteral("printer-error-policy")), before);
    }

    void nothingIsWrittenWhileLoadingOrAfterAFailedLoad()
    {
        const QString before = serverAttributes(ManySizes).value(QStringLiteral("job-sheets-default"));
        QVERIFY(!before.isEmpty());
        {
            DestOptionsDialog dialog;
            QVERIFY(dialog.load(ManySizes, false));
            QVERIFY(!dialog.save());
            QVERIFY(!button(&dialog, QDialogButtonBox::Ok)->isEnabled());
            QVERIFY(waitLoaded(&dialog));
            QVERIFY(button(&dialog, QDialogButtonBox::Ok)->isEnabled());
            QVERIFY(dialog.save());
            QCOMPARE(serverAttributes(ManySizes).value(QStringLiteral("job-sheets-default")), before);
        }

        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
        DestOptionsDialog dialog;
        QVERIFY(!dialog.load(QStringLiteral("No_Such_Printer"), false));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().icon, QMessageBox::Warning);
        QVERIFY2(seen.first().text.startsWith(QLatin1String("cupsGetNamedDest failed: ")), qPrintable(seen.first().text));
        QCOMPARE(currentPage(&dialog), QStringLiteral("optionsPage"));
        QVERIFY(lockIsFree());
        // The dialog says why; Ok and Apply stay off and nothing is sent (no error box either); Cancel closes it.
        dialog.show();
        QVERIFY(child<QWidget>(&dialog, "loadErrorMessage")->isVisible());
        QVERIFY(!button(&dialog, QDialogButtonBox::Ok)->isEnabled() && !button(&dialog, QDialogButtonBox::Apply)->isEnabled());
        QVERIFY(!dialog.save());
        button(&dialog, QDialogButtonBox::Cancel)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(answerer.unexpected(), 0);
    }

    void attributesLostWhileLoadingCountAsAFailedLoad()
    {
        const QString printer = QStringLiteral("Short_Lived");
        QVERIFY(addTestPrinter(printer, TestPpd()));
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
        DestOptionsDialog dialog;
        QVERIFY(dialog.load(printer, false));
        // Deleted before the loaded values are processed: that waits for this thread's event loop.
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), printer}));
        QVERIFY(waitLoaded(&dialog));
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen.first().text.startsWith(QLatin1String("Unable to get printer attributes.<br>CUPS error: ")), qPrintable(seen.first().text));
        // Nothing is sent, so no second warning about a failed write either.
        QVERIFY(!button(&dialog, QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(!dialog.save());
        QCOMPARE(seen.size(), 1);
        QCOMPARE(answerer.unexpected(), 0);
        QVERIFY(lockIsFree());
    }

    void closingDuringLoadStopsTheWorker()
    {
        auto *dialog = new DestOptionsDialog;
        // Holding the connection keeps the worker at its first look-up until it is watched.
        auto io = std::make_unique<CUPS::Connection::IoLocker>();
        QVERIFY(dialog->load(ManySizes, false));
        const QList<QThread *> threads = dialog->findChildren<QThread *>();
        QCOMPARE(threads.size(), 1);
        QPointer<QThread> worker = threads.first();
        QSignalSpy finished(worker.data(), &QThread::finished);
        io.reset();
        delete dialog;
        QVERIFY(worker.isNull());
        QCOMPARE(finished.size(), 1);
        QVERIFY(lockIsFree());
    }

    void loadingAgainReplacesTheFirstLoad()
    {
        DestOptionsDialog dialog;
        QVERIFY(dialog.load(ManySizes, false));
        QVERIFY(dialog.load(TenSizes, false)); // while the first printer's media still load
        QVERIFY(waitLoaded(&dialog));
        QTRY_COMPARE(dialog.findChildren<QThread *>().size(), 0);
        QCOMPARE(child<QComboBox>(&dialog, "pageSizeComboBox")->count(), 10);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Options for %1").arg(TenSizes));
        QVERIFY(lockIsFree());
    }

    void reopeningRestoresTheSize()
    {
        {
            DestOptionsDialog dialog;
            dialog.resize(640, 480);
        }
        QCOMPARE(DestOptionsDialog().size(), QSize(640, 480));
    }

    void printOptionsOpensTheDialogForTheCurrentRow_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("reloads");
        QTest::newRow("Ok reloads the list") << int(QDialogButtonBox::Ok) << 1;
        QTest::newRow("Cancel does not") << int(QDialogButtonBox::Cancel) << 0;
    }

    void printOptionsOpensTheDialogForTheCurrentRow()
    {
        QFETCH(int, button);
        QFETCH(int, reloads);
        CUPS::PrintersWidget widget;
        QVERIFY(widget.model()->load());
        widget.setCurrentIndex(widget.model()->indexOf(QStringLiteral("Office_PS")));
        QSignalSpy loaded(widget.model(), &CUPS::PrinterListModel::loaded);
        QString title;
        int tabs = 0;
        ModalAnswerer answerer({[&](QWidget *modal) {
            auto *dialog = qobject_cast<DestOptionsDialog *>(modal);
            if (!dialog || !waitLoaded(dialog)) {
                modal->close();
                return;
            }
            title = dialog->windowTitle();
            tabs = child<QTabWidget>(dialog, "tabWidget")->count();
            ::button(dialog, QDialogButtonBox::StandardButton(button))->click();
        }});
        widget.action(CUPS::PrintersWidget::EditDestination)->trigger();
        QCOMPARE(answerer.pending(), 0);
        QCOMPARE(title, QStringLiteral("Options for Office_PS"));
        QCOMPARE(tabs, 3);
        QCOMPARE(loaded.size(), reloads);
    }
};

QTEST_MAIN(DestOptionsDialogTest)

#include "destoptionsdialogtest.moc"

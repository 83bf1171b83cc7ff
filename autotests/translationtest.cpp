// The library's texts come from its own catalogue, whatever the host's application domain is:
// a text that went through Qt's tr() or the host's domain would stay English here.

#include <attributeviewer.h>
#include <columneditor.h>
#include <printerlistmodel.h>
#include <printerswidget.h>
#include <maclevelcombobox.h>

#include <KLocalizedString>

#include <QAction>
#include <QMenu>
#include <QTest>

class TranslationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        KLocalizedString::setApplicationDomain("some-host-application");
        KLocalizedString::addDomainLocaleDir("libnorvik-print", QStringLiteral(NORVIK_LOCALE_DIR));
        KLocalizedString::addDomainLocaleDir("libtelmar-mac-qt5", QStringLiteral(NORVIK_LOCALE_DIR));
        KLocalizedString::setLanguages({QStringLiteral("de")});
    }

    void widgetModelAndDialogTextsAreTranslated()
    {
        CUPS::PrintersWidget widget;
        QCOMPARE(widget.action(CUPS::PrintersWidget::PauseResume)->text(), QStringLiteral("Anhalten"));
        QCOMPARE(widget.viewMenu()->title(), QStringLiteral("&Ansicht"));
        const auto column = CUPS::PrinterListModel::StateColumn;
        QCOMPARE(widget.model()->headerData(column, Qt::Horizontal).toString(), QStringLiteral("Zustand"));
        QCOMPARE(CUPS::ColumnEditor({}, nullptr).windowTitle(), QStringLiteral("Spalte bearbeiten"));
        QCOMPARE(CUPS::AttributeViewer({}, false, nullptr).windowTitle(), QStringLiteral("Attributanzeige"));
        // The MAC label widgets have a catalogue of their own.
        const TelmarQt5::MacLevelComboBox levels;
        QCOMPARE(levels.itemText(levels.count() - 1), QStringLiteral("Streng geheim"));
    }
};

QTEST_MAIN(TranslationTest)

#include "translationtest.moc"

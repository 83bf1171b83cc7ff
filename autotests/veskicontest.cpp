#include "veskicon.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using EmblemMap = QMap<Qt::Corner, QString>;
using Colours = QList<QColor>; // of the corners: top left, top right, bottom left, bottom right
Q_DECLARE_METATYPE(EmblemMap)

namespace
{
const QColor Base(Qt::red);
const QColor Fallback(Qt::magenta);
const QString A = QStringLiteral("emblem-a"); // green
const QString B = QStringLiteral("emblem-b"); // blue
const QString C = QStringLiteral("emblem-c"); // yellow
const QString Unknown = QStringLiteral("no-such-icon");

// The colour amid each corner's quarter, where an emblem of half the icon's edge shows.
Colours corners(const QImage &image)
{
    const int quarter = image.width() / 4;
    Colours colours;
    for (int y : {quarter, 3 * quarter}) {
        for (int x : {quarter, 3 * quarter}) {
            colours << image.pixelColor(x, y);
        }
    }
    return colours;
}
} // namespace

class VeskIconTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_themeDir;
    QIcon m_fallback;

private Q_SLOTS:
    void initTestCase()
    {
        // Emblems come from files of their exact size, so no result hinges on how Qt scales another one.
        const QHash<QString, QColor> icons{{QStringLiteral("printer"), Base},
                                           {A, Qt::green}, {B, Qt::blue}, {C, Qt::yellow}};
        const QDir theme(m_themeDir.filePath(QStringLiteral("testtheme")));
        QString index = QStringLiteral("[Icon Theme]\nName=testtheme\nDirectories=11,16,22,32\n");
        for (int size : {11, 16, 22, 32}) {
            index += QStringLiteral("[%1]\nSize=%1\nType=Fixed\n").arg(size);
            QVERIFY(theme.mkpath(QString::number(size)));
            for (auto it = icons.cbegin(); it != icons.cend(); ++it) {
                QImage image(size, size, QImage::Format_ARGB32);
                image.fill(it.value());
                QVERIFY(image.save(theme.filePath(QStringLiteral("%1/%2.png").arg(size).arg(it.key()))));
            }
            QPixmap fallback(size, size);
            fallback.fill(Fallback);
            m_fallback.addPixmap(fallback);
        }
        QFile file(theme.filePath(QStringLiteral("index.theme")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(index.toUtf8()) > 0 && file.flush());
        QIcon::setThemeSearchPaths({m_themeDir.path()});
        QIcon::setThemeName(QStringLiteral("testtheme"));
    }

    void emblemsSitInTheirCorners_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<EmblemMap>("emblems");
        QTest::addColumn<int>("size");
        QTest::addColumn<Colours>("colours");
        const QString printer = QStringLiteral("printer");
        QTest::newRow("top left") << printer << EmblemMap{{Qt::TopLeftCorner, A}} << 32
                                  << Colours{Qt::green, Base, Base, Base};
        const EmblemMap three{{Qt::TopLeftCorner, A}, {Qt::TopRightCorner, B}, {Qt::BottomLeftCorner, C}};
        QTest::newRow("three") << printer << three << 22 << Colours{Qt::green, Qt::blue, Qt::yellow, Base};
        const EmblemMap unknown{{Qt::TopLeftCorner, Unknown}, {Qt::BottomRightCorner, B}};
        QTest::newRow("unknown emblem") << printer << unknown << 32 << Colours{Base, Base, Base, Qt::blue};
        QTest::newRow("fallback base") << Unknown << EmblemMap{{Qt::TopRightCorner, A}} << 32
                                       << Colours{Fallback, Qt::green, Fallback, Fallback};
    }
    void emblemsSitInTheirCorners()
    {
        QFETCH(QString, name);
        QFETCH(EmblemMap, emblems);
        QFETCH(int, size);
        const QIcon icon = VeskIcon::fromTheme(name, emblems, m_fallback);
        QTEST(corners(icon.pixmap(QSize(size, size)).toImage()), "colours");
    }

    void withoutABaseThereIsNoIcon()
    {
        const std::pair<Qt::Corner, QString> emblem{Qt::BottomRightCorner, B};
        QVERIFY(VeskIcon::fromTheme(Unknown, emblem).isNull());
        QVERIFY(VeskIcon::withEmblems(QIcon(), emblem).isNull());
        // Icons follow theme switches, so one can lose its base after creation.
        const QIcon themed = VeskIcon::fromTheme(QStringLiteral("printer"), emblem);
        QVERIFY(!themed.isNull());
        QIcon::setThemeName(QStringLiteral("no-such-theme"));
        const bool nullWithoutTheme = themed.isNull();
        QIcon::setThemeName(QStringLiteral("testtheme"));
        QVERIFY(nullWithoutTheme);
    }

    void emblemsStackOnACopy()
    {
        const QIcon first = VeskIcon::fromTheme(QStringLiteral("printer"), {Qt::TopLeftCorner, A});
        const QIcon covered = VeskIcon::withEmblems(first, {Qt::TopLeftCorner, B});
        const QIcon stacked = VeskIcon::withEmblems(covered, {Qt::BottomRightCorner, C});
        QCOMPARE(corners(first.pixmap(32, 32).toImage()), Colours({Qt::green, Base, Base, Base}));
        QCOMPARE(corners(stacked.pixmap(32, 32).toImage()), Colours({Qt::blue, Base, Base, Qt::yellow}));
        // Views and styles pick sizes and theme names from the icon; stacking must not hide them.
        QCOMPARE(stacked.name(), QStringLiteral("printer"));
        QCOMPARE(stacked.availableSizes(), QIcon::fromTheme(QStringLiteral("printer")).availableSizes());
    }

    void aDisabledIconIsGreyEmblemsAndAll()
    {
        // An emblem left in colour would make a disabled printer look active.
        const QIcon icon = VeskIcon::fromTheme(QStringLiteral("printer"), {Qt::TopLeftCorner, A});
        const QImage image = icon.pixmap(QSize(32, 32), QIcon::Disabled).toImage();
        for (const QColor &colour : corners(image)) {
            QVERIFY2(colour.hsvSaturation() < 16, qPrintable(colour.name()));
        }
        QVERIFY2(corners(image).at(0) != corners(image).at(3), "emblem missing from the disabled icon");
    }
};

QTEST_MAIN(VeskIconTest)
#include "veskicontest.moc"

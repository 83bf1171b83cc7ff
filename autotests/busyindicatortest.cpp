#include <busyindicator.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>

using Tolva::BusyIndicator;

/// The busy animation turns while running and shows nothing once stopped.
class BusyIndicatorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runningItTurns();
    void stoppedItStandsAndIsBlank();
};

void BusyIndicatorTest::runningItTurns()
{
    BusyIndicator indicator;
    indicator.resize(32, 32);
    QVERIFY(!indicator.isRunning());
    indicator.start();
    QVERIFY(indicator.isRunning());
    const QImage first = indicator.grab().toImage();
    QSignalSpy frames(&indicator, &BusyIndicator::frameChanged);
    QVERIFY(frames.wait(2000));
    QVERIFY(frames.wait(2000));
    QCOMPARE(frames.at(1).first().toInt(), (frames.at(0).first().toInt() + 1) % 12);
    // Each frame is drawn differently.
    QVERIFY(indicator.grab().toImage() != first);
}

void BusyIndicatorTest::stoppedItStandsAndIsBlank()
{
    BusyIndicator indicator;
    indicator.resize(32, 32);
    const QImage blank = indicator.grab().toImage();
    indicator.start();
    QSignalSpy frames(&indicator, &BusyIndicator::frameChanged);
    QVERIFY(frames.wait(2000));
    QVERIFY(indicator.grab().toImage() != blank);
    indicator.stop();
    QVERIFY(!indicator.isRunning());
    const int frame = indicator.frame();
    frames.clear();
    QVERIFY(!frames.wait(400)); // several frame times without a step
    QCOMPARE(indicator.frame(), frame);
    QCOMPARE(indicator.grab().toImage(), blank);
}

QTEST_MAIN(BusyIndicatorTest)

#include "busyindicatortest.moc"

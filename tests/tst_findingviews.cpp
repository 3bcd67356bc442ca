// SPDX-License-Identifier: GPL-3.0-or-later
// Finding one's way through a loaded season: back and forward through views, "Zeitraum..." and
// the overview strip, driven in the window as a user would; the strip's setting across runs.
#include "logbuilder.h"
#include "mainwindow.h"

#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

Q_DECLARE_METATYPE(QCPRange)

namespace {

const double kDay = 24 * 3600;
// Ten days of minute records from 1 March 2015, 00:00 local time.
const int kRecords = 10 * 24 * 60;
const double kFirst = LogBuilder::kEpochOffset + LogBuilder::kMarch2015;
const QCPRange kWhole(kFirst, kFirst + 60.0 * (kRecords - 1));
const QCPRange kDays3To5(kFirst + 3 * kDay, kFirst + 5 * kDay);

// As QDateTime resolves a local time, also one a clock change repeats.
QDateTime localTime(const QString &text)
{
    return QDateTime(QDate::fromString(text.left(10), "dd.MM.yyyy"), QTime::fromString(text.mid(11), "hh:mm"));
}

double keyOf(const QString &local)
{
    return localTime(local).toMSecsSinceEpoch() / 1000.0;
}

} // namespace

class TestFindingViews : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;
    MainWindow *mWindow = nullptr;

    QCustomPlot *plot() const { return mWindow->findChild<QCustomPlot *>("customPlot"); }
    QWidget *strip() const { return mWindow->findChild<QWidget *>("overview"); }
    QAction *action(const char *name) const { return mWindow->findChild<QAction *>(name); }
    QCPRange times() const { return plot()->xAxis->range(); }

    void openWindow(bool load)
    {
        delete mWindow;
        mWindow = new MainWindow;
        mWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mWindow));
        const QString log = mDir.filePath("season.log");
        if (load && LogBuilder::writeFile(log, LogBuilder::minuteLog(kRecords)))
            mWindow->loadLogFiles({log});
    }

    void send(QWidget *widget, QEvent &&event) { QApplication::sendEvent(widget, &event); }

    void wheel(QWidget *widget, const QPoint &at)
    {
        send(widget, QWheelEvent(at, widget->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase, false));
    }

    // Pressed, moved there in three steps, released.
    void drag(QWidget *widget, const QPoint &from, const QPoint &to)
    {
        QTest::mousePress(widget, Qt::LeftButton, {}, from);
        for (int step = 1; step <= 3; ++step)
            send(widget, QMouseEvent(QEvent::MouseMove, from + (to - from) * step / 3, Qt::NoButton, Qt::LeftButton, {}));
        QTest::mouseRelease(widget, Qt::LeftButton, {}, to);
    }

    // Each gesture makes one view, however long.
    void act(const QString &gesture)
    {
        const QPoint centre = plot()->axisRect()->center();
        if (gesture == "drag") {
            drag(plot(), centre, centre + QPoint(90, 0));
        } else if (gesture == "wheel") {
            for (int notch = 0; notch < 3; ++notch)
                wheel(plot(), centre);
            QTest::qWait(700);
        } else if (gesture == "keys") { // held: a press, a release and press per repeat, a release
            send(plot(), QKeyEvent(QEvent::KeyPress, Qt::Key_Right, {}));
            for (int repeat = 0; repeat < 3; ++repeat) {
                send(plot(), QKeyEvent(QEvent::KeyRelease, Qt::Key_Right, {}, QString(), true));
                send(plot(), QKeyEvent(QEvent::KeyPress, Qt::Key_Right, {}, QString(), true));
            }
            send(plot(), QKeyEvent(QEvent::KeyRelease, Qt::Key_Right, {}));
        } else if (gesture.startsWith("action")) {
            action(qPrintable(gesture))->trigger();
        } else if (gesture == "back" || gesture == "forward") {
            QTest::keyClick(plot(), gesture == "back" ? Qt::Key_Left : Qt::Key_Right, Qt::AltModifier);
        } else if (gesture == "backspace") {
            QTest::keyClick(plot(), Qt::Key_Backspace);
        } else if (gesture == "load") {
            mWindow->loadLogFiles({mDir.filePath("season.log")});
        }
    }

private slots:
    void initTestCase() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, mDir.path()); }
    void cleanup() { delete mWindow; mWindow = nullptr; }

    void historyOfViews_data()
    {
        QTest::addColumn<QStringList>("gestures");
        QTest::addColumn<int>("now");             // the view shown at the end, by the gesture that made it
        QTest::addColumn<QList<int>>("backward"); // the views Back goes through, to the oldest
        QTest::addColumn<bool>("forward");
        QTest::newRow("drag, wheel run, key run, reset")
            << QStringList{"drag", "wheel", "keys", "actionResetView"} << 4 << QList<int>{3, 2, 1, 0} << false;
        QTest::newRow("nothing: back at the oldest") << QStringList() << 0 << QList<int>() << false;
        QTest::newRow("back, backspace, forward, by keys and menu")
            << QStringList{"drag", "keys", "back", "backspace", "forward", "actionViewBack", "actionViewForward"} << 1
            << QList<int>{0} << true;
        QTest::newRow("a new view after back drops those ahead") << QStringList{"drag", "keys", "back", "wheel"} << 4 << QList<int>{1, 0} << false;
        QTest::newRow("a load starts anew") << QStringList{"drag", "keys", "load"} << 0 << QList<int>() << false;
        QList<int> kept;
        for (int view = 104; view > 5; --view)
            kept.append(view);
        QTest::newRow("at most 100 views") << QStringList(QVector<QString>(105, "keys").toList()) << 105 << kept << false;
    }

    // Back and forward change the ranges alone: the selection stays.
    void historyOfViews()
    {
        QFETCH(QStringList, gestures);
        QFETCH(int, now);
        QFETCH(QList<int>, backward);
        QFETCH(bool, forward);
        openWindow(true);
        QVector<QPair<QCPRange, QCPRange>> views{{times(), plot()->yAxis->range()}};
        for (const QString &gesture : gestures) {
            act(gesture);
            views.append({times(), plot()->yAxis->range()});
        }
        QCOMPARE(times(), views.at(now).first);
        QCOMPARE(action("actionViewForward")->isEnabled(), forward);
        plot()->graph(1)->setSelection(QCPDataSelection(QCPDataRange(0, 2)));
        for (int view : backward) {
            QVERIFY(action("actionViewBack")->isEnabled());
            act("back");
            QCOMPARE(times(), views.at(view).first);
            QCOMPARE(plot()->yAxis->range(), views.at(view).second);
        }
        QVERIFY(!action("actionViewBack")->isEnabled());
        act("backspace");
        QCOMPARE(times(), views.at(backward.isEmpty() ? now : backward.last()).first);
        QVERIFY(plot()->graph(1)->selected());
    }

    void timeRange_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");     // typed into "Bis", if anything
        QTest::addColumn<QString>("button"); // then pressed, if any
        QTest::addColumn<QString>("shown");  // "Von", "Bis", whether "OK" is enabled, the warning
        QTest::addColumn<QCPRange>("range"); // the time axis after "OK" or, where it says Escape, Escape
        const QString ok = " | OK | ";
        QTest::newRow("day at a month's end") << "31.03.2015 14:00" << "" << "rangeDay"
            << "31.03.2015 00:00:00 | 01.04.2015 00:00:00" + ok << QCPRange(keyOf("31.03.2015 00:00"), keyOf("01.04.2015 00:00"));
        QTest::newRow("week across a month's end") << "31.03.2015 14:00" << "" << "rangeWeek"
            << "30.03.2015 00:00:00 | 06.04.2015 00:00:00" + ok << QCPRange(keyOf("30.03.2015 00:00"), keyOf("06.04.2015 00:00"));
        QTest::newRow("month at its end") << "31.03.2015 23:59" << "" << "rangeMonth"
            << "01.03.2015 00:00:00 | 01.04.2015 00:00:00" + ok << QCPRange(keyOf("01.03.2015 00:00"), keyOf("01.04.2015 00:00"));
        QTest::newRow("day the clock goes forward: 23 hours") << "29.03.2015 12:00" << "" << "rangeDay"
            << "29.03.2015 00:00:00 | 30.03.2015 00:00:00" + ok << QCPRange(keyOf("29.03.2015 00:00"), keyOf("29.03.2015 00:00") + 23 * 3600);
        QTest::newRow("week the clock goes back in: 7 days 1 hour") << "25.10.2015 02:30" << "" << "rangeWeek"
            << "19.10.2015 00:00:00 | 26.10.2015 00:00:00" + ok << QCPRange(keyOf("19.10.2015 00:00"), keyOf("19.10.2015 00:00") + 7 * kDay + 3600);
        QTest::newRow("all") << "31.03.2015 14:00" << "" << "rangeAll" << "01.03.2015 00:00:00 | 10.03.2015 23:59:00" + ok << kWhole;
        QTest::newRow("Bis before Von") << "02.03.2015 06:00" << "02.03.2015 06:00" << ""
            << "02.03.2015 06:00:00 | 02.03.2015 06:00:00 | no OK | „Bis“ muss nach „Von“ liegen." << kDays3To5;
        QTest::newRow("Escape after a fill") << "31.03.2015 14:00" << "" << "rangeMonth Escape"
            << "01.03.2015 00:00:00 | 01.04.2015 00:00:00" + ok << kDays3To5;
    }

    // The temperature axis stays; "OK" makes one view of the history.
    void timeRange()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, button);
        QFETCH(QString, shown);
        QFETCH(QCPRange, range);
        openWindow(true);
        plot()->xAxis->setRange(kDays3To5);
        plot()->yAxis->setRange(20, 30);
        QString seen;
        QTimer::singleShot(0, [&]() {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog && dialog->objectName() == "timeRangeDialog" && dialog->windowTitle() == "Zeitraum");
            auto *fromField = dialog->findChild<QDateTimeEdit *>("rangeFrom");
            auto *toField = dialog->findChild<QDateTimeEdit *>("rangeTo");
            fromField->setDateTime(localTime(from));
            if (!to.isEmpty())
                toField->setDateTime(localTime(to));
            if (!button.isEmpty())
                dialog->findChild<QPushButton *>(button.section(' ', 0, 0))->click();
            QPushButton *okButton = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
            seen = QStringList({fromField->text(), toField->text(), okButton->isEnabled() ? "OK" : "no OK",
                                dialog->findChild<QLabel *>("rangeProblem")->text()}).join(" | ");
            if (!button.endsWith("Escape"))
                okButton->click();
            if (dialog->isVisible())
                QTest::keyClick(dialog, Qt::Key_Escape);
        });
        action("actionTimeRange")->trigger();
        QCOMPARE(seen, shown);
        QCOMPARE(times(), range);
        QCOMPARE(plot()->yAxis->range(), QCPRange(20, 30));
        QCOMPARE(action("actionViewBack")->isEnabled(), range != kDays3To5);
    }

    void overviewGestures_data()
    {
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<double>("at");      // days from the first record where it starts
        QTest::addColumn<double>("to");      // and where a drag ends
        QTest::addColumn<QCPRange>("range"); // the chart's time range then, in days from the first record
        QTest::newRow("drag the window") << true << "drag" << 4.0 << 6.0 << QCPRange(5, 7);
        QTest::newRow("drag the left edge") << true << "drag" << 3.0 << 1.0 << QCPRange(1, 5);
        QTest::newRow("left edge past the right: a minute") << true << "drag" << 3.0 << 8.0 << QCPRange(5 - 60 / kDay, 5);
        QTest::newRow("drag the right edge") << true << "drag" << 5.0 << 9.0 << QCPRange(3, 9);
        QTest::newRow("click beside: centred there") << true << "click" << 8.0 << 8.0 << QCPRange(7, 9);
        QTest::newRow("wheel: zoomed about the mouse") << true << "wheel" << 4.5 << 4.5 << QCPRange(4.5 - 1.5 * 0.85, 4.5 + 0.5 * 0.85);
        QTest::newRow("double-click: the whole view") << true << "double" << 4.0 << 4.0 << QCPRange(0, (kRecords - 1) / 1440.0);
        QTest::newRow("before any load: no click") << false << "click" << 8.0 << 8.0 << QCPRange(3, 5);
        QTest::newRow("before any load: no wheel") << false << "wheel" << 4.0 << 4.0 << QCPRange(3, 5);
    }

    // Positions are the chart's plot area's columns: the strip is aligned with it.
    void overviewGestures()
    {
        QFETCH(bool, loaded);
        QFETCH(QString, gesture);
        QFETCH(double, at);
        QFETCH(double, to);
        QFETCH(QCPRange, range);
        openWindow(loaded);
        action("actionOverview")->setChecked(true);
        QCOMPARE(strip()->focusPolicy(), Qt::NoFocus);
        plot()->xAxis->setRange(kDays3To5);
        const QRect area = plot()->axisRect()->rect();
        const auto xAt = [&](double days) {
            const int x = qRound(area.left() + days * kDay / kWhole.size() * area.width());
            return QPoint(strip()->mapFromGlobal(plot()->mapToGlobal(QPoint(x, 0))).x(), 20);
        };
        if (gesture == "drag") {
            drag(strip(), xAt(at), xAt(to));
        } else if (gesture == "wheel") {
            wheel(strip(), xAt(at));
        } else {
            QTest::mouseClick(strip(), Qt::LeftButton, {}, xAt(at));
            if (gesture == "double")
                QTest::mouseDClick(strip(), Qt::LeftButton, {}, xAt(at));
        }
        const double keysPerPixel = kWhole.size() / area.width();
        const QByteArray shown = QByteArray::number((times().lower - kFirst) / kDay) + " .. " + QByteArray::number((times().upper - kFirst) / kDay);
        QVERIFY2(qAbs(times().lower - (kFirst + range.lower * kDay)) <= keysPerPixel, shown.constData());
        QVERIFY2(qAbs(times().upper - (kFirst + range.upper * kDay)) <= keysPerPixel, shown.constData());
        if (loaded) {
            act("back");
            QCOMPARE(times(), kDays3To5);
        }
    }

    void overviewSettingAcrossRuns_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("shown");
        QTest::newRow("none kept: off") << QByteArray() << false;
        QTest::newRow("kept on") << QByteArray("[General]\noverview=true\n") << true;
        QTest::newRow("kept off") << QByteArray("[General]\noverview=false\n") << false;
        QTest::newRow("garbage: off") << QByteArray("[General]\noverview=yes please\n") << false;
    }

    // Switched in one run, kept for the next; off, the chart fills the central area as before.
    void overviewSettingAcrossRuns()
    {
        QFETCH(QByteArray, settings);
        QFETCH(bool, shown);
        const QString file = mDir.filePath("velkarn/oriq.conf");
        QFile::remove(file);
        QVERIFY(settings.isEmpty() || (QDir().mkpath(mDir.filePath("velkarn")) && LogBuilder::writeFile(file, settings)));
        for (bool on : {shown, !shown}) {
            openWindow(false);
            QCOMPARE(action("actionOverview")->isChecked(), on);
            QCOMPARE(strip()->isVisible(), on);
            const int below = on ? strip()->height() + 6 : 0;
            QCOMPARE(plot()->geometry(), mWindow->centralWidget()->rect().adjusted(11, 11, -11, -11 - below));
            action("actionOverview")->trigger();
        }
    }
};

QTEST_MAIN(TestFindingViews)
#include "tst_findingviews.moc"

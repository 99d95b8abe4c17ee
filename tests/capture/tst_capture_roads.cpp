// The loader's choice of road, and the Wayland road's pause and repeat rule
// (the watches themselves are exercised under a real compositor).
#include "capture/CaptureRoads.h"
#include "capture/wayland/PrimarySelectionLines.h"
#include "capture/wayland/PrimarySelectionWatch.h"
#include "capture/wayland/WaylandCaptureRoad.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestCaptureRoads : public QObject {
    Q_OBJECT
private slots:
    void sessionTypeDecidesNotDisplayVariables() {
        using CaptureRoads::choose;
        QCOMPARE(choose({}, QStringLiteral("x11"), QStringLiteral("xcb")).road, QStringLiteral("x11"));
        QCOMPARE(choose({}, QStringLiteral("wayland"), QStringLiteral("wayland")).road, QStringLiteral("wayland"));
        // Forced onto XWayland in a Wayland session: still the Wayland road.
        QCOMPARE(choose({}, QStringLiteral("wayland"), QStringLiteral("xcb")).road, QStringLiteral("wayland"));
        QCOMPARE(choose({}, QString(), QStringLiteral("offscreen")).road, QStringLiteral("none"));
        QCOMPARE(choose(QStringLiteral("none"), QStringLiteral("x11"), QStringLiteral("xcb")).road, QStringLiteral("none"));
        QCOMPARE(choose(QStringLiteral("x11"), QStringLiteral("wayland"), QStringLiteral("wayland")).road,
                 QStringLiteral("x11"));
        // An unknown forced value is not taken.
        QCOMPARE(choose(QStringLiteral("bogus"), QStringLiteral("x11"), QStringLiteral("xcb")).road, QStringLiteral("x11"));
    }

    void selectionSettlesOnceAfterThePause() {
        WaylandCaptureRoad road;
        road.setSettleMs(50);
        QSignalSpy settled(&road, &CaptureRoad::selectionSettled);
        road.offer(QStringLiteral("app"), {});
        road.offer(QStringLiteral("apple"), {});
        QTRY_COMPARE(settled.size(), 1);
        QCOMPARE(settled[0][0].toString(), QStringLiteral("apple"));
        // The same selection again (or reported by the second watch) is not
        // looked up twice; one undone before it rests is not looked up.
        road.offer(QStringLiteral("apple"), QRect(10, 10, 40, 12));
        QTRY_VERIFY(!road.settling());
        road.offer(QStringLiteral("pear"), {});
        road.offer(QStringLiteral("  "), {});
        QVERIFY(!road.settling());
        QCOMPARE(settled.size(), 1);
        // After another selection, or none, or the popup dismissed, the same
        // text is a new selection.
        road.offer(QStringLiteral("apple"), {});
        QTRY_COMPARE(settled.size(), 2);
        road.popupDismissed();
        road.offer(QStringLiteral("apple"), {});
        QTRY_COMPARE(settled.size(), 3);
        QCOMPARE(settled[2][0].toString(), QStringLiteral("apple"));
    }

    // The watch's output: one change per line, split across reads anywhere.
    void primaryWatchLinesAreChangesWithTheirText() {
        QByteArray pending = "YXBwbGU=\ndHdvCmxpbmVz\n!!\nYWJjZGVmZ2hpamtsbW5vcHFyc3R1\nYXBw";
        bool dropping = false;
        const auto lines = primaryselection::takeLines(pending, dropping, 16);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(*lines[0], QStringLiteral("apple"));
        QCOMPARE(*lines[1], QStringLiteral("two\nlines"));
        QVERIFY(!lines[2]);  // not base64: a change, no text
        QVERIFY(!lines[3]);  // over the limit
        QCOMPARE(pending, QByteArray("YXBw"));
        pending += "bGU=\n";
        QCOMPARE(*primaryselection::takeLines(pending, dropping, 16).value(0), QStringLiteral("apple"));
    }

    // A selection longer than a lookup takes, read in pieces as a pipe hands
    // them over: neither held growing nor its tail taken for a selection.
    void overlongSelectionIsDroppedToItsEndOfLine() {
        constexpr qsizetype kMax = 64 * 1024;
        QByteArray selected(100 * 1024, 'x');
        selected.replace(selected.size() - 4, 4, "word");
        const QByteArray output = selected.toBase64() + "\n" + QByteArray("YXBwbGU=\n");
        QByteArray pending;
        bool dropping = false;
        QList<std::optional<QString>> reports;
        for (qsizetype at = 0; at < output.size(); at += kMax) {
            pending += output.mid(at, kMax);
            reports += primaryselection::takeLines(pending, dropping, kMax);
            QVERIFY(pending.size() <= kMax / 3 * 4 + 4);
        }
        QCOMPARE(reports.size(), 2);
        QVERIFY(!reports[0]);  // one change, without text
        QCOMPARE(*reports[1], QStringLiteral("apple"));
    }

    // wl-paste reports a replaced selection, its owner gone, as an empty one
    // after the selection that replaced it; only a selection read empty
    // again is taken as none.
    void staleEmptyReportIsNotTakenForNoSelection() {
        QTemporaryDir dir;
        const QString d = dir.path();
        QFile fake(d + QStringLiteral("/wl-paste"));
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("#!/bin/sh\nd=$(dirname \"$0\")\ncase \"$*\" in *--watch*)\n"
                   "  while [ ! -e \"$d/go\" ]; do sleep 0.02; done; printf 'cXVpeG90aWM=\\n\\n'\n"
                   "  while [ ! -e \"$d/go2\" ]; do sleep 0.02; done; printf '\\n'; exec sleep 300;;\n"
                   "*) [ -s \"$d/now\" ] || { echo x >> \"$d/reads\"; exit 1; }; cat \"$d/now\"; echo x >> \"$d/reads\";;\nesac\n");
        fake.close();
        fake.setPermissions(fake.permissions() | QFileDevice::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", d.toUtf8() + ':' + path);
        const auto lines = [&](const QString& name) {
            QFile f(d + u'/' + name);
            return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
        };
        const auto touch = [&](const QString& name, const QByteArray& text = {}) {
            QFile f(d + u'/' + name);
            return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
        };
        {
            PrimarySelectionWatch watch;
            QSignalSpy selected(&watch, &PrimarySelectionWatch::selected);
            watch.start();
            QTRY_VERIFY(watch.isActive());
            QVERIFY(touch(QStringLiteral("now"), "quixotic"));
            QVERIFY(touch(QStringLiteral("go")));
            // The start's read and the check of the empty report.
            QTRY_COMPARE(lines(QStringLiteral("reads")), 2);
            QVERIFY(touch(QStringLiteral("now")));
            QVERIFY(touch(QStringLiteral("go2")));
            QTRY_COMPARE(selected.size(), 2);
            QCOMPARE(selected[0][0].toString(), QStringLiteral("quixotic"));
            QCOMPARE(selected[1][0].toString(), QString());
            QTest::qWait(0);
            QCOMPARE(lines(QStringLiteral("reads")), 3);
            QCOMPARE(selected.size(), 2);
        }
        qputenv("PATH", path);
    }

    void popupGoesBesideTheSelectionElseThePointer() {
        WaylandCaptureRoad road;
        const QPointF pointer(300, 200);
        QCOMPARE(road.popupPoint(QRect(100, 100, 50, 20), pointer), QPointF(149, 109));
        QCOMPARE(road.popupPoint(QRect(), pointer), pointer);
        const QPointF corner = road.popupPoint(QRect(), QPointF(-1e9, -1e9));
        QVERIFY(corner.x() > 0 && corner.y() >= 0);
    }
};

QTEST_MAIN(TestCaptureRoads)
#include "tst_capture_roads.moc"

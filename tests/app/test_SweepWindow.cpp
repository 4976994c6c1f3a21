// SPDX-License-Identifier: MIT
// "Tools > Sweep…" on the virtual board, also while the status monitor reads.
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QProgressBar>
#include <QSpinBox>
#include <QTableWidget>
#include <algorithm>
#include <set>

#include "PlanWindow.h"
#include "StatusMonitorWindow.h"
#include "SweepWindow.h"
#include "ToolsMenu.h"
#include "WindowFixture.h"
#include "base/Numbers.h"
#include "board/ChipModel.h"
#include "chip/FieldMap.h"

namespace apptest {
namespace {

int column(QTableWidget* t, const QString& name) {
    for (int c = 0; c < t->columnCount(); ++c)
        if (t->horizontalHeaderItem(c)->text() == name) return c;
    return -1;
}

TEST_F(WindowTest, SweepAcrossTheVcoLimitFillsTheTableAndTheWindowFollows) {
    start();
    choose(control<QComboBox>("CB_OPMODE"), 1);  // Receive: the synthesizer runs
    QAction* item = toolsItem("Sweep1");
    ASSERT_NE(item, nullptr);
    item->trigger();
    auto* w = form->findChild<SweepWindow*>();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    w->fromBox->setValue(720);
    w->toBox->setValue(780);
    w->stepBox->setValue(10);
    const int32_t ntotBefore = form->session().frequencies().Ntot;
    const QString tunedBefore = control<QLineEdit>("E_fRFinfo")->text();
    const QString wantedBefore = control<Edit>("E_fRFI")->text();
    click(w->startButton);
    EXPECT_FALSE(w->startButton->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 120000);
    ASSERT_EQ(w->table->rowCount(), 7);
    EXPECT_EQ(w->progress->value(), 7);
    const int ld = column(w->table, QStringLiteral("LD"));
    ASSERT_GE(ld, 0);
    int locked = 0;
    for (int r = 0; r < 7; ++r) {
        const QString text = w->table->item(r, ld)->text();
        // LO1 above the signal: (f RF + f IF2) * L / (L - 1), f IF2 2 MHz, L 4.
        const double lo1 = (720 + 10.0 * r + 2) * 4 / 3;
        EXPECT_EQ(text, lo1 <= 1000 ? "locked" : "no lock") << r;
        EXPECT_EQ(w->points()[size_t(r)].locked(), text == "locked");
        locked += text == "locked";
    }
    EXPECT_GT(locked, 0);
    EXPECT_LT(locked, 7);
    // The plan from before the sweep is the plan again: the chip holds it, and the tuning
    // info and the wanted RF say the same as before.
    expectChipHoldsImage();
    EXPECT_EQ(form->session().frequencies().Ntot, ntotBefore);
    EXPECT_EQ(control<QLineEdit>("E_fRFinfo")->text(), tunedBefore);
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), wantedBefore);

    QTemporaryDir out;
    const QString path = out.path() + QStringLiteral("/sweep.csv");
    ASSERT_FALSE(w->saveCsv(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[0].toStdString(), zvk::sweepCsvHeader());
}

// "Lock time" on both transports: each point's write cycle is timed, against the chip
// model's settling within the resolution; the status columns stay empty (MFO is at LD out
// for the sweep only); the summary names the transport and the resolution; the CSV saved
// carries the columns.
TEST_F(WindowTest, SweepWithLockTimeTimesEachPointOnBothTransports) {
    for (const char* board : {"virtual", "virtual-usb"}) {
        SCOPED_TRACE(board);
        start(false, board);
        choose(control<QComboBox>("CB_OPMODE"), 1);  // Receive: the synthesizer runs
        const zvk::RegisterImage image = regs();
        toolsItem("Sweep1")->trigger();
        auto* w = form->findChild<SweepWindow*>();
        ASSERT_NE(w, nullptr);
        w->fromBox->setValue(400);
        w->toBox->setValue(460);
        w->stepBox->setValue(20);
        w->dwellBox->setValue(0);
        EXPECT_LT(column(w->table, QStringLiteral("lock_time_ms")), 0);
        click(w->lockTimeBox, QPoint(7, w->lockTimeBox->height() / 2));
        ASSERT_TRUE(w->lockTimeBox->isChecked());
        const int ms = column(w->table, QStringLiteral("lock_time_ms"));
        ASSERT_GE(ms, 0) << "the empty table shows the columns to come";
        // The model's settling of each point, read as the point lands in the table.
        std::vector<double> settleMs;
        QObject::connect(w->progress, &QProgressBar::valueChanged, w, [&] {
            // The start sets the bar back to 0 before any point.
            if (w->points().size() != settleMs.size() + 1) return;
            const zvk::SweepPoint& p = w->points().back();
            settleMs.push_back(p.lockTime ? double(form->session().board().chip->settleUntil() -
                                                   p.lockTime->startCount) /
                                                1000.0
                                          : -1.0);
        });
        click(w->startButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 120000);
        ASSERT_EQ(w->points().size(), 4u);
        ASSERT_EQ(settleMs.size(), 4u);
        const int capped = column(w->table, QStringLiteral("lock_time_capped"));
        const int word = column(w->table, QStringLiteral("word"));
        const int ld = column(w->table, QStringLiteral("LD"));
        double resolution = 0;
        for (int r = 0; r < 4; ++r) {
            const zvk::SweepPoint& p = w->points()[size_t(r)];
            ASSERT_TRUE(p.lockTime) << r;
            // The window's figure is 2 us short of what it counted (as "LD Time [ms]").
            EXPECT_NEAR(p.lockTime->ms + 0.002, settleMs[size_t(r)],
                        p.lockTime->resolutionMs + 1e-4)
                << r;
            EXPECT_GT(p.lockTime->ms, 1.0) << r;
            resolution = std::max(resolution, p.lockTime->resolutionMs);
            EXPECT_EQ(w->table->item(r, ms)->text().toStdString(),
                      zvk::fixedText(p.lockTime->ms, 3));
            EXPECT_EQ(w->table->item(r, capped)->text(), QStringLiteral("0"));
            EXPECT_EQ(w->table->item(r, word)->text(), QString()) << "no status read";
            EXPECT_EQ(w->table->item(r, ld)->text(), QString());
        }
        const std::string transport = std::string(board) == "virtual" ? "lpt" : "usb";
        EXPECT_TRUE(w->message->text().contains(
            QString::fromStdString(zvk::lockTimeResolutionText(resolution, transport))))
            << w->message->text().toStdString();
        EXPECT_TRUE(w->message->text().startsWith(QStringLiteral("Lock time min ")))
            << w->message->text().toStdString();
        // MFO is the configuration's again, and the chip holds it.
        EXPECT_EQ(regs(), image);
        expectChipHoldsImage();

        QTemporaryDir out;
        const QString path = out.path() + QStringLiteral("/sweep.csv");
        ASSERT_FALSE(w->saveCsv(path));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
        ASSERT_EQ(lines.size(), 5);
        EXPECT_EQ(lines[0].toStdString(), zvk::sweepCsvHeader(true));
        EXPECT_EQ(lines[1].toStdString(), zvk::sweepCsvLine(w->points()[0]));
        EXPECT_TRUE(form->close());
        form.reset();
        QApplication::processEvents();
    }
}

TEST_F(WindowTest, CancelStopsTheSweepAfterThePointRunning) {
    start();
    toolsItem("Sweep1")->trigger();
    auto* w = form->findChild<SweepWindow*>();
    ASSERT_NE(w, nullptr);
    w->fromBox->setValue(400);
    w->toBox->setValue(1000);
    w->stepBox->setValue(1);
    click(w->startButton);
    QTRY_VERIFY_WITH_TIMEOUT(w->table->rowCount() >= 2, 60000);
    click(w->cancelButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 60000);
    const int rows = w->table->rowCount();
    EXPECT_LT(rows, 601);
    EXPECT_TRUE(w->message->text().startsWith(QStringLiteral("Cancelled")))
        << w->message->text().toStdString();
    QApplication::processEvents();
    EXPECT_EQ(w->table->rowCount(), rows);
    EXPECT_TRUE(w->startButton->isEnabled());
}

// One schedule for the board: a sweep and the monitor reading at the same time each get
// every status word they ask for.
TEST_F(WindowTest, ASweepAndTheStatusMonitorTogetherGetEveryRead) {
    start();
    choose(control<QComboBox>("CB_OPMODE"), 1);
    toolsItem("StatusMonitor1")->trigger();
    auto* m = form->findChild<StatusMonitorWindow*>();
    ASSERT_NE(m, nullptr);
    m->intervalBox->setValue(1);
    click(m->startButton);
    toolsItem("Sweep1")->trigger();
    auto* w = form->findChild<SweepWindow*>();
    ASSERT_NE(w, nullptr);
    w->fromBox->setValue(700);
    w->toBox->setValue(760);
    w->stepBox->setValue(2);
    w->dwellBox->setValue(5);
    click(w->startButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 120000);
    click(m->stopButton);
    QApplication::processEvents();
    ASSERT_EQ(w->points().size(), 31u);
    for (const zvk::SweepPoint& p : w->points()) EXPECT_TRUE(p.status.has_value()) << p.wanted;
    EXPECT_GT(m->readsAsked(), 5);
    EXPECT_EQ(int(m->samples().size()), m->readsAsked());
}

// The plots as the core draws them: the sweep's over the whole range with its lanes, the
// read under the pointer, and SHOWLD at "RSSI Low Flag" painting LD unknown, not "no lock".
TEST_F(WindowTest, SweepPlotNamesThePointUnderThePointerAndLdUnknownWithoutLd) {
    start();
    choose(control<QComboBox>("CB_OPMODE"), 1);
    toolsItem("Sweep1")->trigger();
    auto* w = form->findChild<SweepWindow*>();
    ASSERT_NE(w, nullptr);
    w->fromBox->setValue(720);
    w->toBox->setValue(780);
    w->stepBox->setValue(10);
    // Before the sweep the plot shows the range, without reads.
    EXPECT_TRUE(w->plot->plot().marks.empty());
    EXPECT_NE(w->plot->plot().svg.find(">720<"), std::string::npos);
    click(w->startButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 120000);
    const zvk::StatusPlot& p = w->plot->plot();
    ASSERT_EQ(p.marks.size(), 7u);
    int bad = 0;
    for (const zvk::LaneRun& r : p.runs) bad += r.lane == 0 && r.state == zvk::FlagState::Bad;
    EXPECT_EQ(bad, 1) << "no lock above the VCO range";
    // The pointer over the third point's cell names it.
    const QRectF pic = w->plot->pictureRect();
    const double scale = pic.width() / p.width;
    const QPointF at(pic.x() + p.marks[2].x * scale, pic.y() + (p.area.y0 + 10) * scale);
    EXPECT_TRUE(w->plot->readoutAt(at).startsWith(QStringLiteral("740.000 MHz: N ")))
        << w->plot->readoutAt(at).toStdString();
    EXPECT_TRUE(w->plot->readoutAt(QPointF(pic.x() + 2, pic.y() + 2)).isEmpty());

    // SHOWLD at "RSSI Low Flag": no LD is decoded, and none is painted.
    choose(control<RadioGroup>("RG_SHOWLD"), 0);
    ASSERT_EQ(zvk::fieldValue(form->session().chip().regs(), zvk::field("SHOWLD")), 0u);
    click(w->startButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 120000);
    for (const zvk::LaneRun& r : w->plot->plot().runs) {
        if (r.lane == 0) {
            EXPECT_EQ(r.state, zvk::FlagState::Unknown);
        }
    }

    // The picture as SVG and PNG.
    QTemporaryDir out;
    ASSERT_FALSE(saveSvgPicture(out.path() + "/sweep.svg", w->plot->plot().svg));
    ASSERT_FALSE(savePngPicture(out.path() + "/sweep.png", w->plot->plot().svg,
                                w->plot->plot().width, w->plot->plot().height));
    QImage png(out.path() + "/sweep.png");
    EXPECT_EQ(png.width(), int(zvk::kStatusPlotWidth * 2));
}

}  // namespace
}  // namespace apptest

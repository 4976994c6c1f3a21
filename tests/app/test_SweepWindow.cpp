// SPDX-License-Identifier: MIT
// "Tools > Sweep…" on the virtual board, also while the status monitor reads.
#include <QDoubleSpinBox>
#include <QImage>
#include <QProgressBar>
#include <QSpinBox>
#include <QTableWidget>
#include <set>

#include "PlanWindow.h"
#include "StatusMonitorWindow.h"
#include "SweepWindow.h"
#include "ToolsMenu.h"
#include "WindowFixture.h"
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

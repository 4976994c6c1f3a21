// SPDX-License-Identifier: MIT
// "Tools > Status Monitor…" on the virtual board.
#include <QDoubleSpinBox>
#include <QImage>
#include <QProgressBar>
#include <QSpinBox>
#include <QTableWidget>
#include <set>

#include "PlanWindow.h"
#include "StatusMonitorWindow.h"
#include "ToolsMenu.h"
#include "WindowFixture.h"
#include "chip/FieldMap.h"

namespace apptest {
namespace {

TEST_F(WindowTest, StatusMonitorReadsMarksAndStopsWhereRefreshWould) {
    start();
    QAction* item = toolsItem("StatusMonitor1");
    ASSERT_NE(item, nullptr);
    item->trigger();
    auto* m = form->findChild<StatusMonitorWindow*>();
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->isVisible());
    EXPECT_FALSE(m->isModal());
    QTemporaryDir out;
    const QString log = out.path() + QStringLiteral("/status.csv");
    ASSERT_FALSE(m->logTo(log));
    m->intervalBox->setValue(10);
    click(m->startButton);
    QTRY_VERIFY_WITH_TIMEOUT(m->samples().size() >= 3, 30000);
    EXPECT_EQ(m->samples().back().reading.word, form->session().board().chip->statusWord());
    EXPECT_FALSE(m->samples().back().reading.suspect);

    // IFFPRES 0 with the synthesizer off: every bit of the word low, as a dead board.
    form->session().chip().setField(zvk::field("IFFPRES"), 0);
    form->session().chip().writeCycle();
    QTRY_VERIFY_WITH_TIMEOUT(m->samples().back().reading.suspect.has_value(), 30000);
    EXPECT_TRUE(m->message->text().contains(QStringLiteral("supply")))
        << m->message->text().toStdString();

    choose(control<QComboBox>("CB_MFO"), 8);  // LD out: the chip cannot shift the status out
    QTRY_VERIFY_WITH_TIMEOUT(m->message->text().contains(QStringLiteral("MFO")), 30000);
    const size_t reads = m->samples().size();
    QTest::qWait(60);
    EXPECT_EQ(m->samples().size(), reads);
    click(m->stopButton);
    EXPECT_FALSE(m->polling());

    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
    EXPECT_EQ(size_t(lines.size()), reads + 1);
    EXPECT_EQ(lines[0].toStdString(), zvk::statusCsvHeader());
}

TEST_F(WindowTest, MonitorChartPaintsLdUnknownWithoutLdAndSuspectReadsApart) {
    start();
    choose(control<RadioGroup>("RG_SHOWLD"), 0);
    toolsItem("StatusMonitor1")->trigger();
    auto* m = form->findChild<StatusMonitorWindow*>();
    ASSERT_NE(m, nullptr);
    m->intervalBox->setValue(10);
    click(m->startButton);
    QTRY_VERIFY_WITH_TIMEOUT(m->samples().size() >= 3, 30000);
    form->session().chip().setField(zvk::field("IFFPRES"), 0);
    form->session().chip().writeCycle();
    QTRY_VERIFY_WITH_TIMEOUT(m->samples().back().reading.suspect.has_value(), 30000);
    click(m->stopButton);
    m->redrawChart();
    std::set<zvk::FlagState> ld;
    for (const zvk::LaneRun& r : m->chart->plot().runs)
        if (r.lane == 0) ld.insert(r.state);
    EXPECT_EQ(ld, (std::set<zvk::FlagState>{zvk::FlagState::Unknown, zvk::FlagState::Suspect}));
    EXPECT_EQ(m->chart->plot().marks.size(), m->samples().size());
}

}  // namespace
}  // namespace apptest

// SPDX-License-Identifier: MIT
// "Tools": a trace started from the window logs what the window sends, shows it as it
// comes and saves the lines as a VCD file.
#include <QFile>

#include "ToolsMenu.h"
#include "TraceWindow.h"
#include "WindowFixture.h"

namespace apptest {
namespace {

QString fileText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

TEST_F(WindowTest, ATraceLogsShowsAndSavesWhatTheWindowSends) {
    start();
    ToolsMenu* tools = control<ToolsMenu>("Tools1");
    ASSERT_NE(tools, nullptr);
    EXPECT_TRUE(tools->StartTrace1->isEnabled());
    EXPECT_FALSE(tools->StopTrace1->isEnabled());
    EXPECT_FALSE(tools->SaveVcd1->isEnabled());

    EXPECT_FALSE(tools->ShowTrace1->isEnabled()) << "no trace window yet";
    // No item of the menu has a keyboard accelerator, as no item of the window's has.
    for (QAction* a : tools->actions()) {
        EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
        EXPECT_FALSE(a->text().contains(QLatin1Char('&'))) << a->text().toStdString();
    }
    const QString log = dir.path() + "/t.log";
    ASSERT_EQ(tools->startTrace(log), std::nullopt);
    EXPECT_FALSE(tools->StartTrace1->isEnabled());
    EXPECT_TRUE(tools->StopTrace1->isEnabled());
    EXPECT_TRUE(tools->ShowTrace1->isEnabled());
    choose(control<QComboBox>("CB_OPMODE"), 1);  // Receive: R0 changes OPMODE
    // The trace window closed while tracing comes back with every line, the later ones
    // included.
    tools->traceWindow()->close();
    click(control<QPushButton>("B_WriteReg"));
    QApplication::processEvents();
    EXPECT_FALSE(tools->traceWindow()->isVisible());
    EXPECT_FALSE(tools->StartTrace1->isEnabled());
    ASSERT_TRUE(tools->ShowTrace1->isEnabled());
    tools->ShowTrace1->trigger();
    EXPECT_TRUE(tools->traceWindow()->isVisible());
    tools->StopTrace1->trigger();
    EXPECT_TRUE(tools->StartTrace1->isEnabled());
    EXPECT_TRUE(tools->SaveVcd1->isEnabled());

    const QString text = fileText(log);
    EXPECT_TRUE(text.contains("R0 <- 0x08D (frame 0x08D0)  OPMODE 0->1")) << text.toStdString();
    for (int r = 1; r < 7; ++r) EXPECT_TRUE(text.contains(QStringLiteral("R%1 <- ").arg(r))) << r;
    // The window shows the same lines.
    ASSERT_NE(tools->traceWindow(), nullptr);
    EXPECT_TRUE(tools->traceWindow()->isVisible());
    EXPECT_EQ(tools->traceWindow()->view()->text() + "\n", text);

    // Nothing is recorded after the stop.
    click(control<QPushButton>("B_WriteReg"));
    QApplication::processEvents();
    EXPECT_EQ(fileText(log), text);

    const QString vcd = dir.path() + "/t.vcd";
    ASSERT_EQ(tools->saveVcd(vcd), std::nullopt);
    const QString wave = fileText(vcd);
    EXPECT_TRUE(wave.contains("$timescale 1 ns $end"));
    EXPECT_TRUE(wave.contains("$var wire 1 ! SDEN $end"));
    EXPECT_TRUE(tools->saveVcd(dir.path() + "/missing/t.vcd").has_value());
    EXPECT_TRUE(tools->startTrace(dir.path() + "/missing/t.log").has_value());
}

}  // namespace
}  // namespace apptest

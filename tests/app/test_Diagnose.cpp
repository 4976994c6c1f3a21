// SPDX-License-Identifier: MIT
// "Tools" > "Diagnose…" shows the doctor's lines about this machine.
#include <QPlainTextEdit>

#include "DiagnoseDialog.h"
#include "ToolsMenu.h"
#include "WindowFixture.h"

namespace apptest {
namespace {

TEST_F(WindowTest, DiagnoseShowsTheDoctorsLinesInADialog) {
    start();
    auto* item = control<ToolsMenu>("Tools1")->findChild<QAction*>(QStringLiteral("Diagnose1"));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QStringLiteral("Diagnose…"));
    item->trigger();
    QApplication::processEvents();
    auto* dialog = form->findChild<DiagnoseDialog*>(QStringLiteral("DiagnoseDialog"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    const QString text = dialog->text();
    // One line per check, each marked; the settings line names the window's file.
    for (const char* check :
         {"libusb 0.1", "kernel lockdown", "real-time priority", "settings file: "})
        EXPECT_TRUE(text.contains(QLatin1String(check))) << check << "\n" << text.toStdString();
    // On the virtual board the checks are said to be of the real hardware, and the board in
    // use is named: the window works whatever the checks find.
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines.front().startsWith(
        QLatin1String("In use: the virtual board on the parallel port, which needs none")))
        << lines.front().toStdString();
    EXPECT_TRUE(lines.back().startsWith(QLatin1String("For a real board: ")))
        << lines.back().toStdString();
    EXPECT_FALSE(text.contains(QLatin1String("\nNeither"))) << text.toStdString();
    for (const QString& line : lines.mid(1, lines.size() - 2)) {
        EXPECT_TRUE(line.startsWith(QLatin1String("ok   ")) ||
                    line.startsWith(QLatin1String("FAIL ")))
            << line.toStdString();
        if (line.startsWith(QLatin1String("FAIL "))) {
            EXPECT_TRUE(line.contains(QLatin1String(" -> "))) << line.toStdString();
        }
    }
    dialog->close();
}

}  // namespace
}  // namespace apptest

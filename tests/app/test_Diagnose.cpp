// SPDX-License-Identifier: MIT
// "Tools" > "Diagnose…" shows the doctor's lines about this machine.
#include <QPlainTextEdit>

#include "DiagnoseDialog.h"
#include "TraceWindow.h"
#include "WindowFixture.h"

namespace apptest {
namespace {

TEST_F(WindowTest, DiagnoseShowsTheDoctorsLinesInADialog) {
    start();
    auto* item = form->Tools1->findChild<QAction*>(QStringLiteral("Diagnose1"));
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
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("The board")) ||
            line.startsWith(QLatin1String("Neither")))
            continue;
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

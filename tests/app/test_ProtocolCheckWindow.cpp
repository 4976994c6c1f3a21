// SPDX-License-Identifier: MIT
// "Virtual Board > Protocol Check…": the window's own traffic leaves it empty; a faulty
// waveform shows up at once.
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "ProtocolCheckWindow.h"
#include "VirtualBoardMenu.h"
#include "WindowFixture.h"

namespace apptest {
namespace {

TEST_F(WindowTest, ProtocolCheckListsViolationsAsTheyOccur) {
    start();
    ASSERT_NE(virtualBoardMenu(), nullptr);
    ASSERT_NE(virtualBoardMenu()->ProtocolCheck1, nullptr);
    virtualBoardMenu()->ProtocolCheck1->trigger();
    ProtocolCheckWindow* w = virtualBoardMenu()->protocolCheckWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isModal());

    sendAlways(true);
    choose(control<QComboBox>("CB_OPMODE"), 1);
    click(control<QPushButton>("B_WriteReg"));
    QApplication::processEvents();
    EXPECT_EQ(w->List->count(), 0);
    EXPECT_EQ(w->Summary->text(), "No protocol violation so far.");

    // A bit whose data moves with the clock edge, while the window is open.
    zvk::ChipModel& chip = *form->session().board().chip;
    const uint8_t spi = zvk::ChipModel::kSpisel;
    chip.setLines(spi);
    chip.setLines(uint8_t(spi | zvk::ChipModel::kSdta | zvk::ChipModel::kSclk));
    chip.setLines(spi);
    ASSERT_EQ(w->List->count(), 1);
    EXPECT_TRUE(w->List->item(0)->text().startsWith("data-with-clock-edge  frame "))
        << w->List->item(0)->text().toStdString();
    EXPECT_EQ(w->Summary->text(), "1 protocol violation.");

    click(w->Clear);
    EXPECT_EQ(w->List->count(), 0);
    EXPECT_TRUE(chip.violations().empty());
}

}  // namespace
}  // namespace apptest

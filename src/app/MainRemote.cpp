// SPDX-License-Identifier: MIT
// The main window under remote control: a client's commands run the core's operations,
// whose notifications move the controls as the user's own actions do; after each line
// the window checks that every control shows what the session holds.
#include <QComboBox>

#include "AbcPage.h"
#include "Main.h"
#include "PageControl.h"
#include "RadioGroup.h"
#include "RemoteControlWindow.h"
#include "ToolsMenu.h"

using namespace zvk;

void TForm1::buildRemoteControl() {
    remote_ = new RemoteControlWindow(*session_, options_.labMode, this);
    connect(remote_, &RemoteControlWindow::lineStarted, this, [this] { remoteLine_ = true; });
    connect(remote_, &RemoteControlWindow::lineFinished, this, [this](bool changed) {
        remoteLine_ = false;
        if (changed) showSessionState();
    });
}

void TForm1::showSessionState() {
    bool summaryChanged = false;
    for (size_t i = 0; i < kFieldMap.size(); ++i) {
        const Field& f = kFieldMap[i];
        if (f.encoding == Encoding::Status) continue;
        const int state = session_->controlState(f);
        if (f.encoding == Encoding::Mfo) {
            mfoShown(state);
            continue;
        }
        QWidget* w = fieldControls_[int(i)];
        if (w == CB_OPMODE() && CB_OPMODE()->currentIndex() != state) summaryChanged = true;
        showControlState(w, state);
    }
    showControlState(RG_LDMODE(), session_->controlState(field("RSSIGAIN")));
    inputsShown();
    redraw(session_->regs());
    showTuningTexts(ShowTuningInfo(*fs_));
    // The picture of the plan, when open, follows a client's plan as the user's.
    if (Tools1) Tools1->planChanged();
    const bool spi = session_->spiMode();
    if (PageControl1()->isTabVisible(PageControl1()->indexOf(TabABC())) == spi) modeSwitched(spi);
    if (!spi) abcPinsShown(session_->presetPins());
    if (summaryChanged) showModeSummary();
}

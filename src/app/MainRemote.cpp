// SPDX-License-Identifier: MIT
// The main window under remote control: a client's commands run the core's operations,
// whose notifications move the controls as the user's own actions do; after each line
// the window checks that every control shows what the session holds.

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
    // Each control as the core's operations show a field they set.
    for (const Field& f : kFieldMap)
        if (f.encoding != Encoding::Status) fieldShown(f, session_->controlState(f));
    showControlState(RG_LDMODE(), session_->controlState(field("RSSIGAIN")));
    inputsShown();
    redraw(session_->regs());
    showTuningTexts(ShowTuningInfo(*fs_));
    // The picture of the plan, when open, follows a client's plan as the user's.
    if (Tools1) Tools1->planChanged();
    const bool spi = session_->spiMode();
    if (PageControl1()->isTabVisible(PageControl1()->indexOf(TabABC())) == spi) modeSwitched(spi);
    if (!spi) abcPinsShown(session_->presetPins());
}

// SPDX-License-Identifier: MIT
// The main window's handlers: field controls, frequency plan, mode switch, status panel
// and the register bit view.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>

#include "BitLabel.h"
#include "Main.h"
#include "PageControl.h"
#include "QtText.h"
#include "RadioGroup.h"
#include "UpDown.h"
#include "base/Numbers.h"
#include "transport/Lpt.h"

using namespace zvk;

namespace {

// The handlers that follow the user's own input ignore a programmatic-update flag that
// a write of the program's, still under way below them in the call stack, has raised.
class UserEvent {
  public:
    explicit UserEvent(bool& flag) : flag_(flag), saved_(flag) { flag_ = false; }
    ~UserEvent() { flag_ = saved_; }
    UserEvent(const UserEvent&) = delete;
    UserEvent& operator=(const UserEvent&) = delete;

  private:
    bool& flag_;
    bool saved_;
};

}  // namespace

void TForm1::connectHandlers() {
    // The plan's inputs and the MFO item are the core's state: every change of these
    // controls, the user's or the program's, reaches it before any handler runs.
    session_->setPlanEdits({ss(E_fXTAL()->text()), ss(E_fRFI()->text()), RG_IF1()->itemIndex()});
    session_->setMfoSelection(CB_MFO()->currentIndex());
    connect(E_fXTAL(), &QLineEdit::textChanged, this,
            [this](const QString& text) { session_->setCrystalEdit(ss(text)); });
    connect(E_fRFI(), &QLineEdit::textChanged, this,
            [this](const QString& text) { session_->setWantedEdit(ss(text)); });
    connect(RG_IF1(), &RadioGroup::itemIndexChanged, this,
            [this](int index) { session_->setInjectionSelection(index); });
    connect(CB_MFO(), &QComboBox::currentIndexChanged, this,
            [this](int index) { session_->setMfoSelection(index); });
    auto pushDividers = [this] {
        session_->setDividerEdits({ss(E_R()->text()), ss(E_N()->text()), ss(E_A()->text())});
    };
    pushDividers();
    for (QLineEdit* e : {E_R(), E_N(), E_A()})
        connect(e, &QLineEdit::textChanged, this, pushDividers);

    // Field controls, from the field map: combo boxes answer the user's choice only, radio
    // groups and check boxes every real change of their state.
    fieldControls_ = QVector<QWidget*>(int(kFieldMap.size()), nullptr);
    auto bind = [this](const Field& f, QWidget* w) {
        if (auto* c = qobject_cast<QComboBox*>(w)) {
            connect(c, &QComboBox::activated, this,
                    [this, &f, c] { fieldChanged(f, c->currentIndex()); });
        } else if (auto* r = qobject_cast<RadioGroup*>(w)) {
            connect(r, &RadioGroup::clicked, this,
                    [this, &f, r] { fieldChanged(f, r->itemIndex()); });
        } else if (auto* k = qobject_cast<QCheckBox*>(w)) {
            connect(k, &QCheckBox::toggled, this,
                    [this, &f](bool on) { fieldChanged(f, on ? 1 : 0); });
        }
    };
    for (size_t i = 0; i < kFieldMap.size(); ++i) {
        const Field& f = kFieldMap[i];
        if (f.encoding == Encoding::Status) continue;
        QWidget* w = findChild<QWidget*>(QString::fromLatin1(f.control));
        // The field map and the pages are written apart: a name only one of them knows
        // would leave a field without its control, so the window does not start.
        if (w == nullptr)
            qFatal("the window has no control %s for the field %s", f.control, f.name);
        fieldControls_[int(i)] = w;
        // The numeric fields' edits have handlers of their own, below.
        if (f.encoding != Encoding::Number && f.encoding != Encoding::SplitN) bind(f, w);
    }
    // The hidden lock-detect mode writes the same bit as RG_RSSIGAIN.
    bind(*findField("RSSIGAIN"), RG_LDMODE());

    connect(RG_IF1(), &RadioGroup::clicked, this, &TForm1::RG_IF1Click);
    connect(RGFreq(), &RadioGroup::clicked, this, &TForm1::RGFreqClick);
    connect(RG_SPI(), &RadioGroup::clicked, this, &TForm1::RG_SPIClick);
    connect(CB_fRF(), &QComboBox::activated, this, [this](int index) {
        if (index >= 0) CB_fRFChange();
    });
    connect(B_Calc(), &QPushButton::clicked, this, &TForm1::B_CalcClick);
    connect(B_CalcFS(), &QPushButton::clicked, this, &TForm1::B_CalcFSClick);
    connect(B_CalcNA(), &QPushButton::clicked, this, &TForm1::B_CalcNAClick);
    connect(B_WriteReg(), &QPushButton::clicked, this, &TForm1::B_WriteRegClick);
    connect(B_Refresh(), &QPushButton::clicked, this, &TForm1::B_RefreshClick);
    connect(CB_SendAlways(), &QCheckBox::toggled, this,
            [this](bool on) { session_->setSendAlways(on); });
    connect(PageControl1(), &PageControl::userChanged, this, [this] {
        PageControl1Change();
        if (PageControl1()->currentPage() == TabReg2()) TabReg2Enter();
    });

    // Typing a crystal or RF frequency takes effect when the edit is left or Enter is
    // pressed: their handlers rewrite the text, which would fight every keystroke.
    auto onFinished = [this](QLineEdit* e, void (TForm1::*handler)()) {
        connect(e, &QLineEdit::editingFinished, this, [this, e, handler] {
            if (!e->isModified()) return;
            e->setModified(false);
            const UserEvent user(programmatic_);
            (this->*handler)();
        });
    };
    onFinished(E_fXTAL(), &TForm1::E_fXTALChange);
    onFinished(E_fRFI(), &TForm1::E_fRFIChange);
    numberEdits_ = {{
        {E_R(), &field("R")},
        {E_A(), &field("A")},
        {E_N(), &field("N")},
        {E_RIFF(), &field("RIFF")},
        {E_IFFRES(), &field("IFFPRES")},
    }};
    for (const NumberEdit& n : numberEdits_) {
        QLineEdit* e = n.edit;
        connect(e, &QLineEdit::editingFinished, this, [this, e] { numberEditFinished(e); });
    }

    auto onUser = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, [this, handler] {
            const UserEvent user(programmatic_);
            (this->*handler)();
        });
    };
    onUser(E_RIFF(), &QLineEdit::textEdited, &TForm1::E_RIFFChange);
    onUser(E_IFFRES(), &QLineEdit::textEdited, &TForm1::E_IFFRESChange);
    onUser(UpD_RIFF(), &UpDown::stepped, &TForm1::E_RIFFChange);
    onUser(UpD_IFFAdj(), &UpDown::stepped, &TForm1::E_IFFRESChange);
    onUser(E_R(), &Edit::keyReleased, &TForm1::E_RKeyUp);
    onUser(E_A(), &Edit::keyReleased, &TForm1::E_AKeyUp);
    onUser(E_N(), &Edit::keyReleased, &TForm1::E_NKeyUp);
    onUser(UpD_R(), &UpDown::mouseReleased, &TForm1::UpD_RMouseUp);
    onUser(UpD_A(), &UpDown::mouseReleased, &TForm1::UpD_AMouseUp);
    onUser(UpD_N(), &UpDown::mouseReleased, &TForm1::UpD_NMouseUp);

    connect(regPage_, &RegisterPage::pointerOverPage, this, &TForm1::TabReg2MouseMove);
    for (auto& row : bitLabels()) {
        for (BitLabel* l : row) {
            connect(l, &BitLabel::clicked, this, [this, l] { LClick(l); });
            connect(l, &BitLabel::mouseMoved, this, [this, l] { LMouseMove(l); });
        }
    }
}

// ---- edits written by the program

void TForm1::replaceText(QLineEdit* edit, const QString& text) {
    if (edit->text() == text) return;
    // Someone may be typing in it: the caret stays where it was.
    const int caret = edit->cursorPosition();
    edit->setText(text);
    edit->setCursorPosition(std::min(caret, int(text.size())));
}

const TForm1::NumberEdit* TForm1::numberEdit(const QLineEdit* edit) const {
    for (const NumberEdit& n : numberEdits_)
        if (n.edit == edit) return &n;
    return nullptr;
}

std::optional<int> TForm1::numberEditValue(QLineEdit* edit, const QString& text) const {
    const NumberEdit* n = numberEdit(edit);
    if (n == nullptr) return std::nullopt;
    return zvk::numberEditValue(*n->field, ss(text));
}

void TForm1::numberEditFinished(QLineEdit* edit) {
    const auto v = numberEditValue(edit, edit->text());
    if (!v) return;
    finishingEdit_ = true;
    programWrite(edit, QString::number(*v));
    finishingEdit_ = false;
}

bool TForm1::showEditText(QLineEdit* edit, const QString& text) {
    if (edit->text() == text) return false;
    // While the user types in a divider or filter edit, a text that already stands for the
    // value the program writes back stays as typed: raising a first "1" to the minimum "3"
    // under the next key would turn the "150" being typed into "350". Leaving the edit
    // shows the value.
    if (!finishingEdit_ && edit->hasFocus()) {
        const auto typed = numberEditValue(edit, edit->text());
        if (typed && typed == numberEditValue(edit, text)) return false;
    }
    replaceText(edit, text);
    return true;
}

void TForm1::setEditText(QLineEdit* edit, const QString& text) {
    if (!showEditText(edit, text)) return;
    if (edit == E_RIFF())
        E_RIFFChange();
    else if (edit == E_IFFRES())
        E_IFFRESChange();
}

void TForm1::programWrite(QLineEdit* edit, const QString& text) {
    programmatic_ = true;
    setEditText(edit, text);
    programmatic_ = false;
}

void TForm1::showError(const std::string& text) {
    QMessageBox::critical(this, QString::fromLatin1(kApplicationTitle), qs(text));
}

// ---- the register model's routines

void TForm1::afterChange() {
    session_->afterChange();
}

void TForm1::fieldChanged(const Field& f, int state) {
    if (f.encoding == Encoding::Mfo) {
        CB_MFOChange();
        return;
    }
    session_->controlChanged(f, state);
    if (&f == &field("OPMODE")) showModeSummary();
}

void TForm1::reverseSync() {
    bool summaryChanged = false;
    for (size_t i = 0; i < kFieldMap.size(); ++i) {
        const Field& f = kFieldMap[i];
        if (f.encoding == Encoding::Status) continue;
        // Read at each step: a handler run by an earlier control may have moved a field.
        const int state = session_->controlState(f);
        QWidget* w = fieldControls_[int(i)];
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            programWrite(e, QString::number(state));
            continue;
        }
        if (auto* c = qobject_cast<QComboBox*>(w)) {
            // The mode panel names the operation mode and the MFO function: it follows.
            const bool summarised = c == CB_OPMODE() || c == CB_MFO();
            if (summarised && c->currentIndex() != state) summaryChanged = true;
            c->setCurrentIndex(state);
        } else if (auto* r = qobject_cast<RadioGroup*>(w)) {
            r->setItemIndex(state);
        } else if (auto* k = qobject_cast<QCheckBox*>(w)) {
            k->setChecked(state != 0);
        }
    }
    selectByProgram(RG_IF1(), rgIf1Selection(fs_->INJLO1));
    if (summaryChanged) showModeSummary();
}

void TForm1::selectByProgram(RadioGroup* group, int index) {
    programmatic_ = true;
    group->setItemIndex(index);
    programmatic_ = false;
}

void TForm1::buildBitNames() {
    regPage_->nameBits();
}

// ---- mode switch

void TForm1::RG_SPIClick() {
    session_->switchMode(RG_SPI()->itemIndex() == 1);
}

void TForm1::modeSwitched(bool spi) {
    PageControl1()->setTabVisible(PageControl1()->indexOf(TabABC()), !spi);
    RGFreq()->setEnabled(spi);
    for (QWidget* p : {TabGain(), TabPLL(), TabMode(), TabReg2(), TabFIFF()})
        PageControl1()->setTabVisible(PageControl1()->indexOf(p), spi);
    if (!spi) {
        B_Refresh()->setEnabled(false);
        PageControl1()->setCurrentPage(TabABC());
        setPanelText(0, QStringLiteral("ABC-mode"));
    } else {
        PageControl1()->setCurrentPage(TabMode());
        setPanelText(0, PageControl1()->caption(PageControl1()->indexOf(TabMode())));
    }
    setPanelText(1, QString());
}

void TForm1::inputsShown() {
    const PlanEdits& e = session_->edits();
    replaceText(E_fXTAL(), qs(e.fxtal));
    replaceText(E_fRFI(), qs(e.frf));
    replaceText(E_R(), qs(session_->dividerEdits().r));
    // The core chose these: their handlers do not run again.
    for (auto [group, index] : {std::pair{RG_IF1(), e.rgIf1},
                                {RGFreq(), session_->bandPreset()},
                                {RG_SPI(), session_->spiMode() ? 1 : 0}}) {
        const QSignalBlocker quiet(group);
        group->setItemIndex(index);
    }
    const int preset = session_->presetIndex();
    const int item = preset >= 0 && preset < CB_fRF()->count() ? preset : -1;
    if (CB_fRF()->currentIndex() != item) CB_fRF()->setCurrentIndex(item);
}
void TForm1::CB_MFOChange() {
    B_Refresh()->setEnabled(false);
    clearStatusFields();
    choosingMfo_ = true;
    const int index = session_->chooseMfo(CB_MFO()->currentIndex(), options_.labMode);
    choosingMfo_ = false;
    if (index != CB_MFO()->currentIndex()) CB_MFO()->setCurrentIndex(index);
    afterChange();
    B_Refresh()->setEnabled(index == kMfoSpiOut);
    showLockTimeRow(index == kMfoLdOut);
    showModeSummary();
}

void TForm1::fieldShown(const Field& f, int state) {
    QWidget* control = fieldControls_[int(&f - kFieldMap.data())];
    if (control == nullptr) return;
    if (f.encoding == Encoding::Mfo) {
        if (!choosingMfo_) mfoShown(state);
        return;
    }
    const auto* combo = qobject_cast<QComboBox*>(control);
    const bool summaryChanged = combo == CB_OPMODE() && combo->currentIndex() != state;
    showControlState(control, state);
    if (summaryChanged) showModeSummary();
}

void TForm1::showControlState(QWidget* control, int state) {
    if (auto* e = qobject_cast<QLineEdit*>(control)) {
        showEditText(e, QString::number(state));
    } else if (auto* c = qobject_cast<QComboBox*>(control)) {
        // Only the user's choice runs a combo box's handler.
        if (c->currentIndex() != state) c->setCurrentIndex(state);
    } else if (auto* r = qobject_cast<RadioGroup*>(control)) {
        const QSignalBlocker quiet(r);
        r->setItemIndex(state);
    } else if (auto* k = qobject_cast<QCheckBox*>(control)) {
        const QSignalBlocker quiet(k);
        k->setChecked(state != 0);
    }
}

void TForm1::mfoShown(int item) {
    if (CB_MFO()->currentIndex() == item) return;
    CB_MFO()->setCurrentIndex(item);
    clearStatusFields();
    B_Refresh()->setEnabled(item == kMfoSpiOut);
    showLockTimeRow(item == kMfoLdOut);
    showModeSummary();
}

void TForm1::CB_fRFChange() {
    session_->chooseAbcPreset(CB_fRF()->currentIndex());
}

void TForm1::abcPinsShown(const std::array<int, 3>& pins) {
    abcPage_->showPins(pins[0], pins[1], pins[2]);
}

void TForm1::PageControl1Change() {
    setPanelText(0, PageControl1()->caption(PageControl1()->currentIndex()));
    showModeSummary();
    reverseSync();
}

void TForm1::B_WriteRegClick() {
    session_->writeCycle();
}

// ---- status panel

void TForm1::clearStatusFields() {
    status_->clear();
}

void TForm1::B_RefreshClick() {
    B_Refresh()->setEnabled(false);
    clearStatusFields();
    if (const auto d = session_->refreshStatus()) status_->showStatus(*d);
    B_Refresh()->setEnabled(true);
}

// ---- register bit view

void TForm1::LClick(BitLabel* label) {
    session_->toggleBit(label->reg(), label->bit());
    // The row shows the new bit at once, not at the next pointer movement.
    redraw(session_->regs());
    reverseSync();
}

void TForm1::LMouseMove(BitLabel* label) {
    setPanelText(1, qs(bitName(label->reg(), label->bit())));
    afterChange();
}

void TForm1::TabReg2Enter() {
    afterChange();
}

void TForm1::TabReg2MouseMove() {
    setPanelText(1, QStringLiteral("click to change"));
}

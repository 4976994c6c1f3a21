// SPDX-License-Identifier: MIT
#pragma once
#include <QLineEdit>
#include <QMainWindow>
#include <QVector>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "AbcPage.h"
#include "CommandLine.h"
#include "ControlPages.h"
#include "FrequencyPage.h"
#include "Groups.h"
#include "Layout.h"
#include "ProgramLook.h"
#include "RegisterPage.h"
#include "StatusBarPanel.h"
#include "chip/FieldMap.h"
#include "session/Session.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QPushButton;
class QTimer;
class QWindow;
class BitLabel;
class FastLabel;
class PageControl;
class RadioGroup;
class StatusBarPanel;
class UpDown;
class TForm2;
class ToolsMenu;
class RemoteControlWindow;
class VirtualBoardMenu;

using zvk::kApplicationTitle;

// The system bell, replaceable so that tests can count the beeps.
class Beeper {
  public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;
};

// How the main window is set up: where its settings live, which board it talks to and
// what it may touch, so that tests and benchmarks never use the real settings file.
struct MainOptions {
    std::string settingsPath;
    std::string boardName = "hardware";  // a name of kBoardKinds
    std::string device;                  // the device option, checked: one adapter
    bool labMode = false;                // the first command-line argument was "bench"
    Beeper* beeper = nullptr;            // the system bell when null
    zvk::Clock* clock = nullptr;         // the steady microsecond clock when null
    bool realtime = true;                // write cycles at real-time scheduling
    QString fontFamily;                  // another family at the program font's size
};

// The main window: it builds its pages and areas, wires their controls to the program
// core and shows what the core reports. The program state lives in the core.
class TForm1 : public QMainWindow, private zvk::SessionObserver {
    Q_OBJECT
  public:
    explicit TForm1(const MainOptions& options, QWidget* parent = nullptr);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // Shows the window and makes it the active one, so that the first activation happens
    // also where no window manager hands out the focus.
    void showAndActivate();

    // ---- what the tests look at besides the controls (found by their object names): the
    // core, and the window's own state
    zvk::Session& session() { return *session_; }
    QString panelText(int panel) const;
    bool programmaticUpdate() const { return programmatic_; }
    // The name the configuration file dialogs propose; empty until one was confirmed.
    const QString& configFileName() const { return configFileName_; }
    // "Tools > Remote Control…": the SCPI server on this window's session.
    RemoteControlWindow* remoteControl() const { return remote_; }

  signals:
    // The main window was closed: the program ends.
    void closed();
    // FormActivate has run.
    void activated();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // ---- short names for what the handlers use of the core
    zvk::FrequencyState& frequencies() { return *fs_; }
    bool usbInUse() const;
    void setPanelText(int panel, const QString& text);

    // ---- handlers (named after their controls)
    void FormCreate();
    void FormActivate();
    void B_WriteRegClick();
    void B_RefreshClick();
    void B_CalcClick();
    void B_CalcFSClick();
    void B_CalcNAClick();
    void RGFreqClick();
    void RG_SPIClick();
    void RG_IF1Click();
    void CB_MFOChange();
    void CB_fRFChange();
    void PageControl1Change();
    void TabReg2Enter();
    void E_fXTALChange();
    void E_fRFIChange();
    void E_RIFFChange();
    void E_IFFRESChange();
    void E_RKeyUp();
    void E_AKeyUp();
    void E_NKeyUp();
    void UpD_RMouseUp();
    void UpD_AMouseUp();
    void UpD_NMouseUp();
    void LClick(BitLabel* label);
    void LMouseMove(BitLabel* label);
    void TabReg2MouseMove();

    // ---- the routines of the register model and the frequency plan, on this window
    void afterChange();
    void reverseSync();
    // The planning step; false (and the reason in the mode panel) when it refused.
    bool planDividers(float fRF);
    void recomputeFrequencies();
    void readFrequencyState();
    void showTuningInfo();
    // The tuning info's texts and colours alone, no edit written.
    void showTuningTexts(const zvk::TuningInfo& t);
    // The tuning info's tooltips and the filter frequency's follow the crystal correction.
    void showCorrection();
    void buildBitNames();
    QString modeSummary() const;
    void showModeSummary();
    // Copies what the interface detection decided onto the menus, T_USB and the panel.
    void applyInterfaceView();
    // The settings as they would be written now.
    zvk::Settings currentSettings() const;

    // ---- menu commands and timers (MainMenus.cpp)
    void T_CheckTimer();
    void T_USBTimer();
    void LoadConfig1Click();
    void SaveConfig1Click();
    void Exit1Click();
    void N0x3781Click();
    void N0x3BC1Click();
    void userdefined1Click();
    void default1Click();
    void extVref1Click();
    void SetVpwm1Click();
    void About1Click();

    // The info window, made hidden right after the first activation with the transport
    // found at start; null before that.
    std::unique_ptr<TForm2> Form2;
    // "Virtual Board", on a virtual board only; null otherwise.
    VirtualBoardMenu* VirtualBoard1 = nullptr;
    ToolsMenu* Tools1 = nullptr;

    // ---- the controls the handlers use, named as the user's documentation names them;
    // each page owns its own
    RadioGroup* RGFreq() const { return bands_; }
    PageControl* PageControl1() const { return pageControl_; }
    QWidget* TabMode() const { return modePage_; }
    QWidget* TabGain() const { return gainPage_; }
    QWidget* TabPLL() const { return pllPage_; }
    QWidget* TabFIFF() const { return freqPage_; }
    QWidget* TabABC() const { return abcPage_; }
    QWidget* TabReg2() const { return regPage_; }
    QLabel* Image1() const { return side_->Image1; }
    QPushButton* B_WriteReg() const { return side_->B_WriteReg; }
    QCheckBox* CB_SendAlways() const { return side_->CB_SendAlways; }
    RadioGroup* RG_SPI() const { return side_->RG_SPI; }
    QPushButton* B_Refresh() const { return status_->B_Refresh; }
    QComboBox* CB_OPMODE() const { return modePage_->CB_OPMODE; }
    QComboBox* CB_MFO() const { return modePage_->CB_MFO; }
    QComboBox* CB_LNAGAIN() const { return gainPage_->CB_LNAGAIN; }
    RadioGroup* RG_LDMODE() const { return pllPage_->RG_LDMODE; }
    Edit* E_RIFF() const { return freqPage_->E_RIFF; }
    Edit* E_IFFRES() const { return freqPage_->E_IFFRES; }
    Edit* E_IF2CH() const { return freqPage_->E_IF2CH; }
    Edit* E_fXTAL() const { return freqPage_->E_fXTAL; }
    Edit* E_R() const { return freqPage_->E_R; }
    Edit* E_fRFI() const { return freqPage_->E_fRFI; }
    Edit* E_A() const { return freqPage_->E_A; }
    Edit* E_N() const { return freqPage_->E_N; }
    Edit* E_Ntot() const { return freqPage_->E_Ntot; }
    UpDown* UpD_RIFF() const { return freqPage_->UpD_RIFF; }
    UpDown* UpD_IFFAdj() const { return freqPage_->UpD_IFFAdj; }
    UpDown* UpD_R() const { return freqPage_->UpD_R; }
    UpDown* UpD_A() const { return freqPage_->UpD_A; }
    UpDown* UpD_N() const { return freqPage_->UpD_N; }
    QPushButton* B_CalcFS() const { return freqPage_->B_CalcFS; }
    QPushButton* B_CalcNA() const { return freqPage_->B_CalcNA; }
    QPushButton* B_Calc() const { return freqPage_->B_Calc; }
    RadioGroup* RG_IF1() const { return freqPage_->RG_IF1; }
    QComboBox* CB_fRF() const { return abcPage_->CB_fRF; }
    const std::array<std::array<BitLabel*, 12>, 8>& bitLabels() const {
        return regPage_->bitLabels;
    }

    // ---- menus and timers
    QMenuBar* MainMenu1;
    QMenu *File1, *LPT1, *Settings1;
    QAction *LoadConfig1, *SaveConfig1, *Exit1;
    QAction *N0x3781, *N0x3BC1, *userdefined1;
    QActionGroup* LptGroup;
    QAction *default1, *extVref1, *SetVpwm1;
    QAction* About1;
    QTimer *T_Check, *T_USB;

    // ChipObserver
    void redraw(const zvk::RegisterImage& regs) override;
    void showLockTimeRow(bool visible) override;
    void showLockTime(const std::string& text, bool red) override;
    void showLockFlag(const std::string& text) override;
    // SessionObserver
    void dividersRead(const zvk::FrequencyState& s) override;
    void planRefused(const std::string& reason) override;
    void planShown(const zvk::FrequencyState& s) override;
    void beep() override;
    bool driverNotOpen(const std::string& reasons) override;
    void interfaceChanged(const zvk::InterfaceView& view) override;
    void portBusy(const std::string& why) override;
    void writePending(bool pending) override;
    void realtimeRefused(const std::string& why) override;
    void adapterNotAccessible(const std::string& text) override;
    void adapterLost(const std::string& text) override;
    void settingsUnreadable(const std::string& message) override;
    // A line more in the interface panel's tooltip.
    void addInterfaceNote(const QString& note);
    // The tooltip's line that starts with key becomes line (none when line is empty).
    void setInterfaceNoteLine(const QString& key, const QString& line);
    void inputsShown() override;
    void modeSwitched(bool spi) override;
    void abcPinsShown(const std::array<int, 3>& pins) override;
    void defaultsApplied() override;
    void fieldShown(const zvk::Field& f, int state) override;
    void loadingConfiguration(const std::string& path) override;
    void savingConfiguration(const std::string& path) override;
    // A control of the field map shows a state without running its handler.
    void showControlState(QWidget* control, int state);
    // CB_MFO shows an item someone else chose: "Refresh", the lock-time row and the mode
    // panel follow, as after the user's choice.
    void mfoShown(int item);

    // ---- remote control (MainRemote.cpp)
    void buildRemoteControl();
    // After a client's line: every control shows what the session holds, without running
    // a handler (the core ran the steps already).
    void showSessionState();

    // The menus, the timers and the window's areas and pages, in the order the keyboard
    // focus moves through them.
    void buildMenus();
    void buildAreas();
    void connectHandlers();
    // The menu commands and the timers to their handlers, and the "Virtual Board" menu.
    void connectMenus();

    // A control of the field map changed by the user (combo box) or by anyone (radio
    // group, check box).
    void fieldChanged(const zvk::Field& f, int state);
    // Sets an edit from the program: the text is replaced with the caret kept, and the
    // edit's change handler runs when the text really changed.
    void setEditText(QLineEdit* edit, const QString& text);
    // The same without the handler; false when the text stays (the same, or a number the
    // user is typing that already stands for it).
    bool showEditText(QLineEdit* edit, const QString& text);
    // The same under the programmatic-update flag, which is lowered again afterwards.
    void programWrite(QLineEdit* edit, const QString& text);
    // Selects a radio item under the programmatic-update flag, lowered again afterwards.
    void selectByProgram(RadioGroup* group, int index);
    // Replaces an edit's text without running anything.
    static void replaceText(QLineEdit* edit, const QString& text);
    // A divider or filter edit and its field; the core holds its text rule.
    struct NumberEdit {
        QLineEdit* edit;
        const zvk::Field* field;
    };
    const NumberEdit* numberEdit(const QLineEdit* edit) const;
    // The typed-input handler of all five: the core takes the text.
    void numberEdited(const NumberEdit& n);
    // The value an edit's text stands for under its own parse rule (nullopt for the
    // edits that are not number edits).
    std::optional<int> numberEditValue(QLineEdit* edit, const QString& text) const;
    // Leaving a divider or filter edit (or Enter) shows the value it stands for.
    void numberEditFinished(QLineEdit* edit);
    // A divider spinner released: the edit's text without fallback.
    void spinnerReleased(QLineEdit* edit, const zvk::Field& f, const zvk::EditRule& rule);
    void showError(const std::string& text);
    void focusWindowChanged(QWindow* window);
    // The stored window place, or the primary screen's corner when the title bar would
    // lie off every screen.
    QPoint reachablePlace(QPoint stored) const;
    void clearStatusFields();

    MainOptions options_;
    std::unique_ptr<Beeper> ownBeeper_;
    Beeper* beeper_;
    std::unique_ptr<zvk::Reporter> reporter_;
    // The program core, and a short name for the plan state the handlers read.
    std::unique_ptr<zvk::Session> session_;
    zvk::FrequencyState* fs_ = nullptr;

    bool programmatic_ = false;
    bool finishingEdit_ = false;
    QString titleText_;
    QString refusal_;  // the refused plan's reason while the mode panel shows it
    // The window's areas and pages.
    TuningInfoGroup* tuning_ = nullptr;
    PageControl* pageControl_ = nullptr;
    ModePage* modePage_ = nullptr;
    GainPage* gainPage_ = nullptr;
    PllPage* pllPage_ = nullptr;
    FrequencyPage* freqPage_ = nullptr;
    AbcPage* abcPage_ = nullptr;
    RegisterPage* regPage_ = nullptr;
    SideControls* side_ = nullptr;
    StatusReadbackGroup* status_ = nullptr;
    BandPresetGroup* bands_ = nullptr;
    MainStatusBar* statusBar_ = nullptr;
    QVector<QWidget*> fieldControls_;  // per kFieldMap entry, null for the status fields
    std::array<NumberEdit, 5> numberEdits_{};
    bool activatedOnce_ = false;
    bool usbAtStart_ = false;
    QString configFileName_;
    bool exiting_ = false;
    const void* lastFocusWindow_ = nullptr;
    bool choosingMfo_ = false;  // CB_MFOChange runs: it shows the choice's results itself
    RemoteControlWindow* remote_ = nullptr;
    bool remoteLine_ = false;  // a client's line runs: the planning step does not beep
};

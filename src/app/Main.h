#pragma once
#include <QLineEdit>
#include <QMainWindow>
#include <QVector>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "ProgramLook.h"
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
class StatusPanel;
class UpDown;
class TForm2;
class VirtualBoardMenu;

using zvk::kApplicationTitle;

// The window's outer frame, fixed; the settings file keeps these as its size.
inline constexpr int kFrameWidth = 490;
inline constexpr int kFrameHeight = 580;

// What the command line asks for: lab mode is the original first argument "bench",
// exactly; --virtual-board (the virtual board's parallel port) or --virtual-board=usb (its
// adapter as well) may stand anywhere. Anything else is left to the toolkit.
struct CommandLine {
    bool labMode = false;
    std::string rigName = "hardware";
};
CommandLine parseCommandLine(int argc, const char* const* argv);

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
    std::string rigName = "hardware";  // a name of kRigKinds
    bool labMode = false;              // the first command-line argument was "bench"
    Beeper* beeper = nullptr;          // the system bell when null
    zvk::Clock* clock = nullptr;       // the steady microsecond clock when null
    bool realtime = true;              // write cycles at real-time scheduling
};

// An edit field that reports the release of a key, leaving out the releases that key
// auto-repeat produces.
class Edit : public QLineEdit {
    Q_OBJECT
  public:
    explicit Edit(const QString& text, QWidget* parent = nullptr) : QLineEdit(text, parent) {}
  signals:
    void keyReleased();

  protected:
    void keyReleaseEvent(QKeyEvent* event) override;
};

// The main window: every control of the chip and all program state.
class TForm1 : public QMainWindow, private zvk::SessionObserver {
    Q_OBJECT
  public:
    explicit TForm1(const MainOptions& options, QWidget* parent = nullptr);
    ~TForm1() override;

    // Shows the window and makes it the active one, so that the first activation happens
    // also where no window manager hands out the focus.
    void showAndActivate();

    // ---- state the rest of the program and the tests look at
    zvk::Session& session() { return *session_; }
    zvk::ChipController& chip() { return *chip_; }
    zvk::Rig& rig() { return *rig_; }
    zvk::Lpt& lpt() { return *lpt_; }
    zvk::TZVK_SPIUSB& adapter() { return *adapter_; }
    zvk::InterfaceDetection& detection() { return *detection_; }
    zvk::FrequencyState& frequencies() { return *fs_; }
    bool usbInUse() const;
    bool programmaticUpdate() const { return programmatic_; }
    QString panelText(int panel) const;
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
    void defaultSettings(bool spiMode);
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
    // The name the configuration file dialogs propose; empty until one was confirmed.
    const QString& configFileName() const { return configFileName_; }

    // The info window, made hidden right after the first activation with the transport
    // found at start; null before that.
    std::unique_ptr<TForm2> Form2;
    // "Virtual Board", on a virtual board only; null otherwise.
    VirtualBoardMenu* VirtualBoard1 = nullptr;

    // ---- controls, named as the user's documentation names them
    QMenuBar* MainMenu1;
    QMenu *File1, *LPT1, *Settings1;
    QAction *LoadConfig1, *SaveConfig1, *Exit1;
    QAction *N0x3781, *N0x3BC1, *userdefined1;
    QActionGroup* LptGroup;
    QAction *default1, *extVref1, *SetVpwm1;
    QAction* About1;
    QTimer *T_Check, *T_USB;

    QGroupBox* GroupBox10;
    QLineEdit *E_fRFinfo, *E_fCHinfo, *E_fIF1info, *E_fIF2info, *E_fLO1info, *E_fLO2info,
        *E_fPFDinfo;
    PageControl* PageControl1;
    QWidget *TabMode, *TabGain, *TabPLL, *TabFIFF, *TabABC, *TabReg2;
    QLabel* Image1;
    QGroupBox* GroupBox13;
    QLineEdit *E_IFFVAL, *E_IFFSTATE, *E_LD, *E_RSSI, *E_LDT;
    QLabel* L_LDT;
    QPushButton* B_Refresh;
    QPushButton* B_WriteReg;
    QCheckBox* CB_SendAlways;
    RadioGroup* RGFreq;
    RadioGroup* RG_SPI;
    QStatusBar* StatusBar1;

    // Mode Control
    QGroupBox* GroupBox4;
    QComboBox *CB_OPMODE, *CB_MFO;
    RadioGroup *RG_SHOWLD, *RG_SLCSEL, *RG_DTAPOL, *RG_MODSEL;
    // Gain Control
    QGroupBox *GroupBox3, *GroupBox1;
    QComboBox *CB_LNAGAIN, *CB_IFFGAIN, *CB_AGCDEL;
    RadioGroup *RG_MIX1GAIN, *RG_MIX2GAIN, *RG_DEMGAIN, *RG_RSSIGAIN, *RG_AGCMODE;
    QCheckBox* CB_AGCEN;
    // PLL Control
    QGroupBox *GroupBox5, *GroupBox6;
    QComboBox *CB_CPCUR, *CB_LDTIME, *CB_ROCUR;
    RadioGroup *RG_PRESCUR, *RG_PFDPOL, *RG_LDMODE, *RG_LDERR, *RG_VCORANGE, *RG_VCOBUF, *RG_VCOCUR;
    // Frequency and IFF Control
    QGroupBox *GroupBox2, *GroupBox8, *GroupBox20;
    QCheckBox *CB_IFFTUNE, *CB_IFFHLT;
    Edit *E_RIFF, *E_IFFRES, *E_IF2CH, *E_fXTAL, *E_R, *E_fRFI, *E_A, *E_N, *E_Ntot;
    UpDown *UpD_RIFF, *UpD_IFFAdj, *UpD_R, *UpD_A, *UpD_N;
    QPushButton *B_CalcFS, *B_CalcNA, *B_Calc;
    RadioGroup *RG_IF1, *RG_SSBSEL, *RG_LO2Div;
    // ABC Mode
    QGroupBox* GroupBox9;
    QComboBox* CB_fRF;
    QLineEdit *E_MA, *E_MB, *E_MC;
    // Register Set
    std::array<QGroupBox*, 8> regRows{};
    std::array<std::array<BitLabel*, 12>, 8> bitLabels{};
    std::array<FastLabel*, 8> L_R{};

  signals:
    // The main window was closed: the program ends.
    void closed();
    // FormActivate has run.
    void activated();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // ChipObserver
    void redraw(const zvk::RegisterImage& regs) override;
    void showLockTimeRow(bool visible) override;
    void showLockTime(const std::string& text, bool red) override;
    void showLockFlag(const std::string& text) override;
    int mfoSelection(const zvk::RegisterImage& regs) override;
    // SessionObserver
    std::optional<zvk::PlanEdits> planEdits() override;
    void dividersRead(const zvk::FrequencyState& s) override;
    void planRefused(const std::string& reason) override;
    void planShown(const zvk::FrequencyState& s) override;
    void beep() override;
    bool driverNotOpen(const std::string& reasons) override;
    void interfaceChanged(const zvk::InterfaceView& view) override;
    bool selectMode(bool spi) override;
    bool showWantedFrequency(const std::string& text) override;
    bool selectPreset(int index) override;
    bool showCrystal(const std::string& text) override;
    bool selectInjection(int selection) override;
    void loadPlanned() override;

    // layout (MainLayout.cpp)
    void buildMenus();
    void buildFixedAreas();
    void buildModePage();
    void buildGainPage();
    void buildPllPage();
    void buildFrequencyPage();
    void buildAbcPage();
    void buildRegisterPage();
    void buildStatusBar();
    void connectHandlers();
    // The menu commands and the timers to their handlers, and the "Virtual Board" menu.
    void connectMenus();

    // A control of the field map changed by the user (combo box) or by anyone (radio
    // group, check box).
    void fieldChanged(const zvk::Field& f, int state);
    // Sets an edit from the program: the text is replaced with the caret kept, and the
    // edit's change handler runs when the text really changed.
    void setEditText(QLineEdit* edit, const QString& text);
    // The same under the programmatic-update flag, which is lowered again afterwards.
    void programWrite(QLineEdit* edit, const QString& text);
    // Selects a radio item under the programmatic-update flag, lowered again afterwards.
    void selectByProgram(RadioGroup* group, int index);
    // Replaces an edit's text without running anything.
    static void replaceText(QLineEdit* edit, const QString& text);
    // A divider or filter edit: its field and the parse rule with its fallback and limits.
    struct NumberEdit {
        QLineEdit* edit;
        const zvk::Field* field;
        int (*parse)(std::string_view);
    };
    const NumberEdit* numberEdit(const QLineEdit* edit) const;
    // The typed-input handler of all five: parse, field, then the update.
    void numberEdited(const NumberEdit& n);
    // The value an edit's text stands for under its own parse rule (nullopt for the
    // edits that are not number edits).
    std::optional<int> numberEditValue(QLineEdit* edit, const QString& text) const;
    // Leaving a divider or filter edit (or Enter) shows the value it stands for.
    void numberEditFinished(QLineEdit* edit);
    // The end of the frequency handlers: the recompute step, or only the after-change
    // routine while the program itself made the change; the flag is cleared.
    void recomputeOrAfterChange();
    // Writes a divider value that came from an edit without fallback.
    void writeDivider(const char* field, const zvk::EditRule& rule, long long value);
    std::optional<long long> strictInteger(QLineEdit* edit);
    void conversionError(const QString& text);
    void setRed(QLineEdit* edit, bool red, bool buttonFace);
    void focusWindowChanged(QWindow* window);
    void clearStatusFields();

    MainOptions options_;
    std::unique_ptr<Beeper> ownBeeper_;
    Beeper* beeper_;
    std::unique_ptr<zvk::Reporter> reporter_;
    // The program core, and short names for what the handlers use of it.
    std::unique_ptr<zvk::Session> session_;
    zvk::Clock* clock_ = nullptr;
    zvk::Rig* rig_ = nullptr;
    zvk::Lpt* lpt_ = nullptr;
    zvk::TZVK_SPIUSB* adapter_ = nullptr;
    zvk::InterfaceDetection* detection_ = nullptr;
    zvk::ChipController* chip_ = nullptr;
    zvk::FrequencyState* fs_ = nullptr;

    bool programmatic_ = false;
    bool finishingEdit_ = false;
    QString titleText_;
    std::array<StatusPanel*, 3> panels_{};
    QVector<QWidget*> fieldControls_;  // per kFieldMap entry, null for the status fields
    std::array<NumberEdit, 5> numberEdits_{};
    bool activatedOnce_ = false;
    bool usbAtStart_ = false;
    QString configFileName_;
    bool exiting_ = false;
    const void* lastFocusWindow_ = nullptr;
    std::array<uint16_t, 8> shownRegs_{};
    bool shownValid_ = false;
};

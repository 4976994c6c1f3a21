// SPDX-License-Identifier: MIT
#include "Main.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <limits>
#include <stdexcept>

#include "BitLabel.h"
#include "PageControl.h"
#include "RadioGroup.h"
#include "RemoteControlWindow.h"
#include "StatusBarPanel.h"
#include "TextFit.h"
#include "Unit2.h"
#include "UpDown.h"
#include "board/Board.h"

using namespace zvk;

namespace {

class SystemBeeper : public Beeper {
  public:
    void beep() override { QApplication::beep(); }
};

// The adapter's failure reports as the program's one-line message boxes.
class MessageBoxReporter : public Reporter {
  public:
    explicit MessageBoxReporter(QWidget* parent) : parent_(parent) {}
    void report(const std::string& text, const std::string& caption, Icon icon) override {
        const QMessageBox::Icon i = icon == Icon::Error         ? QMessageBox::Critical
                                    : icon == Icon::Information ? QMessageBox::Information
                                                                : QMessageBox::NoIcon;
        QMessageBox box(i, QString::fromStdString(caption), QString::fromStdString(text),
                        QMessageBox::Ok, parent_);
        box.exec();
    }

  private:
    QWidget* parent_;
};

}  // namespace

QPoint TForm1::reachablePlace(QPoint stored) const {
    constexpr int kTitleBarHeight = 24;
    // A place whose title bar would end beyond the largest coordinate is on no screen (and
    // its rectangle would overflow).
    const bool representable = stored.x() <= std::numeric_limits<int>::max() - kFrameWidth &&
                               stored.y() <= std::numeric_limits<int>::max() - kTitleBarHeight;
    if (representable) {
        const QRect titleBar(stored, QSize(kFrameWidth, kTitleBarHeight));
        for (const QScreen* screen : QGuiApplication::screens()) {
            const QRect seen = screen->availableGeometry().intersected(titleBar);
            if (seen.width() >= 40 && seen.height() >= 8) return stored;
        }
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary != nullptr ? primary->availableGeometry().topLeft() : QPoint(0, 0);
}

void TForm1::buildAreas() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(central);
    setFixedSize(kClientWidth, kClientHeight);

    tuning_ = new TuningInfoGroup(central);
    pageControl_ = new PageControl(central);
    pageControl_->setObjectName(QStringLiteral("PageControl1"));
    pageControl_->setGeometry(0, 72, 321, 401);
    modePage_ = new ModePage(pageControl_);
    gainPage_ = new GainPage(pageControl_);
    pllPage_ = new PllPage(pageControl_);
    freqPage_ = new FrequencyPage(pageControl_);
    abcPage_ = new AbcPage(pageControl_);
    regPage_ = new RegisterPage(pageControl_);
    pageControl_->setCurrentIndex(0);
    side_ = new SideControls(central);
    side_->addLogo();
    status_ = new StatusReadbackGroup(central);
    side_->addSendControls();
    bands_ = new BandPresetGroup(central);
    side_->addModeSelection();

    modePage_->build();
    gainPage_->build();
    pllPage_->build();
    freqPage_->build();
    abcPage_->build();
    regPage_->build();
    textfit::fitAll(central);

    statusBar_ = new MainStatusBar(this);
    setStatusBar(statusBar_);
}

TForm1::TForm1(const MainOptions& options, QWidget* parent)
    : QMainWindow(parent), options_(options) {
    setObjectName(QStringLiteral("TForm1"));
    if (options_.beeper != nullptr) {
        beeper_ = options_.beeper;
    } else {
        ownBeeper_ = std::make_unique<SystemBeeper>();
        beeper_ = ownBeeper_.get();
    }
    reporter_ = std::make_unique<MessageBoxReporter>(this);

    QFont font = programFont();
    if (!options_.fontFamily.isEmpty()) font.setFamily(options_.fontFamily);
    setFont(font);

    // 1. every control from the layout
    buildMenus();
    buildAreas();

    // 2. the board and the adapter object, which looks for the adapter and opens it;
    // 3. the USB-in-use flag (T_USB follows the view at start-up step 10)
    SessionOptions core;
    core.boardName = options_.boardName;
    core.settingsPath = options_.settingsPath;
    core.clock = options_.clock;
    core.reporter = reporter_.get();
    core.pump = [] { QCoreApplication::processEvents(); };
    // A settle or dwell time sleeps in the event loop: the window keeps answering.
    core.idleWait = [](uint32_t ms) {
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(ms), &loop, &QEventLoop::quit);
        loop.exec();
    };
    core.realtime = options_.realtime;
    if (!options_.device.empty()) {
        std::string error;
        if (const auto chosen = zvk::parseDeviceOption(options_.device, error))
            core.adapter = *chosen;
    }
    session_ = std::make_unique<Session>(core);
    fs_ = &session_->frequencies();
    session_->setObserver(this);

    connectHandlers();
    connectMenus();
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &TForm1::focusWindowChanged);
    FormCreate();
    usbAtStart_ = usbInUse();
}

TForm1::~TForm1() {
    // The server stops before the session it serves goes: no client's line may reach it.
    delete remote_;
    remote_ = nullptr;
    // The handlers must not run while the members they use are torn down.
    disconnect(qApp, nullptr, this, nullptr);
    // The child widgets die after the members: a focus-out on the way must not reach
    // a handler.
    for (QObject* child : findChildren<QObject*>()) disconnect(child, nullptr, this, nullptr);
    if (session_) session_->setObserver(nullptr);
}

bool TForm1::usbInUse() const {
    return session_->usbInUse();
}

void TForm1::showAndActivate() {
    show();
    raise();
    activateWindow();
}

QString TForm1::panelText(int panel) const {
    return statusBar_->text(panel);
}

void TForm1::setPanelText(int panel, const QString& text) {
    statusBar_->setText(panel, text);
    if (panel == 1 && !refusal_.isEmpty() && text != refusal_) {
        refusal_.clear();
        tuning_->setToolTip(QString());
    }
}

void TForm1::FormCreate() {
    // 1, 2 (lab mode is the options')
    titleText_ = QString::fromStdString(titleText());
    // 3: Qt's own number conversions with the point; ours never look at the locale.
    QLocale::setDefault(QLocale::c());
    // 4: the core took the counter period from its clock
    // 5
    RG_SPI()->setVisible(options_.labMode);
    // 6: all registers still zero; this records the MFO field that step 11 consults
    readFrequencyState();

    // 7 to 10: the settings, the port driver and the interface state
    const Session::StartUp st = session_->startUp();
    const bool settingsExisted = st.settingsExisted;
    // The size is fixed, whatever the file says; a place that would leave the title bar
    // off every screen is given up for the primary screen's corner.
    move(reachablePlace(QPoint(st.settings.left, st.settings.top)));
    // 11
    if (fs_->mfo == kMfoSpiOut) B_Refresh()->setEnabled(true);
    // 12: the handler does not run for this
    if (session_->presetIndex() >= 0 && session_->presetIndex() < CB_fRF()->count())
        CB_fRF()->setCurrentIndex(session_->presetIndex());
    // A first start has no stored mode. The default settings below put the chip into SPI
    // mode anyway; passing through ABC mode first would leave "Refresh" disabled for good.
    if (!settingsExisted) session_->setSpiMode(true);
    // 13: exactly one run of the mode switch, whether the selection changes or not
    session_->switchMode(session_->spiMode());
    // 14
    session_->writeWantedEdit(formatFrequency(fs_->fRF));
    // 15, 16
    session_->writeCrystalEdit(formatFrequency(fs_->fXTAL), true);
    // 17
    session_->selectInjection(rgIf1Selection(fs_->INJLO1));
    // 18
    setWindowTitle(titleText_);
    // 19
    session_->setLineStepDelay(0.01);
    // 20
    buildBitNames();
    // 21
    showModeSummary();
    // 22
    if (!settingsExisted) session_->applyDefaults(true);
    // 23: the chip revision this program is built for
    CB_LNAGAIN()->clear();
    CB_LNAGAIN()->addItems({QStringLiteral("default -20dB"), QStringLiteral("default - 6dB"),
                            QStringLiteral("default - 2dB"), QStringLiteral("default")});
    CB_LNAGAIN()->setCurrentIndex(1);
    RG_LDMODE()->hide();
}

void TForm1::focusWindowChanged(QWindow* window) {
    // Null: the program as a whole lost the focus, to another application or to nothing.
    if (window == nullptr) return;
    // A combo box's list or a menu is part of the window it drops from.
    if (window->type() == Qt::Popup) return;
    const void* previous = lastFocusWindow_;
    lastFocusWindow_ = window;
    if (window != windowHandle()) return;
    // Coming back from another application: the main window was our last active window.
    if (activatedOnce_ && previous == window) return;
    activatedOnce_ = true;
    FormActivate();
}

void TForm1::FormActivate() {
    afterChange();
    recomputeFrequencies();
    const bool planned = session_->planWanted();
    programmatic_ = false;
    // The recompute ran before the plan: the tuning info follows the planned image now
    // (f IF1 would otherwise show the value from before the plan).
    if (planned) {
        session_->recomputeQuietly();
        showTuningInfo();
    }
    // A refused plan keeps its reason in view.
    if (planned) showModeSummary();
    // Decoding the pictures costs as much as building half the window: the logo and the
    // hidden info window come a moment after the window is up.
    if (Image1()->pixmap().isNull())
        QTimer::singleShot(0, this, [this] { Image1()->setPixmap(logoPicture()); });
    if (!Form2)
        QTimer::singleShot(0, this, [this] {
            if (!Form2) Form2 = std::make_unique<TForm2>(usbAtStart_);
        });
    emit activated();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // "Exit" leaves without the close handler's work.
    if (exiting_) {
        event->accept();
        return;
    }
    if (const auto error = session_->saveSettings(currentSettings())) {
        const auto answer =
            QMessageBox::warning(this, QString::fromLatin1(kApplicationTitle),
                                 QString::fromStdString(*error) +
                                     QStringLiteral("\n\nClose without saving the settings?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    event->accept();
    // A client's commands end with the window, not later with the process.
    if (remote_) remote_->stop();
    emit closed();
}

Settings TForm1::currentSettings() const {
    // The frame cannot be resized; what the file keeps is the frame's size.
    return session_->currentSettings(y(), x(), kFrameWidth, kFrameHeight);
}

void TForm1::applyInterfaceView() {
    interfaceChanged(session_->interfaceView());
}

void TForm1::interfaceChanged(const InterfaceView& v) {
    LPT1->menuAction()->setEnabled(v.lptMenuEnabled);
    if (v.tUsbEnabled && !T_USB->isActive()) T_USB->start();
    if (!v.tUsbEnabled) T_USB->stop();
    extVref1->setEnabled(v.extVrefEnabled);
    extVref1->setChecked(v.extVrefTicked);
    SetVpwm1->setEnabled(v.setVpwmEnabled);
    QAction* ticked = v.lptTicked == 0 ? N0x3781 : v.lptTicked == 1 ? N0x3BC1 : userdefined1;
    ticked->setChecked(true);
    setPanelText(2, QString::fromStdString(v.panel));
    // Which adapter, where there may be two.
    const auto adapter = v.tUsbEnabled ? session_->adapterName() : std::nullopt;
    const QString inUse = QStringLiteral("In use: ZVK_SPIUSB");
    setInterfaceNoteLine(
        inUse,
        adapter ? QStringLiteral("In use: ") + QString::fromStdString(adapter->text()) : QString());
}

void TForm1::portBusy(const std::string& why) {
    // Until the next detection or port choice writes the panel again.
    setPanelText(2, QString::fromStdString(why));
}

void TForm1::setInterfaceNoteLine(const QString& key, const QString& line) {
    // A line of the tooltip while it lasts: the panel's own texts stay as they are.
    StatusBarPanel* panel = statusBar_->panel(2);
    QStringList lines = panel->note().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [&](const QString& l) { return l.startsWith(key); }),
                lines.end());
    if (!line.isEmpty()) lines.append(line);
    const QString note = lines.join(QLatin1Char('\n'));
    if (note != panel->note()) panel->setNote(note);
}

void TForm1::writePending(bool pending) {
    const QString waiting = QStringLiteral("A write cycle waits for the port");
    setInterfaceNoteLine(waiting,
                         pending ? waiting + QStringLiteral(" (another program holds it); it is "
                                                            "sent as soon as the port is free.")
                                 : QString());
}

void TForm1::realtimeRefused(const std::string& why) {
    addInterfaceNote(QString::fromStdString(why));
}

void TForm1::adapterNotAccessible(const std::string& text) {
    addInterfaceNote(QString::fromStdString(text));
}

void TForm1::adapterLost(const std::string& text) {
    addInterfaceNote(QString::fromStdString(text));
}

void TForm1::settingsUnreadable(const std::string& message) {
    // Modal before the logic level goes out: a 3.3 V board must not get the default 5 V
    // behind the user's back.
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle),
                    QString::fromStdString(message) +
                        QStringLiteral("\n\nThe program starts with the default settings when "
                                       "you press OK; the adapter's logic level is not set "
                                       "before. The file is left as it is."),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("settingsUnreadable"));
    box.exec();
}

void TForm1::addInterfaceNote(const QString& note) {
    StatusBarPanel* panel = statusBar_->panel(2);
    const QString before = panel->note();
    panel->setNote(before.isEmpty() ? note : before + QLatin1Char('\n') + note);
}

QString TForm1::modeSummary() const {
    return CB_OPMODE()->currentText() + QStringLiteral("  |  ") +
           CB_MFO()->currentText().mid(7, 99);
}

void TForm1::showModeSummary() {
    setPanelText(1, modeSummary());
}

// ---- ChipObserver

void TForm1::redraw(const RegisterImage& regs) {
    regPage_->showRegisters(regs);
}

void TForm1::showLockTimeRow(bool visible) {
    status_->showLockTimeRow(visible);
}

void TForm1::showLockTime(const std::string& text, bool red) {
    status_->showLockTime(text, red);
}

void TForm1::showLockFlag(const std::string& text) {
    status_->showLockFlag(text);
}

bool TForm1::driverNotOpen(const std::string& reasons) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle),
                    QStringLiteral("Driver not open"), QMessageBox::Ok, this);
    if (!reasons.empty()) box.setDetailedText(QString::fromStdString(reasons));
    box.exec();
    return true;
}

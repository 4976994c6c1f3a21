// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "chip/FieldMap.h"
#include "chip/Registers.h"
#include "transport/SpiLink.h"

namespace zvk {

// What the register routines tell the window. Every method has a do-nothing default so
// that the command-line tool and the tests observe only what they need.
class ChipObserver {
  public:
    virtual ~ChipObserver() = default;
    // Bit view colours and register value labels.
    virtual void redraw(const RegisterImage& /*regs*/) {}
    // The "LD Time [ms]" row (E_LDT and L_LDT).
    virtual void showLockTimeRow(bool /*visible*/) {}
    // The lock-time result: two decimals, red above 10 ms.
    virtual void showLockTime(const std::string& /*text*/, bool /*red*/) {}
    // The lock flag of the status read that follows the measurement ("locked", "no lock").
    virtual void showLockFlag(const std::string& /*text*/) {}
    // The write cycles run at normal priority, and why; told once per run.
    virtual void realtimeRefused(const std::string& /*why*/) {}
    // A write cycle could not reach the board (the port is held by another program) and
    // waits to be sent (true), or has gone out since (false).
    virtual void writePending(bool /*pending*/) {}
};

// One lock-time measurement: from the end of a write cycle that left MFO at "LD out" until
// the lock-detect pin went low, sampled as fast as the transport allows.
struct LockTime {
    double ms = 0;            // as "LD Time [ms]" shows it: 19.99 at the cap
    bool capped = false;      // the pin had not gone low by the cap
    double resolutionMs = 0;  // the time one sample of the pin takes
    uint64_t samples = 0;
    uint64_t startCount = 0;  // the program clock's count when sampling began
};

// The register image and the three routines every other part calls: the write cycle,
// the register read and the after-change routine, over one transport: the parallel port
// or the adapter, whichever the interface detection chose (setLink).
//
// Transfers never interleave: the waits inside a transfer let the window's message loop
// run, and a transfer asked for from there is not started at once. A write cycle or line
// write asked for meanwhile runs when the running transfer ends; several merge into one,
// so the chip always ends with the latest image. A register read asked for meanwhile is
// refused (nullopt) when its caller needs the value now; one asked for with requestRead
// is queued and answered, in the order asked, as soon as the running transfer ends.
//
// A transfer the transport had to skip (another program holds the port) invents nothing:
// a read gives no word, and a write cycle or line write stays pending until sendPending
// gets it out (the detection tick calls it).
class ChipController {
  public:
    explicit ChipController(SpiLink& link);
    // The transport the next transfer goes through; nothing is resent at the switch.
    void setLink(SpiLink& link) { link_ = &link; }
    SpiLink& link() { return *link_; }

    // The register image the write cycle sends.
    const RegisterImage& regs() const { return regs_; }
    void setRegs(const RegisterImage& regs) { regs_ = regs; }
    void setRegister(int index, uint16_t value) { regs_[size_t(index & 7)] = value; }
    void setField(const Field& f, uint32_t value) { setFieldValue(regs_, f, value); }
    // The image itself, for the planning steps that rewrite it in place.
    RegisterImage& editImage() { return regs_; }
    // What the adapter's write cycle read back.
    const RegisterImage& readBack() const { return readBack_; }
    bool spiMode() const { return spiMode_; }
    void setSpiMode(bool on) { spiMode_ = on; }
    int presetIndex() const { return presetIndex_; }
    void setPresetIndex(int index) { presetIndex_ = index; }
    bool sendAlways() const { return sendAlways_; }
    void setSendAlways(bool on) { sendAlways_ = on; }
    int32_t del() const { return del_; }
    void setDel(int32_t del) { del_ = del; }
    // Milliseconds per counter count, for the lock-time measurement.
    void setCounterPeriodMs(double ms) { counterPeriodMs_ = ms; }
    // Whether write cycles switch to real-time scheduling (tests turn it off).
    bool realtime() const { return realtime_; }
    void setRealtime(bool on) { realtime_ = on; }

    void setObserver(ChipObserver* observer) { observer_ = observer ? observer : &none_; }
    // The MFO item a front end shows (CB_MFO's selection, which the register view's bit
    // toggles do not move until the next reverse sync). Without one, the image's MFO field.
    void setMfoSelection(std::optional<int> item) { mfoShown_ = item; }
    int mfoSelection() const { return mfoShown_.value_or(int(fieldValue(regs_, field("MFO")))); }

    void writeCycle();
    // nullopt while another transfer runs, or when the transport skipped the read
    // (lastReadSkipped tells which).
    std::optional<uint16_t> registerRead(int address);
    // The register read now, or, while a transfer runs, after it: answer gets the word
    // either way, outside any transfer (so it may start one of its own); nullopt when the
    // transport skipped the read.
    void requestRead(int address, std::function<void(std::optional<uint16_t>)> answer);
    // Whether the last register read asked for was skipped by the transport.
    bool lastReadSkipped() const { return readSkipped_; }
    // A write cycle or line write the transport skipped waits to be sent.
    bool writePending() const { return unsentWrite_ || unsentModsel_; }
    // Sends what waits, unless a transfer runs; true when nothing waits afterwards.
    bool sendPending();
    // Redraw, the write cycle when "Send always" is on, then the MODSEL line.
    void afterChange();
    void redraw() { observer_->redraw(regs_); }

    bool busy() const { return busy_; }
    // Write cycles actually run (deferred ones included), for tests and the CLI.
    uint64_t writeCycles() const { return writeCycles_; }
    // Runs of the after-change routine, so that an operation can tell whether it ran one.
    uint64_t afterChangeRuns() const { return afterChangeRuns_; }

    // The last write cycle's lock-time measurement, if it made one.
    const std::optional<LockTime>& lastLockTime() const { return lastLockTime_; }
    // Whether write cycles over a transport that cannot time the pin closely (the adapter,
    // one command per sample) measure anyway: the window's do not, the scripts' do.
    void setTimeLockOnEveryLink(bool on) { timeEveryLink_ = on; }

  private:
    void runWriteCycle();
    // lockSample: the read takes the lock-detect pin's samples, not a status word.
    std::optional<uint16_t> runRegisterRead(int address, bool lockSample = false);
    void runModsel();
    void notePending();
    void measureLockTime();
    void drainPending();

    RegisterImage regs_{};
    RegisterImage readBack_{};
    bool spiMode_ = false;
    int presetIndex_ = 0;
    bool sendAlways_ = false;
    int32_t del_ = 50;
    double counterPeriodMs_ = 0.001;
    bool realtime_ = true;
    SpiLink* link_;
    ChipObserver none_;
    ChipObserver* observer_ = &none_;
    bool busy_ = false;
    bool pendingWrite_ = false;
    bool pendingModsel_ = false;
    struct QueuedRead {
        int address;
        std::function<void(std::optional<uint16_t>)> answer;
    };
    // Skipped by the transport, to be sent again.
    bool unsentWrite_ = false;
    bool unsentModsel_ = false;
    bool pendingTold_ = false;  // what the observer heard last
    bool readSkipped_ = false;
    std::deque<QueuedRead> pendingReads_;
    uint64_t writeCycles_ = 0;
    uint64_t afterChangeRuns_ = 0;
    std::optional<LockTime> lastLockTime_;
    bool timeEveryLink_ = false;
    std::optional<int> mfoShown_;
};

// The status panel's decoding of a status word.
struct StatusDecoding {
    std::string IFFVAL, IFFSTATE, LD, RSSI;
};
StatusDecoding decodeStatus(uint16_t word, bool showLd);

// A register read while MFO carries lock detect returns the pin in every bit, low once the
// synthesizer has locked: "locked" or "no lock", as the window shows it after the
// lock-time measurement.
std::string lockSampleFlag(uint16_t word);

}  // namespace zvk

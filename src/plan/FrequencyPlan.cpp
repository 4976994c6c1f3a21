// SPDX-License-Identifier: MIT
#include "plan/FrequencyPlan.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "base/Numbers.h"
#include "chip/FieldMap.h"

namespace zvk {

namespace {

// The fields the synthesizer arithmetic reads and writes, looked up once.
struct PlanFields {
    const Field& N = *findField("N");
    const Field& A = *findField("A");
    const Field& R = *findField("R");
    const Field& RIFF = *findField("RIFF");
    const Field& SSBSEL = *findField("SSBSEL");
    const Field& LO2DIV = *findField("LO2DIV");
    const Field& MFO = *findField("MFO");
};
const PlanFields& fields() {
    static const PlanFields f;
    return f;
}

// N and A into R2 and R3's low bits; everything else of both registers stays.
void writeCounters(RegisterImage& regs, uint32_t n, uint32_t a) {
    setFieldValue(regs, fields().N, n);
    setFieldValue(regs, fields().A, a);
}

// The recompute step's floor for the dividers; the planning step borrows it only where
// the register holds 0, which would otherwise divide by zero.
constexpr int kMinR = 3;
constexpr int kMinRiff = 4;
constexpr int kMinL = 4;

int injectionSign(int injlo1) {
    return injlo1 == 1 ? 1 : -1;
}
int lo2Sign(int ssbsel) {
    return ssbsel == 1 ? 1 : -1;
}

}  // namespace

double ifFilterCentre(double fXTAL, double riff) {
    // The chip's filter reference factor is 200 * 2.052 / 3 = 136.8. The constant is a
    // single-precision 2.052 and the third an extended-precision one, evaluated left to
    // right; the display's last decimal depends on exactly this.
    constexpr long double kThird = 1.0L / 3.0L;
    return double(static_cast<long double>(fXTAL / riff * 200 * static_cast<double>(2.052f)) *
                  kThird);
}

void ReadFrequencyState(FrequencyState& s, const RegisterImage& regs, double fXTAL, double fRF,
                        int16_t injlo1) {
    const PlanFields& f = fields();
    s.N = uint16_t(fieldValue(regs, f.N));
    s.A = uint16_t(fieldValue(regs, f.A));
    s.R = uint16_t(fieldValue(regs, f.R));
    s.RIFF = uint16_t(fieldValue(regs, f.RIFF));
    s.SSBSEL = uint16_t(fieldValue(regs, f.SSBSEL));
    s.L = fieldValue(regs, f.LO2DIV) ? 8 : 4;
    s.INJLO1 = injlo1;
    s.fXTAL = fXTAL;
    s.fRF = fRF;
    s.mfo = int(fieldValue(regs, f.MFO));
}

std::optional<std::string> PlanDividers(FrequencyState& s, RegisterImage& regs, float fRF,
                                        std::optional<double> wanted) {
    const std::string named = formatFrequency(wanted.value_or(fRF));
    const double riff = s.RIFF == 0 ? kMinRiff : s.RIFF;
    const double r = s.R == 0 ? kMinR : s.R;
    const int L = s.L;

    const double fIF2 = ifFilterCentre(s.fXTAL, riff);
    const int s1 = injectionSign(s.INJLO1);
    const int s2 = lo2Sign(s.SSBSEL);
    const double fLO1 = (double(fRF) - s1 * s2 * fIF2) * L / (L - s1);
    if (!std::isfinite(fLO1))
        return "f RF = " + named + " MHz cannot be planned: f LO1 would not be a finite number";
    if (fLO1 <= 0)
        return "f RF = " + named + " MHz cannot be planned: f LO1 would be " +
               formatFrequency(fLO1) + " MHz, not above zero";
    const double fPFD = s.fXTAL / r;
    const double fCH = (L - s1) * fPFD / L;
    const double ratio = fLO1 / fPFD + 0.5;
    // Anything outside a 32-bit counter (a zero or absurd crystal) has no Ntot at all.
    if (!(ratio > -2147483648.0 && ratio < 2147483648.0))
        return "f RF = " + named +
               " MHz cannot be planned: Ntot = f LO1 / f PFD does not fit 32 bits";
    const int32_t Ntot = int32_t(ratio);
    const int32_t N = Ntot / 32;
    const int32_t A = Ntot % 32;

    s.fIF2 = fIF2;
    s.fLO1 = fLO1;
    s.fPFD = fPFD;
    s.fCH = fCH;
    s.Ntot = Ntot;
    s.fRFt = Ntot * fCH + s1 * s2 * fIF2;
    s.N = uint16_t(N);
    s.A = uint16_t(A);

    // N's bits above bit 10 are dropped by the field's width.
    writeCounters(regs, uint32_t(N), uint32_t(A));
    return std::nullopt;
}

void RecomputeFrequencies(FrequencyState& s) {
    s.R = std::max<uint16_t>(s.R, kMinR);
    s.RIFF = std::max<uint16_t>(s.RIFF, kMinRiff);
    s.L = std::max(s.L, kMinL);

    s.fIFF = ifFilterCentre(s.fXTAL, s.RIFF);
    const int s1 = injectionSign(s.INJLO1);
    const int s2 = lo2Sign(s.SSBSEL);
    s.fPFD = s.fXTAL / s.R;
    s.fCH = (s.L - s1) * s.fPFD / s.L;
    s.Ntot = 32 * int32_t(s.N) + int32_t(s.A);
    s.fLO1 = s.Ntot * s.fPFD;
    s.fLO2 = s.fLO1 / s.L;
    s.fRFt = s.Ntot * s.fCH + s1 * s2 * s.fIF2;
    s.fIF1 = s.fLO2 - s2 * s.fIF2;
}

uint32_t unguardedFieldValue(long long value, int width, int spinnerMin, int spinnerMax) {
    const long long mask = (1LL << width) - 1;
    if (value >= 0 && value <= mask) return uint32_t(value);
    return uint32_t(std::clamp<long long>(value, spinnerMin, spinnerMax));
}

TuningInfo ShowTuningInfo(const FrequencyState& s) {
    auto item = [](double shown, bool red) { return TuningItem{formatFrequency(shown), red}; };
    auto outside = [](double v, double lo, double hi) { return v < lo || v >= hi; };
    TuningInfo t;
    t.fRF = item(s.fRFt, outside(s.fRFt, 290, 940));
    const double fIF1 = std::fabs(s.fIF1), fIF2 = std::fabs(s.fIF2), fLO1 = std::fabs(s.fLO1),
                 fLO2 = std::fabs(s.fLO2), fPFD = std::fabs(s.fPFD), fCH = std::fabs(s.fCH),
                 fIFF = std::fabs(s.fIFF);
    t.fCH = item(fCH, fCH >= 15);
    t.fIF1 = item(fIF1, outside(fIF1, 3, 400));
    t.fIF2 = item(fIF2, outside(fIF2, 1.8, 2.2));
    t.fLO1 = item(fLO1, outside(fLO1, 200, 1000));
    t.fLO2 = item(fLO2, outside(fLO2, 25, 250));
    t.fPFD = item(fPFD, fPFD >= 15);
    t.Ntot = TuningItem{std::to_string(s.Ntot), s.Ntot < 1024 || s.Ntot > 65535};
    t.A = std::to_string(s.A);
    t.N = std::to_string(s.N);
    t.R = std::to_string(s.R);
    t.RIFF = std::to_string(s.RIFF);
    t.IF2CH = item(fIFF, outside(fIFF, 1.8, 2.2));
    return t;
}

float rfArgument(double fRF) {
    constexpr double kMax = static_cast<double>(std::numeric_limits<float>::max());
    if (std::isnan(fRF)) return std::numeric_limits<float>::quiet_NaN();
    if (fRF > kMax) return std::numeric_limits<float>::infinity();
    if (fRF < -kMax) return -std::numeric_limits<float>::infinity();
    return float(fRF);
}

const BandPreset kBandPresets[4] = {
    {"315.0 MHz", 315.0, 0, 0, 75},
    {"433.9 MHz", 433.9, 0, 0, 75},
    {"868.3 MHz", 868.3, 0, 1, 125},
    {"915.0 MHz", 915.0, 0, 1, 125},
};

// Index = 4 * C + 2 * A + B: the pins are wired out of binary order.
const AbcPreset kAbcPresets[8] = {
    {"369.5", 369.5, 0, 0, 0}, {"388.3", 388.3, 0, 1, 0}, {"371.1", 371.1, 1, 0, 0},
    {"376.9", 376.9, 1, 1, 0}, {"375.3", 375.3, 0, 0, 1}, {"394.3", 394.3, 0, 1, 1},
    {"391.5", 391.5, 1, 0, 1}, {"395.9", 395.9, 1, 1, 1},
};

}  // namespace zvk

#include "cli/Cli.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "chip/Numbers.h"

namespace zvk::cli {

int g_exitCode = kOk;

std::unique_ptr<Session> openSession(const std::string& board, int port) {
    const RigKind* kind = findRigKind(board);
    if (kind == nullptr) throw BadInput("--board: " + unknownRigText(board));
    auto s = std::make_unique<Session>();
    s->boardName = board;
    s->rig = kind->make(s->clock, port);
    s->lpt = std::make_unique<Lpt>(*s->rig->port, s->clock);
    s->lpt->setBase(port);
    // The adapter object is made as the window's constructor makes it; a missing libusb
    // is reported on standard error only when the hardware was asked for.
    s->usb = std::make_unique<TZVK_SPIUSB>(s->rig->usbApi, s->reporter);
    s->lpt->setAdapter(s->usb.get());
    // The check the window makes at its first detection tick.
    const bool usb = s->usb->DeviceReady() && s->usb->VersionMatches();
    s->lpt->setUsbInUse(usb);
    if (!usb) {
        if (!s->rig->portOpened) throw Unreachable("Driver not open: " + s->rig->portFailure);
    }
    s->lpt->startUp(s->rig->portOpened);
    s->chip = std::make_unique<ChipController>(*s->lpt);
    s->chip->spiMode = true;
    return s;
}

void Session::resetCounts() {
    if (rig->vport) rig->vport->resetCounts();
    if (rig->vusb) rig->vusb->resetCounts();
    if (rig->chip) rig->chip->clearTrace();
}

void Session::addBoardJson(nlohmann::json& j) const {
    if (!isVirtual()) return;
    j["latched"] = registersJson(rig->chip->latched());
    nlohmann::json words = nlohmann::json::array();
    for (uint16_t w : rig->chip->frames()) words.push_back(hex4(w));
    j["words"] = words;
    j["lines"] = hex2(rig->chip->lines());
    j["port_accesses"] = rig->vport->accesses();
    j["usb_transfers"] = rig->vusb ? rig->vusb->transfers() : 0;
}

long parseInteger(const std::string& text, const std::string& option) {
    const char* s = text.c_str();
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        s += 2;
    }
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(s, &end, base);
    if (text.empty() || *s == '\0' || *end != '\0' || errno != 0 || *s == ' ' || *s == '+')
        throw BadInput(option + ": \"" + text + "\" is not an integer");
    return v;
}

double parseNumber(const std::string& text, const std::string& option) {
    const auto v = parseDouble(text);
    if (!v) throw BadInput(option + ": \"" + text + "\" is not a number");
    return *v;
}

std::string hex4(uint32_t v) {
    return "0x" + hexText(v, 4);
}

std::string hex2(uint32_t v) {
    return "0x" + hexText(v, 2);
}

nlohmann::json registersJson(const RegisterImage& regs) {
    nlohmann::json a = nlohmann::json::array();
    for (uint16_t r : regs) a.push_back(registerText(r));
    return a;
}

std::vector<TuningRow> tuningItems(const TuningInfo& t) {
    return {
        {"fRF", "f RF", &t.fRF},    {"fCH", "f CH", &t.fCH},     {"fIF1", "f IF1", &t.fIF1},
        {"fIF2", "f IF2", &t.fIF2}, {"fLO1", "f LO1", &t.fLO1},  {"fLO2", "f LO2", &t.fLO2},
        {"fPFD", "f PFD", &t.fPFD}, {"fIFF", "f IFF", &t.IF2CH},
    };
}

namespace {
const char* redMark(bool red) {
    return red ? "  red" : "";
}
}  // namespace

void printCounters(const TuningInfo& t, unsigned n, unsigned a, int width) {
    std::printf("%-*s %s%s\n%-*s %u\n%-*s %u\n", width, "Ntot", t.Ntot.text.c_str(),
                redMark(t.Ntot.red), width, "N", n, width, "A", a);
}

void printTuningRows(const TuningInfo& t, int width) {
    for (const TuningRow& row : tuningItems(t))
        std::printf("%-*s %s%s\n", width, row.label, row.item->text.c_str(),
                    redMark(row.item->red));
}

std::string registersLine(const RegisterImage& regs) {
    std::string line;
    for (uint16_t r : regs) line += " " + registerText(r);
    return line;
}

Config loadConfigOrThrow(const std::string& path) {
    Config c;
    if (auto error = loadConfig(path, c)) throw BadInput(*error);
    return c;
}

void addTuningJson(nlohmann::json& j, const FrequencyState& s, const TuningInfo& t) {
    j["Ntot"] = s.Ntot;
    j["N"] = s.N;
    j["A"] = s.A;
    nlohmann::json red = nlohmann::json::array();
    for (const TuningRow& row : tuningItems(t)) {
        j[row.key] = row.item->text;
        if (row.item->red) red.push_back(row.key);
    }
    if (t.Ntot.red) red.push_back("Ntot");
    j["red"] = red;
}

void emit(bool json, const nlohmann::json& j, const std::function<void()>& text) {
    if (json)
        std::cout << j.dump(2) << "\n";
    else
        text();
}

}  // namespace zvk::cli

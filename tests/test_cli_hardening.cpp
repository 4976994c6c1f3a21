// SPDX-License-Identifier: MIT
// What a hostile or unlucky use of zvk40310ctl met, each by its reproduction as a user
// would type it in a shell: another user's links in /tmp, unusable settings files,
// standard output that is no longer read, files that are outputs and inputs at once, empty
// option values, scripts that stop without saying where, doctors reading FIFOs, saves by
// a second user or two programs at once. Every row runs in a fresh folder holding f.cfg
// (the default image at 433.920 MHz); a second user is faked with runuser, a read-only
// file system with a private tmpfs mount.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "CtlRunner.h"
#include "TempDir.h"
#include "chip/Registers.h"
#include "storage/ConfigFile.h"

namespace zvk {
namespace {

struct Reproduction {
    const char* name;     // the test's name: the item and what it shows
    const char* setup;    // shell commands before (in the row's folder)
    const char* command;  // the reproduction; $CTL is zvk40310ctl
    int code;             // the exit code it must end with
    const char* says;     // a text its standard error must hold ("" for none)
    const char* check;    // shell commands after that must succeed ("" for none); the
                          // reproduction's standard error is in err.txt
    bool needsRoot = false;
};

// A few rows make a second user or a mount: they need root, as the runs had.
const Reproduction kReproductions[] = {
    // ---- 1: a save through another user's symbolic link
    {"Unsafe1_AnotherUsersLinkInStickyTmpIsNotFollowed",
     "chmod 755 . && mkdir -m 1777 shared && echo secret > victim && "
     "runuser -u nobody -- ln -s \"$PWD/victim\" shared/trace.log",
     "$CTL write --defaults --board virtual --trace shared/trace.log", 1, "symbolic link of nobody",
     "[ \"$(cat victim)\" = secret ]", true},
    {"Unsafe1_ADanglingLinkOfAnotherUserMakesNoFile",
     "chmod 755 . && mkdir -m 1777 shared && mkdir -m 700 rootonly && "
     "runuser -u nobody -- ln -s \"$PWD/rootonly/new.log\" shared/t.log",
     "$CTL write --defaults --board virtual --trace shared/t.log", 1, "symbolic link of nobody",
     "[ ! -e rootonly/new.log ]", true},
    {"Unsafe1_ALinkInAFolderWritableForAllIsRefusedToo",
     "chmod 755 . && mkdir -m 777 open && echo secret > victim && "
     "runuser -u nobody -- ln -s \"$PWD/victim\" open/t.log",
     "$CTL write --defaults --board virtual --trace open/t.log", 1, "symbolic link of nobody",
     "[ \"$(cat victim)\" = secret ]", true},
    {"Unsafe1_TheUsersOwnLinkIsFollowed",
     "mkdir -m 1777 shared && ln -s \"$PWD/mine.log\" shared/t.log",
     "$CTL write --defaults --board virtual --trace shared/t.log", 0, "",
     "[ -L shared/t.log ] && grep -q R0 mine.log"},
    // ---- 2: standard input without limit
    {"Unsafe2_StandardInputHasTheSizeLimitOfAScript", "", "head -c 20000000 /dev/zero | $CTL run -",
     1, "16 MiB, the most a script may hold", ""},
    {"Unsafe2_AScriptLineHasALengthLimit", "", "head -c 100000 /dev/zero | tr '\\0' a | $CTL run -",
     1, "65536 bytes, the most a script line may hold", ""},
    // ---- 3: an unusable settings file is no default
    {"False3_SettingsFileThatIsADirectory", "mkdir s.ini",
     "$CTL write --defaults --board virtual-usb --settings s.ini --json > out.json", 1,
     "Cannot read the settings file \"s.ini\": it is a directory", "[ ! -s out.json ]"},
    {"False3_SettingsFileThatIsAFifo", "mkfifo s.ini",
     "$CTL write --defaults --board virtual-usb --settings s.ini > out.json", 1, "FIFO",
     "[ ! -s out.json ]"},
    {"False3_SettingsFileThatIsADevice", "ln -s /dev/zero s.ini",
     "$CTL write --defaults --board virtual-usb --settings s.ini > out.json", 1, "device",
     "[ ! -s out.json ]"},
    {"False3_SettingsFileThatIsALinkLoop", "ln -s s.ini s.ini",
     "$CTL status --board virtual --settings s.ini > out.json", 1,
     "Too many levels of symbolic links", "[ ! -s out.json ]"},
    {"False3_SettingsFileOver16MiB",
     "printf '[USBSPI]\\nVPWM=3300\\n' > s.ini && truncate -s 17M s.ini",
     "$CTL write --defaults --board virtual-usb --settings s.ini > out.json", 1, "16 MiB",
     "[ ! -s out.json ]"},
    {"False3_SettingsFileWithoutReadPermission",
     "chmod 755 . && printf '[USBSPI]\\nVPWM=3300\\n' > s.ini && chmod 000 s.ini",
     "runuser -u nobody -- $CTL write --defaults --board virtual-usb --settings s.ini", 1,
     "Permission denied", "", true},
    {"False3_TheDoctorFailsAnUnusableSettingsFile", "mkdir s.ini empty",
     "$CTL doctor --root empty --settings s.ini > out.txt", 2, "",
     "grep -q 'FAIL Cannot read the settings file' out.txt"},
    {"False3_OnlyAMissingSettingsFileMeansTheDefaults", "",
     "$CTL write --defaults --board virtual-usb --settings missing.ini --json > out.json", 0, "",
     "grep -q 'SetLevel 1 5000' out.json"},
    // ---- 4: with --json, standard output carries JSON only
    {"False4_WriteJsonRefusesTheTraceOnStandardOutput", "",
     "$CTL write --defaults --board virtual --json --trace - > out.txt", 1, "JSON only",
     "[ ! -s out.txt ]"},
    {"False4_WriteJsonRefusesTheVcdOnStandardOutput", "",
     "$CTL write --defaults --board virtual --json --vcd - > out.txt", 1, "JSON only",
     "[ ! -s out.txt ]"},
    {"False4_PlanJsonRefusesTheSvgOnStandardOutput", "",
     "$CTL plan --rf 433.92 --json --svg - > out.txt", 1, "JSON only", "[ ! -s out.txt ]"},
    {"False4_RunJsonRefusesACHeaderLine", "printf 'export f.cfg --format c\\n' > s.txt",
     "$CTL run --json s.txt > out.txt", 1, "line 1: --format c: prints no JSON",
     "[ ! -s out.txt ]"},
    {"False4_RunJsonRefusesAPictureOnStandardOutput",
     "printf 'plan --rf 433.92 --svg -\\n' > s.txt", "$CTL run --json s.txt > out.txt", 1,
     "line 1: --svg", "[ ! -s out.txt ]"},
    {"False4_RunJsonRefusesHelp", "printf 'plan --help\\n' > s.txt",
     "$CTL run --json s.txt > out.txt", 1, "line 1: --help", "[ ! -s out.txt ]"},
    {"False4_RunJsonRefusesItsTraceOnStandardOutput", "printf 'plan --rf 433.92\\n' > s.txt",
     "$CTL run --json s.txt --board virtual --trace - > out.txt", 1, "JSON only",
     "[ ! -s out.txt ]"},
    // ---- 5: outputs that overwrite inputs or each other
    {"False5_TheTraceIsNotTheConfigurationFile", "",
     "$CTL write f.cfg --board virtual --trace f.cfg", 1,
     "\"f.cfg\" is the same file as the configuration file", "grep -q CntrlReg0 f.cfg"},
    {"False5_AHardLinkIsTheSameFile", "ln f.cfg other.cfg",
     "$CTL write f.cfg --board virtual --vcd other.cfg", 1, "is the same file as",
     "grep -q CntrlReg0 f.cfg"},
    {"False5_TheTraceIsNotTheSettingsFile", "printf '[Lab]\\nmine=1\\n' > s.ini",
     "$CTL status --board virtual --settings s.ini --trace s.ini", 1, "the settings file",
     "grep -q mine=1 s.ini"},
    {"False5_TraceAndVcdNeedFilesOfTheirOwn", "",
     "$CTL write --defaults --board virtual --trace x.log --vcd x.log", 1,
     "each output needs a file of its own", "[ ! -e x.log ]"},
    {"False5_StandardOutputIsWrittenAsDash", "",
     "$CTL write --defaults --board virtual --trace /dev/stdout > out.txt", 1,
     "is standard output: write it as -", ""},
    {"False5_AScriptIsNotItsOwnTrace", "printf 'plan --rf 433.92\\n' > s.txt",
     "$CTL run s.txt --board virtual --trace s.txt", 1, "the script", "grep -q plan s.txt"},
    {"False5_AScriptLineReadsNoneOfTheScriptsOutputs", "printf 'write f.cfg\\n' > s.txt",
     "$CTL run s.txt --board virtual --trace f.cfg", 1,
     "line 1: --trace: \"f.cfg\" is the same file as the configuration file",
     "grep -q CntrlReg0 f.cfg"},
    // ---- 6: outputs are checked before the board is touched
    {"False6_AnUnwritableOutputStopsTheWriteBeforeTheBoard", "",
     "$CTL write --defaults --board virtual --trace t.log --vcd /nonexistent/dir/t.vcd", 1,
     "--vcd: \"/nonexistent/dir/t.vcd\": No such file", "[ ! -e t.log ]"},
    {"False6_AProtectedTraceStopsTheScriptBeforeItsFirstLine",
     "printf 'set f.cfg OPMODE=1\\n' > s.txt && touch p.log && chmod 444 p.log",
     "$CTL run s.txt --board virtual --trace p.log", 1, "write-protected",
     "grep -q 'CntrlReg0\t08C' f.cfg"},
    // ---- 7: an empty value is a bad value
    {"False7_EmptyCount", "", "$CTL status --board virtual --watch 10 --count ''", 1,
     "--count: the value is empty", ""},
    {"False7_EmptyWatch", "", "$CTL status --board virtual --watch ''", 1,
     "--watch: the value is empty", ""},
    {"False7_EmptyPort", "", "$CTL write --defaults --board virtual --port ''", 1,
     "--port: the value is empty", ""},
    {"False7_EmptySettings", "", "$CTL write --defaults --board virtual --settings ''", 1,
     "--settings: the value is empty", ""},
    {"False7_EmptyTrace", "", "$CTL write --defaults --board virtual --trace ''", 1,
     "--trace: the value is empty", ""},
    {"False7_EmptyLevel", "", "$CTL write --defaults --board virtual --level ''", 1,
     "--level: the value is empty", ""},
    {"False7_EmptySvg", "", "$CTL plan --rf 433.92 --svg ''", 1, "--svg: the value is empty", ""},
    {"False7_EmptyValueInAScriptLine", "printf \"plan --rf ''\\n\" > s.txt", "$CTL run s.txt", 1,
     "line 1: --rf: the value is empty", ""},
    // ---- 8: a script says where it stopped
    {"False8_DiffThatDiffersStopsTheScriptNamingItsLine",
     "cp f.cfg g.cfg && $CTL set g.cfg OPMODE=1 > /dev/null && "
     "printf 'diff f.cfg g.cfg\\nplan --rf 433.92\\n' > s.txt",
     "$CTL run s.txt > out.txt", 1, "line 1: \"diff\" ended with exit code 1",
     "! grep -q Ntot out.txt"},
    {"False8_DoctorExitTwoNamesItsLine", "mkdir empty && printf 'doctor --root empty\\n' > s.txt",
     "$CTL run s.txt > /dev/null", 2, "line 1: \"doctor\" ended with exit code 2", ""},
    {"False8_APlanThatDoesNotFitNamesItsLine",
     "printf 'plan --rf 433.92\\nplan --rf 100000\\n' > s.txt", "$CTL run s.txt > /dev/null", 1,
     "line 2: \"plan\" ended with exit code 1", ""},
    {"False8_ExpectLockNamesItsLine", "printf 'write --defaults --expect-lock\\n' > s.txt",
     "$CTL run s.txt --board virtual > /dev/null", 3, "line 1: \"write\" ended with exit code 3",
     ""},
    {"False8_ATypoGetsTheDidYouMean", "printf 'wrtie --defaults\\n' > s.txt",
     "$CTL run s.txt --board virtual", 1, "line 1: unknown command \"wrtie\"; did you mean", ""},
    {"False8_AByteOrderMarkIsSkipped", "printf '\\357\\273\\277plan --rf 433.92\\n' > s.txt",
     "$CTL run s.txt > out.txt", 0, "", "grep -q Ntot out.txt"},
    {"False8_CtrlCEndsTheScriptInterrupted",
     "printf 'status --watch 20\\nplan --rf 433.92\\n' > s.txt",
     "$CTL run s.txt --board virtual > out.txt & sleep 2; kill -INT $!; wait $!", 130,
     "line 1: interrupted", "! grep -q Ntot out.txt"},
    {"False8_AnEmptyScriptIsSaidToBeEmpty", ": > s.txt", "$CTL run s.txt", 1, "\"s.txt\" is empty",
     ""},
    {"False8_AScriptOfCommentsIsEmptyToo", "printf '# nothing yet\\n\\n' > s.txt", "$CTL run s.txt",
     1, "is empty", ""},
    {"False8_AnUnreadableStandardInputIsSaid", "mkdir d", "$CTL run - < d", 1,
     "Cannot read the script on standard input", ""},
    // ---- 9: standard output's reader went away, SIGPIPE ignored
    {"Hang9_WatchEndsWhenItsReaderIsGone", "",
     "trap '' PIPE; $CTL status --board virtual --watch 1 | head -2 > /dev/null; "
     "exit ${PIPESTATUS[0]}",
     141, "broken pipe", ""},
    {"Hang9_SweepStopsWritingTheBoardWhenItsReaderIsGone", "",
     "trap '' PIPE; $CTL sweep --defaults --board virtual --from 300 --to 500 --step 0.01 "
     "--dwell 0 | head -2 > /dev/null; exit ${PIPESTATUS[0]}",
     141, "broken pipe", ""},
    {"Hang9_AFullDiskIsNamed", "",
     "$CTL sweep --defaults --board virtual --from 300 --to 301 --step 0.5 > /dev/full", 1,
     "No space left on device", ""},
    // ---- 10: the doctor reads every file bounded and without blocking
    {"Hang10_DoctorWithAFifoAsLockdown",
     "mkdir -p r/sys/kernel/security && mkfifo r/sys/kernel/security/lockdown",
     "$CTL doctor --root r > out.txt", 2, "", "grep -q 'kernel lockdown' out.txt"},
    {"Hang10_DoctorWithLockdownLinkedToDevZero",
     "mkdir -p r/sys/kernel/security && ln -s /dev/zero r/sys/kernel/security/lockdown",
     "$CTL doctor --root r > out.txt", 2, "", "grep -q 'kernel lockdown' out.txt"},
    {"Hang10_DoctorWithAFifoAsBaseAddr",
     "mkdir -p r/proc/sys/dev/parport/parport0 && mkfifo r/proc/sys/dev/parport/parport0/base-addr",
     "$CTL doctor --root r > out.txt", 2, "", "grep -q 'parport0 (base unknown)' out.txt"},
    {"Hang10_DoctorWithAFifoAsIdProduct",
     "mkdir -p r/sys/bus/usb/devices/1-1 && mkfifo r/sys/bus/usb/devices/1-1/idVendor "
     "r/sys/bus/usb/devices/1-1/idProduct",
     "$CTL doctor --root r > out.txt", 2, "", "grep -q 'kernel lockdown' out.txt"},
    {"Hang10_ABaseAddrOutOfRangeIsSaid",
     "mkdir -p r/proc/sys/dev/parport/parport0 r/dev && touch r/dev/parport0 && "
     "echo 99999999999 > r/proc/sys/dev/parport/parport0/base-addr",
     "$CTL doctor --root r > out.txt", 2, "",
     "grep -q 'base-addr \"99999999999\" is out of range' out.txt && ! grep -q 4876E7FF out.txt"},
    {"Hang10_AHoldersNameIsEscaped",
     "mkdir -p r/proc/sys/dev/parport/parport0/devices r/dev && touch r/dev/parport0 && "
     "echo 888 > r/proc/sys/dev/parport/parport0/base-addr && "
     "printf 'lp\\033[31mred\\n' > r/proc/sys/dev/parport/parport0/devices/active",
     "$CTL doctor --root r > out.txt", 0, "",
     "grep -qF 'in use by lp\\x1B[31mred' out.txt && ! grep -q $'\\033' out.txt"},
    // ---- 11: a save keeps the file's owner and group
    {"Lost11_AGroupMembersSaveKeepsTheOwner",
     "chmod 755 . && mkdir sg && chown daemon:nogroup sg && chmod 2775 sg && cp f.cfg sg/ && "
     "chown daemon:nogroup sg/f.cfg && chmod 664 sg/f.cfg",
     "runuser -u nobody -- $CTL set sg/f.cfg OPMODE=1 && "
     "runuser -u daemon -- $CTL set sg/f.cfg OPMODE=2",
     0, "", "[ \"$(stat -c %U:%G:%a sg/f.cfg)\" = daemon:nogroup:664 ] && grep -q 08E sg/f.cfg",
     true},
    {"Lost11_ASaveInASetgidFolderKeepsTheFilesGroup",
     "chmod 755 . && mkdir sg && chown root:daemon sg && chmod 2777 sg && cp f.cfg sg/ && "
     "chown nobody:nogroup sg/f.cfg",
     "runuser -u nobody -- $CTL set sg/f.cfg OPMODE=1", 0, "",
     "[ \"$(stat -c %U:%G sg/f.cfg)\" = nobody:nogroup ] && grep -q 08D sg/f.cfg", true},
    // ---- 12: concurrent saves lose no update
    {"Lost12_SetWaitsForTheLockOfAnotherSave", "",
     "(flock .f.cfg.lock sleep 2 &); sleep 0.3; start=$(date +%s%N); "
     "$CTL set f.cfg OPMODE=1 > /dev/null; echo $(( ($(date +%s%N) - start) / 1000000 )) > ms",
     0, "", "[ $(cat ms) -ge 1200 ] && grep -q 08D f.cfg"},
    {"Lost12_TwoScriptsOfSetsKeepBothChanges",
     "for i in $(seq 1 60); do echo \"set f.cfg fRF=$i\"; done > a.txt && "
     "for i in $(seq 1 60); do echo \"set f.cfg PLLMUX=$i\"; done > b.txt",
     "$CTL run a.txt > /dev/null & $CTL run b.txt > /dev/null; wait", 0, "",
     "grep -q 'fRF\t60.000' f.cfg && grep -q 'PLLMUX\t60' f.cfg && [ ! -e .f.cfg.lock ]"},
    // ---- 13: a dead writer's temporary files
    {"Lost13_ADeadWritersTemporaryFileIsRemoved", "cp f.cfg .f.cfg.tmp4194305.0.1",
     "$CTL set f.cfg OPMODE=1 > /dev/null", 0, "", "[ ! -e .f.cfg.tmp4194305.0.1 ]"},
    // ---- 14: smaller ones
    {"Small14_ImportRefusesACrystalOfZero",
     "$CTL export f.cfg --format json | sed 's/\"fXtal\": 10.0/\"fXtal\": 0/' > m.json",
     "$CTL import m.json -o out.cfg", 1, "fXtal", "[ ! -e out.cfg ]"},
    {"Small14_ImportRefusesANegativeCrystal",
     "$CTL export f.cfg --format json | sed 's/\"fXtal\": 10.0/\"fXtal\": -10/' > m.json",
     "$CTL import m.json -o out.cfg", 1, "fXtal", "[ ! -e out.cfg ]"},
    {"Small14_ImportRefusesACrystalBeyondThePlan",
     "$CTL export f.cfg --format json | sed 's/\"fXtal\": 10.0/\"fXtal\": 1e308/' > m.json",
     "$CTL import m.json -o out.cfg", 1, "single-precision", "[ ! -e out.cfg ]"},
    {"Small14_SetRefusesACrystalBeyondThePlanToo", "", "$CTL set f.cfg fXtal=1e308", 1,
     "single-precision", ""},
    {"Small14_ImportRefusesANegativeRf",
     "$CTL export f.cfg --format json | sed 's/\"fRF\": 433.92/\"fRF\": -1/' > m.json",
     "$CTL import m.json -o out.cfg", 1, "fRF", "[ ! -e out.cfg ]"},
    {"Small14_ImportRefusesAFieldValueBeyond32Bits",
     "$CTL export f.cfg --format json | sed 's/\"OPMODE\": 0/\"OPMODE\": 4294967296/' > m.json",
     "$CTL import m.json -o out.cfg", 1, "OPMODE", "[ ! -e out.cfg ]"},
    {"Small14_ImportChecksStatusFields",
     "$CTL export f.cfg --format json | sed 's/\"RSSIH\": 0/\"RSSIH\": 1/' > m.json",
     "$CTL import m.json -o out.cfg", 1, "RSSIH", "[ ! -e out.cfg ]"},
    {"Small14_ImportRefusesFieldsGivenAsAnArray",
     "$CTL export f.cfg --format json | sed -z 's/\"fields\": {[^}]*}/\"fields\": []/' > m.json",
     "$CTL import m.json -o out.cfg", 1, "\"fields\" must be an object", "[ ! -e out.cfg ]"},
    {"Small14_ImportThroughALinkLoopKeepsTheLink",
     "ln -s loopB.cfg loopA.cfg && ln -s loopA.cfg loopB.cfg && "
     "$CTL export f.cfg --format json > m.json",
     "$CTL import m.json -o loopA.cfg", 1, "Too many levels of symbolic links",
     "[ -L loopA.cfg ] && [ -L loopB.cfg ]"},
    {"Small14_A250CharacterNameCanBeSaved", "cp f.cfg $(printf 'a%.0s' $(seq 246)).cfg",
     "$CTL set $(printf 'a%.0s' $(seq 246)).cfg OPMODE=1 > /dev/null", 0, "", "grep -q 08D a*.cfg"},
    {"Small14_AReadOnlyFileSystemIsNamed", "mkdir ro",
     "unshare -m sh -c 'mount -t tmpfs tmpfs ro && cp f.cfg ro/ && mount -o remount,ro ro && "
     "$CTL set ro/f.cfg OPMODE=1'",
     1, "Read-only file system", "", true},
    {"Small14_ANegativeNumberIsOutsideItsRange", "", "$CTL status --board virtual --watch -5", 1,
     "--watch: \"-5\" is outside", ""},
    {"Small14_ANegativeRegisterIsOutsideItsRange", "", "$CTL set f.cfg R3=-1", 1,
     "R3: \"-1\" is outside", ""},
    {"Small14_AnEchoedNewlineKeepsTheMessageOneLine", "", "$CTL plan --rf \"$(printf '1\\n2')\"", 1,
     "--rf: \"1\\x0A2\" is not a number", "[ $(wc -l < err.txt) -eq 1 ]"},
    {"Small14_AnEchoedLongValueIsCut", "",
     "$CTL plan --rf \"$(head -c 100000 /dev/zero | tr '\\0' 1)x\"", 1, "...\" is not a number",
     "[ $(wc -c < err.txt) -lt 300 ]"},
    {"Small14_DiffWithAUsageErrorExitsTwo", "", "$CTL diff f.cfg", 2, "", ""},
    {"Small14_DiffWithAnEmptyValueExitsTwo", "", "$CTL diff f.cfg ''", 2, "the value is empty", ""},
    {"Small14_AUtf16BigEndianSettingsFileIsRead",
     "{ printf '\\376\\377'; printf '[USBSPI]\\r\\nVPWM=3300\\r\\n' | iconv -t UTF-16BE; } > s.ini",
     "$CTL write --defaults --board virtual-usb --settings s.ini --json > out.json", 0, "",
     "grep -q 'SetLevel 1 3300' out.json"},
    {"Small14_ASaveBeforeAFailedOutputIsSaidApart", "", "$CTL set f.cfg OPMODE=1 > /dev/full", 1,
     "No space left on device (the file \"f.cfg\" was saved)", "grep -q 08D f.cfg"},
    // ---- issue 30, item 2: 16-bit words, whole words compared, import saves as .cfg
    {"Words_ExportThenImportKeepsA16BitWord",
     "$CTL set f.cfg R3=0x1100 > /dev/null && $CTL export f.cfg --format json > m.json && "
     "$CTL export f.cfg --format csv > m.csv",
     "$CTL import m.json -o j.cfg > /dev/null && $CTL import m.csv -o c.cfg > /dev/null", 0, "",
     "grep -q 'CntrlReg3\t1100' j.cfg && grep -q 'CntrlReg3\t1100' c.cfg"},
    {"Words_DiffComparesWholeWords", "cp f.cfg g.cfg && $CTL set g.cfg R3=0x1100 > /dev/null",
     "$CTL diff f.cfg g.cfg > out.txt", 1, "", "grep -q '^R3  0x100 -> 0x1100' out.txt"},
    {"Words_ImportSavesWithTheCfgExtensionAndSaysSo", "$CTL export f.cfg --format json > m.json",
     "$CTL import m.json -o x.txt > out.txt", 0, "",
     "[ -e x.cfg ] && [ ! -e x.txt ] && grep -qx 'wrote x.cfg' out.txt"},
};

// A failing row is named by its name, not by its bytes.
void PrintTo(const Reproduction& r, std::ostream* os) {
    *os << r.name;
}

class CliHardening : public test::TempDir, public testing::WithParamInterface<Reproduction> {
  protected:
    CliHardening() : TempDir("zvk-ctl-hardening") {}

    // Runs a piece of shell in the row's folder; its exit code. Standard output and error
    // go where the caller says, out of the way of the test's own.
    int shell(const std::string& script, const std::string& errFile = "/dev/null",
              const std::string& outFile = "/dev/null") const {
        const std::string cmd = "cd " + test::shellQuoted(dir.string()) +
                                " && CTL=" + test::shellQuoted(test::ctlPath()) +
                                " ASAN_OPTIONS=${ASAN_OPTIONS:-exitcode=86} "
                                "UBSAN_OPTIONS=${UBSAN_OPTIONS:-exitcode=86:print_stacktrace=1} "
                                "timeout -k 5 60 bash -c " +
                                test::shellQuoted(script) + " >" + test::shellQuoted(outFile) +
                                " 2>" + test::shellQuoted(errFile) + " </dev/null";
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_P(CliHardening, Reproduction) {
    const Reproduction& r = GetParam();
    if (r.needsRoot && ::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a second user";
    }
    Config c;
    c.regs = kDefaultImage;
    c.frf = 433.92;
    ASSERT_EQ(saveConfig(file("f.cfg"), c, "ZVK40310 Evaluation Program v3.3"), std::nullopt);
    ASSERT_EQ(shell(r.setup, file("setup-err.txt")), 0)
        << r.setup << "\n"
        << std::ifstream(file("setup-err.txt")).rdbuf();
    const int code = shell(r.command, file("err.txt"), file("stdout.txt"));
    std::stringstream err;
    err << std::ifstream(file("err.txt")).rdbuf();
    test::checkNoSanitizerReport({r.command}, code, err.str());
    EXPECT_EQ(code, r.code) << r.command << "\n" << err.str();
    EXPECT_NE(err.str().find(r.says), std::string::npos) << r.command << "\n" << err.str();
    if (*r.check != '\0') {
        EXPECT_EQ(shell(r.check), 0) << r.check << "\nafter: " << err.str();
    }
}

INSTANTIATE_TEST_SUITE_P(Items, CliHardening, testing::ValuesIn(kReproductions),
                         [](const testing::TestParamInfo<Reproduction>& row) {
                             return std::string(row.param.name);
                         });

}  // namespace
}  // namespace zvk

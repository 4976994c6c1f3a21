// SPDX-License-Identifier: MIT
#include "CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>

#include "base/Version.h"
#include "board/Board.h"
#include "storage/Settings.h"

namespace {

// The toolkit's own options that take a value: they are the toolkit's, not unknown ones.
constexpr const char* kToolkitOptions[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "name",          "title",   "qmljsdebugger"};
constexpr const char* kToolkitSwitches[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QString usageText(QCommandLineParser& parser) {
    // The parser names the program by the application object's first argument when there
    // is one, by a placeholder before; the usage names the program either way.
    QString text = parser.helpText();
    const QString usage = QStringLiteral("Usage: ");
    const qsizetype options = text.indexOf(QStringLiteral(" [options]"));
    if (text.startsWith(usage) && options > 0)
        text.replace(usage.size(), options - usage.size(), QStringLiteral("zvk40310"));
    return text;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine c;
    c.labMode = argc > 1 && std::string(argv[1]) == "bench";

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "The control program for the ZVK40310 receiver chip on its demonstration board.\n"
            "A first argument bench shows the SPI/ABC \"Mode Selection\" and lets every MFO "
            "setting through.\nThe settings file: ") +
        QString::fromStdString(zvk::programSettingsPath()));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    QString kinds;
    for (const zvk::BoardKind& k : zvk::kBoardKinds)
        kinds +=
            QStringLiteral("\n  %1: %2").arg(QLatin1String(k.name), QLatin1String(k.description));
    const QCommandLineOption board(
        QStringLiteral("board"),
        QStringLiteral("The board to talk to, KIND[:KNOB,...] as zvk40310ctl takes it "
                       "(default hardware):") +
            kinds + QStringLiteral("\nknobs of the virtual boards: ") +
            QString::fromStdString(zvk::boardKnobsHelp()),
        QStringLiteral("BOARD"));
    parser.addOption(board);
    // The older spelling, kept as an alias; read below by hand: the parser has no option
    // whose value may be left out.
    const QCommandLineOption virtualBoard(
        QStringLiteral("virtual-board"),
        QStringLiteral("The same as --board virtual; --virtual-board=usb as --board virtual-usb."));
    parser.addOption(virtualBoard);
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        QStringLiteral("Use this settings file instead of the program's own."),
        QStringLiteral("FILE"));
    parser.addOption(settings);
    const QCommandLineOption device(
        QStringLiteral("device"),
        QStringLiteral("The adapter to use when there are several (or another program has one), "
                       "as zvk40310ctl takes it: usb:BUS/DEV or usb:path=PORT (the USB port "
                       "path, such as 1-1.4); zvk40310ctl list shows them."),
        QStringLiteral("DEVICE"));
    parser.addOption(device);
    for (const char* name : kToolkitOptions) {
        QCommandLineOption o(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    for (const char* name : kToolkitSwitches) {
        QCommandLineOption o(QString::fromLatin1(name), QString());
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    parser.addPositionalArgument(QStringLiteral("bench"), QStringLiteral("Lab mode."),
                                 QStringLiteral("[bench]"));

    QStringList args{QStringLiteral("zvk40310")};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--virtual-board") {
            c.boardName = "virtual";
        } else if (a == "--virtual-board=usb") {
            c.boardName = "virtual-usb";
        } else {
            args << QString::fromLocal8Bit(argv[i]);
        }
    }
    if (!parser.parse(args)) {
        c.exitCode = 1;
        c.text = "zvk40310: " + parser.errorText().toStdString() + "\n" +
                 usageText(parser).toStdString();
        return c;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        c.exitCode = 0;
        c.text = usageText(parser).toStdString();
    } else if (parser.isSet(version)) {
        c.exitCode = 0;
        c.text = std::string(zvk::kVersionLine) + "\n";
    }
    if (parser.isSet(settings)) c.settingsPath = parser.value(settings).toStdString();
    if (parser.isSet(board)) {
        const std::string chosen = parser.value(board).toStdString();
        std::string error;
        if (!zvk::parseBoardOption(chosen, error)) {
            c.exitCode = 1;
            c.text = "zvk40310: --board: " + error + "\n" + usageText(parser).toStdString();
            return c;
        }
        c.boardName = chosen;
    }
    // Written with one dash, as the toolkit's options are.
    if (parser.isSet(virtualBoard) && c.boardName == "hardware") c.boardName = "virtual";
    if (parser.isSet(device)) {
        c.device = parser.value(device).toStdString();
        std::string error;
        if (!zvk::parseDeviceOption(c.device, error)) {
            c.exitCode = 1;
            c.text = "zvk40310: --device: " + error + "\n";
        } else if (c.boardName.rfind("hardware", 0) != 0) {
            c.exitCode = 1;
            c.text = "zvk40310: --device: \"" + c.device + "\" names a real adapter, but --board " +
                     c.boardName + " is a virtual board\n";
        }
    }
    return c;
}

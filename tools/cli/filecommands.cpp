// SPDX-License-Identifier: GPL-3.0-or-later
#include "cliterminal.h"
#include "commands.h"

#include "files/setupfiles.h"
#include "files/setupnames.h"
#include "setup/setupcompare.h"
#include "setup/setupimage.h"

#include <optional>

namespace quillon {

namespace {

// What a file command was given: its input files and the -o output.
struct FileArgs {
    QStringList inputs;
    QString output;
};

std::optional<FileArgs> parseFileArgs(const QStringList& args, int inputs, bool needsOutput,
                                      QString* error)
{
    FileArgs parsed;
    bool optionsEnded = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == QLatin1String("-o") || arg == QLatin1String("--output"))) {
            if (i + 1 >= args.size()) {
                *error = arg + QStringLiteral(" needs a file name");
                return std::nullopt;
            }
            parsed.output = args[++i];
        } else if (!optionsEnded && arg.startsWith(QLatin1String("--output="))) {
            parsed.output = arg.mid(9);
        } else if (!optionsEnded && arg.startsWith(u'-') && arg.size() > 1) {
            *error = QStringLiteral("unknown option %1").arg(arg);
            return std::nullopt;
        } else {
            parsed.inputs << arg;
        }
    }
    if (parsed.inputs.size() != inputs) {
        *error = inputs == 0 ? QStringLiteral("no file name expected before -o")
                             : QStringLiteral("expected %1 input file, got %2")
                                   .arg(QString::number(inputs),
                                        QString::number(parsed.inputs.size()));
        return std::nullopt;
    }
    if (needsOutput && parsed.output.isEmpty()) {
        *error = QStringLiteral("the output file (-o FILE) is missing");
        return std::nullopt;
    }
    if (!needsOutput && !parsed.output.isEmpty()) {
        *error = QStringLiteral("this command writes no file (no -o)");
        return std::nullopt;
    }
    return parsed;
}

bool refusesAvmOutput(const QString& output, int* exitCode)
{
    if (setupKindFromName(output) != CardType::AVM)
        return false;
    *exitCode = failed(QStringLiteral("\"%1\" names an AVM set-up file (the name ends in \"m\"), "
                                      "but an AVM set-up only ever comes from a card. Give the "
                                      "SID set-up file a name such as Studio.kxd.")
                           .arg(output));
    return true;
}

// Reads a SID set-up file over the defaults, as opening it in the program would.
std::optional<SetupValues> readSidFile(const QString& path, int* exitCode)
{
    if (setupKindFromName(path) == CardType::AVM) {
        *exitCode = failed(QStringLiteral("\"%1\" names an AVM set-up file (the name ends in "
                                          "\"m\"); this command reads SID set-up files.")
                               .arg(path));
        return std::nullopt;
    }
    HeldSetup held;
    loadDefaults(held.fields);
    try {
        importSetupText(path, held);
    } catch (const SetupFileError& e) {
        *exitCode = failed(e.message());
        return std::nullopt;
    }
    return held.fields.values();
}

void printSettings(const QString& path, const SetupValues& values)
{
    printLine(stdout, QStringLiteral("SID set-up file \"%1\"").arg(path));
    qsizetype width = 0;
    for (const FieldInfo& info : allFields())
        width = std::max(width, info.caption.size());
    for (const QString& form : settingsWindowsInOrder()) {
        printLine(stdout, QString());
        printLine(stdout, windowCaption(form.toLatin1().constData()));
        for (const FieldInfo& info : allFields()) {
            if (QLatin1String(info.window) != form)
                continue;
            printLine(stdout, QStringLiteral("  %1  %2")
                                  .arg(QString(info.caption + u':').leftJustified(width + 1),
                                       settingText(values, info.field)));
        }
    }
}

QString avmImageProblem(const QByteArray& image)
{
    if (image.size() <= SidImageSize)
        return QStringLiteral("an AVM image has more than %1 bytes").arg(SidImageSize);
    if (quint8(image.at(0)) != SetupDataCommand)
        return QStringLiteral("its first byte is not %1").arg(SetupDataCommand);
    if (image.at(1) == 0)
        return QStringLiteral("its set-up version is 0");
    return QString();
}

void printImage(const QString& path, const QByteArray& image)
{
    const int version = image.size() > 1 ? quint8(image.at(1)) : 0;
    printLine(stdout, QStringLiteral("AVM set-up image \"%1\": %2 bytes, set-up version %3")
                          .arg(path, QString::number(image.size()), QString::number(version)));
    const QString problem = avmImageProblem(image);
    if (!problem.isEmpty())
        printLine(stdout, QStringLiteral("An AVM card would not be sent this image: %1.").arg(problem));
    printLine(stdout, QString());
    for (qsizetype row = 0; row < image.size(); row += 16) {
        const QByteArray bytes = image.mid(row, 16);
        QString hex;
        QString chars;
        for (char b : bytes) {
            hex += QStringLiteral("%1 ").arg(quint8(b), 2, 16, QLatin1Char('0'));
            chars += b >= 32 && b < 127 ? QChar(b) : QChar(u'.');
        }
        printLine(stdout, QStringLiteral("%1  %2 |%3|")
                              .arg(QString::number(row, 16).rightJustified(4, u'0'),
                                   hex.leftJustified(48), chars));
    }
}

int runDefaults(const FileArgs& args)
{
    int exitCode = ExitOk;
    if (refusesAvmOutput(args.output, &exitCode))
        return exitCode;
    try {
        exportSetupText(args.output, defaultSetupValues());
    } catch (const SetupFileError& e) {
        return failed(e.message());
    }
    printLine(stdout, QStringLiteral("Wrote the default set-up to \"%1\".").arg(args.output));
    return ExitOk;
}

int runShow(const FileArgs& args)
{
    const QString& path = args.inputs.first();
    if (setupKindFromName(path) == CardType::AVM) {
        try {
            printImage(path, readSetupImageFile(path));
        } catch (const SetupFileError& e) {
            return failed(e.message());
        }
        return ExitOk;
    }
    int exitCode = ExitOk;
    const auto values = readSidFile(path, &exitCode);
    if (!values)
        return exitCode;
    printSettings(path, *values);
    return ExitOk;
}

int runImage(const FileArgs& args)
{
    int exitCode = ExitOk;
    const auto values = readSidFile(args.inputs.first(), &exitCode);
    if (!values)
        return exitCode;
    // Built exactly as a send to a SID card builds it.
    HeldSetup held;
    held.fields.setValues(*values);
    if (const QString refusal = buildSetupImage(held, quint8(0)); !refusal.isEmpty()) {
        printLine(stderr, refusal);
        return ExitFailed;
    }
    try {
        saveSetupImage(args.output, held.setupImage);
    } catch (const SetupFileError& e) {
        return failed(e.message());
    }
    printLine(stdout, QStringLiteral("Wrote the %1-byte SID set-up image to \"%2\".")
                          .arg(QString::number(held.setupImage.size()), args.output));
    return ExitOk;
}

int runDecode(const FileArgs& args)
{
    const QString& input = args.inputs.first();
    int exitCode = ExitOk;
    if (refusesAvmOutput(args.output, &exitCode))
        return exitCode;
    HeldSetup held;
    try {
        held.setupImage = readSetupImageFile(input);
    } catch (const SetupFileError& e) {
        return failed(e.message());
    }
    if (held.setupImage.size() != SidImageSize) {
        return failed(QStringLiteral("\"%1\" is not a SID set-up image: it is %2 bytes long, a "
                                     "SID image has %3.")
                          .arg(input, QString::number(held.setupImage.size()),
                               QString::number(SidImageSize)));
    }
    if (held.setupImage.at(1) != 0) {
        return failed(QStringLiteral("\"%1\" is not a SID set-up image: its set-up version is %2, "
                                     "a SID image has 0.")
                          .arg(input, QString::number(quint8(held.setupImage.at(1)))));
    }
    loadDefaults(held.fields);
    if (const QString refusal = applySetupImage(held); !refusal.isEmpty()) {
        printLine(stderr, refusal);
        return ExitFailed;
    }
    try {
        exportSetupText(args.output, held.fields.values());
    } catch (const SetupFileError& e) {
        return failed(e.message());
    }
    printLine(stdout, QStringLiteral("Wrote the SID set-up file \"%1\".").arg(args.output));
    return ExitOk;
}

CliCommand fileCommand(const QString& name, const QString& usage, const QString& summary,
                       int inputs, bool needsOutput, int (*run)(const FileArgs&))
{
    auto parseAndRun = [=](const QStringList& args) {
        QString error;
        const auto parsed = parseFileArgs(args, inputs, needsOutput, &error);
        if (!parsed) {
            printLine(stderr, QStringLiteral("quillon-cli %1: %2").arg(name, error));
            printLine(stderr, QStringLiteral("usage: quillon-cli ") + usage);
            return ExitUsage;
        }
        return run(*parsed);
    };
    return {name, usage, summary, parseAndRun};
}

} // namespace

std::vector<CliCommand> fileCommands()
{
    return {
        fileCommand(QStringLiteral("defaults"), QStringLiteral("defaults -o FILE"),
                    QStringLiteral("Write the factory default set-up as a SID set-up file."), 0,
                    true, runDefaults),
        fileCommand(QStringLiteral("show"), QStringLiteral("show FILE"),
                    QStringLiteral("Print a set-up file: the settings of a SID file window by "
                                   "window, or the bytes of an AVM image."),
                    1, false, runShow),
        fileCommand(QStringLiteral("image"), QStringLiteral("image FILE -o IMAGE"),
                    QStringLiteral("Encode a SID set-up file into the 89-byte image a SID card is "
                                   "sent; IMAGE is written raw."),
                    1, true, runImage),
        fileCommand(QStringLiteral("decode"), QStringLiteral("decode IMAGE -o FILE"),
                    QStringLiteral("Read a raw 89-byte SID image as a card's set-up and write it "
                                   "as a SID set-up file."),
                    1, true, runDecode),
    };
}

} // namespace quillon

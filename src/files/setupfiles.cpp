// SPDX-License-Identifier: GPL-3.0-or-later
#include "setupfiles.h"

#include "../setup/codepage.h"
#include "../setup/numbers.h"
#include "../setup/setupimage.h"
#include "setupnames.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <limits>

namespace quillon {

namespace {

// No real setting comes near this; it only keeps a file without carriage returns from being
// taken as one line. Dropped bytes count too.
constexpr qsizetype LongestLine = 65536;
// A SID set-up file is about 600 bytes; reading stops here, so an endless source cannot hang us.
constexpr qint64 LargestSetupText = 1024 * 1024;

// The field line n (1 to 68) is written from. The last two lines carry the SID window's position,
// where the NO SID message is shown; they are read into the NO SID message's own position.
Field writtenField(int line)
{
    if (line == 67)
        return Field::SidWindowHorizontal;
    if (line == 68)
        return Field::SidWindowVertical;
    return fieldAt(line - 1);
}

Field readField(int line)
{
    return fieldAt(line - 1);
}

bool keptByFilter(char c)
{
    const auto code = static_cast<unsigned char>(c);
    return code == 32 || (code >= 35 && code <= 126);
}

// The next filtered line; tooLong is set when it ran past 'limit' bytes, kept or dropped.
QString readFilteredLine(QIODevice& file, qsizetype limit, bool* tooLong)
{
    QByteArray line;
    qsizetype consumed = 0;
    char c = 0;
    while (file.getChar(&c)) {
        if (c == '\r')
            break;
        if (++consumed > limit) {
            *tooLong = true;
            break;
        }
        if (keptByFilter(c))
            line += c;
    }
    return QString::fromLatin1(line); // the filter keeps ASCII only
}

[[noreturn]] void saveFailed(const QString& path, const QString& reason)
{
    throw SetupFileError(QStringLiteral("Could not save the set-up file \"%1\": %2. Any file of "
                                        "that name was left as it was.")
                             .arg(path, reason));
}

// What a path names when that is not a regular file (nor a link to one); empty when it is one or
// when nothing is there.
QString notARegularFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return QString();
    return info.isDir() ? QStringLiteral("a folder") : QStringLiteral("a device, pipe or socket");
}

// A save replaces the file by renaming a new one over it: never over a device, pipe or folder,
// and only where a new file can be made beside the old one.
void refuseUnsafeTarget(const QString& path)
{
    const QString other = notARegularFile(path);
    if (!other.isEmpty())
        saveFailed(path, QStringLiteral("it is %1, not a regular file").arg(other));
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (folder.isDir() && !folder.isWritable()) {
        saveFailed(path, QStringLiteral("the folder \"%1\" cannot be written to, and a set-up file "
                                        "is saved as a new file beside the old one, then put in "
                                        "its place; save it in another folder")
                             .arg(QDir::toNativeSeparators(folder.filePath())));
    }
}

void writeAtomically(const QString& path, const QByteArray& content)
{
    refuseUnsafeTarget(path);
    QSaveFile file(path);
    // Unbuffered, so that a short write (disk full) shows in write()'s count: a buffered
    // QSaveFile can lose it in the final flush and commit a cut-off file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        saveFailed(path, file.errorString());
    const qint64 written = file.write(content);
    if (written != content.size()) {
        const QString why = file.errorString(); // before cancelling, which replaces it
        file.cancelWriting();
        saveFailed(path, written < 0 ? why
                                     : QStringLiteral("only %1 of %2 bytes could be written "
                                                      "(is the disk full?)")
                                           .arg(QString::number(written),
                                                QString::number(content.size())));
    }
    if (!file.commit())
        saveFailed(path, file.errorString());
}

QByteArray quotedText(Field f, const QString& text)
{
    const auto bytes = toSingleByte(text);
    if (!bytes) {
        throw SetupFileError(QStringLiteral("%1 holds the character \"%2\", which a set-up file "
                                            "cannot store.")
                                 .arg(describeField(f), QString(*firstUnencodable(text))));
    }
    QByteArray line = *bytes;
    // A carriage return inside a text would end the line early and shift every later setting
    // by one line when the file is read; the reader could never give it back anyway.
    line.replace('\r', QByteArray());
    return '"' + line + '"';
}

int lineNumberValue(const QString& line, int lineNumber, Field f, Range allowed,
                    const QString& allowedText)
{
    const auto value = roundToRange(leadingNumber(line), allowed.min, allowed.max);
    if (!value || !allowed.contains(*value)) {
        throw SetupFileError(QStringLiteral("line %1 holds \"%2\" for %3, which takes %4.")
                                 .arg(QString::number(lineNumber), line, describeField(f),
                                      allowedText));
    }
    return *value;
}

void applyLine(SetupValues& values, int n, const QString& line)
{
    const Field f = readField(n);
    const FieldInfo& info = fieldInfo(f);
    switch (info.kind) {
    case FieldKind::Choice: {
        const int last = int(info.items.size()) - 1;
        values.setChoice(f, lineNumberValue(line, n, f, {-1, last},
                                            QStringLiteral("-1 (none) to %1").arg(last)));
        break;
    }
    case FieldKind::Option:
        values.setOption(f, line == QLatin1String("#TRUE#"));
        break;
    case FieldKind::Check:
        values.setCheck(f, line == QLatin1String("1") ? 1 : 0);
        break;
    case FieldKind::Level:
        values.setLevel(f, lineNumberValue(line, n, f, info.range,
                                           QStringLiteral("%1 to %2")
                                               .arg(QString::number(info.range.min),
                                                    QString::number(info.range.max))));
        break;
    case FieldKind::Number:
    case FieldKind::Text:
        values.setText(f, line);
        break;
    }
}

SetupValues parseLines(QIODevice& file, const SetupValues& base)
{
    // Every line is converted into a copy, in file order (so the video standard is chosen
    // before the four line numbers that follow it); the caller takes the copy only whole.
    SetupValues values = base;
    for (int n = 1; n <= SetupFileLines; ++n) {
        bool tooLong = false;
        const QString line = readFilteredLine(file, LongestLine, &tooLong);
        if (tooLong) {
            throw SetupFileError(QStringLiteral("line %1 is longer than %2 bytes, which no "
                                                "set-up line is.")
                                     .arg(QString::number(n), QString::number(LongestLine)));
        }
        try {
            applyLine(values, n, line);
        } catch (const SetupValueError& refused) {
            throw SetupFileError(
                QStringLiteral("line %1: %2").arg(QString::number(n), refused.message()));
        }
    }
    return values;
}

// Opening a device or a pipe could block, and reading one might never end.
void openForReading(QFile& file)
{
    const QString other = notARegularFile(file.fileName());
    if (!other.isEmpty()) {
        throw SetupFileError(QStringLiteral("Could not open the set-up file \"%1\": it is %2, "
                                            "not a regular file.")
                                 .arg(file.fileName(), other));
    }
    if (!file.open(QIODevice::ReadOnly)) {
        throw SetupFileError(QStringLiteral("Could not open the set-up file \"%1\": %2.")
                                 .arg(file.fileName(), file.errorString()));
    }
}

} // namespace

SetupFileError::SetupFileError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

QByteArray setupText(const SetupValues& values)
{
    QByteArray text;
    for (int n = 1; n <= SetupFileLines; ++n) {
        const Field f = writtenField(n);
        const FieldKind kind = fieldInfo(f).kind;
        const bool quoted = kind == FieldKind::Text || kind == FieldKind::Number;
        text += quoted ? quotedText(f, values.text(f)) : values.displayValue(f).toLatin1();
        text += "\r\n";
    }
    return text;
}

void exportSetupText(const QString& path, const SetupValues& values)
{
    QByteArray content;
    try {
        content = setupText(values);
    } catch (const SetupFileError& refused) {
        throw SetupFileError(QStringLiteral("Could not save the set-up file \"%1\": %2")
                                 .arg(path, refused.message()));
    }
    writeAtomically(path, content);
}

QString readSetupLine(QIODevice& file)
{
    bool tooLong = false;
    return readFilteredLine(file, std::numeric_limits<qsizetype>::max(), &tooLong);
}

SetupValues parseSetupText(const QByteArray& content, const SetupValues& base)
{
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    return parseLines(buffer, base);
}

void importSetupText(const QString& path, HeldSetup& held)
{
    QFile file(path);
    openForReading(file);
    const QByteArray content = file.read(LargestSetupText + 1);
    if (file.error() != QFileDevice::NoError) {
        throw SetupFileError(QStringLiteral("Could not read the set-up file \"%1\": %2. Nothing "
                                            "was changed.")
                                 .arg(path, file.errorString()));
    }
    if (content.size() > LargestSetupText) {
        throw SetupFileError(QStringLiteral("The set-up file \"%1\" is larger than 1 MiB, far "
                                            "too large to be a SID set-up file. Nothing was "
                                            "changed.")
                                 .arg(path));
    }
    SetupValues values;
    try {
        values = parseSetupText(content, held.fields.values());
    } catch (const SetupFileError& refused) {
        throw SetupFileError(QStringLiteral("Could not open the set-up file \"%1\": %2 Nothing "
                                            "was changed.")
                                 .arg(path, refused.message()));
    }
    held.fields.setValues(values);
    held.connectedCardType = CardType::SID;
}

void saveSetupImage(const QString& path, const QByteArray& image)
{
    writeAtomically(path, image);
}

QByteArray readSetupImageFile(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        throw SetupFileError(QStringLiteral("The set-up file \"%1\" does not exist.").arg(path));
    openForReading(file);
    // One byte past the largest image is enough to tell that a file is too large.
    const QByteArray bytes = file.read(MaxImageSize + 1);
    if (file.error() != QFileDevice::NoError) {
        throw SetupFileError(QStringLiteral("Could not read the set-up file \"%1\": %2.")
                                 .arg(path, file.errorString()));
    }
    if (bytes.isEmpty()) {
        throw SetupFileError(QStringLiteral("The set-up file \"%1\" is empty: it holds no "
                                            "set-up image.")
                                 .arg(path));
    }
    if (bytes.size() > MaxImageSize) {
        throw SetupFileError(QStringLiteral("The set-up file \"%1\" is larger than %2 bytes, too "
                                            "large to be a card's set-up image.")
                                 .arg(path, QString::number(MaxImageSize)));
    }
    return bytes;
}

void loadSetupImage(const QString& path, HeldSetup& held)
{
    held.setupImage = readSetupImageFile(path);
    held.connectedCardType = CardType::AVM;
}

} // namespace quillon

namespace quillon {

ComparedSetup readSetupFile(const QString& path)
{
    ComparedSetup setup;
    setup.kind = setupKindFromName(path);
    if (setup.kind == CardType::AVM) {
        setup.image = readSetupImageFile(path);
        return setup;
    }
    HeldSetup held;
    loadDefaults(held.fields);
    importSetupText(path, held);
    setup.values = held.fields.values();
    return setup;
}

} // namespace quillon

// SPDX-License-Identifier: GPL-3.0-or-later
// Set-up files and images as the program takes them from disk or from a card.

#include "fuzzentries.h"

#include "files/setupfiles.h"
#include "setup/setupimage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace quillon::fuzz {

namespace {

[[noreturn]] void violated(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

QByteArray bytesOf(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Where the input files go: a file system in memory where there is one, since rewriting a file
// on disk thousands of times a second is slow enough to be what a run measures.
QString scratchFolder()
{
    const QFileInfo memory(QStringLiteral("/dev/shm"));
    return memory.isDir() && memory.isWritable() ? memory.filePath() : QDir::tempPath();
}

// The input as a file of the given name, rewritten for each input.
QString asFile(const char* name, const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir(scratchFolder() + QStringLiteral("/quillon-fuzz-XXXXXX"));
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytesOf(data, size)) != qint64(size))
        violated("cannot write the input file");
    return path;
}

} // namespace

int setupTextFile(const std::uint8_t* data, std::size_t size)
{
    HeldSetup held;
    loadDefaults(held.fields);
    try {
        importSetupText(asFile("Input.kxd", data, size), held);
    } catch (const SetupFileError&) {
        if (held.fields.values() != defaultSetupValues())
            violated("a refused file changed the settings");
        return 0;
    }
    // What was read can be saved, and saving what that file reads gives the same file.
    const SetupValues values = held.fields.values();
    try {
        const QByteArray saved = setupText(values);
        if (setupText(parseSetupText(saved, defaultSetupValues())) != saved)
            violated("a saved set-up file does not read back as what was saved");
    } catch (const SetupFileError&) {
        violated("settings read from a file cannot be saved, or their file cannot be read");
    }
    (void)encodeSidImage(values);
    return 0;
}

int setupImage(const std::uint8_t* data, std::size_t size)
{
    HeldSetup held;
    loadDefaults(held.fields);
    held.setupImage = bytesOf(data, std::min<std::size_t>(size, MaxImageSize));
    if (!applySetupImage(held).isEmpty()) {
        if (held.fields.values() != defaultSetupValues())
            violated("a refused image changed the settings");
        return 0;
    }
    (void)encodeSidImage(held.fields.values());
    return 0;
}

int avmImageFile(const std::uint8_t* data, std::size_t size)
{
    HeldSetup held;
    loadDefaults(held.fields);
    try {
        loadSetupImage(asFile("Input.kxm", data, size), held);
    } catch (const SetupFileError&) {
        if (held.setupImage != HeldSetup::emptySidImage())
            violated("a refused file changed the image");
        return 0;
    }
    held.loadedCardType = CardType::AVM;
    const QByteArray loaded = held.setupImage;
    // Sent to an AVM card whose version matches or not: checked, never changed.
    for (const std::optional<quint8> cardVersion :
         {std::optional<quint8>(), std::optional<quint8>(loaded.size() > 1 ? quint8(loaded[1]) : 0)}) {
        (void)buildSetupImage(held, cardVersion);
        if (held.setupImage != loaded)
            violated("checking an AVM image for sending changed it");
    }
    (void)applySetupImage(held);
    return 0;
}

const std::vector<Entry>& entries()
{
    static const std::vector<Entry> all = {
        {"link_receiver", linkReceiver},
        {"setup_text", setupTextFile},
        {"setup_image", setupImage},
        {"avm_image", avmImageFile},
        {"inventory", inventoryFile},
        {"telnet_client", telnetClient},
    };
    return all;
}

} // namespace quillon::fuzz

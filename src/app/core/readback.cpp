#include "readback.h"

#include "../../setup/heldsetup.h"
#include "../../setup/setupimage.h"

namespace quillon {

namespace {

bool isSidImage(const QByteArray& image) { return image.size() <= SidImageSize; }

QList<ReadBackDifference> avmDifferences(const QByteArray& sent, const QByteArray& back)
{
    const QString window = QStringLiteral("AVM image");
    QList<ReadBackDifference> found;
    if (sent.size() != back.size())
        found.append({window, QStringLiteral("length"), QString::number(sent.size()), QString::number(back.size())});
    const qsizetype common = std::min(sent.size(), back.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (sent[i] == back[i])
            continue;
        auto hex = [](char byte) { return QStringLiteral("0x") + QStringLiteral("%1").arg(quint8(byte), 2, 16, QLatin1Char('0')).toUpper(); };
        found.append({window, QStringLiteral("byte at offset %1").arg(i), hex(sent[i]), hex(back[i])});
    }
    return found;
}

QList<ReadBackDifference> sidDifferences(const QByteArray& sent, const QByteArray& back)
{
    const QString refusal = sidImageRefusal(back);
    if (!refusal.isEmpty())
        return {{QStringLiteral("SID set-up"), QStringLiteral("the set-up read back"), QStringLiteral("readable"), refusal}};
    const SetupValues base;
    const SetupValues was = decodeSidImage(sent, base);
    const SetupValues is = decodeSidImage(back, base);
    QList<ReadBackDifference> found;
    for (const FieldInfo& info : allFields()) {
        if (was.displayValue(info.field) != is.displayValue(info.field))
            found.append({windowCaption(info.window), info.caption, was.displayValue(info.field),
                          is.displayValue(info.field)});
    }
    return found;
}

} // namespace

QList<ReadBackDifference> readBackDifferences(const QByteArray& sent, const QByteArray& readBack)
{
    if (isSidImage(sent) && isSidImage(readBack) && sidImageRefusal(sent).isEmpty())
        return sidDifferences(sent, readBack);
    return avmDifferences(sent, readBack);
}

QString differenceLine(const ReadBackDifference& d)
{
    return QStringLiteral("%1, %2: sent %3, read back %4").arg(d.window, d.setting, d.sent, d.readBack);
}

} // namespace quillon

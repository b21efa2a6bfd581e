// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace quillon {

// The diagnostic trace of a connection: every frame sent and received, in the order of events.
// Entries are written raw, with no separators: a text as its single-byte characters, a 16-bit
// integer as two bytes little-endian, a byte or byte array as the bytes themselves, a
// hexadecimal text as upper-case hex digits without prefix.
// A trace that cannot be written never stops a transfer: it is skipped, and said once on stderr.
class TraceFile {
public:
    explicit TraceFile(QString path = {}); // empty: no trace
    ~TraceFile();

    QString path() const { return path_; }
    void setPath(const QString& path);

    void open(); // empties the file
    void close();
    bool isOpen() const { return file_.isOpen(); }

    void text(const char* text);
    void int16(int value);
    void byte(quint8 value);
    void bytes(const QByteArray& bytes);
    void hex(int value);

private:
    void write(const QByteArray& data);
    void fail();
    QString path_;
    QFile file_;
    bool warned_ = false;
};

} // namespace quillon

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracefile.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace quillon {

TraceFile::TraceFile(QString path) : path_(std::move(path)) {}

TraceFile::~TraceFile() { close(); }

void TraceFile::setPath(const QString& path)
{
    close();
    path_ = path;
}

void TraceFile::open()
{
    close();
    if (path_.isEmpty())
        return;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    file_.setFileName(path_);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail();
}

void TraceFile::close()
{
    if (file_.isOpen())
        file_.close();
}

void TraceFile::text(const char* text) { write(QByteArray(text)); }

void TraceFile::int16(int value)
{
    const auto v = static_cast<quint16>(static_cast<qint16>(value));
    QByteArray data;
    data.append(static_cast<char>(v & 0xFF));
    data.append(static_cast<char>(v >> 8));
    write(data);
}

void TraceFile::byte(quint8 value) { write(QByteArray(1, static_cast<char>(value))); }

void TraceFile::bytes(const QByteArray& bytes) { write(bytes); }

void TraceFile::hex(int value) { write(QByteArray::number(value, 16).toUpper()); }

void TraceFile::write(const QByteArray& data)
{
    if (!file_.isOpen())
        return;
    if (file_.write(data) != data.size())
        fail();
}

void TraceFile::fail()
{
    if (!warned_) {
        std::fprintf(stderr, "Quillon: the trace file %s cannot be written (%s); going on without it.\n",
                     qPrintable(QDir::toNativeSeparators(path_)), qPrintable(file_.errorString()));
        warned_ = true;
    }
    file_.close();
}

} // namespace quillon

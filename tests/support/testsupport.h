#pragma once

// Small helpers the test suites share.

#include <QByteArray>
#include <QEventLoop>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace testsupport {

// A file's bytes; empty when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

// Runs the event loop until done() holds or limitMs has passed; true when it held.
inline bool waitFor(const std::function<bool()>& done, int limitMs = 2000)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

} // namespace testsupport

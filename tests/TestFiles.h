// Writing and reading whole files in tests.
#pragma once

#include <sys/mount.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>
#include <cerrno>

// Writes `bytes` to `path`, creating the folders above it. A failure fails the test.
inline void WriteFile(const QString& path, const QByteArray& bytes = {}) {
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The whole file, or "<missing>" when it cannot be read.
inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A small tmpfs over a folder for its lifetime: a disk that fills up for real. `options` are
// tmpfs's own ("size=1m", "nr_inodes=8"); `flags` are mount flags such as MS_RDONLY.
class SmallDisk {
public:
    SmallDisk(const QString& folder, const std::string& options, unsigned long flags = 0)
        : folder_(QFile::encodeName(folder)) {
        const std::string all = options + ",mode=0755";
        mounted_ = ::mount("tmpfs", folder_.constData(), "tmpfs", flags, all.c_str()) == 0;
        error_ = mounted_ ? 0 : errno;
    }
    ~SmallDisk() {
        if (mounted_) {
            ::umount2(folder_.constData(), MNT_DETACH);
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted_; }
    int Error() const { return error_; }

private:
    QByteArray folder_;
    bool mounted_ = false;
    int error_ = 0;
};

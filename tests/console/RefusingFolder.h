#pragma once
// Makes a folder refuse new entries while the files already in it stay writable, as on a
// shared bench computer. An ordinary user gets a read-only folder; root, whom permissions do
// not stop, gets an immutable one. Undone when the object goes.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

class RefusingFolder {
public:
    explicit RefusingFolder(const QString& folder)
        : path_(QFile::encodeName(folder))
    {
        if (::geteuid() != 0) {
            readOnly_ = ::chmod(path_.constData(), 0555) == 0;
            return;
        }
        const int fd = ::open(path_.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return;
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            immutable_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
    }
    ~RefusingFolder()
    {
        if (readOnly_)
            ::chmod(path_.constData(), 0755);
        if (immutable_) {
            const int fd = ::open(path_.constData(), O_RDONLY | O_DIRECTORY);
            int flags = 0;
            if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            if (fd >= 0)
                ::close(fd);
        }
    }
    RefusingFolder(const RefusingFolder&) = delete;
    RefusingFolder& operator=(const RefusingFolder&) = delete;

    // True when a new file really cannot be created there (the file system may lack the flag).
    bool refuses() const
    {
        const QByteArray probe = path_ + "/probe";
        const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0)
            return errno == EACCES || errno == EPERM || errno == EROFS;
        ::close(fd);
        ::unlink(probe.constData());
        return false;
    }

private:
    QByteArray path_;
    bool readOnly_ = false;
    bool immutable_ = false;
};

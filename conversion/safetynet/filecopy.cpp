// This program's own safety copy of a file: room for it, the copy itself (the kernel's copy
// where it can, else read and write), flushed, fixed up and named.

#include "safetycopy.h"

#include "advice.h"
#include "errors.h"
#include "filenames.h"

#include <QDir>
#include <QFileInfo>

#include <ibase.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace safetycopy {

namespace {

constexpr qint64 MiB = qint64(1024) * 1024;
// Large enough that the kernel copies at full speed, small enough that progress and a stop
// come several times a second on a slow disk.
constexpr qint64 chunk = 8 * MiB;


[[noreturn]] void copyFailed(const QString &to, const QString &why)
{
    throw Exception(QStringLiteral("Não foi possível fazer a cópia de segurança %1: %2.").arg(native(to), why));
}

// The copy being written: closed, and removed unless kept, however the copy ends.
class PartialCopy {
public:
    PartialCopy(int fd, const QString &path) : fd_(fd), path_(filenames::encode(path)) {}
    ~PartialCopy()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!kept_)
            ::unlink(path_.constData());
    }
    PartialCopy(const PartialCopy &) = delete;
    PartialCopy &operator=(const PartialCopy &) = delete;

    int fd() const { return fd_; }
    // Closes the finished copy; false with errno when the close reports a late write error.
    bool close()
    {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }
    void keep() { kept_ = true; }

private:
    int fd_;
    QByteArray path_;
    bool kept_ = false;
};

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

// Percentages as they grow, held below 100 until the copy is flushed.
class Progress {
public:
    Progress(const std::function<void(int)> &report, qint64 size) : report_(report), size_(size) {}
    void copied(qint64 bytes)
    {
        if (size_ > 0)
            show(int(std::min<qint64>(99, bytes * 100 / size_)));
    }
    void done() { show(100); }

private:
    void show(int percent)
    {
        if (percent <= shown_)
            return;
        shown_ = percent;
        if (report_)
            report_(percent);
    }
    const std::function<void(int)> &report_;
    qint64 size_;
    int shown_ = -1;
};

bool stopped(const std::atomic<bool> *stop)
{
    return stop && stop->load();
}

// Errors by which copy_file_range says it cannot copy between these two files at all.
bool kernelCannotCopy(int error)
{
    return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL;
}

void readWrite(int in, int out, qint64 from, const QString &source, const QString &to, Progress &progress,
               const std::atomic<bool> *stop)
{
    QByteArray buffer(int(chunk), Qt::Uninitialized);
    for (qint64 offset = from;;) {
        if (stopped(stop))
            throw Exception(QStringLiteral("Cópia de segurança %1 interrompida.").arg(native(to)));
        const ssize_t n = ::pread(in, buffer.data(), size_t(buffer.size()), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            copyFailed(to, QStringLiteral("erro ao ler %1: %2").arg(native(source), systemMessage(errno)));
        if (n == 0)
            return;
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = ::pwrite(out, buffer.constData() + written, size_t(n - written), offset + written);
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                copyFailed(to, systemMessage(errno));
            written += w;
        }
        offset += n;
        progress.copied(offset);
    }
}

Method copyRange(int in, int out, const QString &source, const QString &to, Progress &progress,
                 const std::atomic<bool> *stop)
{
    loff_t inOffset = 0, outOffset = 0;
    for (;;) {
        if (stopped(stop))
            throw Exception(QStringLiteral("Cópia de segurança %1 interrompida.").arg(native(to)));
        const ssize_t n = ::copy_file_range(in, &inOffset, out, &outOffset, size_t(chunk), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && inOffset == 0 && kernelCannotCopy(errno)) {
            readWrite(in, out, 0, source, to, progress, stop);
            return Method::ReadWrite;
        }
        if (n < 0)
            copyFailed(to, systemMessage(errno));
        if (n == 0)
            return Method::CopyRange;
        progress.copied(inOffset);
    }
}

void syncFolder(const QString &to)
{
    const QString folder = QFileInfo(to).absolutePath();
    Descriptor dir(::open(filenames::encode(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some filesystems cannot flush a folder (EINVAL): their entries are as durable as they get.
    if (!dir.valid() || (::fsync(dir.fd()) != 0 && errno != EINVAL))
        copyFailed(to, QStringLiteral("erro ao gravar a pasta %1: %2").arg(native(folder), systemMessage(errno)));
}

} // namespace

qint64 margin(qint64 size)
{
    return std::max<qint64>(64 * MiB, size / 10);
}

void checkRoom(const QString &copyPath, qint64 size)
{
    const QString folder = QFileInfo(copyPath).absolutePath();
    const QByteArray encoded = filenames::encode(folder);
    struct statvfs fs {};
    int error = 0;
    // A folder, the effective user's right to add a file to it (as the copy will), and a mount
    // that takes writes.
    const Descriptor dir(::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid() || ::faccessat(AT_FDCWD, encoded.constData(), W_OK | X_OK, AT_EACCESS) != 0
        || ::fstatvfs(dir.fd(), &fs) != 0)
        error = errno;
    else if (fs.f_flag & ST_RDONLY)
        error = EROFS;
    if (error)
        throw Exception(advice::forTechnician(QStringLiteral("Não é possível gravar a cópia de segurança em %1: %2.")
                                                  .arg(native(folder), systemMessage(error)),
                                              QStringLiteral("Para o técnico: dê a este usuário permissão de gravação nessa "
                                                             "pasta; ou, com uma cópia feita por outro meio, converta sem a "
                                                             "cópia do programa (conversor --convert --no-copy "
                                                             "caminho/do/banco).")));

    const qint64 needed = size + margin(size);
    const qint64 available = qint64(fs.f_bavail) * qint64(fs.f_frsize);
    if (available < needed) {
        // What is asked for, and why more than the file: a clerk compares it with what ls and df say.
        const qint64 freeMb = available / MiB;
        const QString text = freeMb == 1
            ? QStringLiteral("Sem espaço para a cópia de segurança em %1: são necessários %2 MB (o tamanho do banco e "
                             "uma folga de %3 MB) e só há %4 MB livre.")
            : QStringLiteral("Sem espaço para a cópia de segurança em %1: são necessários %2 MB (o tamanho do banco e "
                             "uma folga de %3 MB) e só há %4 MB livres.");
        throw Exception(text.arg(native(folder))
                            .arg((needed + MiB - 1) / MiB)
                            .arg((margin(size) + MiB - 1) / MiB)
                            .arg(freeMb));
    }
}

Method copyFile(const QString &from, const QString &to, const std::function<void(int percent)> &progress,
                const std::atomic<bool> *stop)
{
    if (stopped(stop))
        throw Exception(QStringLiteral("Cópia de segurança %1 interrompida.").arg(native(to)));
    const Descriptor in(::open(filenames::encode(from).constData(), O_RDONLY | O_CLOEXEC));
    struct stat source {};
    if (!in.valid() || ::fstat(in.fd(), &source) != 0)
        copyFailed(to, QStringLiteral("erro ao ler %1: %2").arg(native(from), systemMessage(errno)));
    if (!S_ISREG(source.st_mode))
        copyFailed(to, QStringLiteral("%1 não é um arquivo comum").arg(native(from)));

    // O_EXCL: an existing file is never written over, nor removed as a partial copy.
    const int fd = ::open(filenames::encode(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        copyFailed(to, systemMessage(errno));
    PartialCopy out(fd, to);
    // Whoever may use the database may use its copy, and no one else: the database's owner and
    // group, its permission bits. Only root may give a file away; another user gives it the
    // database's group where he belongs to it, so that the account that owns the database (a
    // server's, say) opens the copy put back.
    if ((source.st_uid != ::geteuid() || source.st_gid != ::getegid()) && ::fchown(out.fd(), source.st_uid, source.st_gid) != 0) {
        if (errno != EPERM)
            copyFailed(to, systemMessage(errno));
        if (source.st_gid != ::getegid() && ::fchown(out.fd(), uid_t(-1), source.st_gid) != 0 && errno != EPERM)
            copyFailed(to, systemMessage(errno));
    }
    if (::fchmod(out.fd(), source.st_mode & 0777) != 0)
        copyFailed(to, systemMessage(errno));

    Progress shown(progress, qint64(source.st_size));
    Method method = Method::Clone;
    if (::ioctl(out.fd(), FICLONE, in.fd()) != 0) {
        // No clone here (another filesystem, or one without shared blocks): copy the bytes,
        // over anything a failed clone may have left. Only then truncated: on ext4 a file
        // truncated to nothing is written back as it closes, which the copy does not need.
        struct stat left {};
        if (::fstat(out.fd(), &left) != 0 || (left.st_size != 0 && ::ftruncate(out.fd(), 0) != 0))
            copyFailed(to, systemMessage(errno));
        method = copyRange(in.fd(), out.fd(), from, to, shown, stop);
    }
    if (::fsync(out.fd()) != 0 || !out.close())
        copyFailed(to, systemMessage(errno));
    syncFolder(to);
    out.keep();
    shown.done();
    return method;
}

void flushFolder(const QString &file)
{
    syncFolder(file);
}

void rename(const QString &from, const QString &to)
{
    if (::renameat2(AT_FDCWD, filenames::encode(from).constData(), AT_FDCWD, filenames::encode(to).constData(),
                    RENAME_NOREPLACE) != 0)
        copyFailed(to, systemMessage(errno));
    syncFolder(to);
}

void fixUp(const QString &copy)
{
    // The header page begins every database file; these fields have kept their places since
    // on-disk structure 11 (Firebird's ods.h: struct pag, struct header_page).
    constexpr int pageType = 0;           // pag_type: 1, the header page
    constexpr int pageSize = 16;          // hdr_page_size
    constexpr int odsVersion = 18;        // hdr_ods_version: the major version, with Firebird's 0x8000 flag
    constexpr int flags = 42;             // hdr_flags
    constexpr int headerBytes = 128;      // the fixed part, before the header's clumplets
    constexpr quint16 firebird3 = 0x8000 | 12;
    constexpr quint16 backupMask = 0x0C00; // hdr_backup_mask: normal 0, stalled 0x400, merge 0x800
    constexpr quint16 stalled = 0x0400;   // main file locked, changes going to the delta file
    constexpr quint16 shutdownMask = 0x1080; // hdr_shutdown_mask: multi 0x80, full 0x1000, single both

    const Descriptor fd(::open(filenames::encode(copy).constData(), O_RDWR | O_CLOEXEC));
    if (!fd.valid())
        throw Exception(QStringLiteral("Não foi possível abrir a cópia de segurança %1: %2.").arg(native(copy), systemMessage(errno)));
    unsigned char header[headerBytes];
    const ssize_t n = ::pread(fd.fd(), header, sizeof header, 0);
    if (n < 0)
        throw Exception(QStringLiteral("Não foi possível ler a cópia de segurança %1: %2.").arg(native(copy), systemMessage(errno)));
    // The engine writes these fields in the machine's own byte order.
    auto field = [&](int offset) {
        quint16 value;
        std::memcpy(&value, header + offset, sizeof value);
        return value;
    };
    const quint16 size = n == headerBytes ? field(pageSize) : 0;
    const bool isPageSize = size >= 1024 && size <= 32768 && (size & (size - 1)) == 0;
    if (n != headerBytes || header[pageType] != 1 || field(odsVersion) != firebird3 || !isPageSize)
        throw Exception(QStringLiteral("%1 não é um banco de dados do Firebird 3.").arg(native(copy)));
    const quint16 state = field(flags);
    if ((state & backupMask) != stalled)
        throw Exception(QStringLiteral("%1 não traz no cabeçalho o estado de cópia sob a trava do banco "
                                       "(ALTER DATABASE BEGIN BACKUP).")
                            .arg(native(copy)));

    // The copy is the database as it was for its users: open to them, whatever a run that has
    // the database to itself made of it meanwhile.
    const quint16 normal = state & ~backupMask & ~shutdownMask;
    if (::pwrite(fd.fd(), &normal, sizeof normal, flags) != ssize_t(sizeof normal) || ::fsync(fd.fd()) != 0)
        throw Exception(QStringLiteral("Não foi possível gravar a cópia de segurança %1: %2.").arg(native(copy), systemMessage(errno)));
}

} // namespace safetycopy

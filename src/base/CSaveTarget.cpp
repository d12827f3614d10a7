#include "base/CSaveTarget.h"

#include "base/CfgReader.h"
#include "base/LaunchValues.h"
#include "base/ModuleLog.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Device names can be long; the time and the id keep the name unique anyway.
constexpr int kMaxNameChars = 48;

QString SafePart(const QString& strText)
{
    QString strSafe;
    for (const QChar ch : strText) {
        const bool bKeep = ch.isLetterOrNumber() || ch == QLatin1Char('-') || ch == QLatin1Char('_');
        if (bKeep) {
            strSafe += ch;
        } else if (!strSafe.endsWith(QLatin1Char('_'))) {
            strSafe += QLatin1Char('_');
        }
    }
    while (strSafe.startsWith(QLatin1Char('_')) || strSafe.startsWith(QLatin1Char('-'))) {
        strSafe.remove(0, 1);
    }
    while (strSafe.endsWith(QLatin1Char('_'))) {
        strSafe.chop(1);
    }
    return strSafe.left(kMaxNameChars);
}

bool WriteAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qint64 nLeft = bytes.size();
    while (nLeft > 0) {
        const ssize_t nWritten = ::write(fd, p, static_cast<size_t>(nLeft));
        if (nWritten < 0 && errno == EINTR) {
            continue;
        }
        if (nWritten <= 0) {
            if (nWritten == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        p += nWritten;
        nLeft -= nWritten;
    }
    return true;
}

} // namespace

QString CSaveTarget::Folder(Kind eKind)
{
    const char* szKey = eKind == Snapshot ? "snap_folder" : "rec_folder";
    return QString::fromLocal8Bit(ReadCfgString(LaunchValues::snapshot().CfgPath, szKey, "").c_str())
        .trimmed();
}

CSaveTarget::Status CSaveTarget::CheckFolder(const QString& strFolder)
{
    if (strFolder.isEmpty()) {
        return NotConfigured;
    }
    const QFileInfo info(strFolder);
    if (!info.exists() || !info.isDir()) {
        return Missing;
    }
    if (!info.isWritable()) {
        return NotWritable;
    }
    return Ok;
}

QString CSaveTarget::FileName(const ALARM_INFO_STRUCT& record, const QString& strExt)
{
    QString strDevice = SafePart(QString::fromLocal8Bit(record.deviceName.c_str()));
    if (strDevice.isEmpty()) {
        strDevice = SafePart(QString::fromLocal8Bit(record.deviceSerial.c_str()));
    }
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(record.alarmTime));
    QString strTime = record.alarmTime > 0 ? time.toString(QStringLiteral("yyyyMMdd_HHmmss"))
                                           : SafePart(record.alarmTimeText);
    QStringList parts;
    for (const QString& strPart : {strDevice, strTime, QString::number(record.id)}) {
        if (!strPart.isEmpty()) {
            parts << strPart;
        }
    }
    return parts.join(QLatin1Char('_')) + QLatin1Char('.') + SafePart(strExt);
}

QString CSaveTarget::PictureExtension(const QByteArray& baPicture)
{
    if (baPicture.startsWith("\xFF\xD8\xFF")) {
        return QStringLiteral("jpg");
    }
    if (baPicture.startsWith("\x89PNG")) {
        return QStringLiteral("png");
    }
    QBuffer buffer;
    buffer.setData(baPicture);
    const QByteArray baFormat = QImageReader::imageFormat(&buffer);
    return baFormat.isEmpty() ? QStringLiteral("img") : QString::fromLatin1(baFormat).toLower();
}

CSaveTarget::Status CSaveTarget::StatusOfErrno(int nErrno)
{
    switch (nErrno) {
    case ENOENT:
    case ENOTDIR:
        return Missing;
    case EACCES:
    case EPERM:
    case EROFS:
        return NotWritable;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return DiskFull;
    default:
        return WriteFailed;
    }
}

CSaveTarget::Status CSaveTarget::CreateTempBeside(const QString& strPath, QString* pTempPath)
{
    const QFileInfo target(strPath);
    for (int nTry = 0; nTry < 8; ++nTry) {
        const QString strTemp =
            target.absolutePath() + QStringLiteral("/.") + target.fileName() +
            QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        // 0666: the process's umask decides, as for any file it creates.
        const int fd =
            ::open(QFile::encodeName(strTemp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            *pTempPath = strTemp;
            return Ok;
        }
        if (errno != EEXIST) {
            return StatusOfErrno(errno);
        }
    }
    return WriteFailed;
}

CSaveTarget::Status CSaveTarget::WriteFile(const QString& strPath, const QByteArray& bytes)
{
    static const char* const kFn = "CSaveTarget::WriteFile";
    QString strTemp;
    const Status eCreated = CreateTempBeside(strPath, &strTemp);
    if (eCreated != Ok) {
        MC_LOG(5, kFn, "<%d>\t<%s>,no file can be made beside %s", strPath.toLocal8Bit().constData());
        return eCreated;
    }
    const QByteArray baTemp = QFile::encodeName(strTemp);
    const int fd = ::open(baTemp.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool bOk = fd >= 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int nErrno = bOk ? 0 : errno;
    if (fd >= 0 && ::close(fd) != 0 && bOk) {
        bOk = false;
        nErrno = errno;
    }
    if (bOk && std::rename(baTemp.constData(), QFile::encodeName(strPath).constData()) != 0) {
        bOk = false;
        nErrno = errno;
    }
    if (!bOk) {
        ::unlink(baTemp.constData());
        MC_LOG(5, kFn, "<%d>\t<%s>,%s not written: errno %d", strPath.toLocal8Bit().constData(), nErrno);
        return StatusOfErrno(nErrno);
    }
    return Ok;
}

QString CSaveTarget::FailureText(Kind eKind, Status eStatus)
{
    const QString strWhat = eKind == Snapshot ? QStringLiteral("抓图失败") : QStringLiteral("录像保存失败");
    switch (eStatus) {
    case NotConfigured:
        return strWhat + QStringLiteral("，未设置保存路径");
    case Missing:
        return strWhat + QStringLiteral("，保存路径不存在");
    case NotWritable:
        return strWhat + QStringLiteral("，保存路径无写入权限");
    case DiskFull:
        return strWhat + QStringLiteral("，磁盘空间不足");
    default:
        return strWhat;
    }
}

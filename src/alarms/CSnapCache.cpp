#include "alarms/CSnapCache.h"

#include "base/CfgReader.h"
#include "base/LaunchValues.h"
#include "base/ModuleLog.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char kEntryMagic[] = "MCSNAP01";
constexpr int kMagicSize = 8;
const char kIndexHeader[] = "MCSNAPIDX 1";
const char kEntrySuffix[] = ".snap";
constexpr int kLockWaitMs = 3000;
constexpr int kStaleLockMs = 10000;
// Uses noted in memory before they are written to the index.
constexpr int kUsesPerFlush = 64;
// A file in the folder that the index does not know is a write that never
// finished once it is this old.
constexpr qint64 kOrphanAgeMs = 60000;
constexpr qint64 kMaxEntryBytes = 16LL << 20;
constexpr quint32 kMaxKeyBytes = 64 * 1024;
// Enough of an entry to hold any header.
constexpr qint64 kMaxHeaderBytes = kMagicSize + 4 + kMaxKeyBytes + 8 + 4 + 20;

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString EntriesDir(const QString& strFolder)
{
    return strFolder + QStringLiteral("/entries");
}

// Snapshots are the operator's business alone: what the cache makes is its
// user's only (the entries are written that way too); a folder that was
// there already keeps its permissions.
bool MakeFolder(const QString& strFolder)
{
    const QString strEntries = EntriesDir(strFolder);
    if (QFileInfo::exists(strEntries)) {
        return true;
    }
    const bool bFolderNew = !QFileInfo::exists(strFolder);
    if (!QDir().mkpath(strEntries)) {
        return false;
    }
    const QFileDevice::Permissions owner =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    if (bFolderNew) {
        QFile::setPermissions(strFolder, owner);
    }
    QFile::setPermissions(strEntries, owner);
    return true;
}

// Renames over an existing file in one step, as a reader must never see half
// an entry or half an index.
bool ReplaceFile(const QString& strFrom, const QString& strTo)
{
    return std::rename(QFile::encodeName(strFrom).constData(), QFile::encodeName(strTo).constData()) == 0;
}

QByteArray EncodeEntry(const QString& strKey, const QByteArray& baBytes, qint64 nExpiresMs)
{
    QByteArray baEntry;
    QDataStream out(&baEntry, QIODevice::WriteOnly);
    out.writeRawData(kEntryMagic, kMagicSize);
    const QByteArray baKey = strKey.toUtf8();
    out << quint32(baKey.size());
    out.writeRawData(baKey.constData(), baKey.size());
    out << qint64(nExpiresMs) << quint32(baBytes.size());
    const QByteArray baSum = QCryptographicHash::hash(baBytes, QCryptographicHash::Sha1);
    out.writeRawData(baSum.constData(), baSum.size());
    out.writeRawData(baBytes.constData(), baBytes.size());
    return baEntry;
}

// The key and expiry of an entry of nFileSize bytes whose start is in
// baData and, when pBody is given (baData then the whole entry), its checked
// body. False for anything damaged or cut short.
bool DecodeEntry(const QByteArray& baData, qint64 nFileSize, QString* pKey, qint64* pExpiresMs,
                 QByteArray* pBody)
{
    QDataStream in(baData);
    char magic[kMagicSize];
    if (in.readRawData(magic, kMagicSize) != kMagicSize || memcmp(magic, kEntryMagic, kMagicSize) != 0) {
        return false;
    }
    quint32 nKeyLen = 0;
    in >> nKeyLen;
    if (in.status() != QDataStream::Ok || nKeyLen > kMaxKeyBytes) {
        return false;
    }
    QByteArray baKey(static_cast<int>(nKeyLen), Qt::Uninitialized);
    if (in.readRawData(baKey.data(), baKey.size()) != baKey.size()) {
        return false;
    }
    qint64 nExpiresMs = 0;
    quint32 nBodyLen = 0;
    in >> nExpiresMs >> nBodyLen;
    QByteArray baSum(20, Qt::Uninitialized);
    if (in.status() != QDataStream::Ok || in.readRawData(baSum.data(), baSum.size()) != baSum.size()) {
        return false;
    }
    const qint64 nHeader = baData.size() - in.device()->bytesAvailable();
    if (nHeader + qint64(nBodyLen) != nFileSize) {
        return false; // cut short, or something after it
    }
    *pKey = QString::fromUtf8(baKey);
    *pExpiresMs = nExpiresMs;
    if (pBody) {
        *pBody = baData.mid(static_cast<int>(nHeader));
        if (QCryptographicHash::hash(*pBody, QCryptographicHash::Sha1) != baSum) {
            return false;
        }
    }
    return true;
}

struct SharedSettings
{
    QString strCfgPath;
    QDateTime dtModified;
    qint64 nSize = -1;
    bool bRead = false;
    std::shared_ptr<CSnapCache> pCache;
};

} // namespace

CSnapCache::CSnapCache(QString strFolder, qint64 nLimitBytes)
    : m_strFolder(std::move(strFolder)), m_nLimitBytes(std::max<qint64>(nLimitBytes, 0))
{
}

CSnapCache::~CSnapCache()
{
    Flush();
}

std::shared_ptr<CSnapCache> CSnapCache::Shared()
{
    static std::mutex mutex;
    static SharedSettings settings;
    const std::string strCfgPath = LaunchValues::snapshot().CfgPath;
    const QFileInfo info(QString::fromLocal8Bit(strCfgPath.c_str()));
    std::lock_guard<std::mutex> lock(mutex);
    if (settings.bRead && settings.strCfgPath == info.filePath() &&
        settings.dtModified == info.lastModified() && settings.nSize == info.size()) {
        return settings.pCache;
    }
    settings.bRead = true;
    settings.strCfgPath = info.filePath();
    settings.dtModified = info.lastModified();
    settings.nSize = info.size();
    QString strFolder = QString::fromLocal8Bit(ReadCfgString(strCfgPath, "snap_cache_folder", "").c_str());
    if (strFolder.isEmpty()) {
        strFolder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                    QStringLiteral("/messageclient/snapshots");
    }
    const QString strSize = QString::fromLocal8Bit(
        ReadCfgString(strCfgPath, "snap_cache_size", std::to_string(kDefaultLimitMiB)).c_str());
    bool bOk = false;
    qint64 nMiB = strSize.trimmed().toLongLong(&bOk);
    if (!bOk || nMiB < 0 || nMiB > (1LL << 20)) {
        MC_LOG(5, "CSnapCache::Shared", "<%d>\t<%s>,snap_cache_size \"%s\" is no size in MiB, %lld taken",
               strSize.toLocal8Bit().constData(), static_cast<long long>(kDefaultLimitMiB));
        nMiB = kDefaultLimitMiB;
    }
    if (nMiB == 0) {
        settings.pCache.reset();
    } else if (!settings.pCache || settings.pCache->Folder() != strFolder ||
               settings.pCache->Limit() != (nMiB << 20)) {
        settings.pCache = std::make_shared<CSnapCache>(strFolder, nMiB << 20);
    }
    MC_LOG(3, "CSnapCache::Shared", "<%d>\t<%s>,snapshot cache %s, %lld MiB",
           settings.pCache ? strFolder.toLocal8Bit().constData() : "off", static_cast<long long>(nMiB));
    return settings.pCache;
}

qint64 CSnapCache::KeepUntil(int nMaxAge, const QString& strUrl)
{
    const qint64 nNowMs = NowMs();
    qint64 nUntilMs = nMaxAge < 0 ? nNowMs + kDefaultLifeMs : nNowMs + qint64(nMaxAge) * 1000;
    const QUrlQuery query{QUrl(strUrl)};
    for (const char* szName : {"Expires", "expires"}) {
        bool bOk = false;
        const qint64 nSeconds = query.queryItemValue(QLatin1String(szName)).toLongLong(&bOk);
        if (bOk) {
            nUntilMs = std::min(nUntilMs, nSeconds * 1000);
        }
    }
    return nUntilMs > nNowMs ? nUntilMs : 0;
}

int CSnapCache::MaxAgeOf(const QByteArray& baCacheControl, const QByteArray& baExpires,
                         const QByteArray& baDate)
{
    const QByteArray baDirectives = baCacheControl.toLower();
    if (baDirectives.contains("no-store") || baDirectives.contains("no-cache")) {
        return 0;
    }
    for (const QByteArray& baDirective : baDirectives.split(',')) {
        const QByteArray baTrimmed = baDirective.trimmed();
        if (baTrimmed.startsWith("max-age=")) {
            bool bOk = false;
            const qint64 nSeconds = baTrimmed.mid(8).toLongLong(&bOk);
            return bOk ? static_cast<int>(std::clamp<qint64>(nSeconds, 0, INT_MAX)) : 0;
        }
    }
    if (baExpires.isEmpty()) {
        return -1;
    }
    // An Expires that is no date is in the past.
    const QDateTime dtExpires = QDateTime::fromString(QString::fromLatin1(baExpires), Qt::RFC2822Date);
    QDateTime dtNow = QDateTime::fromString(QString::fromLatin1(baDate), Qt::RFC2822Date);
    if (!dtNow.isValid()) {
        dtNow = QDateTime::currentDateTimeUtc();
    }
    if (!dtExpires.isValid() || dtExpires <= dtNow) {
        return 0;
    }
    return static_cast<int>(std::min<qint64>(dtNow.secsTo(dtExpires), INT_MAX));
}

QString CSnapCache::EntryName(const QString& strKey)
{
    return QString::fromLatin1(QCryptographicHash::hash(strKey.toUtf8(), QCryptographicHash::Sha1).toHex()) +
           QLatin1String(kEntrySuffix);
}

QString CSnapCache::EntryPath(const QString& strKey) const
{
    return EntriesDir(m_strFolder) + QLatin1Char('/') + EntryName(strKey);
}

bool CSnapCache::ReadEntry(const QString& strPath, const QString& strKey, QByteArray* pBytes,
                           qint64 nNowMs) const
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxEntryBytes + kMaxHeaderBytes) {
        return false;
    }
    QString strStoredKey;
    qint64 nExpiresMs = 0;
    return DecodeEntry(file.readAll(), file.size(), &strStoredKey, &nExpiresMs, pBytes) &&
           strStoredKey == strKey && nExpiresMs > nNowMs;
}

bool CSnapCache::Get(const QString& strKey, QByteArray* pBytes)
{
    const QString strPath = EntryPath(strKey);
    if (!QFileInfo::exists(strPath)) {
        return false;
    }
    const qint64 nNowMs = NowMs();
    const QString strName = EntryName(strKey);
    if (!ReadEntry(strPath, strKey, pBytes, nNowMs)) {
        // Damaged, cut short, another key's or stale: a miss that goes.
        MC_LOG(3, "CSnapCache::Get", "<%d>\t<%s>,entry %s unusable, removed",
               strName.toLocal8Bit().constData());
        QFile::remove(strPath);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_gone.insert(strName);
        m_uses.remove(strName);
        return false;
    }
    bool bFlush = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_uses.insert(strName, NextStamp());
        bFlush = m_uses.size() >= kUsesPerFlush;
    }
    if (bFlush) {
        Flush();
    }
    return true;
}

void CSnapCache::Put(const QString& strKey, const QByteArray& baBytes, qint64 nExpiresMs)
{
    const qint64 nNowMs = NowMs();
    if (nExpiresMs <= nNowMs || baBytes.isEmpty() ||
        baBytes.size() > std::min(kMaxEntryBytes, m_nLimitBytes / 4)) {
        return;
    }
    const QString strDir = EntriesDir(m_strFolder);
    if (!MakeFolder(m_strFolder)) {
        MC_LOG(5, "CSnapCache::Put", "<%d>\t<%s>,cannot make %s", strDir.toLocal8Bit().constData());
        return;
    }
    const QByteArray baEntry = EncodeEntry(strKey, baBytes, nExpiresMs);
    const QString strName = EntryName(strKey);
    QTemporaryFile temp(strDir + QStringLiteral("/.put-XXXXXX"));
    temp.setAutoRemove(true);
    if (!temp.open() || temp.write(baEntry) != baEntry.size() || !temp.flush()) {
        MC_LOG(5, "CSnapCache::Put", "<%d>\t<%s>,cannot write into %s: %s", strDir.toLocal8Bit().constData(),
               temp.errorString().toLocal8Bit().constData());
        return;
    }
    temp.close();
    if (!ReplaceFile(temp.fileName(), strDir + QLatin1Char('/') + strName)) {
        MC_LOG(5, "CSnapCache::Put", "<%d>\t<%s>,cannot rename into %s", strName.toLocal8Bit().constData());
        return;
    }
    temp.setAutoRemove(false); // renamed: nothing left to remove
    UpdateIndex([&](Index& index) {
        Entry& entry = index[strName];
        entry.nSize = baEntry.size();
        entry.nExpiresMs = nExpiresMs;
        entry.nLastUseMs = NextStamp();
    });
}

qint64 CSnapCache::NextStamp()
{
    // Times of use only ever grow here, so uses within one millisecond keep
    // their order.
    m_nLastStampMs = std::max(NowMs(), m_nLastStampMs + 1);
    return m_nLastStampMs;
}

void CSnapCache::Remove(const QString& strKey)
{
    const QString strName = EntryName(strKey);
    QFile::remove(EntryPath(strKey));
    UpdateIndex([&](Index& index) { index.remove(strName); });
}

void CSnapCache::Flush()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_uses.isEmpty() && m_gone.isEmpty()) {
            return;
        }
    }
    UpdateIndex([](Index&) {});
}

qint64 CSnapCache::TotalBytes()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    bool bPresent = false;
    const Index index = LoadIndex(&bPresent);
    qint64 nTotal = 0;
    for (const Entry& entry : index) {
        nTotal += entry.nSize;
    }
    return nTotal;
}

int CSnapCache::EntryCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    bool bPresent = false;
    return LoadIndex(&bPresent).size();
}

template <typename Fn>
bool CSnapCache::UpdateIndex(Fn fn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!MakeFolder(m_strFolder)) {
        return false;
    }
    QLockFile lockFile(m_strFolder + QStringLiteral("/index.lock"));
    lockFile.setStaleLockTime(kStaleLockMs);
    if (!lockFile.tryLock(kLockWaitMs)) {
        MC_LOG(5, "CSnapCache::UpdateIndex", "<%d>\t<%s>,index of %s locked too long, left as it is",
               m_strFolder.toLocal8Bit().constData());
        return false;
    }
    bool bPresent = false;
    Index index = LoadIndex(&bPresent);
    if (!bPresent || !m_bReconciled) {
        // First use by this process, or no index at all: the folder says
        // what is really there (a crash may have left entries unlisted).
        const Index found = ScanEntries();
        if (!bPresent) {
            index = found;
        } else {
            for (auto it = index.begin(); it != index.end();) {
                it = found.contains(it.key()) ? std::next(it) : index.erase(it);
            }
            for (auto it = found.cbegin(); it != found.cend(); ++it) {
                if (!index.contains(it.key())) {
                    index.insert(it.key(), it.value());
                }
            }
        }
        m_bReconciled = true;
    }
    for (auto it = m_uses.cbegin(); it != m_uses.cend(); ++it) {
        auto found = index.find(it.key());
        if (found != index.end()) {
            found->nLastUseMs = std::max(found->nLastUseMs, it.value());
        }
    }
    for (const QString& strName : qAsConst(m_gone)) {
        index.remove(strName);
    }
    m_uses.clear();
    m_gone.clear();
    fn(index);
    KeepWithinLimit(index, NowMs());
    return WriteIndex(index);
}

CSnapCache::Index CSnapCache::LoadIndex(bool* pbPresent) const
{
    Index index;
    QFile file(m_strFolder + QStringLiteral("/index"));
    *pbPresent = false;
    if (!file.open(QIODevice::ReadOnly)) {
        return index;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.isEmpty() || lines.first() != kIndexHeader) {
        return index; // not ours, or damaged: rebuilt from the folder
    }
    *pbPresent = true;
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(' ');
        if (fields.size() != 4 || !fields[0].endsWith(kEntrySuffix) || fields[0].contains('/')) {
            continue;
        }
        Entry entry;
        bool bOk[3] = {false, false, false};
        entry.nSize = fields[1].toLongLong(&bOk[0]);
        entry.nExpiresMs = fields[2].toLongLong(&bOk[1]);
        entry.nLastUseMs = fields[3].toLongLong(&bOk[2]);
        if (bOk[0] && bOk[1] && bOk[2] && entry.nSize > 0) {
            index.insert(QString::fromLatin1(fields[0]), entry);
        }
    }
    return index;
}

CSnapCache::Index CSnapCache::ScanEntries() const
{
    Index index;
    const qint64 nNowMs = NowMs();
    QDir dir(EntriesDir(m_strFolder));
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo& info : files) {
        const bool bEntry = info.fileName().endsWith(QLatin1String(kEntrySuffix)) && !info.isHidden();
        if (!bEntry) {
            // A temporary file of a write that did not finish.
            if (nNowMs - info.lastModified().toMSecsSinceEpoch() > kOrphanAgeMs) {
                QFile::remove(info.filePath());
            }
            continue;
        }
        QFile file(info.filePath());
        QString strKey;
        Entry entry;
        if (!file.open(QIODevice::ReadOnly) ||
            !DecodeEntry(file.read(kMaxHeaderBytes), info.size(), &strKey, &entry.nExpiresMs, nullptr)) {
            QFile::remove(info.filePath()); // the body is checked when it is read
            continue;
        }
        entry.nSize = info.size();
        entry.nLastUseMs = info.lastModified().toMSecsSinceEpoch();
        index.insert(info.fileName(), entry);
    }
    return index;
}

bool CSnapCache::WriteIndex(const Index& index) const
{
    QByteArray baText(kIndexHeader);
    baText += '\n';
    for (auto it = index.cbegin(); it != index.cend(); ++it) {
        baText += it.key().toLatin1() + ' ' + QByteArray::number(it->nSize) + ' ' +
                  QByteArray::number(it->nExpiresMs) + ' ' + QByteArray::number(it->nLastUseMs) + '\n';
    }
    QTemporaryFile temp(EntriesDir(m_strFolder) + QStringLiteral("/.index-XXXXXX"));
    if (!temp.open() || temp.write(baText) != baText.size() || !temp.flush()) {
        return false;
    }
    temp.close();
    if (!ReplaceFile(temp.fileName(), m_strFolder + QStringLiteral("/index"))) {
        return false;
    }
    temp.setAutoRemove(false);
    return true;
}

void CSnapCache::KeepWithinLimit(Index& index, qint64 nNowMs) const
{
    qint64 nTotal = 0;
    std::vector<std::pair<qint64, QString>> byUse;
    for (auto it = index.begin(); it != index.end();) {
        if (it->nExpiresMs <= nNowMs) {
            QFile::remove(EntriesDir(m_strFolder) + QLatin1Char('/') + it.key());
            it = index.erase(it);
            continue;
        }
        nTotal += it->nSize;
        byUse.emplace_back(it->nLastUseMs, it.key());
        ++it;
    }
    if (nTotal <= m_nLimitBytes) {
        return;
    }
    std::sort(byUse.begin(), byUse.end());
    for (const auto& [nLastUse, strName] : byUse) {
        if (nTotal <= m_nLimitBytes) {
            break;
        }
        QFile::remove(EntriesDir(m_strFolder) + QLatin1Char('/') + strName);
        nTotal -= index.value(strName).nSize;
        index.remove(strName);
    }
}

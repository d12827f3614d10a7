// Snapshot pictures kept on disk, so that a page seen before and a module
// opened again show them without a fetch. Entries are keyed by the picture's
// address and hold the bytes as fetched: an encrypted picture stays encrypted.
// The folder is bounded in size (least recently used out), entries end with
// the freshness the platform gave them, and several processes may share it.
//
// Layout: entries/<sha1 of the key>.snap (header with key, expiry and a
// checksum, then the bytes), written to a temporary file and renamed into
// place; "index" (one line per entry: name, size, expiry, last use), changed
// only under "index.lock". A damaged or truncated entry is a miss and goes.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <memory>
#include <mutex>

class CSnapCache
{
public:
    static constexpr qint64 kDefaultLimitMiB = 200;
    // Without a word from the platform an entry stays this long.
    static constexpr qint64 kDefaultLifeMs = 24LL * 3600 * 1000;

    CSnapCache(QString strFolder, qint64 nLimitBytes);
    ~CSnapCache();
    CSnapCache(const CSnapCache&) = delete;
    CSnapCache& operator=(const CSnapCache&) = delete;

    // The module's cache as its configuration file says ("snap_cache_folder",
    // default under the user's cache directory; "snap_cache_size" in MiB, "0"
    // turns it off), read again when the file changes. Null when off.
    static std::shared_ptr<CSnapCache> Shared();

    // Until when a picture fetched now may be kept (ms since the epoch; 0 not
    // at all): nMaxAge seconds as the server allowed them (-1: it said
    // nothing, the default life), never past an expiry the address itself
    // carries ("Expires" or "expires", seconds since the epoch).
    static qint64 KeepUntil(int nMaxAge, const QString& strUrl);
    // The seconds a reply's Cache-Control (no-store, no-cache: 0; max-age) or
    // else its Expires (against its Date) allow; -1 when neither is given.
    static int MaxAgeOf(const QByteArray& baCacheControl, const QByteArray& baExpires,
                        const QByteArray& baDate);

    // Any thread; they do file work, so never the GUI thread's. The fresh
    // bytes stored under strKey, false on a miss.
    bool Get(const QString& strKey, QByteArray* pBytes);
    // Stores (or replaces) the bytes until nExpiresMs (ms since the epoch),
    // then keeps the folder within its limit.
    void Put(const QString& strKey, const QByteArray& baBytes, qint64 nExpiresMs);
    void Remove(const QString& strKey);
    // Writes the uses noted since the last write into the index.
    void Flush();

    QString Folder() const { return m_strFolder; }
    qint64 Limit() const { return m_nLimitBytes; }
    QString EntryPath(const QString& strKey) const;
    // As the index on disk has it.
    qint64 TotalBytes();
    int EntryCount();

private:
    struct Entry
    {
        qint64 nSize = 0;
        qint64 nExpiresMs = 0;
        qint64 nLastUseMs = 0;
    };
    using Index = QHash<QString, Entry>; // by entry file name

    static QString EntryName(const QString& strKey);
    qint64 NextStamp(); // with m_mutex held
    bool ReadEntry(const QString& strPath, const QString& strKey, QByteArray* pBytes, qint64 nNowMs) const;
    // Under the folder's lock: the index from disk, fn applied, the limit
    // kept, the index written back.
    template <typename Fn>
    bool UpdateIndex(Fn fn);
    Index LoadIndex(bool* pbPresent) const;
    Index ScanEntries() const;
    bool WriteIndex(const Index& index) const;
    void KeepWithinLimit(Index& index, qint64 nNowMs) const;

    const QString m_strFolder;
    const qint64 m_nLimitBytes;
    std::mutex m_mutex;            // one update of this process at a time
    QHash<QString, qint64> m_uses; // entry name -> last use, not yet in the index
    QSet<QString> m_gone;          // entries found damaged, to leave the index
    bool m_bReconciled = false;
    qint64 m_nLastStampMs = 0;
};

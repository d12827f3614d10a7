// Where the operator's saved evidence goes: the folder the configuration names
// for snapshots ("snap_folder") or clips ("rec_folder"), checked before anything
// is written; a readable file name of safe characters; and files that appear
// whole or not at all (written beside the target under a temporary name, then
// renamed over it).
#pragma once

#include "base/AlarmTypes.h"

#include <QByteArray>
#include <QString>

class CSaveTarget
{
public:
    enum Kind
    {
        Snapshot,
        Clip
    };
    enum Status
    {
        Ok,
        NotConfigured,
        Missing,
        NotWritable,
        DiskFull,
        WriteFailed
    };

    // The configured folder of that kind, empty when none is set.
    static QString Folder(Kind eKind);
    // Whether a file can go there: configured, an existing directory, writable.
    static Status CheckFolder(const QString& strFolder);
    // "<device name>_<alarm time yyyyMMdd_hhmmss>_<message id>.<ext>", of letters,
    // digits, '-' and '_' only; the device serial when the name has none of them.
    static QString FileName(const ALARM_INFO_STRUCT& record, const QString& strExt);

    // "jpg" or "png" by the picture's signature, else the format Qt reads in it.
    static QString PictureExtension(const QByteArray& baPicture);

    // A new, empty file beside strPath (".<name>.<random>.part", permissions as
    // for any new file). Ok with its path, or the reason.
    static Status CreateTempBeside(const QString& strPath, QString* pTempPath);
    // The bytes into strPath through such a file; on failure nothing is left.
    static Status WriteFile(const QString& strPath, const QByteArray& bytes);
    static Status StatusOfErrno(int nErrno);

    // The operator's text for a failure, e.g. "抓图失败，保存路径不存在".
    static QString FailureText(Kind eKind, Status eStatus);
};

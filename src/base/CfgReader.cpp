#include "base/CfgReader.h"

#include "base/ModuleLog.h"

#include <QFile>
#include <QXmlStreamReader>

namespace {

// Walks the whole document so that a file that is malformed anywhere counts
// as unreadable, as a document loader would treat it.
bool findKey(QXmlStreamReader& reader, const QString& strKey, QString& strValue)
{
    bool bFound = false;
    int nDepth = 0;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++nDepth;
            if (nDepth == 1 && reader.name() != QLatin1String("Configure")) {
                return false;
            }
            if (nDepth == 2 && !bFound && reader.name() == strKey) {
                strValue = reader.readElementText(QXmlStreamReader::IncludeChildElements);
                bFound = true;
                --nDepth;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --nDepth;
        }
    }
    return bFound && !reader.hasError();
}

std::string readValue(QXmlStreamReader& reader, const std::string& strName, const std::string& strKey,
                      const std::string& strDefault)
{
    QString strValue;
    if (!findKey(reader, QString::fromLocal8Bit(strKey.c_str()), strValue)) {
        if (reader.hasError()) {
            MC_LOG(5, "readValue", "<%d>\t<%s>,cfg %s unreadable: %s", strName.c_str(),
                   reader.errorString().toLocal8Bit().constData());
        }
        return strDefault;
    }
    return strValue.toLocal8Bit().toStdString();
}

} // namespace

std::string ReadCfgString(const std::string& strPath, const std::string& strKey,
                          const std::string& strDefault)
{
    QFile file(QString::fromLocal8Bit(strPath.c_str()));
    if (strPath.empty() || !file.open(QIODevice::ReadOnly)) {
        return strDefault;
    }
    QXmlStreamReader reader(&file);
    return readValue(reader, strPath, strKey, strDefault);
}

std::string ReadCfgText(const QByteArray& baXml, const std::string& strKey, const std::string& strDefault)
{
    QXmlStreamReader reader(baXml);
    return readValue(reader, "text", strKey, strDefault);
}

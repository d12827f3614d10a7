// Read-only access to the module's XML configuration file.
#pragma once

#include <QByteArray>

#include <string>

// The text of the child element strKey of the root "Configure" of the file at
// strPath; strDefault when the file cannot be read, has another root, lacks the
// key or is malformed. The file is read afresh on every call.
std::string ReadCfgString(const std::string& strPath, const std::string& strKey,
                          const std::string& strDefault);

// The same reading of a configuration text already in memory.
std::string ReadCfgText(const QByteArray& baXml, const std::string& strKey, const std::string& strDefault);

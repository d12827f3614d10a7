// The configuration file: the keys the module reads, looked up in any text.
#include "Fuzz.h"
#include "base/CfgReader.h"

#include <QByteArray>

FUZZ_TARGET
{
    const QByteArray baXml(reinterpret_cast<const char*>(data), static_cast<int>(size));
    for (const char* szKey : {"tls_verify", "ca_file", "push_info_url", "probe_host", "dump_folder"}) {
        const std::string strValue = ReadCfgText(baXml, szKey, "(default)");
        // A key that is not in the text cannot be found there.
        if (!baXml.contains(szKey))
            FUZZ_CHECK(strValue == "(default)");
    }
}

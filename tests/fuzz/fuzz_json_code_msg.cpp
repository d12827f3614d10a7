// The "code" and "msg" every platform reply carries.
#include "Fuzz.h"
#include "platform/CJasonParse.h"

FUZZ_TARGET
{
    const std::string strText = FuzzText(data, size);
    int nCode = -12345;
    QString strMsg = QStringLiteral("untouched");
    if (!CJasonParse().ParseCodeMsg(strText.c_str(), nCode, strMsg))
        FUZZ_CHECK(nCode == -12345 && strMsg == QLatin1String("untouched"));
}

// The "code" and "msg" every platform reply carries.
#include "FuzzCheck.h"
#include "FuzzText.h"
#include "platform/CJasonParse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string strText = FuzzText(data, size);
    int nCode = -12345;
    QString strMsg = QStringLiteral("untouched");
    if (!CJasonParse().ParseCodeMsg(strText.c_str(), nCode, strMsg)) {
        FUZZ_CHECK(nCode == -12345 && strMsg == QLatin1String("untouched"));
    }
    return 0;
}

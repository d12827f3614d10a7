#include "native/LocalAddress.h"

#include "logkit/LogKit.h"

#include <QNetworkInterface>

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string firstComponent(const std::string& strText)
{
    return strText.substr(0, strText.find('.'));
}

std::vector<std::string> resolveOwnHostName(bool& bOk)
{
    std::vector<std::string> vecAddresses;
    char szHost[256] = "";
    bOk = false;
    if (gethostname(szHost, sizeof(szHost) - 1) != 0) {
        LogWrite(5, "MessageClient", "<%d>\t<%s>,gethostname failed: %s", __LINE__, "GetParityInform_IP",
                 std::strerror(errno));
        return vecAddresses;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; // one entry per address, not one per socket type
    addrinfo* pList = nullptr;
    const int nError = getaddrinfo(szHost, nullptr, &hints, &pList);
    if (nError != 0) {
        LogWrite(5, "MessageClient", "<%d>\t<%s>,cannot resolve %s: %s", __LINE__, "GetParityInform_IP",
                 szHost, gai_strerror(nError));
        return vecAddresses;
    }
    for (addrinfo* p = pList; p; p = p->ai_next) {
        char szAddr[INET_ADDRSTRLEN] = "";
        const auto* pIn = reinterpret_cast<const sockaddr_in*>(p->ai_addr);
        if (inet_ntop(AF_INET, &pIn->sin_addr, szAddr, sizeof(szAddr))) {
            vecAddresses.push_back(szAddr);
        }
    }
    freeaddrinfo(pList);
    bOk = true;
    return vecAddresses;
}

QByteArray parseHardwareAddress(const QString& strText)
{
    QByteArray baBytes;
    const QStringList listParts = strText.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& strPart : listParts) {
        bool bOk = false;
        const uint nByte = strPart.toUInt(&bOk, 16);
        if (!bOk || nByte > 0xff) {
            return QByteArray();
        }
        baBytes.append(char(nByte));
    }
    return baBytes;
}

} // namespace

namespace native {

std::string ChooseLocalIp(const std::vector<std::string>& vecAddresses, const std::string& strHint)
{
    const std::string strWanted = firstComponent(strHint);
    std::string strChosen;
    for (const std::string& strAddress : vecAddresses) {
        LogWrite(3, "MessageClient", "<%d>\t<%s>,Get ip: %s", __LINE__, "GetParityInform_IP",
                 strAddress.c_str());
        strChosen = strAddress;
        if (!strWanted.empty() && firstComponent(strAddress) == strWanted) {
            break;
        }
    }
    return strChosen;
}

bool GetParityInform_IP(char out[20], const char* hint)
{
    if (!out) {
        return false;
    }
    bool bOk = false;
    const std::vector<std::string> vecAddresses = resolveOwnHostName(bOk);
    if (!bOk) {
        return false;
    }
    const std::string strChosen = ChooseLocalIp(vecAddresses, hint ? hint : "");
    const size_t nLen = std::min<size_t>(strChosen.size(), 15);
    std::memcpy(out, strChosen.data(), nLen);
    out[nLen] = '\0';
    return true;
}

QStringList FormatAdapterMacs(const std::vector<QByteArray>& vecHardwareAddresses)
{
    QStringList listMacs;
    for (const QByteArray& baAddress : vecHardwareAddresses) {
        if (baAddress.isEmpty()) {
            break;
        }
        unsigned char bytes[6] = {0, 0, 0, 0, 0, 0};
        std::memcpy(bytes, baAddress.constData(), std::min<size_t>(6, size_t(baAddress.size())));
        listMacs.append(QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2],
                                          bytes[3], bytes[4], bytes[5]));
    }
    return listMacs;
}

QStringList GetAdapterMacs()
{
    std::vector<QByteArray> vecAddresses;
    const QList<QNetworkInterface> listInterfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : listInterfaces) {
        // The loopback pseudo-adapter comes first here, with a zero address of
        // its own; it is no network adapter and would hide every real one.
        if (iface.flags().testFlag(QNetworkInterface::IsLoopBack)) {
            continue;
        }
        vecAddresses.push_back(parseHardwareAddress(iface.hardwareAddress()));
    }
    return FormatAdapterMacs(vecAddresses);
}

void GetLocalAddress(std::string& ip, std::string& mac)
{
    char szIp[20] = "";
    GetParityInform_IP(szIp, ip.c_str());
    ip = szIp;
    const QStringList listMacs = GetAdapterMacs();
    if (!listMacs.isEmpty()) {
        mac = listMacs.first().toStdString();
    }
}

} // namespace native

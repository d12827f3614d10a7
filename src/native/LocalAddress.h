// The computer's local IP and MAC texts, as the push channel identifies itself.
#pragma once

#include <QByteArray>
#include <QStringList>

#include <string>
#include <vector>

namespace native {

// Writes the local IPv4 address whose first component equals the hint's first
// component (else the host name's last address) into out (at most 15
// characters and a zero). False, out untouched, when the host name cannot be
// read or resolved.
bool GetParityInform_IP(char out[20], const char* hint);

// "%02x:%02x:%02x:%02x:%02x:%02x" for each network adapter in order, up to the
// first one without a hardware address.
QStringList GetAdapterMacs();

// ip: in the hint, out the chosen address (empty when none); mac: the first
// adapter's text, unchanged when there is none.
void GetLocalAddress(std::string& ip, std::string& mac);

// The rules behind the three above, on given data.
std::string ChooseLocalIp(const std::vector<std::string>& vecAddresses, const std::string& strHint);
QStringList FormatAdapterMacs(const std::vector<QByteArray>& vecHardwareAddresses);

} // namespace native

using native::GetAdapterMacs;
using native::GetLocalAddress;
using native::GetParityInform_IP;

// Process-wide state of the message rows that outlives pages and lists:
// the ids ticked for batch deletion and the verification codes that worked.
// GUI thread only; background jobs get copies of what they need when they start.
#pragma once

#include <QList>

#include <map>
#include <string>

// Message ids in the order they were ticked, without duplicates.
QList<int>& DeleteIdList();

// Adds the id unless it is listed already; removes every occurrence.
void AddDeleteId(int nMsgId);
void RemoveDeleteId(int nMsgId);

// Device key (serial, or serial followed by the decimal channel) -> code.
std::map<std::string, std::string>& DevCodeMap();

// The device key: serial immediately followed by the channel number.
std::string DevCodeKey(const std::string& strSerial, int nChannelNo);

// The code stored for a camera: first under serial and channel, then under the
// serial alone; empty when neither is known.
std::string FindDevCode(const std::string& strSerial, int nChannelNo);

#pragma once

#include "Store.h"

#include <cstdint>
#include <string>

// First-start data: accounts and keys always, the directory, and then demo or bulk alarms.
class Seeder
{
public:
    static const int kDemoUser = 1;
    static const int kSecondUser = 2;

    explicit Seeder(Store& store);

    void seedAccounts();
    void seedDirectory();
    void seedDemoAlarms();
    void seedLarge(int count);

    // One alarm of a camera with its picture entry and a recording around it
    // (with a gap of 15 s after the alarm when asked).
    static int64_t createAlarm(Store& store, int userId, const CameraRecord& camera, const std::string& type,
                               int64_t timeMs, bool read, bool gap = false);
    static const char* const kAlarmTypes[5];

private:
    Store& m_store;
};

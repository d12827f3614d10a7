#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

struct TokenRecord
{
    std::string value;
    std::string kind; // token, refresh, access, trust
    int userId = 0;
    int64_t expiresMs = 0;
    bool revoked = false;
    bool takenOver = false;
    std::string takeoverMsg;
};

struct CameraRecord
{
    std::string deviceSerial;
    int channelNo = 1;
    std::string channelName;
    std::string deviceName;
    int orgId = 0;
    std::string code;         // what the device really uses
    std::string platformCode; // the copy the platform hands out; may be empty or stale
    bool encrypted = false;
    bool trusted = false;
    bool online = true;
};

struct AlarmRecord
{
    int64_t id = 0;
    int userId = 0;
    std::string alarmType;
    std::string deviceSerial;
    int channelNo = 1;
    int64_t alarmTime = 0;
    int64_t createDate = 0;
    std::string picKey;
    bool encrypted = false;
    bool isRead = false;
};

// Criteria of one message-list query; absent criteria have their "none" value.
struct AlarmQuery
{
    int userId = 0;
    int pageNo = 1;
    int pageSize = 30;
    int isRead = -1;
    int encrypted = -1;
    std::string deviceSerial; // empty: any device
    int channelNo = -1;       // -1: any channel of the device
    std::string alarmType;
    int64_t startMs = -1;
    int64_t endMs = -1;
};

struct OrgRecord
{
    int id = 0;
    int parentId = 0;
    std::string name;
};

struct PictureRecord
{
    bool known = false;
    bool expired = false;
    bool redirect = false;
    std::string jpeg; // empty until first drawn
};

// A bound value of a built query.
struct SqlArg
{
    bool isText;
    int64_t number;
    std::string text;
};

// A stretch of alarm time (inclusive), newest first, and how many matches it holds.
struct TimeSegment
{
    int64_t lo;
    int64_t hi;
    int64_t count;
};

struct Span
{
    int64_t start = 0;
    int64_t end = 0;
};

// The SQLite store. One connection, serialised by a mutex: the simulator's load
// is a handful of clients, and one writer keeps the counters exact.
class Store
{
public:
    Store();
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    bool open(const std::string& path, std::string& error);
    bool isEmpty();

    std::string setting(const std::string& key);
    void setSetting(const std::string& key, const std::string& value);

    void addUser(int id, const std::string& name, int saasUserId);
    int saasUserId(int userId);
    void addMenu(int userId, int menuId, const std::string& name, int permission);
    std::vector<std::map<std::string, std::string>> menus(int userId);

    void addToken(const TokenRecord& token);
    bool findToken(const std::string& value, TokenRecord& out);
    bool expireToken(const std::string& value);
    bool revokeToken(const std::string& value);
    bool takeOverToken(const std::string& value, const std::string& msg);
    // Replaces a refresh token by a new set; false when the old one is not usable.
    bool rotateTokens(const std::string& refreshToken, const std::vector<TokenRecord>& fresh);

    void addOrg(const OrgRecord& org);
    std::vector<OrgRecord> orgs();

    void addCamera(const CameraRecord& camera);
    bool camera(const std::string& serial, int channelNo, CameraRecord& out);
    std::vector<CameraRecord> cameras();
    bool setCameraOnline(const std::string& serial, int channelNo, bool online);
    bool setPlatformCode(const std::string& serial, int channelNo, const std::string& code);

    int64_t addAlarm(const AlarmRecord& alarm);
    // Fast path for seeding: one transaction, indexes rebuilt after.
    void bulkAddAlarms(int count, const std::function<void(int, AlarmRecord&)>& make);
    bool alarm(int64_t id, AlarmRecord& out);
    std::vector<AlarmRecord> queryAlarms(const AlarmQuery& query, int64_t& total);
    bool markRead(int userId, int64_t id);
    int markAllRead(int userId);
    int deleteAlarms(int userId, const std::vector<int64_t>& ids);

    void addPicture(const std::string& key, bool expired, bool redirect);
    bool picture(const std::string& key, PictureRecord& out);
    void setPictureJpeg(const std::string& key, const std::string& jpeg);
    bool setPictureExpired(const std::string& key, bool expired);

    void addRecording(const std::string& serial, int channelNo, int64_t start, int64_t end);
    std::vector<Span> recordings(const std::string& serial, int channelNo, int64_t from, int64_t to);

private:
    class Stmt;
    sqlite3_stmt* prepare(const std::string& sql);
    bool exec(const char* sql);
    void upgrade();
    void adjustCount(const AlarmRecord& alarm, int delta);
    void recount(int userId);
    int64_t countBetween(const std::string& where, const std::vector<SqlArg>& args, int64_t lo, int64_t hi);
    // The matches per day between lo and hi, newest first; days cut by a time window are counted exactly.
    std::vector<TimeSegment> daySegments(const std::string& where, const std::string& countWhere,
                                         const std::vector<SqlArg>& args, int64_t lo, int64_t hi, bool timed);

    sqlite3* m_db = nullptr;
    std::recursive_mutex m_mutex;
    std::map<std::string, sqlite3_stmt*> m_statements;
};

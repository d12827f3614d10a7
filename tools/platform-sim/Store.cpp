#include "Store.h"

#include "JsonUtil.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>

// Resets its statement on both ends, so cached statements are always reusable.
class Store::Stmt
{
public:
    explicit Stmt(sqlite3_stmt* s) : m_s(s) { sqlite3_reset(m_s), sqlite3_clear_bindings(m_s); }
    ~Stmt() { sqlite3_reset(m_s); }
    Stmt& bind(int i, int64_t v)
    {
        sqlite3_bind_int64(m_s, i, v);
        return *this;
    }
    Stmt& bind(int i, int v) { return bind(i, static_cast<int64_t>(v)); }
    Stmt& bind(int i, bool v) { return bind(i, static_cast<int64_t>(v ? 1 : 0)); }
    Stmt& bind(int i, const std::string& v)
    {
        sqlite3_bind_text(m_s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& bindBlob(int i, const std::string& v)
    {
        sqlite3_bind_blob(m_s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    bool row() { return sqlite3_step(m_s) == SQLITE_ROW; }
    int run() { return sqlite3_step(m_s); }
    int64_t i64(int c) { return sqlite3_column_int64(m_s, c); }
    int i32(int c) { return sqlite3_column_int(m_s, c); }
    std::string text(int c)
    {
        const void* p = sqlite3_column_blob(m_s, c);
        return p ? std::string(static_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(m_s, c)))
                 : std::string();
    }

private:
    sqlite3_stmt* m_s;
};

namespace {

const char* const kSchema = R"(
CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS users(id INTEGER PRIMARY KEY, name TEXT NOT NULL, saas_user_id INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS tokens(value TEXT PRIMARY KEY, kind TEXT NOT NULL, user_id INTEGER NOT NULL,
  expires_ms INTEGER NOT NULL, revoked INTEGER NOT NULL DEFAULT 0, taken_over INTEGER NOT NULL DEFAULT 0,
  takeover_msg TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS menus(user_id INTEGER NOT NULL, id INTEGER NOT NULL, name TEXT NOT NULL,
  permission INTEGER NOT NULL, PRIMARY KEY(user_id, id));
CREATE TABLE IF NOT EXISTS orgs(id INTEGER PRIMARY KEY, parent_id INTEGER NOT NULL, name TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS cameras(device_serial TEXT NOT NULL, channel_no INTEGER NOT NULL,
  channel_name TEXT NOT NULL, device_name TEXT NOT NULL, org_id INTEGER NOT NULL, code TEXT NOT NULL,
  platform_code TEXT NOT NULL, encrypted INTEGER NOT NULL, trusted INTEGER NOT NULL, online INTEGER NOT NULL,
  PRIMARY KEY(device_serial, channel_no));
CREATE TABLE IF NOT EXISTS alarms(id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL, alarm_type TEXT NOT NULL,
  device_serial TEXT NOT NULL, channel_no INTEGER NOT NULL, alarm_time INTEGER NOT NULL,
  create_date INTEGER NOT NULL, pic_key TEXT NOT NULL, encrypted INTEGER NOT NULL, is_read INTEGER NOT NULL,
  deleted INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS alarm_counts(user_id INTEGER NOT NULL, device_serial TEXT NOT NULL,
  channel_no INTEGER NOT NULL, alarm_type TEXT NOT NULL, is_read INTEGER NOT NULL, encrypted INTEGER NOT NULL,
  n INTEGER NOT NULL, PRIMARY KEY(user_id, device_serial, channel_no, alarm_type, is_read, encrypted));
CREATE TABLE IF NOT EXISTS alarm_day_counts(user_id INTEGER NOT NULL, day INTEGER NOT NULL,
  device_serial TEXT NOT NULL, channel_no INTEGER NOT NULL, alarm_type TEXT NOT NULL, is_read INTEGER NOT NULL,
  encrypted INTEGER NOT NULL, n INTEGER NOT NULL,
  PRIMARY KEY(user_id, day, device_serial, channel_no, alarm_type, is_read, encrypted));
CREATE TABLE IF NOT EXISTS pictures(pic_key TEXT PRIMARY KEY, expired INTEGER NOT NULL,
  redirect INTEGER NOT NULL, jpeg BLOB);
CREATE TABLE IF NOT EXISTS recordings(id INTEGER PRIMARY KEY, device_serial TEXT NOT NULL,
  channel_no INTEGER NOT NULL, start_ms INTEGER NOT NULL, end_ms INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS recordings_by_camera ON recordings(device_serial, channel_no, start_ms);
)";

// Every list query walks one of these in (time, id) order. Each also carries
// the other filter columns, so filters and counts are decided inside the index
// and only the rows of the page are read from the table.
const char* const kAlarmIndexes = R"(
CREATE INDEX IF NOT EXISTS alarms_by_time ON alarms(user_id, deleted, alarm_time, id, is_read, encrypted, device_serial,
  channel_no, alarm_type);
CREATE INDEX IF NOT EXISTS alarms_by_read ON alarms(user_id, deleted, is_read, alarm_time, id, encrypted, device_serial,
  channel_no, alarm_type);
CREATE INDEX IF NOT EXISTS alarms_by_device ON alarms(user_id, deleted, device_serial, channel_no, alarm_time, id, is_read,
  encrypted, alarm_type);
CREATE INDEX IF NOT EXISTS alarms_by_type ON alarms(user_id, deleted, alarm_type, alarm_time, id, is_read, encrypted,
  device_serial, channel_no);
)";

const char* const kDropAlarmIndexes = R"(
DROP INDEX IF EXISTS alarms_by_time; DROP INDEX IF EXISTS alarms_by_read; DROP INDEX IF EXISTS alarms_by_device;
DROP INDEX IF EXISTS alarms_by_type; DROP INDEX IF EXISTS alarms_by_encryption;
)";

// Raised whenever indexes or counters change shape; older stores are brought up to date on open.
const char* const kSchemaVersion = "2";

const int64_t kDayMs = 24LL * 3600 * 1000;
// Offsets below this are skipped by the index walk itself; deeper pages are found through the day counts.
const int64_t kDirectOffset = 20000;
// Time windows up to this long are counted row by row; longer ones through the day counts.
const int64_t kDirectWindowMs = 3 * kDayMs;

const char* const kAlarmColumns = "id, user_id, alarm_type, device_serial, channel_no, alarm_time, "
                                  "create_date, pic_key, encrypted, is_read";

} // namespace

Store::Store() = default;

Store::~Store()
{
    for (auto& entry : m_statements)
        sqlite3_finalize(entry.second);
    if (m_db)
        sqlite3_close(m_db);
}

bool Store::open(const std::string& path, std::string& error)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (sqlite3_open_v2(path.c_str(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        error = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        return false;
    }
    sqlite3_busy_timeout(m_db, 5000);
    if (!exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-65536;") ||
        !exec(kSchema)) {
        error = sqlite3_errmsg(m_db);
        return false;
    }
    if (!isEmpty() && setting("schema_version") != kSchemaVersion)
        upgrade();
    if (!exec(kAlarmIndexes)) {
        error = sqlite3_errmsg(m_db);
        return false;
    }
    setSetting("schema_version", kSchemaVersion);
    return true;
}

void Store::upgrade()
{
    SimUtil::log("store from an older simulator: rebuilding indexes and counters");
    exec(kDropAlarmIndexes);
    exec(kAlarmIndexes);
    std::vector<int> users;
    {
        Stmt s(prepare("SELECT id FROM users"));
        while (s.row())
            users.push_back(s.i32(0));
    }
    exec("BEGIN");
    for (int user : users)
        recount(user);
    exec("COMMIT");
}

bool Store::exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        SimUtil::log("sqlite: %s", message ? message : "error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

sqlite3_stmt* Store::prepare(const std::string& sql)
{
    auto it = m_statements.find(sql);
    if (it != m_statements.end())
        return it->second;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(m_db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
        // A statement of ours that does not compile is a bug, not bad input.
        SimUtil::log("sqlite prepare failed: %s: %s", sqlite3_errmsg(m_db), sql.c_str());
        std::abort();
    }
    m_statements[sql] = s;
    return s;
}

bool Store::isEmpty()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt s(prepare("SELECT COUNT(*) FROM users"));
    return s.row() && s.i64(0) == 0;
}

std::string Store::setting(const std::string& key)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt s(prepare("SELECT value FROM settings WHERE key=?"));
    s.bind(1, key);
    return s.row() ? s.text(0) : std::string();
}

void Store::setSetting(const std::string& key, const std::string& value)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("INSERT OR REPLACE INTO settings(key, value) VALUES(?,?)"))
        .bind(1, key)
        .bind(2, value)
        .run();
}

void Store::addUser(int id, const std::string& name, int saasUserId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("INSERT OR REPLACE INTO users(id, name, saas_user_id) VALUES(?,?,?)"))
        .bind(1, id)
        .bind(2, name)
        .bind(3, saasUserId)
        .run();
}

int Store::saasUserId(int userId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt s(prepare("SELECT saas_user_id FROM users WHERE id=?"));
    s.bind(1, userId);
    return s.row() ? s.i32(0) : -1;
}

void Store::addMenu(int userId, int menuId, const std::string& name, int permission)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("INSERT OR REPLACE INTO menus(user_id, id, name, permission) VALUES(?,?,?,?)"))
        .bind(1, userId)
        .bind(2, menuId)
        .bind(3, name)
        .bind(4, permission)
        .run();
}

std::vector<std::map<std::string, std::string>> Store::menus(int userId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt s(prepare("SELECT id, name, permission FROM menus WHERE user_id=? ORDER BY id"));
    s.bind(1, userId);
    std::vector<std::map<std::string, std::string>> out;
    while (s.row())
        out.push_back({{"id", std::to_string(s.i64(0))},
                       {"name", s.text(1)},
                       {"permission", std::to_string(s.i64(2))}});
    return out;
}

void Store::addToken(const TokenRecord& t)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("INSERT OR REPLACE INTO tokens(value, kind, user_id, expires_ms, revoked, taken_over, "
                 "takeover_msg)"
                 " VALUES(?,?,?,?,?,?,?)"))
        .bind(1, t.value)
        .bind(2, t.kind)
        .bind(3, t.userId)
        .bind(4, t.expiresMs)
        .bind(5, t.revoked)
        .bind(6, t.takenOver)
        .bind(7, t.takeoverMsg)
        .run();
}

bool Store::findToken(const std::string& value, TokenRecord& out)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt s(prepare(
        "SELECT kind, user_id, expires_ms, revoked, taken_over, takeover_msg FROM tokens WHERE value=?"));
    s.bind(1, value);
    if (!s.row())
        return false;
    out.value = value;
    out.kind = s.text(0);
    out.userId = s.i32(1);
    out.expiresMs = s.i64(2);
    out.revoked = s.i32(3) != 0;
    out.takenOver = s.i32(4) != 0;
    out.takeoverMsg = s.text(5);
    return true;
}

bool Store::expireToken(const std::string& value)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("UPDATE tokens SET expires_ms=? WHERE value=?"))
        .bind(1, SimUtil::nowMs() - 1000)
        .bind(2, value)
        .run();
    return sqlite3_changes(m_db) > 0;
}

bool Store::revokeToken(const std::string& value)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("UPDATE tokens SET revoked=1 WHERE value=?")).bind(1, value).run();
    return sqlite3_changes(m_db) > 0;
}

bool Store::takeOverToken(const std::string& value, const std::string& msg)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("UPDATE tokens SET taken_over=1, takeover_msg=? WHERE value=?"))
        .bind(1, msg)
        .bind(2, value)
        .run();
    return sqlite3_changes(m_db) > 0;
}

bool Store::rotateTokens(const std::string& refreshToken, const std::vector<TokenRecord>& fresh)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    TokenRecord old;
    if (!findToken(refreshToken, old) || old.kind != "refresh" || old.revoked || old.takenOver ||
        old.expiresMs <= SimUtil::nowMs())
        return false;
    exec("BEGIN");
    revokeToken(refreshToken);
    for (TokenRecord t : fresh) {
        t.userId = old.userId;
        addToken(t);
    }
    exec("COMMIT");
    return true;
}

void Store::addOrg(const OrgRecord& org)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("INSERT OR REPLACE INTO orgs(id, parent_id, name) VALUES(?,?,?)"))
        .bind(1, org.id)
        .bind(2, org.parentId)
        .bind(3, org.name)
        .run();
}

std::vector<OrgRecord> Store::orgs()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt s(prepare("SELECT id, parent_id, name FROM orgs ORDER BY id"));
    std::vector<OrgRecord> out;
    while (s.row())
        out.push_back({s.i32(0), s.i32(1), s.text(2)});
    return out;
}

void Store::addCamera(const CameraRecord& c)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("INSERT OR REPLACE INTO cameras(device_serial, channel_no, channel_name, device_name, "
                 "org_id, code,"
                 " platform_code, encrypted, trusted, online) VALUES(?,?,?,?,?,?,?,?,?,?)"))
        .bind(1, c.deviceSerial)
        .bind(2, c.channelNo)
        .bind(3, c.channelName)
        .bind(4, c.deviceName)
        .bind(5, c.orgId)
        .bind(6, c.code)
        .bind(7, c.platformCode)
        .bind(8, c.encrypted)
        .bind(9, c.trusted)
        .bind(10, c.online)
        .run();
}

namespace {
const char* const kCameraColumns = "device_serial, channel_no, channel_name, device_name, org_id, code, "
                                   "platform_code, encrypted, trusted, online";
}

bool Store::camera(const std::string& serial, int channelNo, CameraRecord& out)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (const CameraRecord& c : cameras()) {
        if (c.deviceSerial == serial && c.channelNo == channelNo) {
            out = c;
            return true;
        }
    }
    return false;
}

std::vector<CameraRecord> Store::cameras()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt s(prepare(std::string("SELECT ") + kCameraColumns +
                   " FROM cameras ORDER BY org_id, device_serial, channel_no"));
    std::vector<CameraRecord> out;
    while (s.row()) {
        CameraRecord c;
        c.deviceSerial = s.text(0);
        c.channelNo = s.i32(1);
        c.channelName = s.text(2);
        c.deviceName = s.text(3);
        c.orgId = s.i32(4);
        c.code = s.text(5);
        c.platformCode = s.text(6);
        c.encrypted = s.i32(7) != 0;
        c.trusted = s.i32(8) != 0;
        c.online = s.i32(9) != 0;
        out.push_back(c);
    }
    return out;
}

bool Store::setCameraOnline(const std::string& serial, int channelNo, bool online)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    // Channel -1 takes the whole device offline, as a power cut would.
    Stmt(prepare("UPDATE cameras SET online=? WHERE device_serial=? AND (channel_no=? OR ?=-1)"))
        .bind(1, online)
        .bind(2, serial)
        .bind(3, channelNo)
        .bind(4, channelNo)
        .run();
    return sqlite3_changes(m_db) > 0;
}

bool Store::setPlatformCode(const std::string& serial, int channelNo, const std::string& code)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("UPDATE cameras SET platform_code=? WHERE device_serial=? AND channel_no=?"))
        .bind(1, code)
        .bind(2, serial)
        .bind(3, channelNo)
        .run();
    return sqlite3_changes(m_db) > 0;
}

void Store::adjustCount(const AlarmRecord& a, int delta)
{
    Stmt(prepare(
             "INSERT INTO alarm_counts(user_id, device_serial, channel_no, alarm_type, is_read, encrypted, n)"
             " VALUES(?,?,?,?,?,?,?) ON CONFLICT DO UPDATE SET n=n+excluded.n"))
        .bind(1, a.userId)
        .bind(2, a.deviceSerial)
        .bind(3, a.channelNo)
        .bind(4, a.alarmType)
        .bind(5, a.isRead)
        .bind(6, a.encrypted)
        .bind(7, delta)
        .run();
    Stmt(prepare("INSERT INTO alarm_day_counts(user_id, day, device_serial, channel_no, alarm_type, is_read,"
                 " encrypted, n) VALUES(?,?,?,?,?,?,?,?) ON CONFLICT DO UPDATE SET n=n+excluded.n"))
        .bind(1, a.userId)
        .bind(2, a.alarmTime / kDayMs)
        .bind(3, a.deviceSerial)
        .bind(4, a.channelNo)
        .bind(5, a.alarmType)
        .bind(6, a.isRead)
        .bind(7, a.encrypted)
        .bind(8, delta)
        .run();
}

void Store::recount(int userId)
{
    Stmt(prepare("DELETE FROM alarm_counts WHERE user_id=?")).bind(1, userId).run();
    Stmt(prepare("INSERT INTO alarm_counts SELECT user_id, device_serial, channel_no, alarm_type, is_read, "
                 "encrypted,"
                 " COUNT(*) FROM alarms WHERE user_id=? AND deleted=0"
                 " GROUP BY user_id, device_serial, channel_no, alarm_type, is_read, encrypted"))
        .bind(1, userId)
        .run();
    Stmt(prepare("DELETE FROM alarm_day_counts WHERE user_id=?")).bind(1, userId).run();
    Stmt(prepare("INSERT INTO alarm_day_counts SELECT user_id, alarm_time / ?, device_serial, channel_no, "
                 "alarm_type,"
                 " is_read, encrypted, COUNT(*) FROM alarms WHERE user_id=? AND deleted=0"
                 " GROUP BY 1, 2, 3, 4, 5, 6, 7"))
        .bind(1, kDayMs)
        .bind(2, userId)
        .run();
}

int64_t Store::addAlarm(const AlarmRecord& a)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    exec("BEGIN");
    Stmt(prepare("INSERT INTO alarms(user_id, alarm_type, device_serial, channel_no, alarm_time, "
                 "create_date, pic_key,"
                 " encrypted, is_read) VALUES(?,?,?,?,?,?,?,?,?)"))
        .bind(1, a.userId)
        .bind(2, a.alarmType)
        .bind(3, a.deviceSerial)
        .bind(4, a.channelNo)
        .bind(5, a.alarmTime)
        .bind(6, a.createDate)
        .bind(7, a.picKey)
        .bind(8, a.encrypted)
        .bind(9, a.isRead)
        .run();
    int64_t id = sqlite3_last_insert_rowid(m_db);
    adjustCount(a, 1);
    exec("COMMIT");
    return id;
}

void Store::bulkAddAlarms(int count, const std::function<void(int, AlarmRecord&)>& make)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    exec(kDropAlarmIndexes);
    exec("BEGIN");
    sqlite3_stmt* insert =
        prepare("INSERT INTO alarms(user_id, alarm_type, device_serial, channel_no, alarm_time,"
                " create_date, pic_key, encrypted, is_read) VALUES(?,?,?,?,?,?,?,?,?)");
    std::vector<int> users;
    for (int i = 0; i < count; ++i) {
        AlarmRecord a;
        make(i, a);
        Stmt(insert)
            .bind(1, a.userId)
            .bind(2, a.alarmType)
            .bind(3, a.deviceSerial)
            .bind(4, a.channelNo)
            .bind(5, a.alarmTime)
            .bind(6, a.createDate)
            .bind(7, a.picKey)
            .bind(8, a.encrypted)
            .bind(9, a.isRead)
            .run();
        if (std::find(users.begin(), users.end(), a.userId) == users.end())
            users.push_back(a.userId);
    }
    for (int user : users)
        recount(user);
    exec("COMMIT");
    exec(kAlarmIndexes);
    exec("ANALYZE");
}

namespace {

void readAlarm(sqlite3_stmt* s, AlarmRecord& a)
{
    auto text = [s](int c) {
        const unsigned char* p = sqlite3_column_text(s, c);
        return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
    };
    a.id = sqlite3_column_int64(s, 0);
    a.userId = sqlite3_column_int(s, 1);
    a.alarmType = text(2);
    a.deviceSerial = text(3);
    a.channelNo = sqlite3_column_int(s, 4);
    a.alarmTime = sqlite3_column_int64(s, 5);
    a.createDate = sqlite3_column_int64(s, 6);
    a.picKey = text(7);
    a.encrypted = sqlite3_column_int(s, 8) != 0;
    a.isRead = sqlite3_column_int(s, 9) != 0;
}

void bindArgs(sqlite3_stmt* s, const std::vector<SqlArg>& args, int first)
{
    for (size_t i = 0; i < args.size(); ++i) {
        int index = first + static_cast<int>(i);
        if (args[i].isText)
            sqlite3_bind_text(s, index, args[i].text.data(), static_cast<int>(args[i].text.size()),
                              SQLITE_TRANSIENT);
        else
            sqlite3_bind_int64(s, index, args[i].number);
    }
}

} // namespace

bool Store::alarm(int64_t id, AlarmRecord& out)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    sqlite3_stmt* raw =
        prepare(std::string("SELECT ") + kAlarmColumns + " FROM alarms WHERE id=? AND deleted=0");
    Stmt s(raw);
    s.bind(1, id);
    if (!s.row())
        return false;
    readAlarm(raw, out);
    return true;
}

std::vector<AlarmRecord> Store::queryAlarms(const AlarmQuery& q, int64_t& total)
{
    std::string where = "user_id=? AND deleted=0";
    std::vector<SqlArg> args{{false, q.userId, {}}};
    // The counter tables answer the same filters without touching the alarms.
    std::string countWhere = "user_id=?";
    auto add = [&](const char* clause, SqlArg arg) {
        where += std::string(" AND ") + clause;
        countWhere += std::string(" AND ") + clause;
        args.push_back(arg);
    };
    if (q.isRead >= 0)
        add("is_read=?", {false, q.isRead, {}});
    if (q.encrypted >= 0)
        add("encrypted=?", {false, q.encrypted, {}});
    if (!q.deviceSerial.empty()) {
        add("device_serial=?", {true, 0, q.deviceSerial});
        if (q.channelNo >= 0)
            add("channel_no=?", {false, q.channelNo, {}});
    }
    if (!q.alarmType.empty())
        add("alarm_type=?", {true, 0, q.alarmType});
    bool timed = q.startMs >= 0 || q.endMs >= 0;
    int64_t lo = q.startMs >= 0 ? q.startMs : 0;
    int64_t hi = q.endMs >= 0 ? q.endMs : std::numeric_limits<int64_t>::max() / 2;
    int64_t offset = static_cast<int64_t>(q.pageNo - 1) * q.pageSize;

    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<TimeSegment> segments;
    if (!timed && offset < kDirectOffset) {
        sqlite3_stmt* raw = prepare("SELECT COALESCE(SUM(n),0) FROM alarm_counts WHERE " + countWhere);
        Stmt s(raw);
        bindArgs(raw, args, 1);
        total = s.row() ? s.i64(0) : 0;
        segments.push_back({lo, hi, total});
    } else if (timed && hi - lo <= kDirectWindowMs) {
        total = countBetween(where, args, lo, hi);
        segments.push_back({lo, hi, total});
    } else {
        segments = daySegments(where, countWhere, args, lo, hi, timed);
        total = 0;
        for (const TimeSegment& seg : segments)
            total += seg.count;
    }
    std::vector<AlarmRecord> rows;
    if (offset >= total)
        return rows;
    sqlite3_stmt* raw =
        prepare(std::string("SELECT ") + kAlarmColumns + " FROM alarms WHERE " + where +
                " AND alarm_time>=? AND alarm_time<=? ORDER BY alarm_time DESC, id DESC LIMIT ? OFFSET ?");
    int64_t skip = offset;
    for (const TimeSegment& seg : segments) {
        if (skip >= seg.count) {
            skip -= seg.count;
            continue;
        }
        Stmt s(raw);
        bindArgs(raw, args, 1);
        int next = static_cast<int>(args.size()) + 1;
        s.bind(next, seg.lo)
            .bind(next + 1, seg.hi)
            .bind(next + 2, q.pageSize - static_cast<int64_t>(rows.size()));
        s.bind(next + 3, skip);
        while (s.row()) {
            AlarmRecord a;
            readAlarm(raw, a);
            rows.push_back(a);
        }
        skip = 0;
        if (rows.size() >= static_cast<size_t>(q.pageSize))
            break;
    }
    return rows;
}

int64_t Store::countBetween(const std::string& where, const std::vector<SqlArg>& args, int64_t lo, int64_t hi)
{
    sqlite3_stmt* raw =
        prepare("SELECT COUNT(*) FROM alarms WHERE " + where + " AND alarm_time>=? AND alarm_time<=?");
    Stmt s(raw);
    bindArgs(raw, args, 1);
    s.bind(static_cast<int>(args.size()) + 1, lo).bind(static_cast<int>(args.size()) + 2, hi);
    return s.row() ? s.i64(0) : 0;
}

std::vector<TimeSegment> Store::daySegments(const std::string& where, const std::string& countWhere,
                                            const std::vector<SqlArg>& args, int64_t lo, int64_t hi,
                                            bool timed)
{
    int64_t firstDay = lo / kDayMs;
    int64_t lastDay = hi / kDayMs;
    sqlite3_stmt* raw = prepare("SELECT day, SUM(n) FROM alarm_day_counts WHERE " + countWhere +
                                " AND day>=? AND day<=? GROUP BY day ORDER BY day DESC");
    std::vector<TimeSegment> segments;
    {
        Stmt s(raw);
        bindArgs(raw, args, 1);
        s.bind(static_cast<int>(args.size()) + 1, firstDay).bind(static_cast<int>(args.size()) + 2, lastDay);
        while (s.row()) {
            int64_t day = s.i64(0);
            segments.push_back(
                {std::max(lo, day * kDayMs), std::min(hi, day * kDayMs + kDayMs - 1), s.i64(1)});
        }
    }
    // Days cut by the window are counted exactly.
    if (timed) {
        for (TimeSegment& seg : segments) {
            if (seg.lo % kDayMs != 0 || seg.hi % kDayMs != kDayMs - 1)
                seg.count = countBetween(where, args, seg.lo, seg.hi);
        }
    }
    return segments;
}

bool Store::markRead(int userId, int64_t id)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    AlarmRecord a;
    if (!alarm(id, a) || a.userId != userId)
        return false;
    if (a.isRead)
        return true;
    exec("BEGIN");
    Stmt(prepare("UPDATE alarms SET is_read=1 WHERE id=?")).bind(1, id).run();
    adjustCount(a, -1);
    a.isRead = true;
    adjustCount(a, 1);
    exec("COMMIT");
    return true;
}

int Store::markAllRead(int userId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    exec("BEGIN");
    Stmt(prepare("UPDATE alarms SET is_read=1 WHERE user_id=? AND deleted=0 AND is_read=0"))
        .bind(1, userId)
        .run();
    int changed = sqlite3_changes(m_db);
    if (changed > 0)
        recount(userId);
    exec("COMMIT");
    return changed;
}

int Store::deleteAlarms(int userId, const std::vector<int64_t>& ids)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    int deleted = 0;
    exec("BEGIN");
    for (int64_t id : ids) {
        AlarmRecord a;
        if (!alarm(id, a) || a.userId != userId)
            continue;
        Stmt(prepare("UPDATE alarms SET deleted=1 WHERE id=?")).bind(1, id).run();
        adjustCount(a, -1);
        ++deleted;
    }
    exec("COMMIT");
    return deleted;
}

void Store::addPicture(const std::string& key, bool expired, bool redirect)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("INSERT OR REPLACE INTO pictures(pic_key, expired, redirect) VALUES(?,?,?)"))
        .bind(1, key)
        .bind(2, expired)
        .bind(3, redirect)
        .run();
}

bool Store::picture(const std::string& key, PictureRecord& out)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt s(prepare("SELECT expired, redirect, jpeg FROM pictures WHERE pic_key=?"));
    s.bind(1, key);
    out = PictureRecord();
    if (!s.row())
        return false;
    out.known = true;
    out.expired = s.i32(0) != 0;
    out.redirect = s.i32(1) != 0;
    out.jpeg = s.text(2);
    return true;
}

void Store::setPictureJpeg(const std::string& key, const std::string& jpeg)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("INSERT INTO pictures(pic_key, expired, redirect, jpeg) VALUES(?,0,0,?)"
                 " ON CONFLICT(pic_key) DO UPDATE SET jpeg=excluded.jpeg"))
        .bind(1, key)
        .bindBlob(2, jpeg)
        .run();
}

bool Store::setPictureExpired(const std::string& key, bool expired)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt(prepare("INSERT INTO pictures(pic_key, expired, redirect) VALUES(?,?,0)"
                 " ON CONFLICT(pic_key) DO UPDATE SET expired=excluded.expired"))
        .bind(1, key)
        .bind(2, expired)
        .run();
    return true;
}

void Store::addRecording(const std::string& serial, int channelNo, int64_t start, int64_t end)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (end <= start)
        return;
    // Overlapping or touching pieces merge, so searches return whole files.
    exec("BEGIN");
    {
        Stmt s(
            prepare("SELECT MIN(start_ms), MAX(end_ms) FROM recordings WHERE device_serial=? AND channel_no=?"
                    " AND start_ms<=? AND end_ms>=?"));
        s.bind(1, serial).bind(2, channelNo).bind(3, end).bind(4, start);
        if (s.row() && s.i64(1) > 0) {
            start = std::min(start, s.i64(0));
            end = std::max(end, s.i64(1));
        }
    }
    Stmt(prepare(
             "DELETE FROM recordings WHERE device_serial=? AND channel_no=? AND start_ms<=? AND end_ms>=?"))
        .bind(1, serial)
        .bind(2, channelNo)
        .bind(3, end)
        .bind(4, start)
        .run();
    Stmt(prepare("INSERT INTO recordings(device_serial, channel_no, start_ms, end_ms) VALUES(?,?,?,?)"))
        .bind(1, serial)
        .bind(2, channelNo)
        .bind(3, start)
        .bind(4, end)
        .run();
    exec("COMMIT");
}

std::vector<Span> Store::recordings(const std::string& serial, int channelNo, int64_t from, int64_t to)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Stmt s(prepare(
        "SELECT start_ms, end_ms FROM recordings WHERE device_serial=? AND channel_no=? AND start_ms<?"
        " AND end_ms>? ORDER BY start_ms"));
    s.bind(1, serial).bind(2, channelNo).bind(3, to).bind(4, from);
    std::vector<Span> out;
    while (s.row())
        out.push_back({std::max(from, s.i64(0)), std::min(to, s.i64(1))});
    return out;
}

#include "Seeder.h"

#include "JsonUtil.h"

#include <random>

const char* const Seeder::kAlarmTypes[5] = {"移动侦测告警", "人体检测告警", "越界侦测告警", "区域入侵告警",
                                            "视频遮挡告警"};

namespace {

const int64_t kSecond = 1000;
const int64_t kDay = 24 * 3600 * kSecond;
// Tokens handed out at first start outlive any demo; refreshed ones live two hours.
const int64_t kSeedTokenLife = 365 * kDay;

std::string randomKey(std::mt19937& rng, int length)
{
    static const char chars[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz23456789";
    std::string out;
    for (int i = 0; i < length; ++i)
        out += chars[rng() % (sizeof chars - 1)];
    return out;
}

} // namespace

Seeder::Seeder(Store& store) : m_store(store) {}

void Seeder::seedAccounts()
{
    std::random_device device;
    std::mt19937 rng(device());
    m_store.setSetting("aes_key", randomKey(rng, 16));
    m_store.setSetting("app_key", SimUtil::randomHex(16));
    m_store.addUser(kDemoUser, "demo", 10001);
    m_store.addUser(kSecondUser, "second", 10002);
    const struct
    {
        const char* setting;
        const char* kind;
        int user;
    } tokens[] = {{"token", "token", kDemoUser},
                  {"refresh_token", "refresh", kDemoUser},
                  {"access_token", "access", kDemoUser},
                  {"trust_access_token", "trust", kDemoUser},
                  {"second_user_token", "token", kSecondUser}};
    for (const auto& t : tokens) {
        TokenRecord record;
        record.value = SimUtil::randomHex(16);
        record.kind = t.kind;
        record.userId = t.user;
        record.expiresMs = SimUtil::nowMs() + kSeedTokenLife;
        m_store.addToken(record);
        m_store.setSetting(t.setting, record.value);
    }
    // Menu 9 opens the message centre; the second user lacks it.
    m_store.addMenu(kDemoUser, 1, "实时预览", 1);
    m_store.addMenu(kDemoUser, 5, "录像回放", 1);
    m_store.addMenu(kDemoUser, 9, "消息中心", 1);
    m_store.addMenu(kSecondUser, 1, "实时预览", 1);
    m_store.addMenu(kSecondUser, 5, "录像回放", 1);
}

void Seeder::seedDirectory()
{
    m_store.addOrg({1, 0, "总部"});
    m_store.addOrg({2, 1, "华东园区"});
    m_store.addOrg({3, 2, "研发楼"});
    m_store.addOrg({4, 1, "华南仓库"});
    struct Cam
    {
        const char* serial;
        int channel;
        const char* name;
        const char* device;
        int org;
        const char* code;
        const char* platformCode;
        bool encrypted;
        bool trusted;
        bool online;
    };
    // Codes of 6 and 8 characters; some cameras leave the platform without a copy, one has a stale copy.
    const Cam cams[] = {
        {"PV1000001", 1, "东门入口", "东门枪机", 1, "ABCDEF", "ABCDEF", false, false, true},
        {"PV1000002", 1, "西门出口", "西门枪机", 1, "QWERTY", "QWERTY", true, false, true},
        {"PV1000003", 1, "大堂前台", "大堂半球", 2, "HK8D2MZP", "HK8D2MZP", true, false, true},
        {"PV1000004", 1, "电梯厅", "电梯厅半球", 2, "ZXCVBN", "", true, false, true},
        {"PV1000005", 1, "停车场A区", "停车场枪机A", 2, "PARKAA01", "PARKAA01", false, true, true},
        {"PV1000006", 1, "停车场B区", "停车场枪机B", 2, "PARKBB02", "", false, false, false},
        {"PV2000100", 1, "研发楼一层走廊", "研发楼录像机", 3, "RDNVR123", "RDNVR123", true, false, true},
        {"PV2000100", 2, "研发楼机房", "研发楼录像机", 3, "RDNVR123", "RDNVR123", true, false, true},
        {"PV2000100", 3, "研发楼二层走廊", "研发楼录像机", 3, "RDNVR123", "WRONG1", true, false, true},
        {"PV3000007", 1, "仓库装卸区", "装卸区枪机", 4, "LOADER", "LOADER", false, false, true},
        {"PV3000008", 1, "仓库货架区", "货架区半球", 4, "SHELF8", "SHELF8", true, false, true},
        {"PV3000009", 1, "周界北侧", "北侧热成像", 4, "NORTH999", "NORTH999", false, false, true},
    };
    for (const Cam& c : cams) {
        CameraRecord r;
        r.deviceSerial = c.serial;
        r.channelNo = c.channel;
        r.channelName = c.name;
        r.deviceName = c.device;
        r.orgId = c.org;
        r.code = c.code;
        r.platformCode = c.platformCode;
        r.encrypted = c.encrypted;
        r.trusted = c.trusted;
        r.online = c.online;
        m_store.addCamera(r);
    }
}

int64_t Seeder::createAlarm(Store& store, int userId, const CameraRecord& camera, const std::string& type,
                            int64_t timeMs, bool read, bool gap)
{
    AlarmRecord a;
    a.userId = userId;
    a.alarmType = type;
    a.deviceSerial = camera.deviceSerial;
    a.channelNo = camera.channelNo;
    a.alarmTime = timeMs;
    a.createDate = timeMs + 1500;
    a.picKey = SimUtil::randomHex(12);
    a.encrypted = camera.encrypted;
    a.isRead = read;
    store.addPicture(a.picKey, false, false);
    int64_t id = store.addAlarm(a);
    if (gap) {
        store.addRecording(camera.deviceSerial, camera.channelNo, timeMs - 90 * kSecond,
                           timeMs + 10 * kSecond);
        store.addRecording(camera.deviceSerial, camera.channelNo, timeMs + 25 * kSecond,
                           timeMs + 90 * kSecond);
    } else {
        store.addRecording(camera.deviceSerial, camera.channelNo, timeMs - 90 * kSecond,
                           timeMs + 90 * kSecond);
    }
    return id;
}

void Seeder::seedDemoAlarms()
{
    std::mt19937 rng(20240601);
    std::vector<CameraRecord> cams = m_store.cameras();
    int64_t now = SimUtil::nowMs();
    const int count = 320;
    for (int i = 0; i < count; ++i) {
        const CameraRecord& cam = cams[rng() % cams.size()];
        int64_t t = now - static_cast<int64_t>(rng() % static_cast<uint32_t>(5 * kDay / kSecond)) * kSecond;
        bool read = i % 5 < 3;
        int64_t id = createAlarm(m_store, kDemoUser, cam, kAlarmTypes[rng() % 5], t, read, i % 6 == 0);
        AlarmRecord a;
        m_store.alarm(id, a);
        // Some pictures have expired and some addresses redirect, as on the real platform.
        m_store.addPicture(a.picKey, i % 23 == 7, i % 11 == 3);
    }
    for (int i = 0; i < 20; ++i) {
        const CameraRecord& cam = cams[rng() % cams.size()];
        createAlarm(m_store, kSecondUser, cam, kAlarmTypes[i % 5], now - i * 3600 * kSecond, false);
    }
}

void Seeder::seedLarge(int count)
{
    std::vector<CameraRecord> cams = m_store.cameras();
    int64_t now = SimUtil::nowMs();
    std::mt19937 rng(42);
    const int64_t span = 90 * kDay;
    m_store.bulkAddAlarms(count, [&](int i, AlarmRecord& a) {
        const CameraRecord& cam = cams[rng() % cams.size()];
        a.userId = kDemoUser;
        a.alarmType = kAlarmTypes[rng() % 5];
        a.deviceSerial = cam.deviceSerial;
        a.channelNo = cam.channelNo;
        a.alarmTime = now - static_cast<int64_t>(rng() % static_cast<uint64_t>(span));
        a.createDate = a.alarmTime + 1500;
        a.picKey = "L" + std::to_string(i);
        a.encrypted = cam.encrypted;
        a.isRead = rng() % 10 < 7;
    });
}

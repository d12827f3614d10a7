#include "JsonUtil.h"

#include <QDateTime>

#include <openssl/rand.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>

namespace JsonUtil {

bool parse(const std::string& text, Json::Value& out, std::string* error)
{
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["failIfExtra"] = true;
    builder["rejectDupKeys"] = false;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    bool ok = reader->parse(text.data(), text.data() + text.size(), &out, &errors);
    if (!ok && error)
        *error = errors;
    return ok;
}

std::string write(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

bool isInt(const Json::Value& object, const char* key)
{
    return object.isObject() && object.isMember(key) && object[key].isInt();
}

bool isString(const Json::Value& object, const char* key)
{
    return object.isObject() && object.isMember(key) && object[key].isString();
}

} // namespace JsonUtil

namespace SimUtil {

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

bool parseLocalTime(const std::string& text, int64_t& ms)
{
    QDateTime t = QDateTime::fromString(QString::fromStdString(text), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!t.isValid())
        return false;
    ms = t.toMSecsSinceEpoch();
    return true;
}

std::string formatLocalTime(int64_t ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString();
}

std::string randomHex(int bytes)
{
    std::string raw(static_cast<size_t>(bytes), '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(&raw[0]), bytes);
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : raw) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string mask(const std::string& secret)
{
    return secret.substr(0, 2) + "***";
}

void log(const char* fmt, ...)
{
    static std::mutex mutex;
    char line[2048];
    va_list args;
    va_start(args, fmt);
    vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(mutex);
    fprintf(stderr, "%s platform-sim: %s\n",
            QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz")).toUtf8().constData(), line);
}

} // namespace SimUtil

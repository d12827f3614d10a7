#pragma once

#include <json/json.h>

#include <cstdint>
#include <string>

// Small helpers shared by every part of the simulator.
namespace JsonUtil {

// Parses text strictly; false (and a reason) for anything that is not one JSON value.
bool parse(const std::string& text, Json::Value& out, std::string* error = nullptr);
// Compact UTF-8 text, no line end.
std::string write(const Json::Value& value);

bool isInt(const Json::Value& object, const char* key);
bool isString(const Json::Value& object, const char* key);

} // namespace JsonUtil

namespace SimUtil {

int64_t nowMs();
// "yyyy-MM-dd hh:mm:ss" in local time; false when the text is not such a time.
bool parseLocalTime(const std::string& text, int64_t& ms);
std::string formatLocalTime(int64_t ms);
std::string randomHex(int bytes);
// Tokens and codes never appear in clear in log lines.
std::string mask(const std::string& secret);
void log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace SimUtil

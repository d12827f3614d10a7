#include "SimOptions.h"

#include <cstdlib>
#include <cstring>

namespace {

bool toPort(const char* text, int& port)
{
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (!*text || *end || value < 0 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

} // namespace

const char* SimOptions::usage()
{
    return "usage: platform-sim --data-dir DIR [--host 127.0.0.1] [--port N] [--push-port N]\n"
           "                    [--admin-port N] [--ready-file FILE] [--seed demo|none|large]\n"
           "                    [--large-count N]\n";
}

bool SimOptions::parse(int argc, char** argv, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            error = "help";
            return false;
        }
        if (i + 1 >= argc) {
            error = "missing value for " + name;
            return false;
        }
        const char* value = argv[++i];
        if (name == "--data-dir") {
            dataDir = value;
        } else if (name == "--host") {
            host = value;
        } else if (name == "--port" || name == "--push-port" || name == "--admin-port") {
            int* target = name == "--port" ? &port : name == "--push-port" ? &pushPort : &adminPort;
            if (!toPort(value, *target)) {
                error = "bad port for " + name + ": " + value;
                return false;
            }
        } else if (name == "--ready-file") {
            readyFile = value;
        } else if (name == "--seed") {
            seed = value;
            if (seed != "demo" && seed != "none" && seed != "large") {
                error = "unknown seed: " + seed;
                return false;
            }
        } else if (name == "--large-count") {
            char* end = nullptr;
            long n = std::strtol(value, &end, 10);
            if (!*value || *end || n < 1 || n > 50000000) {
                error = std::string("bad count: ") + value;
                return false;
            }
            largeCount = static_cast<int>(n);
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    if (dataDir.empty()) {
        error = "--data-dir is required";
        return false;
    }
    return true;
}

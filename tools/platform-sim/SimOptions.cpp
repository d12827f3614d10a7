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
           "                    [--large-count N]\n"
           "       platform-sim --help | --version\n"
           "\n"
           "The platform simulator: the platform's REST interface over HTTPS, the device\n"
           "cloud of the video library, snapshot pictures, the TCP push server and an admin\n"
           "interface, in one process, until SIGINT or SIGTERM.\n"
           "\n"
           "  --data-dir DIR     SQLite store and certificates; demo data seeded on first start\n"
           "  --host ADDR        address to listen on (default 127.0.0.1)\n"
           "  --port, --push-port, --admin-port N   ports (default 0: chosen by the system)\n"
           "  --ready-file FILE  written once listening: ports, addresses, CA file, tokens\n"
           "  --seed KIND        demo (default), none, or large (--large-count alarms, 1000000)\n"
           "\n"
           "Exit status: 0 stopped by a signal, 1 could not start, 2 bad command line.\n";
}

bool SimOptions::parse(int argc, char** argv, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help" || name == "-h" || name == "--version") {
            error = name == "--version" ? "version" : "help";
            return false;
        }
        static const char* const kWithValue[] = {"--data-dir",   "--host",       "--port", "--push-port",
                                                 "--admin-port", "--ready-file", "--seed", "--large-count"};
        bool known = false;
        for (const char* option : kWithValue) {
            known = known || name == option;
        }
        if (!known) {
            error = "unknown option " + name;
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
        }
    }
    if (dataDir.empty()) {
        error = "--data-dir is required";
        return false;
    }
    return true;
}

#pragma once

#include <string>

// The command line. Other tools and tests depend on these names; keep them.
struct SimOptions
{
    std::string dataDir;
    std::string host = "127.0.0.1";
    int port = 0; // 0: ephemeral
    int pushPort = 0;
    int adminPort = 0;
    std::string readyFile;
    std::string seed = "demo"; // demo | none | large
    int largeCount = 1000000;

    // False with a message in error for anything it cannot use.
    bool parse(int argc, char** argv, std::string& error);
    static const char* usage();
};

#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The TCP push server. Clients announce themselves with "START,..." and keep
// the line with "HEARTBEAT,..."; every alarm added goes to each connected
// client as "AIMSG,<payload>". The protocol has no framing, so a message from a
// client ends with its ",10005" trailer or with the data of one read.
class PushServer
{
public:
    struct ClientInfo
    {
        int id = 0;
        std::string peer;
        int starts = 0;
        int heartbeats = 0;
        std::string lastMessage; // the last whole message received, as sent
    };

    PushServer() = default;
    ~PushServer();
    PushServer(const PushServer&) = delete;
    PushServer& operator=(const PushServer&) = delete;

    bool start(const std::string& host, int port, std::string& error);
    int port() const { return m_port; }
    void stop();

    // Sends "AIMSG,<payload>" to every client; returns how many got it.
    int broadcast(const std::string& payload);
    // Sends text as it is to every client, whole however large; with splitAt
    // inside it, in two writes pauseMs apart. Returns how many got all of it.
    int sendRaw(const std::string& text, size_t splitAt, int pauseMs);
    // Ends every client's connection as a server going away does; returns how many.
    int closeClients();
    std::vector<ClientInfo> clients();

private:
    struct Client
    {
        ClientInfo info;
        int fd = -1;
        std::string pending;
    };

    void run();
    void accept();
    bool receive(Client& client);
    void handle(Client& client, const std::string& message);
    void closeClient(int fd);
    static bool sendAll(int fd, const char* data, size_t size);

    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    int m_port = 0;
    int m_nextId = 1;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
    std::mutex m_mutex;
    std::map<int, Client> m_clients;
};

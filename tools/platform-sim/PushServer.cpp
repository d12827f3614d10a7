#include "PushServer.h"

#include "JsonUtil.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

// A client that sends this much without a recognisable message is dropped.
const size_t kMaxPending = 64 * 1024;
const char* const kTrailer = ",10005";

} // namespace

PushServer::~PushServer()
{
    stop();
}

bool PushServer::start(const std::string& host, int port, std::string& error)
{
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        error = "push server: bad host " + host;
        return false;
    }
    if (bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(m_listenFd, 16) != 0) {
        error = std::string("push server: ") + strerror(errno);
        return false;
    }
    socklen_t len = sizeof addr;
    getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    if (pipe2(m_wakeFds, O_CLOEXEC) != 0) {
        error = "push server: no pipe";
        return false;
    }
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

void PushServer::stop()
{
    if (!m_running.exchange(false))
        return;
    char c = 'q';
    ssize_t ignored = write(m_wakeFds[1], &c, 1);
    (void)ignored;
    m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& entry : m_clients)
        close(entry.first);
    m_clients.clear();
    close(m_listenFd);
    close(m_wakeFds[0]);
    close(m_wakeFds[1]);
}

void PushServer::run()
{
    while (m_running) {
        std::vector<pollfd> fds{{m_wakeFds[0], POLLIN, 0}, {m_listenFd, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (auto& entry : m_clients)
                fds.push_back({entry.first, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR)
            break;
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN)
            accept();
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            std::lock_guard<std::mutex> lock(m_mutex);
            auto it = m_clients.find(fds[i].fd);
            if (it != m_clients.end() && !receive(it->second))
                closeClient(fds[i].fd);
        }
    }
}

void PushServer::accept()
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    int fd = accept4(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    char ip[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &addr.sin_addr, ip, sizeof ip);
    std::lock_guard<std::mutex> lock(m_mutex);
    Client& c = m_clients[fd];
    c.fd = fd;
    c.info.id = m_nextId++;
    c.info.peer = std::string(ip) + ":" + std::to_string(ntohs(addr.sin_port));
    SimUtil::log("push: client %d connected from %s", c.info.id, c.info.peer.c_str());
}

bool PushServer::receive(Client& client)
{
    char buf[4096];
    ssize_t n = recv(client.fd, buf, sizeof buf, 0);
    if (n <= 0) {
        SimUtil::log("push: client %d left", client.info.id);
        return false;
    }
    client.pending.append(buf, static_cast<size_t>(n));
    // Whole messages end with the trailer; what remains of one read without it is a message too.
    size_t end;
    while ((end = client.pending.find(kTrailer)) != std::string::npos) {
        size_t length = end + strlen(kTrailer);
        handle(client, client.pending.substr(0, length));
        client.pending.erase(0, length);
    }
    if (!client.pending.empty() && client.pending.find(',') != std::string::npos) {
        handle(client, client.pending);
        client.pending.clear();
    }
    if (client.pending.size() > kMaxPending) {
        SimUtil::log("push: client %d sent %zu bytes without a message; dropped", client.info.id,
                     client.pending.size());
        return false;
    }
    return true;
}

void PushServer::handle(Client& client, const std::string& message)
{
    std::string type = message.substr(0, message.find(','));
    client.info.lastMessage = message;
    if (type == "START") {
        ++client.info.starts;
        SimUtil::log("push: client %d START (%zu bytes)", client.info.id, message.size());
    } else if (type == "HEARTBEAT") {
        ++client.info.heartbeats;
    } else {
        SimUtil::log("push: client %d sent unknown type \"%.20s\"; ignored", client.info.id, type.c_str());
    }
}

void PushServer::closeClient(int fd)
{
    close(fd);
    m_clients.erase(fd);
}

int PushServer::broadcast(const std::string& payload)
{
    std::string message = "AIMSG," + payload;
    std::lock_guard<std::mutex> lock(m_mutex);
    int sent = 0;
    std::vector<int> dead;
    for (auto& entry : m_clients) {
        ssize_t n = send(entry.first, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n == static_cast<ssize_t>(message.size()))
            ++sent;
        else
            dead.push_back(entry.first); // a client that cannot take a short message is gone
    }
    for (int fd : dead) {
        SimUtil::log("push: client %d could not take an alarm; dropped", m_clients[fd].info.id);
        closeClient(fd);
    }
    return sent;
}

bool PushServer::sendAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        // A client that takes nothing for this long is not reading at all.
        pollfd out{fd, POLLOUT, 0};
        if (poll(&out, 1, 10000) <= 0)
            return false;
    }
    return true;
}

int PushServer::sendRaw(const std::string& text, size_t splitAt, int pauseMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const size_t first = splitAt > 0 && splitAt < text.size() ? splitAt : text.size();
    std::vector<int> whole;
    for (auto& entry : m_clients) {
        if (sendAll(entry.first, text.data(), first))
            whole.push_back(entry.first);
    }
    if (first < text.size()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        std::vector<int> both;
        for (int fd : whole) {
            if (sendAll(fd, text.data() + first, text.size() - first))
                both.push_back(fd);
        }
        whole.swap(both);
    }
    const int sent = static_cast<int>(whole.size());
    SimUtil::log("push: %zu bytes sent as they are%s to %d client(s)", text.size(),
                 first < text.size() ? " in two writes" : "", sent);
    return sent;
}

int PushServer::closeClients()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // The serving thread sees the end of each connection and forgets the client.
    for (auto& entry : m_clients)
        shutdown(entry.first, SHUT_RDWR);
    SimUtil::log("push: closing %zu client connection(s)", m_clients.size());
    return static_cast<int>(m_clients.size());
}

std::vector<PushServer::ClientInfo> PushServer::clients()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<ClientInfo> out;
    for (auto& entry : m_clients)
        out.push_back(entry.second.info);
    return out;
}

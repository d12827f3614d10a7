#pragma once

#include <string>
#include <utility>
#include <vector>

typedef struct ssl_st SSL;

// The HTTP library hands handlers its headers sorted by name, but tests must see
// what a client sent in the order it sent it. RequestTap keeps a copy of the
// decrypted bytes of each TLS session (it wraps SSL_read) and gives the header
// lines of the request just read back in their original order. It also counts
// the TLS sessions (it wraps SSL_accept and SSL_free).
namespace RequestTap {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// The header lines of the oldest request head not yet taken on this session;
// false when there is none (then the caller falls back to the sorted headers).
bool takeHead(const SSL* ssl, HeaderList& headers);
// Closes the connection under the HTTP library, for the dropped-connection fault.
void dropConnection(const SSL* ssl);

// TLS connections accepted since start, and those still open, so tests can
// see whether a client reuses its connections.
struct ConnectionCount
{
    long long accepted = 0;
    int open = 0;
};
ConnectionCount connections();
// Closes every open connection, as a server does with idle kept-alive ones.
int closeConnections();

} // namespace RequestTap

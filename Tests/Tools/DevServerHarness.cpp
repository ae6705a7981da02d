#include "DevServerHarness.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

std::string HttpResponse::Header(const std::string& name) const
{
    const auto found = Headers.find(name);
    return found == Headers.end() ? std::string() : found->second;
}

HttpConnection::HttpConnection(int port)
{
    m_Socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_Socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    {
        close(m_Socket);
        m_Socket = -1;
    }
}

HttpConnection::~HttpConnection()
{
    if (m_Socket >= 0)
        close(m_Socket);
}

bool HttpConnection::Send(const std::string& bytes)
{
    return send(m_Socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool HttpConnection::Fill(int timeoutMs)
{
    if (m_PeerClosed)
        return false;
    pollfd entry{m_Socket, POLLIN, 0};
    if (poll(&entry, 1, timeoutMs) <= 0)
        return false;
    char chunk[65536];
    const ssize_t got = recv(m_Socket, chunk, sizeof chunk, 0);
    if (got <= 0)
    {
        m_LastError = got < 0 ? errno : 0;
        m_PeerClosed = true;
        return false;
    }
    m_Buffer.append(chunk, static_cast<size_t>(got));
    return true;
}

bool HttpConnection::Read(HttpResponse& response, bool head, int timeoutMs)
{
    response = HttpResponse();
    size_t end;
    while ((end = m_Buffer.find("\r\n\r\n")) == std::string::npos)
    {
        if (!Fill(timeoutMs))
            return false;
    }
    std::istringstream lines(m_Buffer.substr(0, end + 2));
    m_Buffer.erase(0, end + 4);
    std::string line;
    std::getline(lines, line);
    response.Status = std::atoi(line.c_str() + line.find(' ') + 1);
    while (std::getline(lines, line) && line.size() > 1)
    {
        const size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const size_t valueStart = line.find_first_not_of(' ', colon + 1);
        response.Headers.emplace(name, line.substr(valueStart, line.size() - 1 - valueStart));
    }
    if (!head)
    {
        if (response.Has("content-length"))
        {
            const size_t length = std::strtoull(response.Header("content-length").c_str(), nullptr, 10);
            while (m_Buffer.size() < length && Fill(timeoutMs))
            {
            }
            response.Body = m_Buffer.substr(0, length);
            m_Buffer.erase(0, response.Body.size());
        }
        else
        {
            while (Fill(timeoutMs))
            {
            }
            response.Body.swap(m_Buffer);
        }
    }
    response.ClosedAfter = m_PeerClosed;
    return true;
}

std::string HttpConnection::ReadSome(size_t count, int timeoutMs)
{
    while (m_Buffer.size() < count && Fill(timeoutMs))
    {
    }
    std::string taken = m_Buffer.substr(0, count);
    m_Buffer.erase(0, taken.size());
    return taken;
}

bool HttpConnection::ClosedWithin(int timeoutMs, std::string* extra)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_PeerClosed && std::chrono::steady_clock::now() < until)
        Fill(20);
    if (extra)
        extra->swap(m_Buffer);
    return m_PeerClosed;
}

HttpResponse Exchange(int port, const std::string& request, bool head, int timeoutMs)
{
    HttpConnection connection(port);
    HttpResponse response;
    if (connection.Send(request) && connection.Read(response, head, timeoutMs))
        // A keep-alive answer is not waited on; one that announces the close must close.
        response.ClosedAfter = connection.ClosedWithin(response.Header("connection") == "close" ? 2000 : 0,
                                                       head ? &response.Body : nullptr);
    return response;
}

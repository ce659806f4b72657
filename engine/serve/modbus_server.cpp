#include "modbus_server.h"

#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavrel::serve {

namespace {

// How often a waiting thread looks whether the server is stopping.
constexpr int poll_ms = 100;
// Clients at once; one more is closed at once (and logged).
constexpr size_t max_clients = 32;

// Stop signals go to the session's own thread, which decides where the session ends.
void blockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

std::string peerName(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

int listenOn(const std::string& host, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        throw ServerError("--listen: \"" + host + "\" is not an IPv4 address");
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw ServerError(std::string("cannot open a socket: ") + std::strerror(errno));
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 16) != 0) {
        const std::string reason = std::strerror(errno);
        close(fd);
        throw ServerError("cannot listen on " + host + ":" + std::to_string(port) + ": " + reason);
    }
    return fd;
}

int boundPort(int fd) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

// Waits for `fd` to be readable; false when the wait ended without data.
bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, poll_ms) > 0;
}

// libmodbus frames the functions it knows by their own fields; another function's frame ends
// where its header says, so its rest is read here (within the byte timeout) to answer it with
// exception 01 and keep the stream in step.
int completeByHeader(int fd, std::uint8_t* frame, int length) {
    if (length < 8) return length;
    const int declared = (frame[4] << 8 | frame[5]) + 6;
    const std::uint8_t function = frame[7];
    const bool known = function == read_holding || function == read_input ||
                       function == write_single || function == write_multiple;
    if (known || declared <= length || declared > MODBUS_TCP_MAX_ADU_LENGTH) return length;
    while (length < declared) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 500) <= 0) return -1;
        const ssize_t got = recv(fd, frame + length, size_t(declared - length), 0);
        if (got <= 0) return -1;
        length += int(got);
    }
    return length;
}

} // namespace

struct ModbusServer::Client {
    int id = 0;
    int fd = -1;
    std::string peer;
    std::thread thread;
};

ModbusServer::ModbusServer(const std::string& host, int port)
    : listener_(listenOn(host, port)), port_(boundPort(listener_)) {}

void ModbusServer::start(PlantBoard& board, EventLog log) {
    board_ = &board;
    log_ = std::move(log);
    acceptor_ = std::thread([this] { acceptClients(); });
}

ModbusServer::~ModbusServer() {
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& client : clients_)
        client->thread.join();
    close(listener_);
}

size_t ModbusServer::clients() {
    std::lock_guard lock(clients_mutex_);
    size_t open = 0;
    for (const auto& c : clients_)
        open += c->fd >= 0;
    return open;
}

// Ended clients are joined as new ones come (an ended thread only returns after its last
// step under the lock), so that a long session with many reconnections keeps no threads.
void ModbusServer::acceptClients() {
    blockStopSignals();
    int next_id = 1;
    while (!stopping_) {
        if (!readable(listener_)) continue;
        sockaddr_in address{};
        socklen_t size = sizeof address;
        const int fd =
            accept4(listener_, reinterpret_cast<sockaddr*>(&address), &size, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(clients_mutex_);
        for (auto c = clients_.begin(); c != clients_.end();) {
            if ((*c)->fd >= 0) {
                ++c;
                continue;
            }
            (*c)->thread.join();
            c = clients_.erase(c);
        }
        const size_t open = clients_.size();
        const int id = next_id++;
        if (open >= max_clients) {
            close(fd);
            log_({id, "refused", "", 0, false,
                  peerName(address) + ": more than " + std::to_string(max_clients) + " clients"});
            continue;
        }
        // Answers go out at once, and a client that stops reading them cannot hold its
        // thread (and the end of the session) in a send.
        const int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        const timeval send_limit{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_limit, sizeof send_limit);
        auto client = std::make_unique<Client>();
        client->id = id;
        client->fd = fd;
        client->peer = peerName(address);
        log_({id, "connect", "", 0, false, client->peer});
        Client& added = *client;
        clients_.push_back(std::move(client));
        added.thread = std::thread([this, &added] { serveClient(added); });
    }
}

// Why a connection ended: "disconnect" (the client closed it) or "closed" (by the server).
struct ModbusServer::Ending {
    std::string event, why;
};

std::optional<ModbusServer::Ending> ModbusServer::answerFrame(Client& client, modbus_t* ctx,
                                                              modbus_mapping_t* mapping) {
    std::uint8_t frame[MODBUS_TCP_MAX_ADU_LENGTH];
    const int length = modbus_receive(ctx, frame);
    if (length < 0) {
        if (errno == ECONNRESET) return Ending{"disconnect", ""};
        return Ending{"closed", std::string("frame not read: ") + modbus_strerror(errno)};
    }
    if (length == 0) return std::nullopt;
    const int whole = completeByHeader(client.fd, frame, length);
    if (whole < 0) return Ending{"closed", "frame cut short"};
    const Decoded decoded = decodeFrame(frame, size_t(whole));
    if (const auto* broken = std::get_if<Malformed>(&decoded)) {
        return Ending{"closed", "malformed frame: " + broken->reason};
    }
    std::optional<Refused> refused;
    if (const auto* r = std::get_if<Refused>(&decoded))
        refused = *r;
    else
        refused = board_->answer(client.id, std::get<Request>(decoded));
    int sent = 0;
    if (refused) {
        log_({client.id, "refused", "", double(refused->code), true, refused->reason});
        sent = modbus_reply_exception(ctx, frame, unsigned(refused->code));
    } else {
        const auto holding = board_->image(RegisterTable::holding);
        const auto input = board_->image(RegisterTable::input);
        std::copy(holding.begin(), holding.end(), mapping->tab_registers);
        std::copy(input.begin(), input.end(), mapping->tab_input_registers);
        sent = modbus_reply(ctx, frame, length, mapping);
    }
    if (sent < 0)
        return Ending{"closed", std::string("answer not sent: ") + modbus_strerror(errno)};
    return std::nullopt;
}

void ModbusServer::serveClient(Client& client) {
    blockStopSignals();
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", 0); // a context for libmodbus's framing only
    modbus_mapping_t* mapping =
        modbus_mapping_new(0, 0, board_->image(RegisterTable::holding).size(),
                           board_->image(RegisterTable::input).size());
    modbus_set_socket(ctx, client.fd);
    modbus_set_byte_timeout(ctx, 0, 500000); // a frame cut short is given up after this
    std::optional<Ending> ending;
    while (!stopping_ && !ending) {
        if (readable(client.fd)) ending = answerFrame(client, ctx, mapping);
    }
    if (!ending) ending = Ending{"closed", "the session ended"};
    board_->disconnect(client.id);
    log_({client.id, ending->event, "", 0, false,
          ending->why.empty() ? client.peer : client.peer + ": " + ending->why});
    modbus_mapping_free(mapping);
    modbus_close(ctx); // closes the client's socket
    modbus_free(ctx);
    std::lock_guard lock(clients_mutex_);
    client.fd = -1;
}

} // namespace tavrel::serve

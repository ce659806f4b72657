// The Modbus TCP server over libmodbus: a listening socket and a thread per client, each taking
// whole frames with libmodbus, checking them (decodeFrame) and answering from the plant board
// with libmodbus's replies. A broken frame closes its own connection only.
#pragma once

#include "plant_board.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

typedef struct _modbus modbus_t;
typedef struct _modbus_mapping_t modbus_mapping_t;

namespace tavrel::serve {

struct ServerError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class ModbusServer {
  public:
    // Listens on `host` (an IPv4 address) and `port` (0: one the system picks); clients wait
    // in the backlog until start().
    ModbusServer(const std::string& host, int port);
    ~ModbusServer(); // stops taking clients, closes every connection, joins the threads
    ModbusServer(const ModbusServer&) = delete;
    ModbusServer& operator=(const ModbusServer&) = delete;

    void start(PlantBoard& board, EventLog log);
    int port() const { return port_; }
    size_t clients(); // connected now

  private:
    struct Client;
    struct Ending;
    void acceptClients();
    void serveClient(Client& client);
    std::optional<Ending> answerFrame(Client& client, modbus_t* ctx, modbus_mapping_t* mapping);

    PlantBoard* board_ = nullptr;
    EventLog log_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex clients_mutex_;
    std::list<std::unique_ptr<Client>> clients_;
    std::thread acceptor_;
};

} // namespace tavrel::serve

// What the network and the simulation share while a session runs: the register images the
// clients read, the values they write with who wrote them and when, and the intervals asked
// for in lockstep. Clients act on it from their own threads; the session's ticks read it.
#pragma once

#include "inheriting_mutex.h"
#include "modbus_frame.h"
#include "register_map.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tavrel::serve {

// Something a session logs to events.csv; `client` is 0 for the session itself.
struct Event {
    int client = 0;
    std::string kind; // connect, disconnect, closed, write, refused, fall-back, late, ...
    std::string name;
    double value = 0;
    bool has_value = false;
    std::string detail;
};

using EventLog = std::function<void(const Event&)>;

struct InputRule {
    double min = -1e300, max = 1e300;
};

class PlantBoard {
  public:
    // `clock` gives the session's seconds, against which a writer's silence is measured.
    PlantBoard(const RegisterMap& map, std::vector<InputRule> rules, double timeout,
               std::function<double()> clock, EventLog log);

    // A request from `client`: nothing (answered from the images), or why it is refused. A
    // write is applied whole or not at all.
    std::optional<Refused> answer(int client, const Request& request);
    // The present registers of a table.
    std::vector<std::uint16_t> image(RegisterTable table) const;
    void disconnect(int client);

    // For the session's ticks: each written input's client value, while its writer is heard
    // within the timeout (a writer silent longer loses the input to whoever writes next).
    std::vector<std::optional<double>> clientInputs();
    // The time, step and status the clients see, with the read values and the applied inputs.
    void publish(double time, long step, Status status, const std::vector<double>& read,
                 const std::vector<double>& applied);
    void setStatus(Status status);
    // Lockstep: waits up to `wait` seconds for an interval to advance, and takes it.
    bool takeAdvance(double wait);

  private:
    struct Written {
        std::optional<double> value;
        double last = 0; // session seconds of the last write
        int owner = 0;   // 0: none
    };
    bool heard(const Written& w, double now) const { return w.value && now - w.last <= timeout_; }
    std::optional<Refused> read(RegisterTable table, const Request& request) const;
    std::optional<Refused> write(int client, const Request& request);

    const RegisterMap& map_;
    std::vector<InputRule> rules_;
    double timeout_;
    std::function<double()> clock_;
    EventLog log_;
    mutable InheritingMutex mutex_;
    std::condition_variable_any advanced_;
    std::vector<std::uint16_t> input_image_, holding_image_;
    std::vector<Written> written_;
    long pending_advance_ = 0;
};

} // namespace tavrel::serve

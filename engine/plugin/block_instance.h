// The host side of the plug-in protocol: a plug-in file opened by name, and block instances
// that are sized, initialised and evaluated only through the plug-in's mexFunction, exactly
// as the platform drives them.
#pragma once

#include "mex_host.h"
#include "record_builder.h"
#include "simstruc.h"

#include <array>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrel::host {

// An error of the host: a plug-in that cannot be opened, a failed handshake, or a method
// that reported an error (the message names the block, the method and the block's text).
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using SizesVector = std::array<double, SS_SIZES_COUNT>;
using ParamValues = std::vector<std::vector<double>>; // dialog parameters as row vectors

// Owner of an array of the array library.
struct ArrayDeleter {
    void operator()(mxArray* array) const { mxDestroyArray(array); }
};
using ArrayPtr = std::unique_ptr<mxArray, ArrayDeleter>;

// A record's registration as a live record of this host, for as long as this lives: the
// plug-ins accept a handshake only for a registered record.
class RecordRegistration {
  public:
    RecordRegistration() = default;
    ~RecordRegistration();
    RecordRegistration(const RecordRegistration&) = delete;
    RecordRegistration& operator=(const RecordRegistration&) = delete;
    void hold(const SimStruct* record); // throws HostError when out of memory

  private:
    const SimStruct* record_ = nullptr;
};

// A plug-in file loaded once per process; block instances share it and nothing else.
class Plugin {
  public:
    // Opens `path` (a plug-in file) and finds its mexFunction.
    static std::shared_ptr<Plugin> open(const std::string& path);
    // A block linked into the calling binary (an exported FMU) rather than a plug-in file.
    static std::shared_ptr<Plugin> linked(const std::string& block_name, mexFunctionPointer entry);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const std::string& path() const { return path_; }
    const std::string& blockName() const { return block_name_; } // file name without extension
    mexFunctionPointer entry() const { return entry_; }

    // The command-line sizes call: mexFunction(1 result; [], [], [], 0, params...).
    SizesVector commandLineSizes(const ParamValues& params) const;

  private:
    Plugin() = default;
    std::string path_;
    std::string block_name_;
    void* handle_ = nullptr;
    mexFunctionPointer entry_ = nullptr;
};

// Finds a deliverable ("tavrel", "tavrel_observer", ...) in the plug-in folder: the folders
// named by TAVREL_PLUGIN_PATH (separated by ':') if set, else the tool's own plug-in folder
// (toolFolders(): the build tree's, or the installed tree's beside the program).
std::string findPlugin(const std::string& block_name);

// The one rule for "name or path", for the command line, Python and scenarios alike: a text
// with a folder or the plug-in suffix is a file (a relative one taken from `base_dir` when
// given), anything else a block name found by findPlugin.
std::string pluginPath(const std::string& name_or_path, const std::string& base_dir = {});

// One block instance: its own record, parameters, ports, states and work vectors.
class BlockInstance {
  public:
    // Creates the record, performs the sizing handshake and allocates ports, states,
    // derivatives and work vectors from the declared sizes. Refuses a parameter list shorter
    // than the block declares, and ports of a width other than 1.
    BlockInstance(std::shared_ptr<Plugin> plugin, const ParamValues& params,
                  std::string instance_name = {});
    ~BlockInstance();
    BlockInstance(const BlockInstance&) = delete;
    BlockInstance& operator=(const BlockInstance&) = delete;

    const std::string& name() const { return name_; }
    const Plugin& plugin() const { return *plugin_; }
    const SizesVector& sizes() const { return sizes_; }

    int numStates() const;
    int numInputs() const;
    int numOutputs() const;
    int numIWork() const;
    bool directFeedThrough(int port) const;

    // Host-held vectors, valid for the life of the instance.
    double* states() { return record_.states().data(); }
    double* derivatives() { return record_.derivatives().data(); }
    int* iwork() { return record_.iwork().data(); }
    double* inputs() { return record_.inputs().data(); } // the value of each input port
    const double* inputs() const { return record_.inputs().data(); }
    const double* outputs() const { return record_.outputs().data(); } // each output port's value
    double sampleTime() const { return record_.sampleTime(); }
    double offsetTime() const { return record_.offsetTime(); }

    // Replaces dialog parameter k's values (the block reads it afresh at its next call).
    void setParam(int k, const std::vector<double>& values);

    // Method calls through mexFunction with their flags (SS_CALL_...); each raises HostError
    // if the block set an error status. `time` is what ssGetT reports. Hosts start and end a
    // block through block_lifecycle.h, which makes the first two and the last in order.
    void initializeSampleTimes();
    void initializeConditions();
    void outputs(double time, int task = 0);
    void derivatives(double time); // derivative vector zero-filled before the call
    // The same, written straight into `into` (numStates values) instead of the instance's
    // derivative vector, which is left as it was.
    void derivatives(double time, double* into);
    void terminate();

    // Console text the block printed since the last call of takeConsole.
    std::string takeConsole();

  private:
    void handshake();
    void checkDeclaredSizes(std::size_t params_given) const;
    void call(int flag, const char* method);
    HostError error(const char* method, const std::string& text) const;

    std::shared_ptr<Plugin> plugin_;
    std::string name_;
    record::HostRecord record_;
    RecordRegistration registration_; // ends before record_ is freed
    SizesVector sizes_{};
    std::string console_;
    ArrayPtr no_value_;      // the empty arguments of a method call
    ArrayPtr flag_argument_; // the flag of a method call, set before each call
};

} // namespace tavrel::host

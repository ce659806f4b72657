// A block record for the fuzzers: parameters, ports, states and work vectors as a host keeps
// them, sized by the block itself. Port counts above `max_ports` are refused (as the host
// refuses absurd counts), so that a parameter asking for billions of ports tests the block's
// handling of a refusal instead of exhausting memory.
#pragma once

#include "simstruc.h"

#include <memory>
#include <string>
#include <vector>

namespace tavrel::fuzz {

// The dialog parameters of the first block of kind `block` ("tavrel", "tavrel_observer", ...)
// in the shipped scenarios: complete, valid lists to start mutating from.
const std::vector<std::vector<double>>& shippedParams(const std::string& block);

// Opens the four plug-ins for the life of the process: a plug-in unloaded between inputs would
// take its coverage counters with it while the fuzzer still reads them.
void keepPluginsLoaded();

// Drops what blocks print (the console of the calling thread), to keep fuzzing output readable.
void silenceConsole();

class FuzzRecord {
  public:
    static constexpr int max_ports = 1 << 12;

    explicit FuzzRecord(const std::vector<std::vector<double>>& params,
                        const char* model_name = "fuzz");
    ~FuzzRecord();
    FuzzRecord(const FuzzRecord&) = delete;
    FuzzRecord& operator=(const FuzzRecord&) = delete;

    SimStruct* S() { return &record_; }
    // Allocates states, derivatives and work from the sizes the block declared.
    void allocateWork();
    std::vector<double>& states() { return states_; }
    std::vector<double>& inputs() { return inputs_; }
    // A port count was refused: a host would not use the block.
    bool refused() const { return refused_; }

  private:
    static int_T registerInputs(void* self, int_T count);
    static int_T registerOutputs(void* self, int_T count);

    SimStruct record_{};
    ssRTInfo rt_info_{};
    std::vector<mxArray*> params_;
    std::vector<ssInputPort> input_ports_;
    std::vector<ssOutputPort> output_ports_;
    std::vector<double> inputs_;
    std::vector<const double*> input_ptrs_;
    std::vector<double> outputs_;
    std::vector<double> states_, derivatives_;
    std::vector<int> iwork_;
    double sample_time_ = -1, offset_time_ = -1;
    bool refused_ = false;
};

} // namespace tavrel::fuzz

// A small FMI 2.0 importer for the tests: unpacks an FMU, loads its binary, and drives
// instances through Model Exchange (with the host's ODE solver) or Co-Simulation.
#pragma once

#include "fmi2.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tavrel::fmitest {

// The functions of a loaded FMU binary.
struct Fmi2Api {
    decltype(&fmi2Instantiate) instantiate;
    decltype(&fmi2FreeInstance) freeInstance;
    decltype(&fmi2SetupExperiment) setupExperiment;
    decltype(&fmi2EnterInitializationMode) enterInitializationMode;
    decltype(&fmi2ExitInitializationMode) exitInitializationMode;
    decltype(&fmi2Terminate) terminate;
    decltype(&fmi2Reset) reset;
    decltype(&fmi2GetReal) getReal;
    decltype(&fmi2SetReal) setReal;
    decltype(&fmi2SetInteger) setInteger;
    decltype(&fmi2EnterEventMode) enterEventMode;
    decltype(&fmi2NewDiscreteStates) newDiscreteStates;
    decltype(&fmi2EnterContinuousTimeMode) enterContinuousTimeMode;
    decltype(&fmi2CompletedIntegratorStep) completedIntegratorStep;
    decltype(&fmi2SetTime) setTime;
    decltype(&fmi2SetContinuousStates) setContinuousStates;
    decltype(&fmi2GetContinuousStates) getContinuousStates;
    decltype(&fmi2GetDerivatives) getDerivatives;
    decltype(&fmi2SetRealInputDerivatives) setRealInputDerivatives;
    decltype(&fmi2DoStep) doStep;
    decltype(&fmi2GetDirectionalDerivative) getDirectionalDerivative;
};

// An FMU unpacked into `folder`, its binary loaded.
class UnpackedFmu {
  public:
    UnpackedFmu(const std::string& fmu_file, const std::string& folder);
    ~UnpackedFmu();
    UnpackedFmu(const UnpackedFmu&) = delete;
    UnpackedFmu& operator=(const UnpackedFmu&) = delete;

    const Fmi2Api& api() const { return api_; }
    const std::string& guid() const { return guid_; }
    std::string resourceUri() const { return "file://" + folder_ + "/resources"; }
    unsigned vr(const std::string& name) const; // Real variable by name
    std::size_t numStates() const { return num_states_; }
    std::vector<std::string> inputs() const { return inputs_; }
    std::vector<std::string> outputs() const { return outputs_; }

  private:
    std::string folder_, guid_;
    std::map<std::string, unsigned> vrs_;
    std::vector<std::string> inputs_, outputs_;
    std::size_t num_states_ = 0;
    void* handle_ = nullptr;
    Fmi2Api api_{};
};

// One instance and the messages its logger received ("status category: text").
class Slave {
  public:
    Slave(const UnpackedFmu& fmu, fmi2Type type, const std::string& name = "slave",
          const std::string& guid = {});
    ~Slave();
    Slave(const Slave&) = delete;
    Slave& operator=(const Slave&) = delete;

    fmi2Component get() const { return component_; }
    const UnpackedFmu& fmu() const { return fmu_; }
    const Fmi2Api& api() const { return fmu_.api(); }
    double real(const std::string& name);
    fmi2Status setReal(const std::string& name, double value);
    std::string log() const;
    void clearLog() { messages_.clear(); }
    // Enters and leaves initialisation at t = 0 with `inputs` set; checks every status.
    void initialize(const std::map<std::string, double>& inputs);

  private:
    static void logger(fmi2ComponentEnvironment, fmi2String, fmi2Status, fmi2String, fmi2String,
                       ...);
    const UnpackedFmu& fmu_;
    fmi2CallbackFunctions callbacks_;
    fmi2Component component_ = nullptr;
    std::vector<std::string> messages_;
};

// Inputs of a run at time t, by name; for Co-Simulation also their first and second time
// derivatives.
struct InputSignal {
    std::string name;
    std::function<double(double)> value;
    std::function<double(double)> rate = [](double) { return 0.0; };
    std::function<double(double)> curvature = [](double) { return 0.0; };
};

// Values of `watched` outputs every `interval` from 0 to `duration` (first row at 0). After
// initialisation `hold` (input, output) pairs set an input to an output's initial value.
struct RunPlan {
    std::vector<InputSignal> inputs;
    std::vector<std::pair<std::string, std::string>> hold;
    std::vector<std::string> watched;
    double duration = 1, interval = 0.05;
};
using Rows = std::vector<std::vector<double>>;

Rows runModelExchange(Slave& slave, const RunPlan& plan);
Rows runCoSimulation(Slave& slave, const RunPlan& plan);

} // namespace tavrel::fmitest

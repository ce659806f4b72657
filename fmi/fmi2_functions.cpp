// The C edge of the FMU binary: every FMI 2.0 function, each a guarded call into an
// FmuInstance. No exception crosses it; a failure is logged naming what failed and returned
// as fmi2Error (or a null instance from fmi2Instantiate).
#include "fmi2.h"
#include "fmu_instance.h"
#include "fmu_resources.h"

#include "mex.h"

#include <algorithm>
#include <new>
#include <set>

namespace {

using tavrel::fmi::FmuError;
using tavrel::fmi::FmuInstance;

struct Component {
    std::string name;
    fmi2CallbackLogger logger;
    fmi2ComponentEnvironment environment;
    bool logging;
    std::set<std::string> categories; // empty: every category
    std::unique_ptr<FmuInstance> fmu;

    void log(fmi2Status status, const char* category, const std::string& text) const {
        if (!logger) return;
        const bool wanted =
            status != fmi2OK || (logging && (categories.empty() || categories.count(category)));
        if (!wanted) return;
        // The message is a format string for the master: keep a '%' in the text literal.
        std::string escaped;
        for (char c : text)
            escaped += c == '%' ? std::string("%%") : std::string(1, c);
        logger(environment, name.c_str(), status, category, escaped.c_str());
    }
};

const char* const known_categories[] = {"logStatusError", "blockConsole", "logAll"};

Component* component(fmi2Component c) { return static_cast<Component*>(c); }

// Runs `work` on an instance; a failure is logged and reported as fmi2Error.
template <typename Work> fmi2Status guarded(fmi2Component c, const char* call, Work&& work) {
    Component* self = component(c);
    if (!self || !self->fmu) return fmi2Error;
    try {
        work(*self->fmu);
        return fmi2OK;
    } catch (const std::bad_alloc&) {
        self->log(fmi2Error, "logStatusError", std::string(call) + ": out of memory");
    } catch (const std::exception& error) {
        self->log(fmi2Error, "logStatusError", std::string(call) + ": " + error.what());
    } catch (...) {
        self->log(fmi2Error, "logStatusError", std::string(call) + ": unexpected failure");
    }
    return fmi2Error;
}

fmi2Status unsupported(fmi2Component c, const char* call) {
    return guarded(c, call, [&](FmuInstance&) {
        throw FmuError("not supported by this FMU (see its capability flags)");
    });
}

} // namespace

extern "C" {

const char* fmi2GetTypesPlatform(void) { return fmi2TypesPlatform; }
const char* fmi2GetVersion(void) { return fmi2Version; }

fmi2Component fmi2Instantiate(fmi2String instanceName, fmi2Type fmuType, fmi2String fmuGUID,
                              fmi2String fmuResourceLocation,
                              const fmi2CallbackFunctions* functions, fmi2Boolean,
                              fmi2Boolean loggingOn) {
    if (!functions || !functions->logger) return nullptr;
    auto self = std::make_unique<Component>();
    try {
        self->name = instanceName ? instanceName : "";
        self->logger = functions->logger;
        self->environment = functions->componentEnvironment;
        self->logging = loggingOn != fmi2False;
        if (self->name.empty()) throw FmuError("the instance name is empty");
        if (fmuType != fmi2ModelExchange && fmuType != fmi2CoSimulation)
            throw FmuError("unknown FMU type " + std::to_string(static_cast<int>(fmuType)));
        tavrel::fmi::FmuLayout layout = tavrel::fmi::readResourceLayout(fmuResourceLocation);
        const std::string guid = fmuGUID ? fmuGUID : "";
        if (guid != layout.guid)
            throw FmuError("wrong GUID \"" + guid + "\": this FMU of block " + layout.block +
                           " has GUID " + layout.guid);
        Component* raw = self.get();
        self->fmu = std::make_unique<FmuInstance>(
            self->name, fmuType, std::move(layout), &mexFunction,
            [raw](fmi2Status status, const char* category, const std::string& text) {
                raw->log(status, category, text);
            });
        return self.release();
    } catch (const std::exception& error) {
        self->log(fmi2Error, "logStatusError", std::string("fmi2Instantiate: ") + error.what());
    } catch (...) {
        self->log(fmi2Error, "logStatusError", "fmi2Instantiate: unexpected failure");
    }
    return nullptr;
}

void fmi2FreeInstance(fmi2Component c) { delete component(c); }

fmi2Status fmi2SetDebugLogging(fmi2Component c, fmi2Boolean loggingOn, size_t nCategories,
                               const fmi2String categories[]) {
    return guarded(c, "fmi2SetDebugLogging", [&](FmuInstance&) {
        Component* self = component(c);
        std::set<std::string> chosen;
        for (size_t i = 0; i < nCategories; ++i) {
            const std::string name = categories && categories[i] ? categories[i] : "";
            if (std::find(std::begin(known_categories), std::end(known_categories), name) ==
                std::end(known_categories))
                throw FmuError("unknown log category \"" + name + "\"");
            if (name != "logAll") chosen.insert(name);
        }
        self->logging = loggingOn != fmi2False;
        self->categories = std::move(chosen);
    });
}

fmi2Status fmi2SetupExperiment(fmi2Component c, fmi2Boolean, fmi2Real, fmi2Real startTime,
                               fmi2Boolean, fmi2Real) {
    return guarded(c, "fmi2SetupExperiment", [&](FmuInstance& f) { f.setupExperiment(startTime); });
}
fmi2Status fmi2EnterInitializationMode(fmi2Component c) {
    return guarded(c, "fmi2EnterInitializationMode",
                   [](FmuInstance& f) { f.enterInitialization(); });
}
fmi2Status fmi2ExitInitializationMode(fmi2Component c) {
    return guarded(c, "fmi2ExitInitializationMode", [](FmuInstance& f) { f.exitInitialization(); });
}
fmi2Status fmi2Terminate(fmi2Component c) {
    return guarded(c, "fmi2Terminate", [](FmuInstance& f) { f.terminate(); });
}
fmi2Status fmi2Reset(fmi2Component c) {
    return guarded(c, "fmi2Reset", [](FmuInstance& f) { f.reset(); });
}

fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], size_t n, fmi2Real v[]) {
    return guarded(c, "fmi2GetReal", [&](FmuInstance& f) { f.getReal(vr, n, v); });
}
fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], size_t n,
                       const fmi2Real v[]) {
    return guarded(c, "fmi2SetReal", [&](FmuInstance& f) { f.setReal(vr, n, v); });
}
fmi2Status fmi2GetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t n,
                          fmi2Integer v[]) {
    return guarded(c, "fmi2GetInteger", [&](FmuInstance& f) { f.getInteger(vr, n, v); });
}
fmi2Status fmi2SetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t n,
                          const fmi2Integer v[]) {
    return guarded(c, "fmi2SetInteger", [&](FmuInstance& f) { f.setInteger(vr, n, v); });
}
// The FMU has no Boolean or String variables: any value reference is unknown.
fmi2Status fmi2GetBoolean(fmi2Component c, const fmi2ValueReference[], size_t n, fmi2Boolean[]) {
    return n == 0 ? fmi2OK : unsupported(c, "fmi2GetBoolean (no Boolean variables)");
}
fmi2Status fmi2SetBoolean(fmi2Component c, const fmi2ValueReference[], size_t n,
                          const fmi2Boolean[]) {
    return n == 0 ? fmi2OK : unsupported(c, "fmi2SetBoolean (no Boolean variables)");
}
fmi2Status fmi2GetString(fmi2Component c, const fmi2ValueReference[], size_t n, fmi2String[]) {
    return n == 0 ? fmi2OK : unsupported(c, "fmi2GetString (no String variables)");
}
fmi2Status fmi2SetString(fmi2Component c, const fmi2ValueReference[], size_t n,
                         const fmi2String[]) {
    return n == 0 ? fmi2OK : unsupported(c, "fmi2SetString (no String variables)");
}

fmi2Status fmi2GetFMUstate(fmi2Component c, fmi2FMUstate*) {
    return unsupported(c, "fmi2GetFMUstate");
}
fmi2Status fmi2SetFMUstate(fmi2Component c, fmi2FMUstate) {
    return unsupported(c, "fmi2SetFMUstate");
}
fmi2Status fmi2FreeFMUstate(fmi2Component c, fmi2FMUstate*) {
    return unsupported(c, "fmi2FreeFMUstate");
}
fmi2Status fmi2SerializedFMUstateSize(fmi2Component c, fmi2FMUstate, size_t*) {
    return unsupported(c, "fmi2SerializedFMUstateSize");
}
fmi2Status fmi2SerializeFMUstate(fmi2Component c, fmi2FMUstate, fmi2Byte[], size_t) {
    return unsupported(c, "fmi2SerializeFMUstate");
}
fmi2Status fmi2DeSerializeFMUstate(fmi2Component c, const fmi2Byte[], size_t, fmi2FMUstate*) {
    return unsupported(c, "fmi2DeSerializeFMUstate");
}
fmi2Status fmi2GetDirectionalDerivative(fmi2Component c, const fmi2ValueReference unknown[],
                                        size_t n_unknown, const fmi2ValueReference known[],
                                        size_t n_known, const fmi2Real dv_known[],
                                        fmi2Real dv_unknown[]) {
    return guarded(c, "fmi2GetDirectionalDerivative", [&](FmuInstance& f) {
        if ((n_unknown > 0 && (!unknown || !dv_unknown)) || (n_known > 0 && (!known || !dv_known)))
            throw FmuError("a value reference or value array is missing");
        f.directionalDerivative(unknown, n_unknown, known, n_known, dv_known, dv_unknown);
    });
}

fmi2Status fmi2EnterEventMode(fmi2Component c) {
    return guarded(c, "fmi2EnterEventMode", [](FmuInstance& f) { f.enterEventMode(); });
}
fmi2Status fmi2NewDiscreteStates(fmi2Component c, fmi2EventInfo* info) {
    return guarded(c, "fmi2NewDiscreteStates", [&](FmuInstance&) {
        if (!info) throw FmuError("no event information to fill");
        *info = fmi2EventInfo{fmi2False, fmi2False, fmi2False, fmi2False, fmi2False, 0.0};
    });
}
fmi2Status fmi2EnterContinuousTimeMode(fmi2Component c) {
    return guarded(c, "fmi2EnterContinuousTimeMode",
                   [](FmuInstance& f) { f.enterContinuousTimeMode(); });
}
fmi2Status fmi2CompletedIntegratorStep(fmi2Component c, fmi2Boolean, fmi2Boolean* enterEventMode,
                                       fmi2Boolean* terminateSimulation) {
    return guarded(c, "fmi2CompletedIntegratorStep", [&](FmuInstance& f) {
        f.completedIntegratorStep();
        if (enterEventMode) *enterEventMode = fmi2False;
        if (terminateSimulation) *terminateSimulation = fmi2False;
    });
}
fmi2Status fmi2SetTime(fmi2Component c, fmi2Real time) {
    return guarded(c, "fmi2SetTime", [&](FmuInstance& f) { f.setTime(time); });
}
fmi2Status fmi2SetContinuousStates(fmi2Component c, const fmi2Real x[], size_t nx) {
    return guarded(c, "fmi2SetContinuousStates", [&](FmuInstance& f) { f.setStates(x, nx); });
}
fmi2Status fmi2GetDerivatives(fmi2Component c, fmi2Real dx[], size_t nx) {
    return guarded(c, "fmi2GetDerivatives", [&](FmuInstance& f) { f.getDerivatives(dx, nx); });
}
fmi2Status fmi2GetEventIndicators(fmi2Component c, fmi2Real[], size_t ni) {
    return guarded(c, "fmi2GetEventIndicators",
                   [&](FmuInstance& f) { f.checkEventIndicatorCount(ni); });
}
fmi2Status fmi2GetContinuousStates(fmi2Component c, fmi2Real x[], size_t nx) {
    return guarded(c, "fmi2GetContinuousStates", [&](FmuInstance& f) { f.getStates(x, nx); });
}
fmi2Status fmi2GetNominalsOfContinuousStates(fmi2Component c, fmi2Real nominals[], size_t nx) {
    return guarded(c, "fmi2GetNominalsOfContinuousStates",
                   [&](FmuInstance& f) { f.getNominals(nominals, nx); });
}

fmi2Status fmi2SetRealInputDerivatives(fmi2Component c, const fmi2ValueReference vr[], size_t n,
                                       const fmi2Integer order[], const fmi2Real value[]) {
    return guarded(c, "fmi2SetRealInputDerivatives",
                   [&](FmuInstance& f) { f.setInputDerivatives(vr, n, order, value); });
}
fmi2Status fmi2GetRealOutputDerivatives(fmi2Component c, const fmi2ValueReference[], size_t,
                                        const fmi2Integer[], fmi2Real[]) {
    return unsupported(c, "fmi2GetRealOutputDerivatives");
}
fmi2Status fmi2DoStep(fmi2Component c, fmi2Real currentCommunicationPoint,
                      fmi2Real communicationStepSize, fmi2Boolean) {
    return guarded(c, "fmi2DoStep", [&](FmuInstance& f) {
        f.doStep(currentCommunicationPoint, communicationStepSize);
    });
}
fmi2Status fmi2CancelStep(fmi2Component c) { return unsupported(c, "fmi2CancelStep"); }
// fmi2DoStep always completes before it returns: there is never a pending step to ask about.
fmi2Status fmi2GetStatus(fmi2Component c, const fmi2StatusKind, fmi2Status*) {
    return unsupported(c, "fmi2GetStatus");
}
fmi2Status fmi2GetRealStatus(fmi2Component c, const fmi2StatusKind kind, fmi2Real* value) {
    return guarded(c, "fmi2GetRealStatus", [&](FmuInstance& f) {
        if (kind != fmi2LastSuccessfulTime || !value) throw FmuError("only fmi2LastSuccessfulTime");
        *value = f.time();
    });
}
fmi2Status fmi2GetIntegerStatus(fmi2Component c, const fmi2StatusKind, fmi2Integer*) {
    return unsupported(c, "fmi2GetIntegerStatus");
}
fmi2Status fmi2GetBooleanStatus(fmi2Component c, const fmi2StatusKind, fmi2Boolean*) {
    return unsupported(c, "fmi2GetBooleanStatus");
}
fmi2Status fmi2GetStringStatus(fmi2Component c, const fmi2StatusKind, fmi2String*) {
    return unsupported(c, "fmi2GetStringStatus");
}

} // extern "C"

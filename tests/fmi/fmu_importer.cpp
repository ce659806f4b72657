#include "fmu_importer.h"

#include "ode_solver.h"

#include <dlfcn.h>
#include <zip.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tavrel::fmitest {

namespace fs = std::filesystem;

namespace {

void check(fmi2Status status, const char* call, const Slave& slave) {
    if (status != fmi2OK) throw std::runtime_error(std::string(call) + " failed: " + slave.log());
}

void unzip(const std::string& file, const fs::path& folder) {
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY, &error);
    if (!archive) throw std::runtime_error("cannot open " + file);
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
        std::string content(stat.size, '\0');
        zip_file_t* entry = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        zip_fread(entry, content.data(), stat.size);
        zip_fclose(entry);
        const fs::path target = folder / stat.name;
        fs::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << content;
    }
    zip_close(archive);
}

std::string attributeOf(const std::string& element, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const std::size_t start = element.find(key);
    if (start == std::string::npos) return {};
    const std::size_t from = start + key.size();
    return element.substr(from, element.find('"', from) - from);
}

} // namespace

UnpackedFmu::UnpackedFmu(const std::string& fmu_file, const std::string& folder)
    : folder_(fs::absolute(folder).string()) {
    unzip(fmu_file, folder_);
    std::ifstream in(folder_ + "/modelDescription.xml");
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    guid_ = attributeOf(xml.substr(0, xml.find('>', xml.find("<fmiModelDescription"))), "guid");
    const std::string identifier =
        attributeOf(xml.substr(xml.find("modelIdentifier") - 1), "modelIdentifier");
    for (std::size_t at = xml.find("<ScalarVariable"); at != std::string::npos;
         at = xml.find("<ScalarVariable", at + 1)) {
        const std::string element = xml.substr(at, xml.find("</ScalarVariable>", at) - at);
        if (element.find("<Real") == std::string::npos) continue;
        const std::string name = attributeOf(element, "name");
        vrs_[name] = static_cast<unsigned>(std::stoul(attributeOf(element, "valueReference")));
        const std::string causality = attributeOf(element, "causality");
        if (causality == "input") inputs_.push_back(name);
        if (causality == "output") outputs_.push_back(name);
        if (!attributeOf(element, "derivative").empty()) ++num_states_;
    }
    const std::string binary = folder_ + "/binaries/linux64/" + identifier + ".so";
    handle_ = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw std::runtime_error(std::string("dlopen: ") + dlerror());
    const auto load = [&](auto& function, const char* name) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle_, name));
        if (!function) throw std::runtime_error(std::string("missing ") + name);
    };
    load(api_.instantiate, "fmi2Instantiate");
    load(api_.freeInstance, "fmi2FreeInstance");
    load(api_.setupExperiment, "fmi2SetupExperiment");
    load(api_.enterInitializationMode, "fmi2EnterInitializationMode");
    load(api_.exitInitializationMode, "fmi2ExitInitializationMode");
    load(api_.terminate, "fmi2Terminate");
    load(api_.reset, "fmi2Reset");
    load(api_.getReal, "fmi2GetReal");
    load(api_.setReal, "fmi2SetReal");
    load(api_.setInteger, "fmi2SetInteger");
    load(api_.enterEventMode, "fmi2EnterEventMode");
    load(api_.newDiscreteStates, "fmi2NewDiscreteStates");
    load(api_.enterContinuousTimeMode, "fmi2EnterContinuousTimeMode");
    load(api_.completedIntegratorStep, "fmi2CompletedIntegratorStep");
    load(api_.setTime, "fmi2SetTime");
    load(api_.setContinuousStates, "fmi2SetContinuousStates");
    load(api_.getContinuousStates, "fmi2GetContinuousStates");
    load(api_.getDerivatives, "fmi2GetDerivatives");
    load(api_.getDirectionalDerivative, "fmi2GetDirectionalDerivative");
    load(api_.setRealInputDerivatives, "fmi2SetRealInputDerivatives");
    load(api_.doStep, "fmi2DoStep");
}

UnpackedFmu::~UnpackedFmu() {
    if (handle_) dlclose(handle_);
}

unsigned UnpackedFmu::vr(const std::string& name) const {
    const auto found = vrs_.find(name);
    if (found == vrs_.end()) throw std::runtime_error("no Real variable " + name);
    return found->second;
}

Slave::Slave(const UnpackedFmu& fmu, fmi2Type type, const std::string& name,
             const std::string& guid)
    : fmu_(fmu), callbacks_{&Slave::logger, nullptr, nullptr, nullptr, this} {
    component_ = api().instantiate(name.c_str(), type, (guid.empty() ? fmu.guid() : guid).c_str(),
                                   fmu.resourceUri().c_str(), &callbacks_, fmi2False, fmi2True);
}

Slave::~Slave() { api().freeInstance(component_); }

void Slave::logger(fmi2ComponentEnvironment environment, fmi2String, fmi2Status status,
                   fmi2String category, fmi2String message, ...) {
    char text[2048];
    va_list args;
    va_start(args, message);
    std::vsnprintf(text, sizeof text, message, args);
    va_end(args);
    static_cast<Slave*>(environment)
        ->messages_.push_back(std::to_string(status) + " " + category + ": " + text);
}

std::string Slave::log() const {
    std::string all;
    for (const auto& line : messages_)
        all += line + "\n";
    return all;
}

double Slave::real(const std::string& name) {
    const fmi2ValueReference vr = fmu_.vr(name);
    double value = NAN;
    check(api().getReal(component_, &vr, 1, &value), "fmi2GetReal", *this);
    return value;
}

fmi2Status Slave::setReal(const std::string& name, double value) {
    const fmi2ValueReference vr = fmu_.vr(name);
    return api().setReal(component_, &vr, 1, &value);
}

void Slave::initialize(const std::map<std::string, double>& inputs) {
    if (!component_) throw std::runtime_error("instantiation failed: " + log());
    check(api().setupExperiment(component_, fmi2False, 0, 0, fmi2False, 0), "fmi2SetupExperiment",
          *this);
    check(api().enterInitializationMode(component_), "fmi2EnterInitializationMode", *this);
    for (const auto& [name, value] : inputs)
        check(setReal(name, value), "fmi2SetReal", *this);
    check(api().exitInitializationMode(component_), "fmi2ExitInitializationMode", *this);
}

namespace {

std::map<std::string, double> valuesAt(const RunPlan& plan, double t) {
    std::map<std::string, double> values;
    for (const auto& input : plan.inputs)
        values[input.name] = input.value(t);
    return values;
}

void applyHolds(Slave& slave, const RunPlan& plan) {
    for (const auto& [input, output] : plan.hold)
        check(slave.setReal(input, slave.real(output)), "fmi2SetReal", slave);
}

std::vector<double> watchedValues(Slave& slave, const RunPlan& plan) {
    std::vector<double> row;
    for (const auto& name : plan.watched)
        row.push_back(slave.real(name));
    return row;
}

// The FMU's states as an ODE system: inputs at t, then the derivatives.
class MeSystem : public sim::OdeSystem {
  public:
    MeSystem(Slave& slave, const RunPlan& plan, std::size_t n)
        : slave_(slave), plan_(plan), n_(n) {}
    int rhs(double t, const double* y, double* ydot) noexcept override {
        const auto& f = slave_.api();
        if (f.setTime(slave_.get(), t) != fmi2OK) return -1;
        if (f.setContinuousStates(slave_.get(), y, n_) != fmi2OK) return -1;
        for (const auto& input : plan_.inputs)
            if (slave_.setReal(input.name, input.value(t)) != fmi2OK) return -1;
        return f.getDerivatives(slave_.get(), ydot, n_) == fmi2OK ? 0 : -1;
    }

  private:
    Slave& slave_;
    const RunPlan& plan_;
    std::size_t n_;
};

} // namespace

Rows runModelExchange(Slave& slave, const RunPlan& plan) {
    const auto& f = slave.api();
    slave.initialize(valuesAt(plan, 0));
    applyHolds(slave, plan);
    fmi2EventInfo info{};
    check(f.newDiscreteStates(slave.get(), &info), "fmi2NewDiscreteStates", slave);
    check(f.enterContinuousTimeMode(slave.get()), "fmi2EnterContinuousTimeMode", slave);
    std::vector<double> x(slave.fmu().numStates());
    check(f.getContinuousStates(slave.get(), x.data(), x.size()), "fmi2GetContinuousStates", slave);
    MeSystem system(slave, plan, x.size());
    const auto solver = sim::createSolver({}, system, 0, x); // Dormand-Prince, 1e-6
    Rows rows{watchedValues(slave, plan)};
    const int count = static_cast<int>(std::lround(plan.duration / plan.interval));
    for (int k = 1; k <= count; ++k) {
        const double t = k * plan.interval;
        solver->advance(t, x);
        check(f.setTime(slave.get(), t), "fmi2SetTime", slave);
        check(f.setContinuousStates(slave.get(), x.data(), x.size()), "fmi2SetContinuousStates",
              slave);
        for (const auto& [name, value] : valuesAt(plan, t))
            check(slave.setReal(name, value), "fmi2SetReal", slave);
        fmi2Boolean event = fmi2False, stop = fmi2False;
        check(f.completedIntegratorStep(slave.get(), fmi2True, &event, &stop),
              "fmi2CompletedIntegratorStep", slave);
        rows.push_back(watchedValues(slave, plan));
    }
    return rows;
}

// Communication steps of `interval`; each input given with its first two derivatives.
Rows runCoSimulation(Slave& slave, const RunPlan& plan) {
    const auto& f = slave.api();
    slave.initialize(valuesAt(plan, 0));
    applyHolds(slave, plan);
    Rows rows{watchedValues(slave, plan)};
    const int count = static_cast<int>(std::lround(plan.duration / plan.interval));
    for (int k = 0; k < count; ++k) {
        const double t = k * plan.interval;
        for (const auto& input : plan.inputs) {
            const fmi2ValueReference vr[] = {slave.fmu().vr(input.name),
                                             slave.fmu().vr(input.name)};
            const fmi2Integer order[] = {1, 2};
            const double rates[] = {input.rate(t), input.curvature(t)};
            check(slave.setReal(input.name, input.value(t)), "fmi2SetReal", slave);
            check(f.setRealInputDerivatives(slave.get(), vr, 2, order, rates),
                  "fmi2SetRealInputDerivatives", slave);
        }
        check(f.doStep(slave.get(), t, plan.interval, fmi2True), "fmi2DoStep", slave);
        rows.push_back(watchedValues(slave, plan));
    }
    return rows;
}

} // namespace tavrel::fmitest

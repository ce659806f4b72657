// tavrel._tavrel.Study, StudyOutput and run_local: the study library for the Python layer
// (tavrel.study), which adds Dask and figures. A study pickles as its texts, so that a Dask
// worker rebuilds the same cases without the files.
#include "bindings.h"

#include "local_runner.h"
#include "study.h"
#include "study_output.h"

#include <pybind11/stl.h>

namespace tavrel::python {

namespace {

using study::CaseResult;
using study::Study;
using study::StudyOutput;
using study::StudySource;

py::tuple sourceTuple(const Study& s) {
    const StudySource& source = s.source();
    return py::make_tuple(source.text, source.name, source.scenario_text, source.scenario_name,
                          source.base_dir);
}

Study fromTuple(const py::tuple& t) {
    if (t.size() != 5) throw py::value_error("a study's state is five texts");
    return Study::fromSource({t[0].cast<std::string>(), t[1].cast<std::string>(),
                              t[2].cast<std::string>(), t[3].cast<std::string>(),
                              t[4].cast<std::string>()});
}

CaseResult toResult(bool ok, const std::vector<double>& values, const std::string& error,
                    double seconds) {
    CaseResult r;
    r.ok = ok;
    r.values = values;
    r.error = error;
    r.seconds = seconds;
    return r;
}

} // namespace

void bindStudy(py::module_& m) {
    static PyObject* study_error = nullptr;
    const std::string qualified = "tavrel.StudyError";
    study_error = PyErr_NewExceptionWithDoc(qualified.c_str(),
                                            "A study file that cannot run, or a study folder "
                                            "that cannot be written or resumed.",
                                            m.attr("ScenarioError").ptr(), nullptr);
    if (!study_error) throw py::error_already_set();
    m.attr("StudyError") = py::handle(study_error);
    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            if (failure) std::rethrow_exception(failure);
        } catch (const study::StudyError& e) {
            PyErr_SetString(study_error, e.what());
        } catch (const ResultFolderError& e) {
            PyErr_SetString(study_error, e.what());
        }
    });

    py::class_<Study>(m, "Study", "A study: cases of a scenario with varied values, and metrics.")
        .def_static("load", &Study::load, py::arg("path"),
                    "Reads and validates a study file and its base scenario.")
        .def_static(
            "from_source",
            [](std::string text, std::string name, std::string scenario_text,
               std::string scenario_name, std::string base_dir) {
                return Study::fromSource({std::move(text), std::move(name),
                                          std::move(scenario_text), std::move(scenario_name),
                                          std::move(base_dir)});
            },
            py::arg("text"), py::arg("name"), py::arg("scenario_text"), py::arg("scenario_name"),
            py::arg("base_dir"))
        .def_property_readonly("name", [](const Study& s) { return s.source().name; })
        .def_property_readonly("fingerprint", &Study::fingerprint)
        .def_property_readonly("keys", &Study::keys)
        .def_property_readonly("metrics",
                               [](const Study& s) {
                                   std::vector<std::string> texts;
                                   for (const auto& metric : s.metrics())
                                       texts.push_back(metric.text);
                                   return texts;
                               })
        .def_property_readonly("metric_headers", &Study::metricHeaders)
        .def_property_readonly("mode", &Study::mode,
                               "\"grid\" (every combination) or \"zip\" (the lists side by side).")
        .def_property_readonly("random", &Study::random,
                               "True when a varied key is drawn at random (a Monte Carlo study).")
        .def("__len__", &Study::caseCount)
        .def("case_values", &Study::caseValues, py::arg("index"))
        .def("case_text", &Study::caseText, py::arg("index"))
        .def("scenario", &Study::scenarioFor, py::arg("index"))
        .def(
            "run_case",
            [](const Study& s, size_t index) {
                if (index >= s.caseCount()) throw py::index_error("no such case");
                CaseResult r;
                {
                    py::gil_scoped_release unlocked;
                    r = s.run(index);
                }
                return py::make_tuple(r.ok, r.values, r.error, r.seconds);
            },
            py::arg("index"), "Runs one case: (ok, metric values, error, seconds).")
        .def(py::pickle([](const Study& s) { return sourceTuple(s); },
                        [](const py::tuple& t) { return fromTuple(t); }));

    py::class_<StudyOutput>(m, "StudyOutput", "A study's folder: study.csv and its fingerprint.")
        .def(py::init([](const Study& s, const std::string& folder, bool resume) {
                 return std::make_unique<StudyOutput>(s, folder, resume);
             }),
             py::arg("study"), py::arg("folder"), py::arg("resume") = false, py::keep_alive<1, 2>())
        .def("done", &StudyOutput::done, py::arg("index"))
        .def_property_readonly("done_count", &StudyOutput::doneCount)
        .def_property_readonly("csv_path",
                               [](const StudyOutput& o) { return o.csvPath().string(); })
        .def(
            "write",
            [](StudyOutput& o, size_t index, bool ok, const std::vector<double>& values,
               const std::string& error,
               double seconds) { o.write(index, toResult(ok, values, error, seconds)); },
            py::arg("index"), py::arg("ok"), py::arg("values"), py::arg("error"),
            py::arg("seconds") = 0.0)
        .def("finish", &StudyOutput::finish);

    m.def(
        "run_local",
        [](const Study& s, StudyOutput& output, int jobs, bool progress, bool keep_results) {
            study::LocalRunSummary summary;
            {
                py::gil_scoped_release unlocked;
                summary = study::runLocal(s, output, {jobs, progress, keep_results});
            }
            py::dict d;
            d["ran"] = summary.ran;
            d["failed"] = summary.failed;
            d["skipped"] = summary.skipped;
            d["interrupted"] = summary.interrupted;
            d["wall_seconds"] = summary.wall_seconds;
            d["case_seconds"] = summary.case_seconds;
            return d;
        },
        py::arg("study"), py::arg("output"), py::arg("jobs") = 0, py::arg("progress") = false,
        py::arg("keep_results") = false,
        "Runs the cases the folder lacks in worker processes on this machine.");
}

} // namespace tavrel::python

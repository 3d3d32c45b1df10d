// _vyr: the driver, the setting commands and the search for the vyr package. The package's
// Python side gives them their shape; this side does the blocking work, without the GIL.

#include "addresses.h"
#include "failures.h"
#include "link.h"
#include "measurement_kinds.h"
#include "network_search.h"
#include "search.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

using namespace vyr_python;

PYBIND11_MODULE(_vyr, m)
{
    m.doc() = "The compiled half of the vyr package; use vyr instead.";
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const Failure& failure) {
            translate_failure(failure);
        }
    });

    py::class_<Link>(m, "Link", "One sensor link; vyr.Sensor wraps it.")
        .def(py::init<>())
        .def("open", &Link::open, py::arg("serial"), py::arg("device"), py::arg("number"),
             py::arg("timeout_ms"))
        .def("close", &Link::close)
        .def_property_readonly("is_open", &Link::is_open)
        .def_property_readonly("target", &Link::target)
        .def_property_readonly("measuring", &Link::measuring)
        .def("set_timeout", &Link::set_timeout)
        .def("info", &Link::info)
        .def("set_heater", &Link::set_heater)
        .def("phase", &Link::phase)
        .def("set_phase", &Link::set_phase)
        .def("reboot", &Link::reboot)
        .def("start", &Link::start, py::arg("kind"), py::arg("steps"), py::arg("angles"),
             py::arg("group"), py::arg("skip"), py::arg("count"), py::arg("sync"))
        .def("read", &Link::read)
        .def("stop", &Link::stop)
        .def("stop_reason", &Link::stop_reason)
        .def("change_address", &Link::change_address);

    m.def("find", &find, py::arg("ranges"), py::arg("port"), py::arg("timeout_ms"),
          py::arg("devices"), py::arg("tcp"), py::arg("serial"), py::arg("all_ports"));
    m.def("ports", &ports);
    m.def("address_refusal", &address_refusal);
    py::list kinds;
    for (const kvt::Measurement_kind& kind : kvt::measurement_kinds) {
        kinds.append(kind.cli_name);
    }
    m.attr("KINDS") = py::tuple(kinds);
    m.attr("DEFAULT_PORT") = vyr_find::default_port;
}

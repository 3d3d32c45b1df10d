#include "failures.h"

namespace vyr_python {

void fail(Kind kind, const std::string& text, const std::string& reason)
{
    throw Failure{kind, text, reason};
}

py::str latin1(const std::string& bytes)
{
    PyObject* text =
        PyUnicode_DecodeLatin1(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), nullptr);
    if (!text) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(text);
}

void translate_failure(const Failure& failure)
{
    static const char* const names[] = {"ConnectError", "RefusedError", "NoAnswerError",
                                        "UsageError"};
    py::object type =
        py::module_::import("vyr._errors").attr(names[static_cast<int>(failure.kind)]);
    py::object error = type(latin1(failure.text), latin1(failure.reason));
    PyErr_SetObject(type.ptr(), error.ptr());
}

} // namespace vyr_python

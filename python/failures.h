#ifndef VYR_PYTHON_FAILURES_H
#define VYR_PYTHON_FAILURES_H

// What reaches Python from here: failures as the package's exceptions, a sensor's bytes as
// text, and blocking work that Ctrl-C can end.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vyr_python {

namespace py = pybind11;

// The exception classes of vyr._errors, by kind.
enum class Kind { connect, refused, no_answer, usage };

struct Failure
{
    Kind kind;
    std::string text;
    std::string reason;
};

[[noreturn]] void fail(Kind kind, const std::string& text, const std::string& reason = "");

// A sensor's texts are bytes; each becomes the Latin-1 character of its value, as in vyr's
// JSON, so that no reply can fail to decode and the bytes come back with encode("latin-1").
py::str latin1(const std::string& bytes);

// Sets the Python error of a failure's kind; for the module's exception translator.
void translate_failure(const Failure& failure);

// Runs work on a thread of its own while this one waits without the GIL, looking for
// Ctrl-C every 50 ms; a signal sets stop, which work must heed, and is raised once it
// returned.
template <class Work> void run_interruptible(std::atomic<bool>& stop, Work work)
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr thrown;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            thrown = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        finished.notify_all();
    });
    std::optional<py::error_already_set> signalled;
    for (bool over = false; !over;) {
        {
            py::gil_scoped_release nogil;
            std::unique_lock<std::mutex> lock(mutex);
            over = finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; });
        }
        if (!over && !signalled && PyErr_CheckSignals() != 0) {
            signalled.emplace();
            stop = true;
        }
    }
    worker.join();
    if (signalled) {
        throw *signalled;
    }
    if (thrown) {
        std::rethrow_exception(thrown);
    }
}

} // namespace vyr_python

#endif

#pragma once
// The application's standard error report: where an error goes that no caller can take, as
// one raised inside an event handler (a key that writes to a port gone bad). The program
// installs its reporter at start; without one the message goes to Qt's warning output.

#include <QtGlobal>
#include <exception>
#include <functional>
#include <utility>

namespace error_report_detail {
// One per program: an inline function's static is shared by every library linked into it.
inline std::function<void(const std::exception&)>& reporter()
{
    static std::function<void(const std::exception&)> r;
    return r;
}
} // namespace error_report_detail

inline void SetErrorReporter(std::function<void(const std::exception&)> reporter)
{
    error_report_detail::reporter() = std::move(reporter);
}

inline void ReportError(const std::exception& error)
{
    if (const auto& r = error_report_detail::reporter())
        r(error);
    else
        qWarning("%s", error.what());
}

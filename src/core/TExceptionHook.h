#pragma once

#include <QString>
#include <functional>

// Keeps C++ exceptions from crossing Qt's event dispatch: every handler that Qt calls
// runs its body through Run(). A silent abort is dropped; any other failure goes to
// the installed handler (the main window's OnException), or to stderr before one exists.
class TExceptionHook {
public:
    using Handler = std::function<void(const QString& message)>;

    static void SetHandler(Handler handler);
    static void Run(const std::function<void()>& body) noexcept;
    static void Report(const QString& message) noexcept;

private:
    static Handler& handler();
};

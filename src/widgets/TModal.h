#pragma once

#include <QString>
#include <functional>

class QDialog;
class QWidget;

// The one place through which every modal window of the program is shown. A test
// installs a hook that runs once the window is up (to read it, fill it in and close
// it), so that no modal window can hang a test.
class TModal {
public:
    using Hook = std::function<void(QDialog* dialog)>;

    // Shows the dialog modally and returns its result.
    static int Exec(QDialog* dialog);

    // Runs after each modal window is shown, from inside its modal loop.
    static void SetHook(Hook hook);
    static bool HasHook();

    // A message box with OK (and Cancel when asked); the answer is ignored by callers.
    static void MessageBox(QWidget* parent, const QString& text, const QString& caption, bool withCancel = false);

private:
    static Hook& hook();
};

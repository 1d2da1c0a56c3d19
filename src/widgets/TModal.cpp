#include "widgets/TModal.h"

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

TModal::Hook& TModal::hook()
{
    static Hook instance;
    return instance;
}

void TModal::SetHook(Hook h)
{
    hook() = std::move(h);
}

bool TModal::HasHook()
{
    return static_cast<bool>(hook());
}

int TModal::Exec(QDialog* dialog)
{
    if (hook()) {
        QPointer<QDialog> guard(dialog);
        QTimer::singleShot(0, dialog, [guard] {
            if (guard && hook()) {
                hook()(guard.data());
            }
        });
    }
    return dialog->exec();
}

void TModal::MessageBox(QWidget* parent, const QString& text, const QString& caption, bool withCancel)
{
    QMessageBox box(QMessageBox::Warning, caption, text,
                    withCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok, parent);
    Exec(&box);
}
